// The application-wide handler: an error that no window handles is shown in a
// plain box and the program goes on.
#include "app/aplicacion.h"
#include "config/dialogos.h"
#include "dialogos_guion.h"

#include <QTest>
#include <QTimer>

using namespace ombrix;
using namespace ombrix::test;

class TestAplicacion : public QObject {
    Q_OBJECT
private slots:
    void errorSinManejarSeMuestraYElProgramaSigue()
    {
        DialogosGuion guion;
        QTimer::singleShot(0, [] { throw Error(QStringLiteral("Unable to write to /x/Ombrix.ini")); });
        QTimer::singleShot(0, [] { throw std::runtime_error("database is locked"); });
        bool siguio = false;
        QTimer::singleShot(20, [&] { siguio = true; });
        QTRY_VERIFY(siguio);
        QCOMPARE(guion.textos(), (QStringList{"Unable to write to /x/Ombrix.ini", "database is locked"}));
        QCOMPARE(guion.mostrados[0].icono, Icono::Ninguno);
        QCOMPARE(guion.mostrados[0].botones, Botones::Ok);
    }

    void losTitulosNoLlevanNadaAnadido()
    {
        // A display name of its own would be appended to every caption.
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Ombrix"));
        QCoreApplication::setApplicationName(QStringLiteral("Otro nombre"));
        const QString visible = QGuiApplication::applicationDisplayName();
        QCoreApplication::setApplicationName(QStringLiteral("Ombrix"));
        QCOMPARE(visible, QStringLiteral("Otro nombre"));
    }
};

int main(int argc, char** argv)
{
    Aplicacion app(argc, argv);
    TestAplicacion t;
    return QTest::qExec(&t, argc, argv);
}
#include "test_aplicacion.moc"
