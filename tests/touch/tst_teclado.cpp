// The on-screen keyboard: what each key does to the text, how the window
// ends, and the edit box that opens it in the dialogs.
#include "app/abre_archivos.h"
#include "instruments/prop_inst.h"
#include "raiz_temporal.h"
#include "touch/teclado.h"

#include <QIntValidator>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace ombrix;

namespace {

QString teclear(TKbrType tipo, const QStringList& teclas, bool* aceptado = nullptr)
{
    EntradaTeclado e(tipo);
    for (const QString& t : teclas)
        e.tecla(t);
    if (aceptado)
        *aceptado = e.aceptado();
    return e.terminado() ? e.resultado() : e.texto();
}

// Replaces the modal run of the keyboard by presses on its real keys.
struct Pulsaciones {
    explicit Pulsaciones(QStringList teclas)
    {
        TEditKbr::ejecutar = [teclas, this](TKeyboard& k) {
            k.construir();
            tipo = k.KbrType;
            actual = k.editorActual->text();
            for (const QString& t : teclas) {
                QPushButton* b = k.boton(t);
                if (!b)
                    qFatal("no key %s", qPrintable(t));
                b->click();
            }
            return k.result() == QDialog::Accepted;
        };
    }
    ~Pulsaciones() { TEditKbr::ejecutar = [](TKeyboard& k) { return k.Execute(); }; }
    TKbrType tipo = kbAlfaNumeric;
    QString actual;
};

} // namespace

class TstTeclado : public QObject {
    Q_OBJECT
private slots:
    void numerico_data()
    {
        QTest::addColumn<QStringList>("teclas");
        QTest::addColumn<QString>("texto");
        const QString E = EntradaTeclado::kEnter;
        QTest::newRow("punto primero") << QStringList{".", "5", E} << "0.5";
        QTest::newRow("un solo punto") << QStringList{"1", ".", "2", ".", "3", E} << "1.23";
        QTest::newRow("borrar permite otro punto") << QStringList{"1", ".", EntradaTeclado::kBorrar, "2", ".", "5", E} << "2.5";
        QTest::newRow("atras quita el punto") << QStringList{"1", ".", EntradaTeclado::kAtras, ".", "5", E} << "1.5";
        QTest::newRow("signo") << QStringList{"1", "2", "-", E} << "-12";
        QTest::newRow("signo dos veces") << QStringList{"1", "2", "-", "-", E} << "12";
        QTest::newRow("cero sin signo") << QStringList{"0", "-", E} << "0";
        QTest::newRow("sin nada signo") << QStringList{"-", E} << "0";
        QTest::newRow("numero largo") << QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "1", "2", "3", "4", "5", "6", "7", "-", E}
                                      << "-12345678901234567";
        QTest::newRow("vacio es cero") << QStringList{E} << "0";
        QTest::newRow("signo y punto") << QStringList{"5", "-", EntradaTeclado::kAtras, ".", "3", E} << "-0.3";
    }
    void numerico()
    {
        QFETCH(QStringList, teclas);
        QFETCH(QString, texto);
        QCOMPARE(teclear(kbNumeric, teclas), texto);
    }

    void alfanumerico()
    {
        const QString E = EntradaTeclado::kEnter;
        QCOMPARE(teclear(kbAlfaNumeric, {"A", "~`", QString(QChar(0x00D1)), "!1", EntradaTeclado::kEspacio, E}),
                 QString::fromUtf8("a`\u00f11 "));
        EntradaTeclado e(kbAlfaNumeric);
        e.setCaps(true);
        for (const QString& t : {QStringLiteral("A"), QStringLiteral("~`"), QString(QChar(0x00D1)), QStringLiteral("!1")})
            e.tecla(t);
        QCOMPARE(e.texto(), QString::fromUtf8("A~\u00d1!"));
        QCOMPARE(e.mostrado(), e.texto() + QLatin1Char('_'));
        QCOMPARE(teclear(kbAlfaNumeric, {"H", "O", EntradaTeclado::kBorrar, E}), QString());
        bool aceptado = true;
        teclear(kbAlfaNumeric, {"H", EntradaTeclado::kCancelar}, &aceptado);
        QVERIFY(!aceptado);
    }

    void escapeCancela()
    {
        TKeyboard teclado;
        teclado.KbrType = kbNumeric;
        teclado.construir();
        teclado.pulsar(QStringLiteral("7"));
        QTimer::singleShot(0, &teclado, [&] { QTest::keyClick(&teclado, Qt::Key_Escape); });
        QVERIFY(!teclado.Execute());
        QVERIFY(teclado.Resultado.isEmpty());
    }

    // While the on-screen keyboard is open, keys typed on the PC's keyboard
    // reach the text; Backspace and Enter act as "Atras" and "Enter".
    void tecladoRealMientrasEstaAbierto()
    {
        TEditKbr caja;
        caja.setText(QStringLiteral("viejo"));
        TEditKbr::ejecutar = [](TKeyboard& k) {
            QTimer::singleShot(0, &k, [&k] {
                QTest::keyClicks(&k, QStringLiteral("Horno Nº2x"));
                QTest::keyClick(&k, Qt::Key_Backspace);
                QTest::keyClick(&k, Qt::Key_Return);
            });
            return k.Execute();
        };
        caja.abrirTeclado();
        QCOMPARE(caja.text(), QStringLiteral("Horno Nº2"));

        // The numeric layout keeps to what a number holds.
        TKeyboard n;
        n.KbrType = kbNumeric;
        n.construir();
        QTest::keyClicks(&n, QStringLiteral("1a2.5.-"));
        QCOMPARE(n.entrada()->texto(), QStringLiteral("-12.5"));
        TEditKbr::ejecutar = [](TKeyboard& k) { return k.Execute(); };
    }

    void cajaNumericaDeLaVentanaDePropiedades()
    {
        QWidget padre;
        QLineEdit* caja = nuevoEditorNumerico(&padre, new QIntValidator(0, 65535));
        caja->setText(QStringLiteral("4096"));
        {
            Pulsaciones p({QStringLiteral("4"), QStringLiteral("1"), QStringLiteral("2"), EntradaTeclado::kEnter});
            QTest::mouseClick(caja, Qt::LeftButton);
            QCOMPARE(p.tipo, kbNumeric);
            QCOMPARE(p.actual, QStringLiteral("4096"));
        }
        QCOMPARE(caja->text(), QStringLiteral("412"));
        {
            Pulsaciones p({QStringLiteral("9"), EntradaTeclado::kCancelar});
            QTest::mouseClick(caja, Qt::LeftButton);
        }
        QCOMPARE(caja->text(), QStringLiteral("412"));   // cancelled: kept
        // Typing on a real keyboard still works.
        caja->clear();
        QTest::keyClicks(caja, QStringLiteral("77"));
        QCOMPARE(caja->text(), QStringLiteral("77"));
    }

    void cajaDelNombreDeLaBase()
    {
        test::RaizTemporal raiz;
        TFormaAbreBases d;
        auto* caja = qobject_cast<TEditKbr*>(d.NombreBase);
        QVERIFY(caja);
        Pulsaciones p({QStringLiteral("P"), QStringLiteral("L"), QStringLiteral("A"), EntradaTeclado::kEnter});
        QTest::mouseClick(caja, Qt::LeftButton);
        QCOMPARE(p.tipo, kbAlfaNumeric);
        QCOMPARE(caja->text(), QStringLiteral("pla"));
        // Read-only or ShowKbr off: the keyboard never opens.
        caja->ShowKbr = false;
        QTest::mouseClick(caja, Qt::LeftButton);
        QCOMPARE(caja->text(), QStringLiteral("pla"));
    }

    void numeroMalEscritoSeSelecciona()
    {
        TEditKbr caja;
        caja.Numeric = true;
        caja.setText(QStringLiteral("12"));
        QVERIFY(!caja.hasSelectedText());
        caja.setText(QStringLiteral("12a"));
        QCOMPARE(caja.selectedText(), QStringLiteral("12a"));
        QCOMPARE(caja.text(), QStringLiteral("12a"));
        caja.setText(QString());
        QVERIFY(!caja.hasSelectedText());
    }
};

QTEST_MAIN(TstTeclado)
#include "tst_teclado.moc"
