// ombrix-export: writes the readings of one instrument, or the combined
// table, as CSV, without widgets.
//
//   ombrix-export --db FILE (--instrument N | --combinada) [--from dd/MM/yyyy]
//                 [--to dd/MM/yyyy] [--sep C] [--out FILE]
//
// --combinada writes Fecha, Hora and every instrument's seven stored columns.
//
// The header carries the column titles of the table window (the instrument's
// value names from the settings under $OMBRIX_HOME); the rows follow in Id
// order. The database is opened as the program opens it, so a database that
// the program or the recorder holds is refused.

#include "acquisition/base_datos.h"
#include "config/modelo.h"
#include "views/consultas.h"
#include "views/consultas_comb.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

using namespace ombrix;

static int uso(const char* motivo)
{
    std::fprintf(stderr, "ombrix-export: %s\n", motivo);
    std::fprintf(stderr,
                 "uso: ombrix-export --db ARCHIVO (--instrument N | --combinada) [--from dd/MM/yyyy] [--to dd/MM/yyyy] [--sep C] [--out ARCHIVO]\n");
    return 2;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString db, salida, desdeTxt, hastaTxt;
    int n = 0;
    bool combinada = false;
    char sep = ',';
    const QStringList a = app.arguments();
    for (int i = 1; i < a.size(); ++i) {
        const QString& op = a[i];
        auto valor = [&](QString& v) {
            if (i + 1 >= a.size())
                return false;
            v = a[++i];
            return true;
        };
        QString v;
        if (op == QLatin1String("--db")) {
            if (!valor(db))
                return uso("falta el archivo de --db");
        } else if (op == QLatin1String("--instrument")) {
            bool ok = false;
            if (!valor(v) || (n = v.toInt(&ok), !ok) || n < 1 || n > 20)
                return uso("--instrument debe ser un número de 1 a 20");
        } else if (op == QLatin1String("--combinada")) {
            combinada = true;
        } else if (op == QLatin1String("--from")) {
            if (!valor(desdeTxt))
                return uso("falta la fecha de --from");
        } else if (op == QLatin1String("--to")) {
            if (!valor(hastaTxt))
                return uso("falta la fecha de --to");
        } else if (op == QLatin1String("--sep")) {
            if (!valor(v))
                return uso("falta el separador de --sep");
            if (v == QLatin1String("\\t") || v == QLatin1String("tab"))
                v = QStringLiteral("\t");
            if (v.size() != 1 || v[0].unicode() > 126 || v[0] == QLatin1Char('"') || v[0] == QLatin1Char('\r')
                || v[0] == QLatin1Char('\n'))
                return uso("--sep debe ser un solo carácter ASCII (no comillas ni fin de línea)");
            sep = char(v[0].unicode());
        } else if (op == QLatin1String("--out")) {
            if (!valor(salida))
                return uso("falta el archivo de --out");
        } else if (op == QLatin1String("--help") || op == QLatin1String("-h")) {
            uso("exporta las lecturas de un instrumento como CSV");
            return 0;
        } else {
            return uso(qPrintable(QStringLiteral("opción desconocida: ") + op));
        }
    }
    if (db.isEmpty() || (n == 0) == !combinada)
        return uso("--db y una de --instrument o --combinada son obligatorios");
    int desde = 0, hasta = 0;
    if (!desdeTxt.isEmpty() && (desde = fechaOrdenable(desdeTxt)) == 0)
        return uso("--from no es una fecha dd/MM/yyyy");
    if (!hastaTxt.isEmpty() && (hasta = fechaOrdenable(hastaTxt)) == 0)
        return uso("--to no es una fecha dd/MM/yyyy");

    Modelo modelo;
    modelo.CargarIni();
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

    BaseDatos base;
    QString error;
    if (!base.abrir(QFileInfo(db).absoluteFilePath(), &error)) {
        std::fprintf(stderr, "ombrix-export: no se pudo abrir la base de datos %s: %s\n", qPrintable(db), qPrintable(error));
        return 1;
    }
    std::FILE* f = stdout;
    if (!salida.isEmpty()) {
        f = std::fopen(QFile::encodeName(salida).constData(), "wb");
        if (!f) {
            std::fprintf(stderr, "ombrix-export: no se pudo crear %s\n", qPrintable(salida));
            return 1;
        }
    }
    const qint64 filas = combinada ? escribirCsvComb(base.db(), todas, titulos, f, sep, desde, hasta, &error)
                                   : escribirCsv(base.db(), n, titulos, f, sep, desde, hasta, &error);
    if (f != stdout && std::fclose(f) != 0 && filas >= 0) {
        std::fprintf(stderr, "ombrix-export: no se pudo escribir %s\n", qPrintable(salida));
        return 1;
    }
    if (filas < 0) {
        std::fprintf(stderr, "ombrix-export: %s\n", qPrintable(error));
        return 1;
    }
    std::fprintf(stderr, "ombrix-export: %lld filas\n", static_cast<long long>(filas));
    return 0;
}
