#include "partida_informe.h"

#include "acquisition/base_datos.h"
#include "config/modelo.h"
#include "events/informe_partida.h"

#include <QFileInfo>

#include <cstdio>

namespace ombrix {

bool leerOpcionPartida(const QString& op, const LeerValor& valor, const char*& motivo, OpcionesPartida& o)
{
    if (op == QLatin1String("--partidas")) {
        o.lista = true;
        return true;
    }
    if (op != QLatin1String("--partida"))
        return false;
    QString c;
    if (!valor(c))
        motivo = "falta el código de --partida";
    else if (c.trimmed().isEmpty())
        motivo = "el código de --partida está vacío";
    else
        o.codigo = c;
    return true;
}

int informePartida(const Herramienta& h, const ArgumentosConsulta& a, const OpcionesPartida& o, const QString& pdf)
{
    if (o.lista && o.codigo)
        return h.error("--partida y --partidas no van juntos");
    if (a.db.isEmpty() || a.instrumento == 0)
        return h.error("--db e --instrument N son obligatorios");
    if (a.combinada || !a.desdeTxt.isEmpty() || !a.hastaTxt.isEmpty())
        return h.error("--combinada, --from y --to no se usan con --partida ni con --partidas");
    if (o.codigo && pdf.isEmpty())
        return h.error("--partida necesita --pdf ARCHIVO");
    if (o.lista && !pdf.isEmpty())
        return h.error("--partidas escribe la lista en la salida, sin --pdf");

    Modelo modelo;
    BaseDatos base;
    ArgumentosConsulta datos = a;
    if (!abrirDatos(h, modelo, base, datos))
        return 1;
    const int n = a.instrumento;
    const QString tabla = QStringLiteral("Instrumento%1").arg(n);
    QString error;
    if (o.lista) {
        const QVector<PartidaListada> lista = listarPartidas(base.db(), tabla, &error);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "%s: no se pudieron leer las partidas: %s\n", h.nombre, qPrintable(error));
            return 1;
        }
        std::printf("Partida\tInicio\tFin\tFilas\n");
        for (const PartidaListada& p : lista)
            std::printf("%s\t%s %s\t%s %s\t%lld\n", qPrintable(p.codigo), qPrintable(p.fechaInicio), qPrintable(p.horaInicio),
                        qPrintable(p.fechaFin), qPrintable(p.horaFin), static_cast<long long>(p.filas));
        std::fprintf(stderr, "%s: %lld partidas en %s\n", h.nombre, static_cast<long long>(lista.size()), qPrintable(tabla));
        return 0;
    }

    DatosPartida d;
    if (!leerPartida(base.db(), n, *o.codigo, d, &error)) {
        std::fprintf(stderr, "%s: no se pudieron leer las filas de la partida: %s\n", h.nombre, qPrintable(error));
        return 1;
    }
    if (d.filas == 0) {
        std::fprintf(stderr, "%s: la partida «%s» no tiene filas en %s (--partidas las lista)\n", h.nombre,
                     qPrintable(*o.codigo), qPrintable(tabla));
        return 1;
    }
    EncabezadoPartida e;
    if (n < modelo.ArrayConfig.size()) {
        e.titulo = modelo.ArrayConfig[n].Titulo;
        e.unidad = modelo.ArrayConfig[n].Unidad;
    }
    e.archivo = QFileInfo(a.db).fileName();
    if (!guardarInformePartida(d, e, pdf, &error)) {
        std::fprintf(stderr, "%s: %s\n", h.nombre, qPrintable(error));
        return 1;
    }
    std::fprintf(stderr, "%s: partida «%s»: %lld filas, %d páginas\n", h.nombre, qPrintable(d.codigo),
                 static_cast<long long>(d.filas), paginasInformePartida(d));
    return 0;
}

} // namespace ombrix
