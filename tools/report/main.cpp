// ombrix-report: writes the instrument report or the combined report as a PDF,
// without windows, for reports made by a schedule.
//
//   ombrix-report --db FILE (--instrument N | --combinada) [--from dd/MM/yyyy]
//                 [--to dd/MM/yyyy] --pdf OUT
//   ombrix-report --db FILE --instrument N --partida CODE --pdf OUT
//   ombrix-report --db FILE --instrument N --partidas
//
// The last two write the batch report of one load and list the batches of
// the instrument's table (see partida.cpp).
//
// "--pdf -" writes to standard output. A file is written whole or not at all;
// an existing OUT that is not a regular file (a device, a FIFO) is refused.
// The pages are those the program's preview prints for the same rows: titles
// and the combined report's columns from the settings under $OMBRIX_HOME.
// The database is only read, also while the program or the recorder writes
// into it (a nightly report beside the recording service).

#include "acquisition/base_datos.h"
#include "argumentos.h"
#include "config/archivo_seguro.h"
#include "config/modelo.h"
#include "views/columnas_comb.h"
#include "views/informe.h"
#include "partida_informe.h"

#include <QGuiApplication>
#include <QPdfWriter>

#include <cstdio>

using namespace ombrix;

static const Herramienta kReport{
    "ombrix-report",
    "uso: ombrix-report --db ARCHIVO (--instrument N | --combinada) [--from dd/MM/yyyy] [--to dd/MM/yyyy] --pdf ARCHIVO\n"
    "     ombrix-report --db ARCHIVO --instrument N (--partida CÓDIGO --pdf ARCHIVO | --partidas)\n",
    "Escribe como PDF el informe de un instrumento o el informe combinado.\n"
    "\n"
    "Opciones:\n"
    "  --db ARCHIVO          Base de datos a leer.\n"
    "  --instrument N        El informe del instrumento N (1 a 20).\n"
    "  --combinada           El informe combinado.\n"
    "  --from dd/MM/yyyy     Desde esa fecha (incluida).\n"
    "  --to dd/MM/yyyy       Hasta esa fecha (incluida).\n"
    "  --pdf ARCHIVO         Archivo PDF a escribir (\"-\": la salida estándar).\n"
    "  --partida CÓDIGO      El informe de la partida CÓDIGO del instrumento N.\n"
    "  --partidas            Lista las partidas del instrumento N.\n"
    "  --central URL         Lee de la base central PostgreSQL (postgresql://usuario@servidor/base)\n"
    "                        en lugar de --db; la clave, de OMBRIX_CENTRAL_CLAVE, los ajustes,\n"
    "                        PGPASSWORD o PGPASSFILE.\n"
    "  --linea NOMBRE        La línea a leer de la base central (con --central).\n"
    "  -h, --help            Muestra esta ayuda y termina.\n"
    "  --version             Muestra la versión y termina.\n"};

int main(int argc, char** argv)
{
    // No display is needed: the pages are drawn off screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ArgumentosConsulta a;
    QString pdf;
    OpcionesPartida partida;
    const auto fin = leerArgumentos(kReport, app.arguments(), a,
                                    [&](const QString& op, const LeerValor& valor, const char*& motivo) {
        if (leerOpcionPartida(op, valor, motivo, partida))
            return true;
        if (op != QLatin1String("--pdf"))
            return false;
        if (!valor(pdf))
            motivo = "falta el archivo de --pdf";
        else if (pdf.isEmpty())
            motivo = "--pdf no puede estar vacío (\"-\" es la salida estándar)";
        return true;
    });
    if (fin)
        return *fin;
    if (partida.lista || partida.codigo)
        return informePartida(kReport, a, partida, pdf);
    if (a.db.isEmpty() || pdf.isEmpty())
        return kReport.error("--db y --pdf son obligatorios");
    if ((a.instrumento == 0) == !a.combinada)
        return kReport.error("hace falta --instrument N o --combinada (uno de los dos)");
    if (const auto mal = leerFechas(kReport, a))
        return *mal;
    if (const auto mal = revisarSalida(kReport, a, pdf))
        return *mal;
    const int n = a.instrumento, desde = a.desde, hasta = a.hasta;

    Modelo modelo;
    BaseDatos base;
    if (!abrirDatos(kReport, modelo, base, a))
        return 1;
    QString error;
    std::unique_ptr<Informe> informe;
    if (a.combinada) {
        informe = informeCombinado(base.db(), QStringLiteral("Tabla combinada"), columnasCombinada(modelo), 0, desde, hasta);
    } else {
        const QString titulo = n < modelo.ArrayConfig.size() ? modelo.ArrayConfig[n].Titulo : QString();
        informe = informeInstrumento(base.db(), n, QStringLiteral("Datos adquiridos de: ") + titulo, 0, desde, hasta);
    }

    informe->filas();
    if (!informe->error().isEmpty()) {
        std::fprintf(stderr, "ombrix-report: no se pudieron leer las filas: %s\n", qPrintable(informe->error()));
        return 1;
    }
    // Written whole or not at all; "-" is standard output.
    ArchivoSeguro archivo(pdf, true);
    if (!archivo.abrir(&error)) {
        std::fprintf(stderr, "ombrix-report: %s\n", qPrintable(error));
        return 1;
    }
    bool bien = false;
    qint64 paginas = 0;
    {
        QPdfWriter escritor(archivo.dispositivo());
        escritor.setCreator(QStringLiteral("ombrix-report"));
        escritor.setTitle(informe->diseno().titulo.etiquetas.value(0).texto);
        escritor.setResolution(600);
        prepararPagina(escritor, informe->diseno());
        paginas = informe->paginas();
        ImpresionInforme impresion(*informe, escritor, 1, paginas);
        bien = impresion.todo();
        if (!bien)
            error = impresion.error();
    }
    if (bien && !archivo.confirmar(&error))
        bien = false;
    if (!bien) {
        std::fprintf(stderr, "ombrix-report: %s\n", qPrintable(error));
        return 1;
    }
    std::fprintf(stderr, "ombrix-report: %lld filas, %lld páginas\n", static_cast<long long>(informe->filas()),
                 static_cast<long long>(paginas));
    return 0;
}
