// The combined table, its column choice and the combined chart on real
// database files, offscreen.

#include "banco_vistas.h"
#include "dialogos_guion.h"

#include "acquisition/registro.h"
#include "app/eleccion_base.h"
#include "app/main_form.h"
#include "views/elecc_inst.h"
#include "views/forma_base.h"
#include "views/graf_comb.h"
#include "views/modelo_tabla.h"
#include "views/prop_graf_comb.h"
#include "views/tabla_comb.h"

#include <qcustomplot.h>

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QHeaderView>
#include <QTableView>
#include <QToolButton>
#include <QSqlQuery>

using namespace ombrix;
using namespace ombrix::test;

namespace {

// Rows of "Combinada": date, time and texts for the named columns.
void insertarComb(BaseDatos& base, const QStringList& campos, const QVector<QStringList>& filas)
{
    sqlite3* h = manejadorSqlite(base.db());
    QStringList cols{QStringLiteral("\"Fecha\""), QStringLiteral("\"Hora\"")}, marcas{QStringLiteral("?"), QStringLiteral("?")};
    for (const QString& c : campos) {
        cols << identificadorSql(c);
        marcas << QStringLiteral("?");
    }
    const QByteArray sql = (QStringLiteral("INSERT INTO \"Combinada\" (") + cols.join(',') + QStringLiteral(") VALUES (")
                            + marcas.join(',') + ')')
                               .toUtf8();
    sqlite3_stmt* st = nullptr;
    QCOMPARE(sqlite3_prepare_v2(h, sql.constData(), -1, &st, nullptr), SQLITE_OK);
    sqlite3_exec(h, "BEGIN", nullptr, nullptr, nullptr);
    for (const QStringList& f : filas) {
        for (int k = 0; k < f.size(); ++k) {
            const QByteArray u = f[k].toUtf8();
            if (f[k].isNull())
                sqlite3_bind_null(st, k + 1);
            else
                sqlite3_bind_text(st, k + 1, u.constData(), int(u.size()), SQLITE_TRANSIENT);
        }
        QCOMPARE(sqlite3_step(st), SQLITE_DONE);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    QCOMPARE(sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
}

// The Ids of a grid source, in the order it shows them.
QVector<qint64> idsDe(const ConsultasCombinada& q)
{
    QVector<qint64> ids;
    for (const FilaDatos& f : q.desdeFila(0, int(q.contar())))
        ids << f.id;
    return ids;
}

// The Ids SQLite itself gives for the statement, in its order.
QVector<qint64> idsSegunSql(const QSqlDatabase& db, const ConsultaComb& c)
{
    QVector<qint64> ids;
    LectorCombinada l(db, c, true);
    while (!l.terminado())
        l.leer(100000, [&](const char* const* t, const int*) { ids << QByteArray(t[0]).toLongLong(); });
    return ids;
}

// Answers the main window's dialogs: the database choice takes `*base`, the
// column choice shows the table; counts the column choices.
void responder(TMainForm& w, const QString* base, int* elecciones)
{
    w.ejecutarModal = [base, elecciones](QDialog& d) {
        if (auto* e = qobject_cast<TFormaEleccionBase*>(&d)) {
            e->FormActivate();
            e->examinar = [base](bool) { return *base; };
            e->BotonAceptarClick();
            return int(QDialog::Accepted);
        }
        if (auto* e = qobject_cast<TFormaEleccInst*>(&d)) {
            ++*elecciones;
            e->BotonVer->click();
            return e->result();
        }
        return int(QDialog::Accepted);
    };
}

QString copiaDelModelo(const RaizTemporal& raiz, const QString& nombre)
{
    const QString ruta = raiz.datos() + QLatin1Char('/') + nombre;
    QFile::copy(RaizTemporal::modeloConstruido(), ruta);
    QFile(ruta).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return ruta;
}

QStringList columna(TFormaTablaComb* f, int c)
{
    QStringList v;
    for (int r = 0; r < f->modelo()->rowCount(); ++r)
        v << f->modelo()->data(f->modelo()->index(r, c)).toString();
    return v;
}

int columnaDe(TFormaTablaComb* f, const QString& campo) { return int(f->consulta().columnas().indexOf(campo)); }

void clic(TFormaTablaComb* f, int fila, int col) { f->DBGrid1CellClick(f->modelo()->index(fila, col)); }

bool esperar(TFormaGrafTabCom* g) { return QTest::qWaitFor([g] { return !g->actualizando(); }, 20000); }

} // namespace

class TstCombinada : public QObject {
    Q_OBJECT

private slots:
    void init() { ventanas_ = RegistroVentanas{}; }

    void columnasDesdeLasBanderas()
    {
        BancoVistas b(3);
        for (int n = 1; n <= 3; ++n)
            b.modelo.ArrayConfig[n].Titulo = QStringLiteral("Horno %1").arg(n);
        b.modelo.Avanzadas1[2].NombreSP = QStringLiteral("Consigna");
        b.modelo.InstGrafico[1].Alarma2T = true;
        b.modelo.InstGrafico[2].SetPointT = true;
        b.modelo.Avanzadas1[3].PCheckVA = false;   // not shown on its panel
        ContextoVistas c(b.modelo, ventanas_, b.base);
        TFormaEleccInst d(c);
        d.FormActivate();
        QCOMPARE(d.listaInstrumentos->count(), 3);
        QCOMPARE(d.grupoInstrumento->title(), QStringLiteral("Horno 1:"));
        d.listaInstrumentos->setCurrentRow(2);
        QVERIFY(!d.casillas[0]->isEnabled());
        QVERIFY(!d.casillas[0]->isChecked());
        d.listaInstrumentos->setCurrentRow(1);
        QCOMPARE(d.casillas[1]->text(), QStringLiteral("Consigna"));
        d.casillas[2]->setChecked(true);   // power of instrument 2
        d.BotonVerClick();
        QVERIFY(!b.modelo.InstGrafico[3].ValorMedidoT);
        QVERIFY(b.modelo.InstGrafico[2].PotenciaT);
        // Grouped by kind, then by instrument; the undisplayed value is not a column.
        TFormaTablaComb* f = abrirTablaCombinada(c);
        QCOMPARE(f->consulta().campos, (QStringList{"V_medido(Ins1)", "V_medido(Ins2)", "SP(Ins2)", "Pot(Ins2)", "AL2(Ins1)"}));
        QCOMPARE(f->titulos()[5], QStringLiteral("Consigna(Horno 2)"));
        QCOMPARE(f->modelo()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Fecha"));
        cerrarVistas(c);
        QVERIFY(!formaTablaComb(c));
    }

    // Alarm 1 is a percentage: drawn at the integer its text holds; the other
    // alarms at their levels. Nothing for a text that holds no integer.
    void alarma1ComoEntero()
    {
        double y = -1;
        QCOMPARE(valorComb(TipoValor::Alarma1, "100", y), ValorComb::Punto);
        QCOMPARE(y, 100.0);
        QCOMPARE(valorComb(TipoValor::Alarma1, "55", y), ValorComb::Punto);
        QCOMPARE(y, 55.0);
        QCOMPARE(valorComb(TipoValor::Alarma1, " 7 ", y), ValorComb::Punto);
        QCOMPARE(y, 7.0);
        QCOMPARE(valorComb(TipoValor::Alarma1, "0", y), ValorComb::Punto);
        QCOMPARE(y, 0.0);
        y = -1;
        for (const char* malo : {"abc", "12.5", "-", "1e3", "Err", "N.I."})
            QVERIFY2(valorComb(TipoValor::Alarma1, malo, y) == ValorComb::Nada && y == -1, malo);
        QCOMPARE(valorComb(TipoValor::Alarma2, "100", y), ValorComb::Punto);
        QCOMPARE(y, 10.0);
        QCOMPARE(valorComb(TipoValor::Alarma4, "55", y), ValorComb::Punto);
        QCOMPARE(y, 0.0);

        // In the chart.
        BancoVistas b(1);
        b.modelo.ArrayConfig[1].Titulo = QStringLiteral("Horno 1");
        b.modelo.InstGrafico[1].Alarma1T = b.modelo.InstGrafico[1].Alarma1G = true;
        b.modelo.Config.Tiempo = QStringLiteral("00:01:00");
        b.modelo.Config.dias = QStringLiteral("00");
        const QStringList campos{"V_medido(Ins1)", "AL1(Ins1)"};
        insertarComb(b.base, campos, {{"01/03/2026", "10:00:00", "150", "37"}, {"01/03/2026", "10:00:10", "151", "100"},
                                      {"01/03/2026", "10:00:20", "152", "x"}});
        DialogosGuion guion;
        ContextoVistas c(b.modelo, ventanas_, b.base);
        TFormaTablaComb* f = abrirTablaCombinada(c);
        f->BotonGraficoClick();
        TFormaGrafTabCom* g = formaGrafTabCom(c);
        QVERIFY(g && esperar(g));
        QCPGraph* a1 = g->serie(1, TipoValor::Alarma1);
        QVERIFY(a1);
        QCOMPARE(a1->dataCount(), 2);
        QCOMPARE(a1->data()->at(0)->value, 37.0);
        QCOMPARE(a1->data()->at(1)->value, 100.0);
        // The read-out: the recorded value with its instrument's unit.
        QCPGraph* va = g->serie(1, TipoValor::Medido);
        g->grafico()->replot();
        g->mostrarLectura(va, int(g->grafico()->xAxis->coordToPixel(va->data()->at(1)->key)), 5);
        QCOMPARE(g->textoLectura().section(QLatin1Char('\n'), 0, 0), QStringLiteral("151 °C (") + va->name() + QLatin1Char(')'));
        cerrarVistas(c);
    }

    // Every column as wide as its title; with free recording the window says
    // the table fills only with synchronised recording.
    void columnasLegiblesYAvisoDeSincronismo()
    {
        BancoVistas b(3);
        for (int n = 1; n <= 3; ++n) {
            b.modelo.ArrayConfig[n].Titulo = QStringLiteral("Horno de recocido %1").arg(n);
            b.modelo.Estados[n].Titulo = b.modelo.ArrayConfig[n].Titulo;
            b.modelo.InstGrafico[n].SetPointT = true;
        }
        b.modelo.Config.Sincronismo = false;
        ContextoVistas c(b.modelo, ventanas_, b.base);
        TFormaTablaComb* f = abrirTablaCombinada(c);
        f->show();
        QCoreApplication::processEvents();
        QVERIFY(f->etiquetaSincronismo->isVisible());
        QVERIFY(f->etiquetaSincronismo->text().contains(QStringLiteral("sincronizado")));
        const QFontMetrics m(f->rejilla()->horizontalHeader()->font());
        const QStringList t = f->titulos();
        QCOMPARE(t.size(), 3 + 6);
        for (int k = 0; k < t.size(); ++k)
            QVERIFY2(f->rejilla()->columnWidth(k) >= m.horizontalAdvance(t[k]) + 12, qPrintable(t[k]));
        cerrarVistas(c);

        b.modelo.Config.Sincronismo = true;
        f = abrirTablaCombinada(c);
        QVERIFY(f->etiquetaSincronismo->isHidden());
        cerrarVistas(c);
    }

    void filtroConComillasYCeldaVacia()
    {
        BancoVistas b(2);
        b.modelo.ArrayConfig[1].Titulo = QStringLiteral("Horno 1");
        const QStringList campos{"V_medido(Ins1)", "V_medido(Ins2)"};
        insertarComb(b.base, campos,
                     {{"01/03/2026", "10:00:00", "12\"5", "1"},
                      {"01/03/2026", "10:00:10", "O'Neil", ""},
                      {"01/03/2026", "10:00:20", "12\"5", QString()},
                      {"01/03/2026", "10:00:30", "7", "3"}});
        ContextoVistas c(b.modelo, ventanas_, b.base);
        TFormaTablaComb* f = abrirTablaCombinada(c);
        QVERIFY(!f->BotonFiltro->isEnabled());
        const int v1 = columnaDe(f, campos[0]), v2 = columnaDe(f, campos[1]);
        clic(f, 0, v1);
        QCOMPARE(f->etiquetaFiltro->text(), QStringLiteral("Valor Actual(Horno 1) = 12\"5"));
        f->BotonFiltroClick();
        QCOMPARE(f->BotonFiltro->text(), QStringLiteral("Quitar filtro"));
        QCOMPARE(columna(f, 0), (QStringList{"1", "3"}));
        f->BotonFiltroClick();
        QCOMPARE(f->modelo()->rowCount(), 4);
        clic(f, 1, v1);
        f->BotonFiltroClick();
        QCOMPARE(columna(f, 0), QStringList{"2"});
        f->BotonFiltroClick();
        // An empty cell: empty and missing values alike.
        clic(f, 1, v2);
        f->BotonFiltroClick();
        QCOMPARE(columna(f, 0), (QStringList{"2", "3"}));
        // The table is untouched by all of it.
        QCOMPARE(ConsultasCombinada(b.base.db(), ConsultaComb{}).contar(), 4);
        cerrarVistas(c);
    }

    void ordenCronologicoYNumerico()
    {
        BancoVistas b(1);
        const QStringList campos{"V_medido(Ins1)"};
        insertarComb(b.base, campos,
                     {{"01/02/2026", "08:00:00", "10"},
                      {"31/12/2025", "23:59:50", "Err"},
                      {"01/01/2026", "00:00:00", "9.5"},
                      {"31/01/2026", "12:00:00", "-2"},
                      {"01/01/2026", "00:00:00", "100"},
                      {"15/12/2025", "09:00:00", "N.I."}});
        ContextoVistas c(b.modelo, ventanas_, b.base);
        TFormaTablaComb* f = abrirTablaCombinada(c);
        clic(f, 0, 1);
        f->BotonOrdenClick();
        QCOMPARE(columna(f, 0), (QStringList{"6", "2", "3", "5", "4", "1"}));
        clic(f, 0, columnaDe(f, campos[0]));
        f->BotonOrdenClick();
        QCOMPARE(columna(f, 2 + 1), (QStringList{"-2", "9.5", "10", "100", "Err", "N.I."}));
        // Order and filter together; removing the filter goes back to Id order.
        clic(f, 1, 1);   // 01/01/2026
        f->BotonFiltroClick();
        QCOMPARE(columna(f, 0), (QStringList{"3", "5"}));
        f->BotonFiltroClick();
        QCOMPARE(columna(f, 0), (QStringList{"1", "2", "3", "4", "5", "6"}));
        // CSV of what is shown.
        clic(f, 0, columnaDe(f, campos[0]));
        f->BotonOrdenClick();
        const QString csv = b.raiz.datos() + QStringLiteral("/comb.csv");
        QVERIFY(f->exportarCsv(csv));
        QFile a(csv);
        QVERIFY(a.open(QIODevice::ReadOnly));
        const QList<QByteArray> lineas = a.readAll().split('\n');
        QCOMPARE(lineas[1].trimmed(), QByteArray("4,31/01/2026,12:00:00,-2"));
        cerrarVistas(c);
    }

    void borrarTabla()
    {
        BancoVistas b(1);
        insertarComb(b.base, {"V_medido(Ins1)"}, {{"01/03/2026", "10:00:00", "1"}, {"01/03/2026", "10:00:10", "2"}});
        DialogosGuion guion;
        ContextoVistas c(b.modelo, ventanas_, b.base);
        TFormaTablaComb* f = abrirTablaCombinada(c);
        guion.respuestas.enqueue(Respuesta::No);
        f->BotonBorrarClick();
        QCOMPARE(f->modelo()->rowCount(), 2);
        QCOMPARE(guion.mostrados.last().titulo, QStringLiteral("ATENCION!!"));
        f->BotonBorrarClick();
        QCOMPARE(f->modelo()->rowCount(), 0);
        QCOMPARE(ConsultasCombinada(b.base.db(), ConsultaComb{}).contar(), 0);
        cerrarVistas(c);
    }

    void graficoDejaLaRondaYSigueFilas()
    {
        BancoVistas b(2);
        for (int n = 1; n <= 2; ++n) {
            b.modelo.ArrayConfig[n].Titulo = QStringLiteral("Horno %1").arg(n);
            b.modelo.InstGrafico[n].Alarma2T = b.modelo.InstGrafico[n].Alarma2G = true;
            b.modelo.InstGrafico[n].Ejeizq = n == 1;
        }
        const QStringList campos{"V_medido(Ins1)", "V_medido(Ins2)", "AL2(Ins1)", "AL2(Ins2)"};
        insertarComb(b.base, campos,
                     {{"01/03/2026", "10:00:00", "150", "Err", "100", "0"},
                      {"01/03/2026", "10:00:10", "151", "Err", "0", "0"}});
        b.modelo.Config.maximoizq = 500;
        b.modelo.Config.maximoder = 200;
        DialogosGuion guion;
        Registrador reg(b.base, b.modelo);
        reg.NuevaRonda = false;
        ContextoVistas c(b.modelo, ventanas_, b.base);
        c.registrador = &reg;
        TFormaTablaComb* f = abrirTablaCombinada(c);
        f->BotonGraficoClick();
        TFormaGrafTabCom* g = formaGrafTabCom(c);
        QVERIFY(g && esperar(g));
        QVERIFY(!reg.NuevaRonda);
        QCPGraph* v1 = g->serie(1, TipoValor::Medido);
        QVERIFY(v1);
        QCOMPARE(v1->dataCount(), 2);
        QCOMPARE(v1->name(), QStringLiteral("Valor Actual(Horno 1)"));
        QVERIFY(!g->serie(2, TipoValor::Medido));   // never a usable value
        QCOMPARE(g->serie(1, TipoValor::Alarma2)->data()->at(0)->value, 10.0);
        QCOMPARE(g->serie(2, TipoValor::Alarma2)->valueAxis(), g->grafico()->yAxis2);

        // Live: the grid grows, the chart gets the row, alarm at the same level.
        insertarComb(b.base, campos, {{"01/03/2026", "10:00:20", "152", "7", "0", "100"}});
        emit reg.filaCombinadaGuardada();
        QCOMPARE(f->modelo()->rowCount(), 3);
        QCOMPARE(v1->dataCount(), 3);
        QCOMPARE(g->serie(2, TipoValor::Alarma2)->data()->at(2)->value, 10.0);
        QVERIFY(g->serie(2, TipoValor::Medido));
        // An unreadable row: skipped whole, one message.
        insertarComb(b.base, campos, {{"01/03/2026", "10:00:30", "abc", "8", "0", "0"}});
        emit reg.filaCombinadaGuardada();
        insertarComb(b.base, campos, {{"01/03/2026", "10:00:40", "x", "9", "0", "0"}});
        emit reg.filaCombinadaGuardada();
        QCOMPARE(guion.mostrados.size(), 1);
        QCOMPARE(g->serie(2, TipoValor::Medido)->dataCount(), 1);

        // A filtered grid is only marked, then read again on use.
        clic(f, 0, 1);
        f->BotonFiltroClick();
        insertarComb(b.base, campos, {{"01/03/2026", "10:00:50", "153", "9", "0", "0"}});
        emit reg.filaCombinadaGuardada();
        QVERIFY(f->vencida());
        QCOMPARE(f->modelo()->rowCount(), 5);
        f->alDia();
        QCOMPARE(f->modelo()->rowCount(), 6);

        // The properties dialog: contradictory limits fall back with a message, round untouched.
        TFormaPropGrafComb p(c, g);
        p.FormActivate();
        p.Maximo->setValue(-10);
        p.BitBtn1Click();
        QVERIFY(esperar(g));
        QVERIFY(!reg.NuevaRonda);
        QCOMPARE(guion.mostrados.size(), 2);
        QVERIFY(guion.mostrados.last().texto.startsWith(QStringLiteral("El mínimo")));
        QVERIFY(g->serie(1, TipoValor::Medido)->dataCount() > 0);

        // The chart outlives the table and keeps drawing the same rows.
        cerrarVentana(f);
        delete f;
        g->BotonActualizarClick();
        QVERIFY(esperar(g));
        QCOMPARE(g->consulta().campoFiltro, QStringLiteral("Fecha"));
        QCOMPARE(g->serie(1, TipoValor::Medido)->dataCount(), 4);   // "abc" and "x" are skipped
        cerrarVistas(c);
    }

    void eleccionSobreUnaCopia()
    {
        BancoVistas b(2);
        b.modelo.Avanzadas1[2].PCheckSPRd = false;   // the panel does not show it
        b.modelo.InstGrafico[2].SetPointT = true;
        ContextoVistas c(b.modelo, ventanas_, b.base);
        TFormaEleccInst d(c);
        d.FormActivate();
        d.casillas[2]->setChecked(true);   // power of instrument 1, in the copy only
        d.listaInstrumentos->setCurrentRow(1);
        QVERIFY(!d.casillas[1]->isEnabled());
        QVERIFY(!d.casillas[1]->isChecked());
        d.listaInstrumentos->setCurrentRow(0);
        QVERIFY(d.casillas[2]->isChecked());   // kept while moving between lines
        d.botonCancelar->click();
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QVERIFY(!b.modelo.InstGrafico[1].PotenciaT);
        QVERIFY(b.modelo.InstGrafico[2].SetPointT);
        // Each opening starts from the stored flags.
        d.FormActivate();
        QVERIFY(!d.casillas[2]->isChecked());
        d.listaInstrumentos->setCurrentRow(1);
        d.BotonVer->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QVERIFY(!b.modelo.InstGrafico[2].SetPointT);
        QVERIFY(b.modelo.InstGrafico[2].ValorMedidoT);
        QVERIFY(!b.modelo.InstGrafico[1].PotenciaT);
    }

    void filasLeidasPorPartes()
    {
        BancoVistas b(1);
        const QString campo = QStringLiteral("V_medido(Ins1)");
        // More rows than one slice reads and than one sorted run holds; many
        // equal numbers, markers and empty cells among them.
        QVector<QStringList> filas;
        for (int i = 0; i < 40000; ++i) {
            const QString v = i % 997 == 0    ? QStringLiteral("Err")
                              : i % 1009 == 0 ? QString()
                              : i % 13 == 0   ? QStringLiteral(" uF ")
                                              : QString::number((i * 7919) % 500 / 10.0);
            filas.append({QStringLiteral("0%1/03/2026").arg(1 + i % 9), QTime(0, 0).addSecs(i).toString("hh:mm:ss"), v});
        }
        insertarComb(b.base, {campo}, filas);
        QSqlQuery(b.base.db()).exec(QStringLiteral("DELETE FROM \"Combinada\" WHERE \"Id\" BETWEEN 5001 AND 5010"));

        // Unfiltered: shown at once, then checked; the gap turns it into a list.
        ConsultasCombinada todas(b.base.db(), ConsultaComb{});
        QCOMPARE(todas.contar(), 40000);
        int pasos = 0;
        while (!todas.paso(0))
            ++pasos;
        QVERIFY(pasos > 1);
        QVERIFY(todas.cambioModo());
        QCOMPARE(todas.contar(), 39990);
        QCOMPARE(todas.desdeFila(5000, 1).value(0).id, 5011);

        // Filtered: rows count as they are found.
        ConsultaComb f;
        f.campos = {campo};
        f.filtrado = true;
        f.campoFiltro = campo;
        f.valorFiltro = QStringLiteral(" uF ");
        ConsultasCombinada filtrada(b.base.db(), f);
        QVERIFY(!filtrada.paso(0));
        const qint64 parcial = filtrada.contar();
        filtrada.completar();
        QVERIFY(parcial > 0 && parcial < filtrada.contar());
        QCOMPARE(idsDe(filtrada), idsSegunSql(b.base.db(), f));

        // Ordered, on a value and on the date: none until sorted, then as SQLite orders.
        for (const QString& orden : {campo, QStringLiteral("Fecha")}) {
            ConsultaComb o;
            o.campos = {campo};
            o.campoOrden = orden;
            ConsultasCombinada ordenada(b.base.db(), o);
            QVERIFY(!ordenada.paso(0));
            QCOMPARE(ordenada.contar(), 0);
            ordenada.completar();
            QCOMPARE(ordenada.contar(), 39990);
            QCOMPARE(idsDe(ordenada), idsSegunSql(b.base.db(), o));
        }
    }

    void propiedadesReconstruyenSeries()
    {
        BancoVistas b(2);
        for (int n = 1; n <= 2; ++n)
            b.modelo.ArrayConfig[n].Titulo = QStringLiteral("Horno %1").arg(n);
        insertarComb(b.base, {"V_medido(Ins1)", "V_medido(Ins2)"},
                     {{"01/03/2026", "10:00:00", "150", "40"}, {"01/03/2026", "10:00:10", "151", "41"}});
        b.modelo.Config.espesor = 1;
        b.modelo.Config.maximoizq = b.modelo.Config.maximoder = 500;
        DialogosGuion guion;
        ContextoVistas c(b.modelo, ventanas_, b.base);
        TFormaTablaComb* f = abrirTablaCombinada(c);
        f->BotonGraficoClick();
        TFormaGrafTabCom* g = formaGrafTabCom(c);
        QVERIFY(g && esperar(g));
        QCOMPARE(g->serie(2, TipoValor::Medido)->valueAxis(), g->grafico()->yAxis);

        // "Cancelar" drops the working copy but keeps the line width.
        {
            TFormaPropGrafComb p(c, g);
            p.FormActivate();
            p.listaInstrumentos->setCurrentRow(1);
            p.EjeDerecho->click();
            p.EspesorVActual->setValue(2);
            p.botonCancelar->click();
        }
        QVERIFY(b.modelo.InstGrafico[2].Ejeizq);
        QCOMPARE(int(b.modelo.Config.espesor), 2);

        // "Aceptar": new width, instrument 2 on the right axis, series rebuilt.
        TFormaPropGrafComb p(c, g);
        p.FormActivate();
        QCOMPARE(p.EspesorVActual->value(), 2);
        p.listaInstrumentos->setCurrentRow(1);
        QCOMPARE(p.grupoInstrumento->title(), QStringLiteral("Instrumento 2"));
        p.EjeDerecho->click();
        p.EspesorVActual->setValue(3);
        p.botonAceptar->click();
        QVERIFY(esperar(g));
        QVERIFY(!b.modelo.InstGrafico[2].Ejeizq);
        QCOMPARE(g->cantidadSeries(), 2);
        QCOMPARE(g->serie(1, TipoValor::Medido)->pen().width(), 3);
        QCOMPARE(g->serie(1, TipoValor::Medido)->valueAxis(), g->grafico()->yAxis);
        QCOMPARE(g->serie(2, TipoValor::Medido)->valueAxis(), g->grafico()->yAxis2);
        QCOMPARE(g->serie(2, TipoValor::Medido)->dataCount(), 2);
        QVERIFY(guion.mostrados.isEmpty());
        cerrarVistas(c);
    }

    void exportaLaCombinada()
    {
        BancoVistas b(2);
        QStringList campos;
        for (int n = 1; n <= 2; ++n)
            for (int k = 0; k < kTiposValor; ++k)
                campos << campoCombinada(TipoValor(k), n);
        QVector<QStringList> filas;
        for (QDate d(2025, 12, 29); d <= QDate(2026, 1, 3); d = d.addDays(1)) {
            QStringList f{d.toString(QStringLiteral("dd/MM/yyyy")), QStringLiteral("12:00:00")};
            for (int k = 0; k < campos.size(); ++k)
                f << (k == 0 ? QStringLiteral("1,5 \"x\"") : QString::number(k));
            filas << f;
        }
        insertarComb(b.base, campos, filas);
        b.modelo.RutaIni = b.raiz.datos() + QStringLiteral("/Ombrix.ini");
        b.modelo.SalvarIni();
        b.base.cerrar();

        QProcess p;
        p.start(RaizTemporal::programa(QStringLiteral("ombrix-export")),
                {QStringLiteral("--db"), b.ruta, QStringLiteral("--combinada"), QStringLiteral("--from"),
                 QStringLiteral("31/12/2025"), QStringLiteral("--to"), QStringLiteral("02/01/2026")});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        const QList<QByteArray> l = p.readAllStandardOutput().split('\n');
        QCOMPARE(l.size(), 5);
        QCOMPARE(l[0], (QStringList{"Fecha", "Hora"} + campos).join(',').toUtf8() + '\r');
        QVERIFY(l[1].startsWith("31/12/2025,12:00:00,\"1,5 \"\"x\"\"\",1,2,"));
        QVERIFY(l[2].startsWith("01/01/2026,"));
        QVERIFY(l[3].startsWith("02/01/2026,"));
        QCOMPARE(l[3].count(','), 16);   // 15 separators and the quoted one
    }

    void comandoDeLaVentanaPrincipal()
    {
        RaizTemporal raiz;
        const QString a = copiaDelModelo(raiz, QStringLiteral("A.mdb")), b = copiaDelModelo(raiz, QStringLiteral("B.mdb"));
        DialogosGuion guion;
        TMainForm w;
        QString elegida = a;
        int elecciones = 0;
        responder(w, &elegida, &elecciones);
        QVERIFY(w.arrancar());
        QVERIFY(w.TablaMultiple->isEnabled());
        w.TablaMultipleExecute();
        auto* f = qobject_cast<TFormaTablaComb*>(w.ventanas.FormaTablaComb.data());
        QVERIFY(f);
        QVERIFY(!w.TablaMultiple->isEnabled());
        w.TablaMultipleExecute();   // no second table
        QCOMPARE(elecciones, 1);
        f->BotonGraficoClick();
        QVERIFY(w.ventanas.FormaGrafTabCom);
        // Closing the table gives the command back; the chart stays.
        cerrarVentana(f);
        QTRY_VERIFY(w.TablaMultiple->isEnabled());
        QVERIFY(!w.ventanas.FormaTablaComb);
        QVERIFY(w.ventanas.FormaGrafTabCom);

        // Another database closes both combined windows.
        w.TablaMultipleExecute();
        QVERIFY(w.ventanas.FormaTablaComb);
        elegida = b;
        w.CargarBaseExecute();
        QCOMPARE(w.modelo.RutaBase, b);
        QVERIFY(!w.ventanas.FormaTablaComb);
        QVERIFY(!w.ventanas.FormaGrafTabCom);
        QTRY_VERIFY(w.TablaMultiple->isEnabled());

    }

    void sinInstrumentosNoHayTablaCombinada()
    {
        RaizTemporal raiz;
        const QString a = copiaDelModelo(raiz, QStringLiteral("A.mdb"));
        {
            Modelo m;
            m.CargarIni();
            m.CantidadAparatos = 1;
            m.ActualizarMemoria();
            m.SalvarIni();
        }
        DialogosGuion guion;
        TMainForm w;
        QString elegida = a;
        int elecciones = 0;
        responder(w, &elegida, &elecciones);
        QVERIFY(w.arrancar());
        QCOMPARE(w.modelo.cantidadInstrumentos(), 0);
        w.TablaMultipleExecute();
        QCOMPARE(elecciones, 0);
        QVERIFY(!w.ventanas.FormaTablaComb);
        QTRY_VERIFY(!w.TablaMultiple->isEnabled());
    }

private:
    RegistroVentanas ventanas_;
};

QTEST_MAIN(TstCombinada)
#include "tst_combinada.moc"
