// Choosing and creating the database: the recent list, browsing, creation from
// the template, and the rule for remembering paths.
#include "app/abre_archivos.h"
#include "app/eleccion_base.h"
#include "config/rutas.h"
#include "dialogos_guion.h"
#include "raiz_temporal.h"

#include <QFile>
#include <QGroupBox>
#include <QListWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>

using namespace ombrix;
using namespace ombrix::test;

namespace {
QStringList lineasArchivo(const QString& ruta)
{
    QFile f(ruta);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QString t = QString::fromUtf8(f.readAll());
    QStringList l = t.split(QStringLiteral("\r\n"));
    if (!l.isEmpty() && l.last().isEmpty())
        l.removeLast();
    return l;
}

void escribir(const QString& ruta, const QByteArray& datos)
{
    QFile f(ruta);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(datos);
}
} // namespace

class TestEleccionBase : public QObject {
    Q_OBJECT
private slots:
    void listaFaltanteOIlegibleDaSoloMasArchivos()
    {
        RaizTemporal raiz;
        TFormaEleccionBase d;
        d.FormActivate();
        QCOMPARE(d.listaBases->count(), 1);
        QCOMPARE(d.listaBases->item(0)->text(), QStringLiteral("<Mas archivos>"));
        QCOMPARE(d.listaBases->currentRow(), 0);

        // A directory where the list should be cannot be read either.
        QDir(raiz.path()).mkdir(QStringLiteral("Bases.lst"));
        d.FormActivate();
        QCOMPARE(d.listaBases->count(), 1);
    }

    void entradaDeLaListaSeUsaSinComprobarYSeReescribeLaLista()
    {
        RaizTemporal raiz;
        escribir(rutaListaBases(), "<Mas archivos>\r\n/no/existe/RIvariv/Vieja.mdb\r\n/otra/B.mdb\r\n");
        TFormaEleccionBase d;
        d.FormActivate();
        QCOMPARE(d.listaBases->count(), 3);
        d.listaBases->setCurrentRow(1);
        bool examinado = false;
        d.examinar = [&](bool) { examinado = true; return QString(); };
        d.BotonAceptarClick();
        QVERIFY(!examinado);
        QCOMPARE(d.RutaBase, QStringLiteral("/no/existe/RIvariv/Vieja.mdb"));
        QCOMPARE(lineasArchivo(rutaListaBases()),
                 (QStringList{"<Mas archivos>", "/no/existe/RIvariv/Vieja.mdb", "/otra/B.mdb"}));
    }

    void soloSeRecuerdanBasesDeUnaCarpetaRIvariv()
    {
        RaizTemporal raiz;
        TFormaEleccionBase d;
        d.FormActivate();
        d.examinar = [](bool) { return QStringLiteral("/datos/planta/Linea1.mdb"); };
        d.BotonAceptarClick();
        QCOMPARE(d.RutaBase, QStringLiteral("/datos/planta/Linea1.mdb"));
        QCOMPARE(lineasArchivo(rutaListaBases()), QStringList{"<Mas archivos>"});

        d.FormActivate();
        d.examinar = [](bool) { return QStringLiteral("/datos/rivariv/Linea2.mdb"); };
        d.BotonAceptarClick();
        QCOMPARE(lineasArchivo(rutaListaBases()), (QStringList{"<Mas archivos>", "/datos/rivariv/Linea2.mdb"}));

        // Already listed (letter case aside): not appended twice.
        d.FormActivate();
        d.examinar = [](bool) { return QStringLiteral("/DATOS/RIVARIV/LINEA2.MDB"); };
        d.BotonAceptarClick();
        QCOMPARE(lineasArchivo(rutaListaBases()).size(), 2);

        // Browsing cancelled: nothing chosen, the previous choice stays, never appended.
        d.FormActivate();
        d.examinar = [](bool) { return QString(); };
        QVERIFY(!d.BotonAceptarClick());
        QCOMPARE(d.RutaBase, QStringLiteral("/DATOS/RIVARIV/LINEA2.MDB"));
        QCOMPARE(lineasArchivo(rutaListaBases()).size(), 2);
    }

    void listaQueNoSePuedeEscribirSeAvisa()
    {
        RaizTemporal raiz;
        // A folder where the list goes: it cannot be replaced.
        QVERIFY(QDir(raiz.path()).mkdir(QStringLiteral("Bases.lst")));
        DialogosGuion guion;
        TFormaEleccionBase d;
        d.FormActivate();
        d.examinar = [&](bool) { return raiz.datos() + QStringLiteral("/A.mdb"); };
        QVERIFY(d.BotonAceptarClick());   // the database is chosen all the same
        QCOMPARE(d.RutaBase, raiz.datos() + QStringLiteral("/A.mdb"));
        QCOMPARE(guion.textos(), QStringList{QStringLiteral("No se pudo guardar la lista de bases de datos en ")
                                             + rutaListaBases() + QStringLiteral(". La lista queda como estaba.")});
    }

    void nuevaSeleccionaMasArchivosYBloqueaLaLista()
    {
        RaizTemporal raiz;
        escribir(rutaListaBases(), "<Mas archivos>\r\n/x/RIvariv/A.mdb\r\n");
        TFormaEleccionBase d;
        d.FormActivate();
        d.listaBases->setCurrentRow(1);
        d.RadioNueva->setChecked(true);
        d.RadioNuevaClick();
        QCOMPARE(d.listaBases->currentRow(), 0);
        QVERIFY(!d.listaBases->isEnabled());
        bool pidioNueva = false;
        d.examinar = [&](bool nueva) { pidioNueva = nueva; return QString(); };
        d.BotonAceptarClick();
        QVERIFY(pidioNueva);
        d.RadioExistente->setChecked(true);
        d.RadioExistenteClick();
        QVERIFY(d.listaBases->isEnabled());
    }

    void limpiarPreguntaYSoloEscribeAlConfirmar()
    {
        RaizTemporal raiz;
        const QByteArray original = "<Mas archivos>\r\n/x/RIvariv/A.mdb\r\n";
        escribir(rutaListaBases(), original);
        DialogosGuion guion;
        TFormaEleccionBase d;
        d.FormActivate();
        guion.respuestas.enqueue(Respuesta::No);
        d.BotonLimpiarClick();
        QCOMPARE(d.listaBases->count(), 2);
        QCOMPARE(guion.mostrados.last().titulo, QStringLiteral("ATENCION!!"));
        QCOMPARE(guion.mostrados.last().texto, QStringLiteral("¿Está seguro de limpiar la lista de últimos programas?"));
        guion.respuestas.enqueue(Respuesta::Si);
        d.BotonLimpiarClick();
        QCOMPARE(d.listaBases->count(), 1);
        // Cancelling after clearing: the file is untouched, the program is to end.
        d.BotonCancelarClick();
        QVERIFY(d.PidioTerminar);
        QVERIFY(d.RutaBase.isEmpty());
        QFile f(rutaListaBases());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), original);
    }

    void crearNuevaCopiaElModeloSinSobrescribir()
    {
        RaizTemporal raiz;
        DialogosGuion guion;
        TFormaAbreBases a;
        a.Nueva = true;
        a.FormActivate();
        QCOMPARE(a.windowTitle(), QStringLiteral("Cargar base de datos nueva"));
        QCOMPARE(a.carpeta(), raiz.datos());
        a.NombreBase->setText(QStringLiteral("Planta"));
        QVERIFY(a.AbrirBase());
        const QString creada = raiz.datos() + QStringLiteral("/Planta.mdb");
        QCOMPARE(a.BaseElegida, creada);
        QVERIFY(a.PuedeCerrar);
        QFile modelo(rutaModelo()), copia(creada);
        QVERIFY(modelo.open(QIODevice::ReadOnly) && copia.open(QIODevice::ReadOnly));
        QCOMPARE(copia.readAll(), modelo.readAll());
        QVERIFY(guion.mostrados.isEmpty());

        // The same name again: asked, never overwritten, the dialog stays open.
        QFile marca(creada);
        QVERIFY(marca.open(QIODevice::Append));
        marca.write("marca");
        marca.close();
        const qint64 tam = QFileInfo(creada).size();
        a.PuedeCerrar = false;
        guion.respuestas.enqueue(Respuesta::Si);
        QVERIFY(!a.AbrirBase());
        QVERIFY(!a.PuedeCerrar);
        QCOMPARE(QFileInfo(creada).size(), tam);
        QCOMPARE(guion.mostrados.last().texto,
                 QStringLiteral("El archivo: ") + creada + QStringLiteral(" ya existe. ¿Desea sobre escribirlo?"));
    }

    void nombreDeLaBaseNueva()
    {
        RaizTemporal raiz;
        DialogosGuion guion;
        TFormaAbreBases a;
        a.Nueva = true;
        a.FormActivate();
        // ".mdb" counts in any case, and only at the end of the name.
        a.NombreBase->setText(QStringLiteral("Planta.MDB"));
        QVERIFY(a.AbrirBase());
        QCOMPARE(a.BaseElegida, raiz.datos() + QStringLiteral("/Planta.MDB"));
        a.NombreBase->setText(QStringLiteral("x.mdbak"));
        QVERIFY(a.AbrirBase());
        QCOMPARE(a.BaseElegida, raiz.datos() + QStringLiteral("/x.mdbak.mdb"));
        // No name: refused, nothing created, the dialog stays.
        a.NombreBase->setText(QStringLiteral("  "));
        QVERIFY(!a.AbrirBase());
        QVERIFY(!a.PuedeCerrar);
        QVERIFY(a.BaseElegida.isEmpty());
        QCOMPARE(guion.textos(), QStringList{QStringLiteral("Escriba el nombre de la base de datos nueva.")});
        QCOMPARE(QDir(raiz.datos()).entryList(QDir::Files | QDir::Hidden), (QStringList{"Planta.MDB", "x.mdbak.mdb"}));
    }

    void copiaFallidaDiceElMotivoYSigueEnElDialogo()
    {
        RaizTemporal raiz;
        DialogosGuion guion;
        TFormaAbreBases a;
        a.Nueva = true;
        a.show();
        // The highlighted folder goes away before the database is created.
        const QString carpeta = raiz.datos() + QStringLiteral("/Borrada");
        QVERIFY(QDir(raiz.datos()).mkdir(QStringLiteral("Borrada")));
        a.setCarpeta(carpeta);
        QVERIFY(QDir(carpeta).removeRecursively());
        a.NombreBase->setText(QStringLiteral("Planta"));
        a.BotonAceptar->click();
        QVERIFY(a.isVisible());
        QVERIFY(a.BaseElegida.isEmpty());
        QCOMPARE(guion.textos(), QStringList{QStringLiteral("No se pudo crear la base de datos nueva ") + carpeta
                                             + QStringLiteral("/Planta.mdb: la carpeta no existe.")});
    }

    void sinModeloNoSeCreaNada()
    {
        RaizTemporal raiz(false);
        DialogosGuion guion;
        TFormaAbreBases a;
        a.Nueva = true;
        a.FormActivate();
        a.NombreBase->setText(QStringLiteral("X"));
        if (QFileInfo::exists(rutaModelo()))
            QSKIP("a template beside the test program stands in for the missing one");
        QVERIFY(!a.AbrirBase());
        QVERIFY(a.BaseElegida.isEmpty());
        QVERIFY(!a.PuedeCerrar);   // the dialog stays; Cancel leaves it
        QCOMPARE(guion.mostrados.last().texto, QStringLiteral("No se encuentra la base modelo. No se puede crear la base nueva.-"));
    }

    void abrirExistente()
    {
        RaizTemporal raiz;
        QVERIFY(QFile::copy(rutaModelo(), raiz.datos() + QStringLiteral("/A.mdb")));
        escribir(raiz.datos() + QStringLiteral("/nota.txt"), "x");
        DialogosGuion guion;
        TFormaAbreBases a;
        a.Nueva = false;
        a.FormActivate();
        QCOMPARE(a.windowTitle(), QStringLiteral("Abrir base de daros existente"));
        QVERIFY(a.GrupoNombre->isHidden());
        QCOMPARE(a.RzFileListBox1->count(), 1);   // only "*.mdb"

        // Nothing selected: the error box, the dialog stays.
        QVERIFY(!a.AbrirBase());
        QVERIFY(!a.PuedeCerrar);
        QCOMPARE(guion.mostrados.last().titulo, QStringLiteral("ATENCION: ERROR!!!"));
        QCOMPARE(guion.mostrados.last().texto, QStringLiteral("El archivo no existe."));
        QCOMPARE(guion.mostrados.last().botones, Botones::SiNo);

        a.RzFileListBox1->setCurrentRow(0);
        a.RzFileListBox1DblClick();
        QCOMPARE(a.NombreBase->text(), QStringLiteral("A.mdb"));
        QVERIFY(a.PuedeCerrar);
        QCOMPARE(a.BaseElegida, raiz.datos() + QStringLiteral("/A.mdb"));

        a.BotonCancelarClick();
        QVERIFY(a.BaseElegida.isEmpty());
    }

    void escapeOCierreTrasElegirNoDanBase()
    {
        RaizTemporal raiz;
        QVERIFY(QFile::copy(rutaModelo(), raiz.datos() + QStringLiteral("/A.mdb")));
        TFormaAbreBases a;
        for (const bool conEscape : {true, false}) {
            a.show();
            QTRY_COMPARE(a.RzFileListBox1->count(), 1);
            a.RzFileListBox1->setCurrentRow(0);
            a.AbrirBase();   // picked: the dialog may close now
            QCOMPARE(a.BaseElegida, raiz.datos() + QStringLiteral("/A.mdb"));
            if (conEscape)
                QTest::keyClick(&a, Qt::Key_Escape);
            else
                QVERIFY(a.close());
            QVERIFY(!a.isVisible());
            QCOMPARE(a.result(), int(QDialog::Rejected));
            QVERIFY(a.BaseElegida.isEmpty());
        }
    }

    void laSeleccionDelArbolDecideLaCarpeta()
    {
        RaizTemporal raiz;
        const QString otra = raiz.ruta(QStringLiteral("Zqxsector"));
        QVERIFY(QDir(raiz.path()).mkdir(QStringLiteral("Zqxsector")));
        TFormaAbreBases a;
        a.Nueva = true;
        a.show();
        QTreeView* arbol = a.RzDirectoryTree1;
        QTRY_COMPARE(arbol->model()->rowCount(arbol->currentIndex().parent()), 2);
        // Typing the start of a name moves the highlight, and the folder with it.
        QTest::keyClicks(arbol, QStringLiteral("zqx"));
        QTRY_COMPARE(a.carpeta(), otra);
        QCOMPARE(a.editorCarpeta->text(), otra);
        a.NombreBase->setText(QStringLiteral("Nueva"));
        QVERIFY(a.AbrirBase());
        QCOMPARE(a.BaseElegida, otra + QStringLiteral("/Nueva.mdb"));
        QTest::keyClick(arbol, Qt::Key_Up);
        QCOMPARE(a.carpeta(), raiz.datos());
    }

    void arbolAbreMostrandoLaCarpetaYMarcoFijo()
    {
        RaizTemporal raiz;
        // Folders sorted before the data folder push it well below the first rows.
        for (int i = 0; i < 80; ++i)
            QVERIFY(QDir(raiz.path()).mkdir(QStringLiteral("a%1").arg(i, 2, 10, QLatin1Char('0'))));
        TFormaAbreBases a;
        a.show();
        QVERIFY(QTest::qWaitForWindowExposed(&a));
        QTreeView* arbol = a.RzDirectoryTree1;
        QTRY_COMPARE(arbol->model()->rowCount(arbol->currentIndex().parent()), 81);
        QTest::qWait(300);   // the rows are sorted after they arrive
        QCOMPARE(arbol->currentIndex().data().toString(), QStringLiteral("RIvariv"));
        QVERIFY(arbol->viewport()->rect().contains(arbol->visualRect(arbol->currentIndex())));
        QCOMPARE(a.minimumSize(), a.maximumSize());
    }

    void crearCarpeta()
    {
        RaizTemporal raiz;
        DialogosGuion guion;
        TFormaAbreBases a;
        a.Nueva = true;
        a.FormActivate();
        guion.entradas.enqueue(QStringLiteral("Linea 2"));
        a.CrearCarpeta();
        const QString nueva = raiz.datos() + QStringLiteral("/Linea 2");
        QVERIFY(QFileInfo(nueva).isDir());
        QCOMPARE(a.carpeta(), nueva);
        QCOMPARE(guion.mostrados.last().titulo, QStringLiteral("Crear carpeta"));
        QCOMPARE(guion.mostrados.last().texto, QStringLiteral("Con nombre:"));
        // Names that would leave the folder are refused.
        guion.entradas.enqueue(QStringLiteral("../fuera"));
        a.CrearCarpeta();
        QVERIFY(!QFileInfo::exists(raiz.datos() + QStringLiteral("/fuera")));
    }
};

QTEST_MAIN(TestEleccionBase)
#include "test_eleccion_base.moc"
