// ombrix-report: writes the instrument report or the combined report as a PDF,
// without windows, for reports made by a schedule.
//
//   ombrix-report --db FILE (--instrument N | --combinada) [--from dd/MM/yyyy]
//                 [--to dd/MM/yyyy] --pdf OUT
//
// The pages are those the program's preview prints for the same rows: titles
// and the combined report's columns from the settings under $OMBRIX_HOME.
// The database is opened as the program opens it, so a database that the
// program or the recorder holds is refused.

#include "acquisition/base_datos.h"
#include "config/modelo.h"
#include "views/columnas_comb.h"
#include "views/consultas.h"
#include "views/informe.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QPdfWriter>
#include <QSaveFile>
#include <QStringList>

#include <cstdio>

using namespace ombrix;

static int uso(const char* motivo)
{
    std::fprintf(stderr, "ombrix-report: %s\n", motivo);
    std::fprintf(stderr, "uso: ombrix-report --db ARCHIVO (--instrument N | --combinada) [--from dd/MM/yyyy] "
                         "[--to dd/MM/yyyy] --pdf ARCHIVO\n");
    return 2;
}

int main(int argc, char** argv)
{
    // No display is needed: the pages are drawn off screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QString db, pdf, desdeTxt, hastaTxt;
    int n = 0;
    bool combinada = false;
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
        } else if (op == QLatin1String("--pdf")) {
            if (!valor(pdf))
                return uso("falta el archivo de --pdf");
        } else if (op == QLatin1String("--help") || op == QLatin1String("-h")) {
            uso("escribe el informe de un instrumento o el combinado como PDF");
            return 0;
        } else {
            return uso(qPrintable(QStringLiteral("opción desconocida: ") + op));
        }
    }
    if (db.isEmpty() || pdf.isEmpty())
        return uso("--db y --pdf son obligatorios");
    if ((n == 0) == !combinada)
        return uso("hace falta --instrument N o --combinada (uno de los dos)");
    int desde = 0, hasta = 0;
    if (!desdeTxt.isEmpty() && (desde = fechaOrdenable(desdeTxt)) == 0)
        return uso("--from no es una fecha dd/MM/yyyy");
    if (!hastaTxt.isEmpty() && (hasta = fechaOrdenable(hastaTxt)) == 0)
        return uso("--to no es una fecha dd/MM/yyyy");
    if (desde > 0 && hasta > 0 && desde > hasta)
        return uso("--from es posterior a --to");

    Modelo modelo;
    modelo.CargarIni();

    BaseDatos base;
    QString error;
    if (!base.abrir(QFileInfo(db).absoluteFilePath(), &error)) {
        std::fprintf(stderr, "ombrix-report: no se pudo abrir la base de datos %s: %s\n", qPrintable(db),
                     qPrintable(error));
        return 1;
    }
    std::unique_ptr<Informe> informe;
    if (combinada) {
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
    // Written whole or not at all.
    QSaveFile archivo(pdf);
    if (!archivo.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "ombrix-report: no se pudo crear %s\n", qPrintable(pdf));
        return 1;
    }
    bool bien = false;
    qint64 paginas = 0;
    {
        QPdfWriter escritor(&archivo);
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
    if (bien && !archivo.commit()) {
        bien = false;
        error = QStringLiteral("no se pudo escribir ") + pdf;
    }
    if (!bien) {
        std::fprintf(stderr, "ombrix-report: %s\n", qPrintable(error));
        return 1;
    }
    std::fprintf(stderr, "ombrix-report: %lld filas, %lld páginas\n", static_cast<long long>(informe->filas()),
                 static_cast<long long>(paginas));
    return 0;
}
