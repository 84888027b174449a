// ombrix-export: writes the readings of one instrument, or the combined
// table, as CSV, without widgets.
//
//   ombrix-export --db FILE (--instrument N | --combinada) [--from dd/MM/yyyy]
//                 [--to dd/MM/yyyy] [--sep C] [--out FILE]
//
// Without --out, or with "--out -", the CSV goes to standard output. A file is
// written whole or not at all; an existing --out that is not a regular file
// (a device, a FIFO) is refused.
// --combinada writes Fecha, Hora and every instrument's seven stored columns.
//
// The header carries the column titles of the table window (the instrument's
// value names from the settings under $OMBRIX_HOME); the rows follow in Id
// order. The database is only read, also while the program or the recorder
// writes into it; the rows are those committed while it reads.

#include "acquisition/base_datos.h"
#include "argumentos.h"
#include "config/modelo.h"
#include "views/consultas.h"
#include "views/consultas_comb.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>

using namespace ombrix;

static const Herramienta kExport{
    "ombrix-export",
    "uso: ombrix-export --db ARCHIVO (--instrument N | --combinada) [--from dd/MM/yyyy] [--to dd/MM/yyyy] [--sep C] [--out ARCHIVO]\n",
    "Exporta como CSV las lecturas de un instrumento o la tabla combinada.\n"
    "\n"
    "Opciones:\n"
    "  --db ARCHIVO          Base de datos a leer.\n"
    "  --instrument N        Las lecturas del instrumento N (1 a 20).\n"
    "  --combinada           La tabla combinada: Fecha, Hora y las columnas de cada instrumento.\n"
    "  --from dd/MM/yyyy     Desde esa fecha (incluida).\n"
    "  --to dd/MM/yyyy       Hasta esa fecha (incluida).\n"
    "  --sep C               Separador de columnas (\",\" por defecto; \"tab\" o \"\\t\" para tabulador).\n"
    "  --out ARCHIVO         Archivo de salida (por defecto, o con \"-\", la salida estándar).\n"
    "  --central URL         Lee de la base central PostgreSQL (postgresql://usuario@servidor/base)\n"
    "                        en lugar de --db; la clave, de OMBRIX_CENTRAL_CLAVE, los ajustes,\n"
    "                        PGPASSWORD o PGPASSFILE.\n"
    "  --linea NOMBRE        La línea a leer de la base central (con --central).\n"
    "  -h, --help            Muestra esta ayuda y termina.\n"
    "  --version             Muestra la versión y termina.\n"};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ArgumentosConsulta a;
    QString salida;
    char sep = ',';
    const auto fin = leerArgumentos(kExport, app.arguments(), a,
                                    [&](const QString& op, const LeerValor& valor, const char*& motivo) {
        if (op == QLatin1String("--sep")) {
            QString v;
            if (!valor(v)) {
                motivo = "falta el separador de --sep";
                return true;
            }
            if (v == QLatin1String("\\t") || v == QLatin1String("tab"))
                v = QStringLiteral("\t");
            if (v.size() != 1 || v[0].unicode() > 126 || v[0] == QLatin1Char('"') || v[0] == QLatin1Char('\r')
                || v[0] == QLatin1Char('\n'))
                motivo = "--sep debe ser un solo carácter ASCII (no comillas ni fin de línea)";
            else
                sep = char(v[0].unicode());
            return true;
        }
        if (op == QLatin1String("--out")) {
            if (!valor(salida))
                motivo = "falta el archivo de --out";
            else if (salida.isEmpty())
                motivo = "--out no puede estar vacío (\"-\" es la salida estándar)";
            return true;
        }
        return false;
    });
    if (fin)
        return *fin;
    if (a.db.isEmpty() || (a.instrumento == 0) == !a.combinada)
        return kExport.error("--db y una de --instrument o --combinada son obligatorios");
    if (const auto mal = leerFechas(kExport, a))
        return *mal;
    if (const auto mal = revisarSalida(kExport, a, salida))
        return *mal;
    const int n = a.instrumento, desde = a.desde, hasta = a.hasta;
    const bool combinada = a.combinada;

    Modelo modelo;
    BaseDatos base;
    if (!abrirDatos(kExport, modelo, base, a))
        return 1;
    QStringList titulos;
    ConsultaComb todas;
    if (combinada) {
        titulos << QStringLiteral("Fecha") << QStringLiteral("Hora");
        for (const ColumnaComb& col : columnasCombinada(modelo, true))
            todas.campos << col.campo;
        titulos << todas.campos;
    } else {
        titulos = titulosColumnas(modelo, n);
    }
    QString error;
    // Whole or nothing: the file appears only once every row is written.
    const qint64 filas = escribirEnArchivo(
        salida.isEmpty() ? QStringLiteral("-") : salida,
        [&](std::FILE* f) {
            return combinada ? escribirCsvComb(base.db(), todas, titulos, f, sep, desde, hasta, &error)
                             : escribirCsv(base.db(), n, titulos, f, sep, desde, hasta, &error);
        },
        &error);
    if (filas < 0) {
        std::fprintf(stderr, "ombrix-export: %s\n", qPrintable(error));
        return 1;
    }
    std::fprintf(stderr, "ombrix-export: %lld filas\n", static_cast<long long>(filas));
    return 0;
}
