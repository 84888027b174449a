// Shows the table window or the chart window over a day of simulator-like
// readings, for the screenshots of docs/ (taken from outside, e.g. with
// `import -window root` under Xvfb). Not a test.
//
//   captura-vistas tabla|grafico [seconds]

#include "acquisition/base_datos.h"
#include "config/modelo.h"
#include "views/consultas.h"
#include "views/forma_base.h"
#include "views/graf_form.h"
#include "views/modelo_tabla.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <sqlite3.h>

#include <cmath>

using namespace ombrix;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString que = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("grafico");
    const int segundos = argc > 2 ? atoi(argv[2]) : 10;
    QTemporaryDir dir;
    qputenv("OMBRIX_HOME", dir.path().toUtf8());
    const QString ruta = dir.filePath(QStringLiteral("planta.mdb"));
    QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/Modelo.mod"), ruta);
    QFile(ruta).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    Modelo modelo;
    modelo.CantidadAparatos = 2;
    modelo.ActualizarMemoria();
    modelo.granini(1, QString());
    modelo.Estados[1].Titulo = QStringLiteral("Horno de templado 1");
    modelo.Estados[1].Unidad = QStringLiteral("°C");
    modelo.Gindividual[1].Tiempo = QStringLiteral("06:00:00");
    modelo.Gindividual[1].dias = QStringLiteral("00");
    modelo.Gindividual[1].MaximoTemp = 700;
    modelo.Gindividual[1].MinimoTemp = 0;
    modelo.Gindividual[1].EspesorLinea = 2;
    modelo.Gindividual[1].Puntos = false;
    BaseDatos base;
    QString error;
    if (!base.abrir(ruta, &error))
        qFatal("%s", qPrintable(error));
    // A day of a ramp/soak program, one reading every 30 s.
    sqlite3* h = manejadorSqlite(base.db());
    sqlite3_exec(h, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(h,
                       "INSERT INTO Instrumento1 (Fecha,Hora,Valor_medido,Set_point,Potencia,Alarma_1,Alarma_2,Alarma_3,"
                       "Alarma_4,Partida) VALUES (?,?,?,?,?,?,?,?,?,'L-0412')",
                       -1, &st, nullptr);
    const QDateTime inicio(QDate(2026, 3, 5), QTime(0, 0, 0), QTimeZone::utc());
    double va = 25;
    for (int i = 0; i < 2880; ++i) {
        const QDateTime t = inicio.addSecs(i * 30);
        const double hora = i * 30 / 3600.0;
        const double sp = hora < 6 ? 25 + hora * 95 : hora < 14 ? 595 : qMax(25.0, 595 - (hora - 14) * 57);
        va += (sp - va) * 0.08 + 1.2 * std::sin(i * 0.7);
        const double pot = qBound(0.0, (sp - va) * 4 + (sp > 100 ? 35 : 0), 100.0);
        const QByteArray v[9] = {t.toString(QStringLiteral("dd/MM/yyyy")).toUtf8(), t.toString(QStringLiteral("hh:mm:ss")).toUtf8(),
                                 QByteArray::number(va, 'f', 1), QByteArray::number(sp, 'f', 1), QByteArray::number(pot, 'f', 0),
                                 va > 600 ? "100" : "0", (hora > 9 && hora < 9.5) ? "100" : "0", "N.I.", "N.I."};
        for (int k = 0; k < 9; ++k)
            sqlite3_bind_text(st, k + 1, v[k].constData(), int(v[k].size()), SQLITE_TRANSIENT);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr);

    RegistroVentanas ventanas;
    ContextoVistas c(modelo, ventanas, base);
    TFormaBase* f = abrirTablaInstrumento(c, 1);
    f->move(20, 20);
    f->resize(980, 560);
    if (que == QLatin1String("grafico")) {
        f->BotonGraficoClick();
        TGrafForm* g = f->FormaGraf();
        g->move(40, 40);
        g->resize(1200, 800);
        QObject::connect(g, &TGrafForm::actualizacionTerminada, g, [g] {
            g->BotonPrimeraClick();
            g->BotonProximaClick();
            QTimer::singleShot(500, g, [g] {
                g->grafico()->replot();
                const QRect r = g->grafico()->axisRect()->rect();
                const double x = g->grafico()->xAxis->range().center();
                const QCPGraphDataContainer::const_iterator it = g->serie(0)->data()->findBegin(x);
                const int px = int(g->grafico()->xAxis->coordToPixel(it->key));
                const int py = int(g->grafico()->yAxis->coordToPixel(it->value));
                g->mostrarLectura(0, px, py);
                g->CheckCruz->setChecked(true);
                g->moverCruz(r.left() + r.width() * 3 / 4, r.top() + r.height() / 3);
            });
        });
    } else {
        f->rejilla()->scrollToBottom();
        f->rejilla()->selectRow(f->modelo()->rowCount() - 3);
    }
    QTimer::singleShot(segundos * 1000, &app, [&] {
        cerrarVistas(c);
        app.quit();
    });
    return app.exec();
}
