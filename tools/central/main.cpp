// ombrix-central: prepares the plant's central PostgreSQL database.
//
//   ombrix-central --init URL [--linea NOMBRE]
//
// Creates the schema "ombrix" with its tables and indexes when missing (the
// recorders also create it at their first connection when their user may),
// and with --linea registers that line and creates its views. The password
// is OMBRIX_CENTRAL_CLAVE, or libpq's PGPASSWORD / PGPASSFILE; never the
// command line.

#include "central/servidor_central.h"
#include "config/ajustes_central.h"
#include "ombrix_version.h"

#include <QCoreApplication>
#include <QTimeZone>

#include <libpq-fe.h>

#include <cstdio>

using namespace ombrix;

namespace {

const char* const kUso = "uso: ombrix-central --init URL [--linea NOMBRE]\n";
const char* const kAyuda =
    "Prepara la base central PostgreSQL de la planta: crea el esquema «ombrix», sus tablas\n"
    "e índices si faltan.\n"
    "\n"
    "Opciones:\n"
    "  --init URL            Base a preparar: postgresql://usuario@servidor[:puerto]/base.\n"
    "                        La clave se toma de OMBRIX_CENTRAL_CLAVE, PGPASSWORD o\n"
    "                        PGPASSFILE, nunca de la línea de órdenes.\n"
    "  --linea NOMBRE        Da de alta además esa línea y crea sus vistas.\n"
    "  -h, --help            Muestra esta ayuda y termina.\n"
    "  --version             Muestra la versión y termina.\n"
    "\n"
    "Códigos de salida:\n"
    "  0   terminó bien\n"
    "  1   falló (no se puede conectar, faltan permisos)\n"
    "  2   argumentos incorrectos\n";

int error(const QString& motivo)
{
    std::fprintf(stderr, "ombrix-central: %s\n", qPrintable(motivo));
    std::fputs(kUso, stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    QString url, linea;
    bool init = false;
    for (int i = 1; i < a.size(); ++i) {
        const QString& op = a[i];
        if (op == QLatin1String("-h") || op == QLatin1String("--help")) {
            std::fputs(kUso, stdout);
            std::fputs(kAyuda, stdout);
            return 0;
        }
        if (op == QLatin1String("--version")) {
            std::printf("ombrix-central %s\n", OMBRIX_VERSION);
            return 0;
        }
        if (op == QLatin1String("--init") || op == QLatin1String("--linea")) {
            if (i + 1 >= a.size())
                return error(QStringLiteral("falta el valor de ") + op);
            (op == QLatin1String("--init") ? url : linea) = a[++i];
            init = init || op == QLatin1String("--init");
            continue;
        }
        return error(QStringLiteral("opción desconocida: ") + op);
    }
    if (!init)
        return error(QStringLiteral("falta --init URL"));
    if (const QString p = central::problemaDeUrl(url); !p.isEmpty())
        return error(QStringLiteral("--init: ") + p);
    if (!linea.isEmpty())
        if (const QString p = problemaDeLinea(linea); !p.isEmpty())
            return error(QStringLiteral("--linea: ") + p);

    QString motivo;
    central::Conexion c = central::conectar(url, qEnvironmentVariable("OMBRIX_CENTRAL_CLAVE"), 10, &motivo);
    if (!c || !central::prepararEsquema(c.get(), &motivo)
        || (!linea.isEmpty()
            && !central::prepararLinea(c.get(), linea, QString::fromUtf8(QTimeZone::systemTimeZoneId()), &motivo))) {
        std::fprintf(stderr, "ombrix-central: %s\n", qPrintable(motivo));
        return 1;
    }
    std::printf("esquema ombrix listo en %s%s\n", PQdb(c.get()),
                linea.isEmpty() ? "" : qPrintable(QStringLiteral(", línea ") + linea));
    return 0;
}
