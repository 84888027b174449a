#pragma once
// The main window: the multiple-document frame with its menu, tool bar and
// status bar, owner of the configuration, the database and the serial line.

#include "acquisition/base_datos.h"
#include "config/modelo.h"
#include "instruments/registro_ventanas.h"
#include "link/modbus.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <QTemporaryDir>

#include <memory>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTimer;
class QToolBar;
class QToolButton;

namespace ombrix {

class TFormaInicio;
class TFormaEleccionBase;
class TFormaCom;
class TNiveldeacceso1;
class TConf_Opciones;
class TFormaMqtt;
class TFormaWeb;
class TFormaCentral;
class TOmbrixComm;
class Adquisicion;
class Registrador;
class SeguidorBase;
class Integraciones;
class TInstForm;
class TFormaAyuda;
struct ContextoInstrumentos;
struct ContextoVistas;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);   // runs FormCreate
    ~TMainForm() override;

    Modelo modelo;          // the settings and the instruments' runtime state
    RegistroVentanas ventanas;   // the windows open for each instrument
    BaseDatos conexionBase;      // the database of the readings

    QMdiArea* mdi;
    QToolBar* Herramientas;
    QToolButton *botonAdquirir, *botonTerminar, *botonTablaCombinada, *botonConfigurar;
    QToolButton *botonNuevoInstrumento, *botonEliminarInstrumento;
    QWidget* separadorFijo;      // fixed separator
    EnlaceModbus enlace;         // the serial line: settings, transactions, lamps
    TOmbrixComm* ModComm1;       // the lamps on the tool bar
    QWidget* separadorRelleno;   // separator that fills the remaining space
    QLabel* etiquetaLogo;
    QLabel* StatusPanel[3];
    QTimer* relojSegundos;       // the one-second clock: status bar and polling
    TFormaInicio* FormaInicio;
    TFormaCom* FormaCom;
    TNiveldeacceso1* FormaNivel;
    TConf_Opciones* FormaOpciones;
    TFormaMqtt* FormaMqtt = nullptr;
    QAction* accionMqtt = nullptr;   // "Publicación MQTT", engineering level
    TFormaWeb* FormaWeb = nullptr;
    QAction* accionWeb = nullptr;    // "Vista web", engineering level
    TFormaCentral* FormaCentral = nullptr;
    QAction* accionCentral = nullptr;   // "Base de datos central", engineering level
    QAction* accionConsultarCentral = nullptr;
    Adquisicion* adquisicion;
    Registrador* registrador;
    // What leaves the program (event log, MQTT, central database, web view).
    Integraciones* integraciones = nullptr;
    // The instruments window. Its close box only minimises it, but a new
    // database replaces it: nothing keeps a bare pointer to it.
    QPointer<TInstForm> InstForm;

    QAction *Comenzar, *Terminar, *TablaMultiple, *Configurar, *CargarBase, *GuardarConfiguracion, *Salir;
    QAction *accionNivel, *Opciones, *accionCascada, *accionVertical, *accionHorizontal, *accionTablaCombinada, *accionAyuda, *accionAcercaDe;
    QMenu* MenuVentanas;

    // Start-up after the main window exists: splash, choice and opening of the
    // database, the long-lived windows, the access level. False when the
    // program is to end instead of running its message loop.
    bool arrancar();

    void FormCloseQuery(bool& canClose);
    void Timer1Timer();
    void ComenzarExecute();
    void TerminarExecute();
    void ConfigurarExecute();
    void HerramientasResize();
    void NivelNuevo();
    void Nivel1Execute();
    void OpcionesExecute();
    // "Nuevo Instrumento" and "Eliminar último instrumento".
    void botonNuevoInstrumentoClick();
    void botonEliminarInstrumentoClick();
    void CargarBaseExecute();
    // A line of the central database, copied into a file of its own and
    // opened for consultation.
    void ConsultarCentralExecute();
    bool GuardarConfiguracionactual1Click();   // false when the save failed
    void Acercade1Click();
    // The manual in the help window, at the page of the window in use (or the
    // old help file when one is next to the program).
    void Ayuda2Click();
    TFormaAyuda* ventanaAyuda() const;
    void Cascada1Click();
    void Vertical1Click();
    void Horizontal1Click();
    // "Tabla combinada": the choice of columns, then the combined table window.
    void TablaMultipleExecute();
    // The command is off while the combined table is open or no instrument is configured.
    void actualizarTablaMultiple();

    void mostrarEstado(int panel, const QString& texto);
    QString textoEstado(int panel) const;
    bool terminacionPedida() const { return terminar_; }

    static QString textoReloj(const QDateTime& ahora);
    static void anchosPaneles(int anchoPantalla, int& panel0, int& panel1);

    // How modal dialogs are run; tests replace it to answer them.
    std::function<int(QDialog&)> ejecutarModal;
    // Stops polling and closes the serial line (the stop command unless replaced).
    std::function<void()> detenerAdquisicion;
    // Builds (or rebuilds) the instruments window from the model.
    std::function<void()> construirInstrumentos;
    void crearVentanaInstrumentos();
    // Once the window has its size: the instruments window follows it.
    void alMostrarse();

    static const QString kCaption;

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    // Asks before leaving the database in use (acquisition stops) and saves
    // the settings; false to stay.
    bool dejarBaseActual();
    // Closes what reads the database in use and opens `ruta` in its place.
    void cambiarDeBase(const QString& ruta, bool consulta);
    std::unique_ptr<QTemporaryDir> copiaCentral_;   // the line read from the central database
    bool abrirBase(const QString& ruta, QString& error, bool consulta);
    // Caption, status bar and the writing commands after a database was opened.
    void mostrarModoBase();
    SeguidorBase* seguidor_ = nullptr;
    void pedirTerminar();
    void crearAcciones();
    void crearHerramientas();
    void crearEstado();
    void crearAdquisicion();
    void mosaico(bool ladoALado);
    void alCambiarLinea(bool enLinea);
    QAction *accionConfigurar_ = nullptr, *accionNuevoInstrumento_ = nullptr;
    QAction *accionEliminarInstrumento_ = nullptr;
    QAction *accionComm_ = nullptr, *accionLogo_ = nullptr;
    bool terminar_ = false;
    std::unique_ptr<ContextoInstrumentos> contexto_;
    std::unique_ptr<ContextoVistas> contextoVistas_;   // table and chart windows
    QPointer<QMdiSubWindow> subInstrumentos_;
    QPointer<TFormaAyuda> ayuda_;
};

} // namespace ombrix
