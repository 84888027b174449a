// The main window's events: the database opened, an instrument added and
// removed with its readings emptied, the access level changed; and the
// events window opened from "Ventanas".
#include "app/eleccion_base.h"
#include "app/elegir_equipo.h"
#include "app/main_form.h"
#include "app/nivel_acceso.h"
#include "dialogos_guion.h"
#include "events/almacen_eventos.h"
#include "events/sellos.h"
#include "raiz_temporal.h"

#include <QFile>
#include <QMdiArea>
#include <QMenu>
#include <QSqlQuery>
#include <QMdiSubWindow>
#include <QTest>

using namespace ombrix;
using namespace ombrix::test;

class TstEventosPrograma : public QObject {
    Q_OBJECT
private slots:
    void eventosDeLaVentanaPrincipal()
    {
        RaizTemporal raiz;
        DialogosGuion guion;
        QFile ajustes(raiz.datos() + QStringLiteral("/Ombrix.ini"));
        QVERIFY(ajustes.open(QIODevice::WriteOnly));
        ajustes.write("[General]\r\ncantidad de aparatos=2\r\nMantener_Nivel=1\r\nNivel=3\r\n[Instrumento1]\r\nHabilitado=1\r\n");
        ajustes.close();
        const QString base = raiz.datos() + QStringLiteral("/Programa.mdb");
        QVERIFY(QFile::copy(RaizTemporal::modeloConstruido(), base));
        QFile::setPermissions(base, QFile::ReadOwner | QFile::WriteOwner);
        int nivel = -1;
        TMainForm w;
        w.ejecutarModal = [&](QDialog& d) {
            if (auto* e = qobject_cast<TFormaEleccionBase*>(&d)) {
                e->FormActivate();
                e->examinar = [base](bool) { return base; };
                e->BotonAceptarClick();
            }
            if (qobject_cast<TNiveldeacceso1*>(&d) && nivel >= 0)
                w.modelo.Config.Nivel = quint8(nivel);
            return int(QDialog::Accepted);
        };
        QVERIFY(w.arrancar());
        auto eventos = [&] { return almacenEventos::leer(w.conexionBase.db(), {}); };
        QVERIFY(!eventos().isEmpty());
        QCOMPARE(eventos().first().tipo, tipoEvento::Base);
        QCOMPARE(eventos().first().origen, QStringLiteral("Ventana"));

        w.botonNuevoInstrumentoClick();
        QCOMPARE(eventos().last().tipo, tipoEvento::Instrumento);
        QCOMPARE(eventos().last().instrumento, 2);
        QSqlQuery q(w.conexionBase.db());
        QVERIFY(q.exec(QStringLiteral("INSERT INTO \"Instrumento2\" (Fecha, Hora, Valor_medido) VALUES ('01/02/2026', '10:00:00', '1.0')")));
        w.botonEliminarInstrumentoClick();   // the script answers "Sí": its readings go too
        const QVector<Evento> v = eventos();
        QCOMPARE(v[v.size() - 2].texto, QStringLiteral("Instrumento 2 eliminado"));
        QCOMPARE(v.last().tipo, tipoEvento::Borrado);
        QCOMPARE(v.last().anterior, QStringLiteral("1"));

        nivel = 0;
        w.Nivel1Execute();
        QCOMPARE(eventos().last().tipo, tipoEvento::Nivel);
        QCOMPARE(eventos().last().anterior, QStringLiteral("3"));
        QCOMPARE(eventos().last().nuevo, QStringLiteral("0"));
        QVERIFY(sellos::verificar(w.conexionBase.db()).bien());

        // "Ventanas" → "Registro de eventos".
        w.MenuVentanas->aboutToShow();
        QAction* accion = nullptr;
        for (QAction* a : w.MenuVentanas->actions())
            if (a->text() == QStringLiteral("Registro de eventos"))
                accion = a;
        QVERIFY(accion);
        accion->trigger();
        bool abierta = false;
        for (QMdiSubWindow* s : w.mdi->subWindowList())
            abierta = abierta || s->widget()->objectName() == QStringLiteral("formaEventos");
        QVERIFY(abierta);
    }
};

QTEST_MAIN(TstEventosPrograma)
#include "tst_eventos_programa.moc"
