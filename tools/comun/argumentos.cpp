#include "argumentos.h"

#include "acquisition/base_datos.h"
#include "central/linea_central.h"
#include "central/servidor_central.h"
#include "config/ajustes_central.h"
#include "config/perfil.h"
#include "config/rutas.h"
#include "config/modelo.h"
#include "ombrix_version.h"
#include "views/consultas.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>

#include <cstdio>

namespace ombrix {

int Herramienta::error(const char* motivo) const
{
    std::fprintf(stderr, "%s: %s\n", nombre, motivo);
    std::fputs(uso, stderr);
    return 2;
}

std::optional<int> leerArgumentos(const Herramienta& h, const QStringList& a, ArgumentosConsulta& c,
                                  const OpcionPropia& propias)
{
    for (int i = 1; i < a.size(); ++i) {
        const QString& op = a[i];
        const LeerValor valor = [&](QString& v) {
            if (i + 1 >= a.size())
                return false;
            v = a[++i];
            return true;
        };
        QString v;
        const char* motivo = nullptr;
        if (op == QLatin1String("--db")) {
            if (!valor(c.db))
                return h.error("falta el archivo de --db");
        } else if (op == QLatin1String("--central")) {
            if (!valor(c.central))
                return h.error("falta la dirección de --central");
            if (const QString p = central::problemaDeUrl(c.central); !p.isEmpty())
                return h.error(qPrintable(QStringLiteral("--central: ") + p));
        } else if (op == QLatin1String("--linea")) {
            if (!valor(c.linea))
                return h.error("falta el nombre de --linea");
            if (const QString p = problemaDeLinea(c.linea); !p.isEmpty())
                return h.error(qPrintable(QStringLiteral("--linea: ") + p));
        } else if (op == QLatin1String("--instrument")) {
            bool ok = false;
            int& n = c.instrumento;
            if (!valor(v) || (n = v.toInt(&ok), !ok) || n < 1 || n > 20)
                return h.error("--instrument debe ser un número de 1 a 20");
        } else if (op == QLatin1String("--combinada")) {
            c.combinada = true;
        } else if (op == QLatin1String("--from")) {
            if (!valor(c.desdeTxt))
                return h.error("falta la fecha de --from");
            if (c.desdeTxt.isEmpty())
                return h.error("--from no es una fecha dd/MM/yyyy");
        } else if (op == QLatin1String("--to")) {
            if (!valor(c.hastaTxt))
                return h.error("falta la fecha de --to");
            if (c.hastaTxt.isEmpty())
                return h.error("--to no es una fecha dd/MM/yyyy");
        } else if (op == QLatin1String("--help") || op == QLatin1String("-h")) {
            std::fputs(h.uso, stdout);
            std::fputs(h.ayuda, stdout);
            std::fputs("\n"
                       "Códigos de salida:\n"
                       "  0   terminó bien\n"
                       "  1   falló (la base de datos no se puede abrir o leer, el archivo no se puede escribir)\n"
                       "  2   argumentos incorrectos\n",
                       stdout);
            return 0;
        } else if (op == QLatin1String("--version")) {
            std::printf("%s %s\n", h.nombre, OMBRIX_VERSION);
            return 0;
        } else if (propias(op, valor, motivo)) {
            if (motivo)
                return h.error(motivo);
        } else {
            return h.error(qPrintable(QStringLiteral("opción desconocida: ") + op));
        }
    }
    if (!c.central.isEmpty() && !c.db.isEmpty())
        return h.error("--db y --central no van juntos");
    if (c.central.isEmpty() != c.linea.isEmpty())
        return h.error("--central y --linea van juntos");
    if (!c.central.isEmpty())
        c.db = QStringLiteral("central:") + c.linea;   // named so: the file comes when the data is opened
    return std::nullopt;
}

std::optional<int> leerFechas(const Herramienta& h, ArgumentosConsulta& a)
{
    if (!a.desdeTxt.isEmpty() && (a.desde = fechaOrdenable(a.desdeTxt)) == 0)
        return h.error("--from no es una fecha dd/MM/yyyy");
    if (!a.hastaTxt.isEmpty() && (a.hasta = fechaOrdenable(a.hastaTxt)) == 0)
        return h.error("--to no es una fecha dd/MM/yyyy");
    if (a.desde > 0 && a.hasta > 0 && a.desde > a.hasta)
        return h.error("--from es posterior a --to");
    return std::nullopt;
}

std::optional<int> revisarSalida(const Herramienta& h, const ArgumentosConsulta& a, const QString& salida)
{
    const QString destino = QFileInfo(salida).canonicalFilePath();
    if (!destino.isEmpty() && destino == QFileInfo(a.db).canonicalFilePath())
        return h.error("el archivo de salida es la base de datos misma");
    return std::nullopt;
}

bool abrirDatos(const Herramienta& h, Modelo& modelo, BaseDatos& base, ArgumentosConsulta& a)
{
    modelo.CargarIni();
    QString error;
    if (!a.central.isEmpty()) {
        // The copy lives as long as the tool.
        static std::unique_ptr<QTemporaryDir> carpeta;
        carpeta = std::make_unique<QTemporaryDir>();
        const QString copia = carpeta->filePath(a.linea + QStringLiteral(".mdb"));
        if (!carpeta->isValid() || !QFile::copy(rutaModelo(), copia)) {
            std::fprintf(stderr, "%s: no se pudo preparar la copia de la línea: falta la base modelo %s\n", h.nombre,
                         qPrintable(rutaModelo()));
            return false;
        }
        QFile::setPermissions(copia, QFile::ReadOwner | QFile::WriteOwner);
        const QString clave = claveCentral(leerAjustesCentral(Perfil(modelo.RutaIni)));
        const QString tabla = a.combinada ? QStringLiteral("Combinada") : QStringLiteral("Instrumento%1").arg(a.instrumento);
        if (!central::copiarLinea(a.central, clave, a.linea, {tabla}, copia, nullptr, &error)) {
            std::fprintf(stderr, "%s: no se pudo leer la línea %s de la base central: %s\n", h.nombre,
                         qPrintable(a.linea), qPrintable(error));
            return false;
        }
        a.db = copia;
    }
    const QString& db = a.db;
    // Only read: the file is left exactly as it was.
    if (!base.abrirLectura(QFileInfo(db).absoluteFilePath(), &error)) {
        std::fprintf(stderr, "%s: no se pudo abrir la base de datos %s: %s\n", h.nombre, qPrintable(db), qPrintable(error));
        return false;
    }
    return true;
}

} // namespace ombrix
