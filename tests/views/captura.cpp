// Shows the table window or the chart window over a day of simulator-like
// readings, for the screenshots of docs/ (taken from outside, e.g. with
// `import -window root` under Xvfb). Not a test.
//
//   captura-vistas tabla|grafico [seconds]
//   captura-vistas combinada [folder]
//
// "combinada" grabs the column choice, the combined table and the combined
// chart over a day of four instruments itself (offscreen too) and writes
// eleccion_combinada.png, tabla_combinada.png and grafico_combinado.png into
// the folder (default: the current one).
//
//   captura-vistas correcciones [folder]
//
// writes grafico.png (the chart window at its opening size, with a read-out
// and the cross-hair), impresion_grafico.png (page 2 of that chart printed to
// PDF through the print dialog, rendered by pdftoppm: no cross-hair, the page
// line under the title), dialogo_color.png (the toolkit's colour dialog with
// the program's Spanish translations) and ayuda.png (the help window).

#include "acquisition/base_datos.h"
#include "app/aplicacion.h"
#include "app/ayuda.h"
#include "config/dialogos.h"
#include "views/impresion.h"
#include "config/modelo.h"
#include "views/consultas.h"
#include "views/elecc_inst.h"
#include "views/forma_base.h"
#include "views/graf_comb.h"
#include "views/graf_form.h"
#include "views/modelo_tabla.h"
#include "views/tabla_comb.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QDateTime>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QListWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <sqlite3.h>

#include <cmath>
#include <cstdio>

using namespace ombrix;

namespace {

bool guardar(QWidget* w, const QString& carpeta, const char* nombre)
{
    const QString ruta = carpeta + QLatin1Char('/') + QLatin1String(nombre);
    if (!w->grab().save(ruta)) {
        std::fprintf(stderr, "no se pudo escribir %s\n", qPrintable(ruta));
        return false;
    }
    std::printf("%s\n", qPrintable(ruta));
    return true;
}

// A day of four furnaces recorded together every 60 s, and the three
// combined views over it.
int combinada(QApplication& app, const QString& carpeta)
{
    QTemporaryDir dir;
    qputenv("OMBRIX_HOME", dir.path().toUtf8());
    const QString ruta = dir.filePath(QStringLiteral("planta.mdb"));
    QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/Modelo.mod"), ruta);
    QFile(ruta).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    constexpr int kHornos = 4;
    Modelo modelo;
    modelo.CantidadAparatos = kHornos + 1;
    modelo.ActualizarMemoria();
    const char* titulos[kHornos] = {"Templado 1", "Templado 2", "Revenido", "Secado"};
    const double consignas[kHornos] = {850, 820, 560, 180};
    const qint32 colores[kHornos] = {0x0000C0, 0xC00000, 0x008000, 0x0080C0};   // 0x00BBGGRR
    for (int n = 1; n <= kHornos; ++n) {
        modelo.granini(n, QString());
        modelo.Estados[n].Titulo = modelo.ArrayConfig[n].Titulo = QString::fromUtf8(titulos[n - 1]);
        modelo.Avanzadas1[n].NombreVA = QStringLiteral("Temp.");
        modelo.Avanzadas1[n].NombreSP = QStringLiteral("Consigna");
        modelo.Avanzadas1[n].NombrePot = QStringLiteral("Potencia");
        modelo.Avanzadas1[n].NombreAl1 = QStringLiteral("Alarma 1");
        modelo.Avanzadas1[n].NombreAl2 = QStringLiteral("Alarma 2");
        modelo.Avanzadas1[n].NombreAl3 = QStringLiteral("Alarma 3");
        modelo.Avanzadas1[n].NombreAl4 = QStringLiteral("Alarma 4");
        TInstGrafico& g = modelo.InstGrafico[n];
        g.ValorMedidoT = g.ValorMedidoG = true;
        g.SetPointT = n <= 2;
        g.SetPointG = n == 1;
        g.PotenciaT = n == 1;
        g.Alarma1T = g.Alarma1G = n == 1;
        g.CLVM = colores[n - 1];
        g.CLSP = 0x808080;
        g.CLAL1 = 0x0000FF;
        g.Ejeizq = true;
    }
    modelo.Avanzadas1[4].PCheckAl1 = false;   // the drier shows no alarm 1
    modelo.Config.Sincronismo = true;          // the rows were recorded together
    modelo.Config.Tiempo = QStringLiteral("12:00:00");
    modelo.Config.dias = QStringLiteral("0");
    modelo.Config.maximoizq = 1000;
    modelo.Config.minimoizq = 0;
    modelo.Config.maximoder = 100;
    modelo.Config.minimoder = 0;
    modelo.Config.espesor = 2;
    modelo.Config.Puntos = false;
    BaseDatos base;
    QString error;
    if (!base.abrir(ruta, &error))
        qFatal("%s", qPrintable(error));
    sqlite3* h = manejadorSqlite(base.db());
    sqlite3_exec(h, "BEGIN", nullptr, nullptr, nullptr);
    QStringList cols{QStringLiteral("\"Fecha\""), QStringLiteral("\"Hora\"")}, marcas{QStringLiteral("?"), QStringLiteral("?")};
    for (int n = 1; n <= kHornos; ++n)
        for (int k = 0; k < kTiposValor; ++k) {
            cols << identificadorSql(campoCombinada(TipoValor(k), n));
            marcas << QStringLiteral("?");
        }
    const QByteArray sql = (QStringLiteral("INSERT INTO \"Combinada\" (") + cols.join(QLatin1Char(','))
                            + QStringLiteral(") VALUES (") + marcas.join(QLatin1Char(',')) + QLatin1Char(')'))
                               .toUtf8();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(h, sql.constData(), -1, &st, nullptr);
    const QDateTime inicio(QDate(2026, 3, 5), QTime(6, 0, 0), QTimeZone::utc());
    double va[kHornos] = {25, 25, 25, 25};
    for (int i = 0; i < 1440; ++i) {
        const QDateTime t = inicio.addSecs(i * 60);
        QVector<QByteArray> v{t.toString(QStringLiteral("dd/MM/yyyy")).toUtf8(), t.toString(QStringLiteral("hh:mm:ss")).toUtf8()};
        const double hora = i / 60.0;
        for (int n = 0; n < kHornos; ++n) {
            const double rampa = 2.0 + n;
            const double sp = hora < rampa ? 25 + (consignas[n] - 25) * hora / rampa
                              : hora < 16   ? consignas[n]
                                            : qMax(25.0, consignas[n] - (hora - 16) * consignas[n] / 6);
            va[n] += (sp - va[n]) * 0.15 + 2.5 * std::sin(i * 0.31 + n);
            const double pot = qBound(0.0, (sp - va[n]) * 2 + sp / 12, 100.0);
            v << QByteArray::number(va[n], 'f', 1) << QByteArray::number(sp, 'f', 0) << QByteArray::number(pot, 'f', 0)
              << (n == 0 && va[n] > sp + 6 ? "100" : "0") << "0" << "N.I." << "N.I.";
        }
        for (int k = 0; k < v.size(); ++k)
            sqlite3_bind_text(st, k + 1, v[k].constData(), int(v[k].size()), SQLITE_TRANSIENT);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr);

    RegistroVentanas ventanas;
    ContextoVistas c(modelo, ventanas, base);
    bool bien = true;
    {
        TFormaEleccInst d(c);
        d.FormActivate();
        d.listaInstrumentos->setCurrentRow(0);
        d.show();
        QCoreApplication::processEvents();
        bien &= guardar(&d, carpeta, "eleccion_combinada.png");
    }
    TFormaTablaComb* f = abrirTablaCombinada(c);
    f->resize(1060, 460);
    while (f->leyendo())
        QCoreApplication::processEvents();
    f->rejilla()->scrollTo(f->modelo()->index(480, 0), QAbstractItemView::PositionAtTop);
    f->DBGrid1CellClick(f->modelo()->index(483, 2));
    f->rejilla()->selectRow(483);
    QCoreApplication::processEvents();
    bien &= guardar(f, carpeta, "tabla_combinada.png");
    f->BotonGraficoClick();
    TFormaGrafTabCom* g = formaGrafTabCom(c);
    g->resize(1100, 640);
    while (g->actualizando())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    g->BotonPrimeraClick();
    QCoreApplication::processEvents();
    g->grafico()->replot();
    bien &= guardar(g, carpeta, "grafico_combinado.png");
    cerrarVistas(c);
    base.cerrar();
    app.processEvents();
    return bien ? 0 : 1;
}

// Answers the print dialog's PDF question with a fixed file.
class DialogosCaptura : public Dialogos {
public:
    QString pdf;
    Respuesta mensaje(const QString&, const QString& texto, Icono, Botones botones) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(texto));
        return botones == Botones::SiNo ? Respuesta::Si : Respuesta::Ok;
    }
    bool entrada(const QString&, const QString&, QString& texto) override
    {
        texto = pdf;
        return true;
    }
};

// A day of a ramp/soak program, one reading every 30 s, into instrument 1.
void llenarInstrumento(BaseDatos& base)
{
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
}

int correcciones(QApplication& app, const QString& carpeta)
{
    cargarTraduccionesQt(app);
    QTemporaryDir dir;
    qputenv("OMBRIX_HOME", dir.path().toUtf8());
    const QString ruta = dir.filePath(QStringLiteral("planta.mdb"));
    QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/Modelo.mod"), ruta);
    QFile(ruta).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    Modelo modelo;
    modelo.CantidadAparatos = 2;
    modelo.ActualizarMemoria();
    modelo.granini(1, QString());
    modelo.Estados[1].Titulo = modelo.ArrayConfig[1].Titulo = QStringLiteral("Horno 1");
    modelo.Estados[1].Unidad = QStringLiteral("°C");
    modelo.Gindividual[1].Tiempo = QStringLiteral("06:00:00");
    modelo.Gindividual[1].dias = QStringLiteral("00");
    modelo.Gindividual[1].MaximoTemp = 700;
    modelo.Gindividual[1].MinimoTemp = 0;
    modelo.Gindividual[1].EspesorLinea = 2;
    BaseDatos base;
    QString error;
    if (!base.abrir(ruta, &error))
        qFatal("%s", qPrintable(error));
    llenarInstrumento(base);
    DialogosCaptura respuestas;
    respuestas.pdf = dir.filePath(QStringLiteral("impresion.pdf"));
    instalarDialogos(&respuestas);
    DestinoImpresion::impresorasInstaladas = [] { return QStringList(); };

    RegistroVentanas ventanas;
    ContextoVistas c(modelo, ventanas, base);
    bool bien = true;
    TFormaBase* f = abrirTablaInstrumento(c, 1);
    f->BotonGraficoClick();
    TGrafForm* g = f->FormaGraf();
    while (g->actualizando())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    g->show();
    g->BotonPrimeraClick();
    g->BotonProximaClick();
    QCoreApplication::processEvents();
    g->grafico()->replot();
    {
        // The read-out on a set point reading, the cross-hair elsewhere.
        const QRect r = g->grafico()->axisRect()->rect();
        const double x = g->grafico()->xAxis->range().lower + g->grafico()->xAxis->range().size() * 0.35;
        const auto it = g->serie(1)->data()->findBegin(x);
        g->mostrarLectura(1, int(g->grafico()->xAxis->coordToPixel(it->key)), int(g->grafico()->yAxis->coordToPixel(it->value)) + 6);
        g->CheckCruz->setChecked(true);
        g->moverCruz(r.left() + r.width() * 3 / 4, r.top() + r.height() / 3);
    }
    QCoreApplication::processEvents();
    bien &= guardar(g, carpeta, "grafico.png");

    // The current page (2) through the print dialog, as the operator prints it.
    TFormaImpresion* d = g->BotonImprimirClick();
    QCoreApplication::processEvents();
    d->RadioActual->click();
    bien &= d->BotonAceptarClick();
    const QString prefijo = dir.filePath(QStringLiteral("pagina"));
    QProcess::execute(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("70"),
                                                   QStringLiteral("-singlefile"), respuestas.pdf, prefijo});
    const QString destino = carpeta + QStringLiteral("/impresion_grafico.png");
    QFile::remove(destino);
    bien &= QFile::copy(prefijo + QStringLiteral(".png"), destino);
    cerrarVistas(c);

    QColorDialog color(Qt::red);
    color.setOption(QColorDialog::DontUseNativeDialog);
    color.show();
    QCoreApplication::processEvents();
    bien &= guardar(&color, carpeta, "dialogo_color.png");
    color.hide();

    TFormaAyuda ayuda(carpetaManual());
    ayuda.resize(760, 600);
    ayuda.mostrarPagina(QStringLiteral("grafico.html"));
    ayuda.show();
    QCoreApplication::processEvents();
    bien &= guardar(&ayuda, carpeta, "ayuda.png");
    instalarDialogos(nullptr);
    base.cerrar();
    return bien ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc > 1 && QByteArray(argv[1]) == "combinada")
        return combinada(app, argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("."));
    if (argc > 1 && QByteArray(argv[1]) == "correcciones")
        return correcciones(app, argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("."));
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
    llenarInstrumento(base);

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
