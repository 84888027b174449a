#pragma once
// The properties window of an instrument: its recording interval and bus
// address, and on two advanced pages where each display is read from, its
// name and colours, which displays are acquired, and the additional
// parameters' registers, names, decimal rule and enable flags. A third page,
// "Parámetros adicionales", reads those parameters from the instrument and
// writes them back.
//
// One window serves every instrument. editar() prepares it for instrument
// n, shows it modally and, once it is closed, stores what it shows into the
// configuration and refreshes the panel. Closing by OK and by the close box
// are the same and there is no cancel; but nothing closes the window while a
// field holds something that cannot be stored, and nothing is stored until
// every field has been checked.
//
// The transfers run as one piece of work on the thread that owns the port
// (ContextoInstrumentos::enviar); the window stays responsive meanwhile, with
// its buttons and its close box out of use until the answer is back.

#include "instruments/contexto.h"
#include "instruments/parametros_adicionales.h"

#include <QDialog>
#include <QFrame>

#include <array>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QTabWidget;
class QValidator;

namespace ombrix {

// A small rounded square filled with a colour, which reports clicks.
class MuestraColor : public QFrame {
    Q_OBJECT
public:
    explicit MuestraColor(QWidget* parent = nullptr);

    // 0x00BBGGRR or a system colour code, kept as given.
    qint32 color() const { return color_; }
    void setColor(qint32 c);

signals:
    void clic();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    qint32 color_ = 0;
};

// The edit box of a number on this window. The boxes that open the
// on-screen keyboard will be made here.
QLineEdit* nuevoEditorNumerico(QWidget* padre, QValidator* validador);

class TFormPropInst : public QDialog {
    Q_OBJECT
public:
    // Client area; with the caption the window is 200 pixels high collapsed
    // and 469 expanded.
    static constexpr int kAncho = 467;
    static constexpr int kAltoPlegado = 180;
    static constexpr int kAltoDesplegado = 449;
    // Window top while expanded.
    static constexpr int kArribaDesplegada = 123;

    // Texts of the window.
    static const QString kAvanzadas;
    static const QString kCerrarAvanzadas;
    static const QString kActualizando;
    static const QString kValoresLeidos;
    static const QString kValoresEnviados;
    static const QString kFalloRecibir;
    static const QString kFalloEnviar;
    static const QString kValoresModificados;
    static const QString kErrorComunicaciones;

    explicit TFormPropInst(QWidget* parent = nullptr);
    ~TFormPropInst() override;

    // Prepares the window for instrument n, shows it modally, and stores what
    // it shows once it is closed (preparar, exec, aplicar).
    void editar(ContextoInstrumentos& ctx, int n);

    // Loads the window for instrument n from the configuration (what the
    // panel's Config button does before showing it): the access level, the
    // caption, the rows of a controller or a programmer, every field, the
    // parameter page cleared; collapsed. False when the configuration has no
    // instrument n.
    bool preparar(ContextoInstrumentos& ctx, int n);
    // Stores what the window held when it closed into the configuration of
    // its instrument and refreshes that instrument's panel. Does nothing
    // unless the window was closed (with every field checked) since the last
    // preparar.
    void aplicar();

    // The access level's say on this window (0 operator, 1 advanced,
    // 3 engineering; any other value leaves the window as it is).
    void aplicarNivel(int nivel);

    int NumInstrumento() const { return numInstrumento_; }
    bool desplegada() const { return desplegada_; }
    // A transfer is under way.
    bool ocupada() const { return ocupado_; }

    // Handlers (public so that tests can drive them).
    // OK: closes when every field can be stored (see the class comment).
    bool BotonOkClick();
    // "Avanzadas" expands, "Cerrar avanzadas" collapses.
    void BotonAvanzadasClick();
    void BotonRefrescarClick();
    void BotonActualizarClick();
    // Picks the colour of a swatch (elegirColor); nothing is stored before the window closes.
    void VaColorClick(MuestraColor* muestra);
    // Lays out the "Parámetros adicionales" page from the "Avanzadas2" boxes.
    void Actualizar();

    // The colour chooser: gets the current colour, returns false when the
    // user cancelled. By default the platform's colour dialog.
    std::function<bool(QColor& color, QWidget* padre)> elegirColor;

    // ------------------------------------------------------------ Controls

    QGroupBox* marcoGrabacion;       // "Salvar datos en tabla(...)"
    QGroupBox* marcoIntervalo;       // "Intervalo en segundos"
    QSpinBox* editorIntervalo;
    QGroupBox* marcoDireccion;       // "Dirección del instrumento"
    QLineEdit* editorId;

    QTabWidget* paginas;
    QWidget* paginaParametros;       // "Parámetros adicionales"
    QWidget* paginaAvanzadas1;
    QWidget* paginaAvanzadas2;

    QFrame* barraBotones;
    QPushButton* botonOk;
    QPushButton* botonAvanzadas;
    QGroupBox* marcoEstado;          // "Estado"
    QLabel* etiquetaEstado;

    // "Parámetros adicionales": per parameter its label and its value box
    // (an edit, or for ST1/ST2 a list).
    struct CampoValor {
        QLabel* etiqueta = nullptr;
        QLineEdit* editor = nullptr;
        QComboBox* lista = nullptr;
        QWidget* caja() const;
    };
    std::array<CampoValor, parametros::kCantidad> camposValor{};
    QLabel* etiquetaActualizando;
    QProgressBar* barraProgreso;
    QPushButton* botonRefrescar;
    QPushButton* botonActualizar;

    // "Avanzadas1": one row per display of the panel.
    enum FilaDisplay { kDisplay1, kDisplay2, kDisplay3, kDisplay4, kDisplay5, kBarra1, kBarra2, kLed2, kLed3, kLed4 };
    static constexpr int kFilasDisplay = 10;
    struct Fila {
        QLabel* rotulo = nullptr;
        MuestraColor* colorApagado = nullptr;   // LED rows only
        MuestraColor* color = nullptr;          // on colour of a LED
        QLineEdit* nombre = nullptr;
        QLineEdit* direccion = nullptr;
        QLineEdit* segundo = nullptr;           // decimals register, 100 % value or threshold
        QLineEdit* tercero = nullptr;           // sensor limits register
        QCheckBox* adquirir = nullptr;
        QList<QWidget*> controles() const;
    };
    std::array<Fila, kFilasDisplay> filasDisplay{};
    QScrollArea* desplazamientoAvanzadas1;
    QCheckBox* casillaCRC;

    // "Avanzadas2": one line per additional parameter (ST1/ST2 have neither
    // name edit nor decimal box).
    struct FilaParametro {
        QLabel* rotulo = nullptr;
        QLineEdit* direccion = nullptr;
        QLineEdit* nombre = nullptr;
        QCheckBox* decimal = nullptr;
        QCheckBox* habilitado = nullptr;
    };
    std::array<FilaParametro, parametros::kCantidad> filasParametro{};

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

public slots:
    // Esc does not close the window (there is no cancel).
    void reject() override {}

private:
    // What closing stores, checked as a whole beforehand.
    struct Valores {
        quint16 barrido = 0;
        quint8 id = 0;
        TAvanzadas1 avanzadas1;
        Tavanzadas2 avanzadas2;
    };
    // A field that cannot be taken as it is, and why.
    struct Rechazo {
        QWidget* campo = nullptr;
        QString mensaje;
    };

    void crearCabecera();
    void crearPaginaParametros();
    void crearPaginaAvanzadas1();
    void crearPaginaAvanzadas2();
    void crearBarra();
    void disponerFilasDisplay(bool programador);

    void cargar();
    void limpiarParametros();
    void plegar();
    void desplegar();

    // Every field, read into `v`; false (after pointing at the field) when one cannot be stored.
    bool recoger(Valores& v);
    std::optional<Rechazo> recogerEn(Valores& v);
    // The transfer's copy of the window; false (after pointing at the field) when a box is wrong.
    bool armarPedido(parametros::Pedido& pedido, bool escritura);
    void senalar(const Rechazo& r);
    void mostrarCampo(QWidget* campo);

    void iniciarTransferencia(int transacciones);
    // IN and DR: a whole number outside 0..3000 is refused as it is typed.
    void revisarEntero(QLineEdit* editor);
    void terminarTransferencia();
    void alAvanzar(quint64 serie, int hechas);
    void alLeer(quint64 serie, const parametros::Pedido& pedido, const parametros::Lectura& l);
    void alEscribir(quint64 serie, const parametros::Escritura& e);
    void ponerEstado(const QString& texto);
    void valorCambiado();

    ContextoInstrumentos* ctx_ = nullptr;
    int numInstrumento_ = 0;
    bool desplegada_ = false;
    int arribaRecordada_ = 0;
    bool ocupado_ = false;
    bool llenando_ = false;
    quint64 serie_ = 0;
    std::optional<Valores> pendiente_;
    // The boxes the access level may lock (register, scale and decimal boxes).
    QList<QWidget*> restringidos_;
};

// The one-line wiring of a panel's Config button: edits instrument n in the
// properties window that lives under `padre` (created there on first use and
// kept for every later instrument).
void editarPropiedades(ContextoInstrumentos& ctx, QWidget* padre, int n);

} // namespace ombrix
