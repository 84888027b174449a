#include "instruments/prop_inst.h"
#include "touch/teclado.h"

#include "acquisition/lectura.h"
#include "config/dialogos.h"
#include "instruments/colores.h"
#include "instruments/forma_inst_p.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <utility>

namespace ombrix {

namespace par = parametros;

const QString TFormPropInst::kAvanzadas = QStringLiteral("Avanzadas");
const QString TFormPropInst::kCerrarAvanzadas = QStringLiteral("Cerrar avanzadas");
const QString TFormPropInst::kActualizando = QStringLiteral("Actualizando valores");
const QString TFormPropInst::kValoresLeidos = QStringLiteral("Valores leidos");
const QString TFormPropInst::kValoresEnviados = QStringLiteral("Valores enviados");
const QString TFormPropInst::kFalloRecibir = QStringLiteral("Fallo comunicaciones al recibir");
const QString TFormPropInst::kFalloEnviar = QStringLiteral("Fallo comunicaciones al enviar");
const QString TFormPropInst::kValoresModificados = QStringLiteral("Valores modificados");
const QString TFormPropInst::kErrorComunicaciones =
    QStringLiteral("Hubo un error en las comunicaciones. Por favor verifique la conexión.");

namespace {

const QString kMensajeEsclavo =
    QStringLiteral("La dirección del instrumento debe ser un número entero entre 1 y %1.").arg(par::kEsclavoMaximo);
const QString kMensajeRegistro =
    QStringLiteral("La dirección en el instrumento debe ser un número entero entre 0 y %1.").arg(par::kRegistroMaximo);
const QString kMensajeValor = QStringLiteral("El valor debe ser un número entero entre -32768 y 32767.");
const QString kMensajeNumero = QStringLiteral("Escriba un número, con punto como separador decimal.");
const QString kMensajeEntero = QStringLiteral("Este valor debe estar comprendido entre 0 y 3000");
const QString kMensajeConmutador = QStringLiteral("Elija OFF, ON o AUT.");

const QString kHintDireccion = QStringLiteral("Dirección en el instrumento del parámetro");
const QString kHintNombre = QStringLiteral("Nombre del parámetro");
const QString kHintMostrar = QStringLiteral("Mostrar el parámetro");
const QString kHintHabilitado = QStringLiteral("El parámetro se visualiza en: Parametros adicionales");
const QString kHintDecimal = QStringLiteral("El parámetro se visualiza con punto decimal");
const QString kHintUmbral = QStringLiteral("Valor Umbral");
const QString kHintDecimales = QStringLiteral("Dirección en el instrumento del número de decimales");
const QString kHintLimites = QStringLiteral("Direccion en el equipo de los limites del sensor");
const QString kHintColor = QStringLiteral("Haga click para cambia el color");
const QString kHintEncendido = QStringLiteral("Color en encendido");
const QString kHintApagado = QStringLiteral("Color en apagado");

// A whole number in [minimo, maximo] while it is typed: a text that more
// digits could only take further out of the range is refused at once.
class ValidadorEntero : public QValidator {
public:
    ValidadorEntero(qint32 minimo, qint32 maximo) : minimo_(minimo), maximo_(maximo) {}

    State validate(QString& texto, int&) const override
    {
        const QString t = texto.trimmed();
        if (t.isEmpty() || (t == QStringLiteral("-") && minimo_ < 0))
            return Intermediate;
        bool ok = false;
        const qint64 v = t.toLongLong(&ok, 10);
        if (!ok || t.size() > 11 || t.startsWith(QLatin1Char('+')))
            return Invalid;
        if (v >= minimo_ && v <= maximo_)
            return Acceptable;
        if ((v > maximo_ && v >= 0) || (v < minimo_ && v < 0))
            return Invalid;
        return Intermediate;
    }

private:
    qint32 minimo_, maximo_;
};

// The text an edit was loaded with: a box that still shows it keeps the stored value.
constexpr const char* kCargado = "textoCargado";

constexpr int kAltoBarra = 44;
constexpr int kAltoEdit = 21;
constexpr int kLadoMuestra = 17;

QFont fuenteVentana(int pixeles = 11, bool negrita = false)
{
    QFont f;
    f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans Condensed"),
                   QStringLiteral("DejaVu Sans")});
    f.setPixelSize(pixeles);
    f.setBold(negrita);
    return f;
}

QLabel* rotulo(QWidget* padre, const QString& texto, int x, int y)
{
    auto* l = new QLabel(texto, padre);
    l->move(x, y);
    l->adjustSize();
    return l;
}

void poner(QLineEdit* e, const QString& texto)
{
    e->setText(texto);
    e->setCursorPosition(0);
    e->setProperty(kCargado, texto);
}

bool cambiado(const QLineEdit* e) { return e->text() != e->property(kCargado).toString(); }

// What each row of "Avanzadas1" shows of the configuration.
enum class Campo { Ninguno, Registro, Valor };
struct EnlaceDisplay {
    const char* rotulo;
    qint32 TAvanzadas1::*color;
    qint32 TAvanzadas1::*colorApagado;
    QString TAvanzadas1::*nombre;
    qint32 TAvanzadas1::*direccion;
    qint32 TAvanzadas1::*segundo;
    Campo clase2;
    const QString* hint2;
    qint32 TAvanzadas1::*tercero;
    bool TAvanzadas1::*adquirir;
};

using B = TAvanzadas1;
const std::array<EnlaceDisplay, TFormPropInst::kFilasDisplay> kDisplays{{
    {"Display 1:", &B::VaColor, nullptr, &B::NombreVA, &B::VActual, &B::Sensor, Campo::Registro, &kHintDecimales,
     &B::FueraRango, &B::PCheckVA},
    {"Display 2:", &B::SPcolor, nullptr, &B::NombreSP, &B::SetPointL, &B::Sensor2, Campo::Registro, &kHintDecimales,
     &B::FueraRango2, &B::PCheckSPRd},
    {"Display 3:", &B::Progcolor, nullptr, &B::NombreProg, &B::NProg, nullptr, Campo::Ninguno, nullptr, nullptr,
     &B::PCheckNProg},
    {"Display 4:", &B::Segcolor, nullptr, &B::NombreSeg, &B::NSeg, nullptr, Campo::Ninguno, nullptr, nullptr,
     &B::PCheckNSeg},
    {"Display5:", &B::Tempcolor, nullptr, &B::NombreTemp, &B::Temp, nullptr, Campo::Ninguno, nullptr, nullptr,
     &B::PCheckTemp},
    {"Barra1:", &B::Potcolor, nullptr, &B::NombrePot, &B::Potencia, &B::Val100Pot, Campo::Valor, &kHintUmbral, nullptr,
     &B::PCheckPOT},
    {"Barra 2:", &B::A1color, nullptr, &B::NombreAl1, &B::Alarma1, &B::Val100A1, Campo::Valor, &kHintUmbral, nullptr,
     &B::PCheckAl1},
    {"Led 2:", &B::A2colorOn, &B::A2colorOff, &B::NombreAl2, &B::Alarma2, &B::ValumbA2, Campo::Valor, &kHintUmbral,
     nullptr, &B::PCheckAl2},
    {"Led 3:", &B::A3colorOn, &B::A3colorOff, &B::NombreAl3, &B::Alarma3, &B::ValumbA3, Campo::Valor, &kHintUmbral,
     nullptr, &B::PCheckAl3},
    {"Led 4:", &B::A4colorOn, &B::A4colorOff, &B::NombreAl4, &B::Alarma4, &B::ValumbA4, Campo::Valor, &kHintUmbral,
     nullptr, &B::PCheckAl4},
}};

// Rows of "Avanzadas1": 30 pixels apart from the top of the scroll box.
constexpr int kPrimeraFila = 2;
constexpr int kPasoFila = 30;
// Left edges of its columns: label, off colour, colour, name, address,
// second and third edit, acquire box, and the CRC box of the first row.
// The names get the room a display name needs.
constexpr int kColumnasDisplay[] = {6, 56, 80, 104, 184, 230, 276, 324, 348};
constexpr int kAnchoNombre = 76;
constexpr int kAnchoNumero = 42;

// What each access level allows on this window; a level not listed changes nothing.
struct ReglaNivel {
    int nivel;
    std::optional<bool> avanzadas;     // the "Avanzadas" button
    std::optional<bool> actualizar;    // "Actualizar al equipo"
    std::optional<bool> restringidos; // register, scale and decimal boxes
};
const ReglaNivel kReglasNivel[] = {
    {0, false, std::nullopt, std::nullopt},
    {1, true, false, false},
    {3, true, true, true},
};

// "-3276.8" .. "3276.7": what a 16-bit word holds with these decimals.
QString limitesPalabra(par::Clase clase, int decs)
{
    qint32 divisor = 1;
    for (int i = 0; i < decs; ++i)
        divisor *= 10;
    if (clase == par::Clase::Entero)
        return QStringLiteral("0 y %1").arg(qMin(par::kEnteroMaximo, 32767 / divisor));
    return textoPuntoFijo(-32768, divisor, quint8(decs)) + QStringLiteral(" y ")
        + textoPuntoFijo(32767, divisor, quint8(decs));
}

} // namespace

// ------------------------------------------------------------ MuestraColor

MuestraColor::MuestraColor(QWidget* parent) : QFrame(parent)
{
    setFixedSize(kLadoMuestra, kLadoMuestra);
    setCursor(Qt::PointingHandCursor);
}

void MuestraColor::setColor(qint32 c)
{
    if (c == color_)
        return;
    color_ = c;
    update();
}

void MuestraColor::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(70, 70, 70), 1));
    p.setBrush(aQColor(color_));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
}

void MuestraColor::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        emit clic();
    QFrame::mouseReleaseEvent(e);
}

QLineEdit* nuevoEditorNumerico(QWidget* padre, QValidator* validador)
{
    // Touching it opens the numeric on-screen keyboard; typing works as ever.
    auto* e = new TEditKbr(padre);
    e->Numeric = true;
    validador->setParent(e);
    e->setValidator(validador);
    e->setAlignment(Qt::AlignRight);
    e->setTextMargins(0, 0, 0, 0);
    return e;
}

QWidget* TFormPropInst::CampoValor::caja() const
{
    return editor ? static_cast<QWidget*>(editor) : static_cast<QWidget*>(lista);
}

QList<QWidget*> TFormPropInst::Fila::controles() const
{
    QList<QWidget*> l;
    for (QWidget* w : std::initializer_list<QWidget*>{rotulo, colorApagado, color, nombre, direccion, segundo, tercero,
                                                      adquirir})
        if (w)
            l << w;
    return l;
}

// ------------------------------------------------------------ The window

TFormPropInst::TFormPropInst(QWidget* parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::WindowSystemMenuHint);
    setWindowTitle(QStringLiteral("Propiedades del intrumento"));
    setFont(fuenteVentana());
    setFixedSize(kAncho, kAltoPlegado);

    elegirColor = [](QColor& c, QWidget* padre) {
        const QColor elegido = QColorDialog::getColor(c, padre);
        if (!elegido.isValid())
            return false;
        c = elegido;
        return true;
    };

    crearCabecera();
    crearPaginaParametros();
    crearPaginaAvanzadas1();
    crearPaginaAvanzadas2();
    crearBarra();
    plegar();
}

TFormPropInst::~TFormPropInst() = default;

void TFormPropInst::crearCabecera()
{
    marcoGrabacion = new QGroupBox(QStringLiteral("Salvar datos en tabla"), this);
    marcoGrabacion->setGeometry(8, 4, 262, 100);
    marcoIntervalo = new QGroupBox(QStringLiteral("Intervalo en segundos"), marcoGrabacion);
    marcoIntervalo->setGeometry(12, 26, 170, 60);
    editorIntervalo = new QSpinBox(marcoIntervalo);
    editorIntervalo->setRange(1, 65535);
    editorIntervalo->setValue(5);
    editorIntervalo->setGeometry(12, 24, 100, 24);

    marcoDireccion = new QGroupBox(QStringLiteral("Dirección del instrumento"), this);
    marcoDireccion->setGeometry(278, 4, 181, 100);
    rotulo(marcoDireccion, QStringLiteral("ID:"), 24, 52);
    editorId = nuevoEditorNumerico(marcoDireccion, new ValidadorEntero(1, par::kEsclavoMaximo));
    editorId->setGeometry(48, 48, 64, 24);
}

void TFormPropInst::crearPaginaParametros()
{
    paginas = new QTabWidget(this);
    paginas->setTabPosition(QTabWidget::South);
    paginas->setGeometry(4, 108, kAncho - 8, kAltoDesplegado - kAltoBarra - 110);

    paginaParametros = new QWidget;
    paginas->addTab(paginaParametros, QStringLiteral("Parámetros adicionales"));

    const QStringList opciones = par::opcionesConmutador();
    // Digits with an optional sign and decimal point; the value is checked when it is sent.
    const QRegularExpression numero(QStringLiteral("[+-]?[0-9]*\\.?[0-9]*"));
    for (int i = 0; i < par::kCantidad; ++i) {
        const par::Definicion& d = par::definicion(i);
        CampoValor& c = camposValor[std::size_t(i)];
        c.etiqueta = new QLabel(paginaParametros);
        c.etiqueta->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        switch (d.clase) {
        case par::Clase::Numero:
            c.editor = nuevoEditorNumerico(paginaParametros, new QRegularExpressionValidator(numero));
            break;
        case par::Clase::Entero:
            // Any whole number can be typed; one out of range is refused at
            // once with the message that gives the range.
            c.editor = nuevoEditorNumerico(paginaParametros, new ValidadorEntero(par::kEnteroMinimo, 999999));
            connect(c.editor, &QLineEdit::textEdited, this, [this, e = c.editor] { revisarEntero(e); });
            break;
        case par::Clase::Conmutador:
            c.lista = new QComboBox(paginaParametros);
            c.lista->addItems(opciones);
            // A state the instrument reports that is none of the three.
            c.lista->setPlaceholderText(QStringLiteral("?"));
            connect(c.lista, &QComboBox::currentIndexChanged, this, &TFormPropInst::valorCambiado);
            break;
        }
        if (c.editor)
            connect(c.editor, &QLineEdit::textChanged, this, &TFormPropInst::valorCambiado);
        c.caja()->resize(par::kAnchoCaja, par::kAltoCaja);
    }

    etiquetaActualizando = new QLabel(kActualizando, paginaParametros);
    etiquetaActualizando->setGeometry(36, 160, 300, 18);
    etiquetaActualizando->hide();
    barraProgreso = new QProgressBar(paginaParametros);
    barraProgreso->setGeometry(36, 180, 380, 16);
    barraProgreso->setRange(0, par::kCantidad);
    barraProgreso->setTextVisible(false);
    barraProgreso->hide();
    botonRefrescar = new QPushButton(QStringLiteral("Refrescar"), paginaParametros);
    botonRefrescar->setGeometry(36, 210, 130, 28);
    botonActualizar = new QPushButton(QStringLiteral("Actualizar al equipo"), paginaParametros);
    botonActualizar->setGeometry(176, 210, 160, 28);
    connect(botonRefrescar, &QPushButton::clicked, this, &TFormPropInst::BotonRefrescarClick);
    connect(botonActualizar, &QPushButton::clicked, this, &TFormPropInst::BotonActualizarClick);

    connect(paginas, &QTabWidget::currentChanged, this, [this](int i) {
        if (paginas->widget(i) == paginaParametros)
            Actualizar();
    });
}

void TFormPropInst::crearPaginaAvanzadas1()
{
    paginaAvanzadas1 = new QWidget;
    paginas->addTab(paginaAvanzadas1, QStringLiteral("Avanzadas1"));

    desplazamientoAvanzadas1 = new QScrollArea(paginaAvanzadas1);
    desplazamientoAvanzadas1->setFrameShape(QFrame::NoFrame);
    desplazamientoAvanzadas1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* capa = new QVBoxLayout(paginaAvanzadas1);
    capa->setContentsMargins(0, 0, 0, 0);
    capa->addWidget(desplazamientoAvanzadas1);
    auto* lienzo = new QWidget;
    lienzo->resize(kAncho - 42, kPrimeraFila + kPasoFila * kFilasDisplay + 2);
    desplazamientoAvanzadas1->setWidget(lienzo);

    const auto registro = [] { return new ValidadorEntero(0, par::kRegistroMaximo); };
    for (int i = 0; i < kFilasDisplay; ++i) {
        const EnlaceDisplay& d = kDisplays[std::size_t(i)];
        Fila& f = filasDisplay[std::size_t(i)];
        f.rotulo = new QLabel(QString::fromLatin1(d.rotulo), lienzo);
        f.rotulo->resize(50, kAltoEdit);
        if (d.colorApagado) {
            f.colorApagado = new MuestraColor(lienzo);
            f.colorApagado->setToolTip(kHintApagado);
        }
        f.color = new MuestraColor(lienzo);
        f.color->setToolTip(d.colorApagado ? kHintEncendido : kHintColor);
        for (MuestraColor* m : {f.colorApagado, f.color})
            if (m)
                connect(m, &MuestraColor::clic, this, [this, m] { VaColorClick(m); });
        f.nombre = new QLineEdit(lienzo);
        f.nombre->resize(kAnchoNombre, kAltoEdit);
        f.nombre->setToolTip(kHintNombre);
        f.direccion = nuevoEditorNumerico(lienzo, registro());
        f.direccion->resize(kAnchoNumero, kAltoEdit);
        f.direccion->setToolTip(kHintDireccion);
        restringidos_ << f.direccion;
        if (d.segundo) {
            f.segundo = nuevoEditorNumerico(lienzo, d.clase2 == Campo::Registro
                                                        ? static_cast<QValidator*>(registro())
                                                        : new ValidadorEntero(-32768, 32767));
            f.segundo->resize(kAnchoNumero, kAltoEdit);
            f.segundo->setToolTip(*d.hint2);
            restringidos_ << f.segundo;
        }
        if (d.tercero) {
            f.tercero = nuevoEditorNumerico(lienzo, registro());
            f.tercero->resize(kAnchoNumero, kAltoEdit);
            f.tercero->setToolTip(kHintLimites);
            restringidos_ << f.tercero;
        }
        f.adquirir = new QCheckBox(lienzo);
        f.adquirir->setToolTip(kHintMostrar);
    }
    casillaCRC = new QCheckBox(QStringLiteral("Control CRC"), lienzo);
    casillaCRC->move(kColumnasDisplay[8], kPrimeraFila + 1);
    casillaCRC->adjustSize();
    restringidos_ << casillaCRC;
    disponerFilasDisplay(true);
}

void TFormPropInst::disponerFilasDisplay(bool programador)
{
    int y = kPrimeraFila;
    for (int i = 0; i < kFilasDisplay; ++i) {
        Fila& f = filasDisplay[std::size_t(i)];
        // A controller has no program: its rows give their room to the bars and lamps.
        const bool visible = programador || i < kDisplay3 || i > kDisplay5;
        for (QWidget* w : f.controles())
            w->setVisible(visible);
        if (!visible)
            continue;
        f.rotulo->move(kColumnasDisplay[0], y);
        if (f.colorApagado)
            f.colorApagado->move(kColumnasDisplay[1], y + 2);
        f.color->move(kColumnasDisplay[2], y + 2);
        f.nombre->move(kColumnasDisplay[3], y);
        f.direccion->move(kColumnasDisplay[4], y);
        if (f.segundo)
            f.segundo->move(kColumnasDisplay[5], y);
        if (f.tercero)
            f.tercero->move(kColumnasDisplay[6], y);
        f.adquirir->move(kColumnasDisplay[7], y + 2);
        y += kPasoFila;
    }
}

void TFormPropInst::crearPaginaAvanzadas2()
{
    paginaAvanzadas2 = new QWidget;
    paginas->addTab(paginaAvanzadas2, QStringLiteral("Avanzadas2"));

    // Two columns: SP1 to IN2 on the left, DR1 to ST2 on the right; in each
    // the address, name, decimal box and enable box. Wide enough for a
    // five-digit address.
    constexpr int kColumnas[2][4] = {{36, 80, 124, 166}, {245, 289, 333, 375}};
    constexpr int kArriba = 24;
    constexpr int kPaso = 28;
    for (int c = 0; c < 2; ++c) {
        const int* x = kColumnas[c];
        QLabel* cab = rotulo(paginaAvanzadas2, QStringLiteral("Dir."), x[0] + 2, 4);
        cab->setToolTip(kHintDireccion);
        rotulo(paginaAvanzadas2, QStringLiteral("Nombre"), x[1] + 2, 4)->setToolTip(kHintNombre);
        rotulo(paginaAvanzadas2, QStringLiteral("Ver"), x[3] - 2, 4)->setToolTip(kHintHabilitado);
    }
    for (int i = 0; i < par::kCantidad; ++i) {
        const par::Definicion& d = par::definicion(i);
        FilaParametro& f = filasParametro[std::size_t(i)];
        const int* x = kColumnas[i < par::DR1 ? 0 : 1];
        const int y = kArriba + kPaso * (i < par::DR1 ? i : i - par::DR1);
        f.rotulo = new QLabel(QString::fromLatin1(d.nombre) + QStringLiteral(":"), paginaAvanzadas2);
        f.rotulo->setGeometry(x[0] - 34, y, 32, kAltoEdit);
        f.direccion = nuevoEditorNumerico(paginaAvanzadas2, new ValidadorEntero(0, par::kRegistroMaximo));
        f.direccion->setGeometry(x[0], y, 40, kAltoEdit);
        f.direccion->setToolTip(kHintDireccion);
        restringidos_ << f.direccion;
        if (d.decimal) {
            f.nombre = new QLineEdit(paginaAvanzadas2);
            f.nombre->setGeometry(x[1], y, 40, kAltoEdit);
            f.nombre->setToolTip(kHintNombre);
            f.decimal = new QCheckBox(QStringLiteral("S"), paginaAvanzadas2);
            f.decimal->move(x[2], y + 2);
            f.decimal->setToolTip(kHintDecimal);
            restringidos_ << f.decimal;
        }
        f.habilitado = new QCheckBox(paginaAvanzadas2);
        f.habilitado->move(x[3], y + 2);
        f.habilitado->setToolTip(kHintHabilitado);
    }
}

void TFormPropInst::crearBarra()
{
    barraBotones = new QFrame(this);
    barraBotones->setFrameShape(QFrame::NoFrame);
    barraBotones->resize(kAncho, kAltoBarra);
    botonOk = new QPushButton(QStringLiteral("OK"), barraBotones);
    botonOk->setGeometry(8, 9, 88, 28);
    botonAvanzadas = new QPushButton(kAvanzadas, barraBotones);
    botonAvanzadas->setGeometry(104, 9, 120, 28);
    // Enter in a box must not close the window or start a transfer.
    for (QPushButton* b : {botonOk, botonAvanzadas, botonRefrescar, botonActualizar}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(botonOk, &QPushButton::clicked, this, &TFormPropInst::BotonOkClick);
    connect(botonAvanzadas, &QPushButton::clicked, this, &TFormPropInst::BotonAvanzadasClick);

    marcoEstado = new QGroupBox(QStringLiteral("Estado"), barraBotones);
    marcoEstado->setGeometry(234, 0, kAncho - 242, kAltoBarra - 2);
    etiquetaEstado = new QLabel(marcoEstado);
    etiquetaEstado->setGeometry(10, 17, marcoEstado->width() - 20, 18);
    marcoEstado->hide();
}

// ------------------------------------------------------------ Opening

void TFormPropInst::editar(ContextoInstrumentos& ctx, int n)
{
    if (!preparar(ctx, n))
        return;
    exec();
    aplicar();
}

bool TFormPropInst::preparar(ContextoInstrumentos& ctx, int n)
{
    ctx_ = &ctx;
    numInstrumento_ = n;
    pendiente_.reset();
    Modelo& m = ctx.modelo;
    if (n < 1 || n >= m.ArrayConfig.size() || n >= m.Avanzadas1.size() || n >= m.Avanzadas2.size())
        return false;

    aplicarNivel(m.Config.Nivel);
    desplazamientoAvanzadas1->verticalScrollBar()->setValue(0);

    auto* panel = n < ctx.ventanas.Paneles.size() ? qobject_cast<TFormaInstP*>(ctx.ventanas.Paneles[n]) : nullptr;
    const QString titulo = panel ? panel->Titulo() : m.ArrayConfig[n].Titulo;
    const QString rotuloVentana =
        QStringLiteral("Propiedades del instrumento: ") + QString::number(n) + QStringLiteral("(") + titulo + QStringLiteral(")");
    setWindowTitle(rotuloVentana);
    setToolTip(rotuloVentana);

    poner(editorId, QString::number(m.ArrayConfig[n].ID));
    editorIntervalo->setValue(m.ArrayConfig[n].Barrido);
    disponerFilasDisplay(m.ArrayConfig[n].Tipo != 0);
    cargar();
    return true;
}

void TFormPropInst::cargar()
{
    const Modelo& m = ctx_->modelo;
    const int n = numInstrumento_;
    plegar();
    editorIntervalo->setEnabled(!m.Config.Sincronismo);
    marcoGrabacion->setTitle(m.Config.Sincronismo ? QStringLiteral("Salvar datos en tabla(Sincronizados)")
                                                  : QStringLiteral("Salvar datos en tabla(Desincronizados)"));
    limpiarParametros();

    const Tavanzadas2& a2 = m.Avanzadas2[n];
    for (int i = 0; i < par::kCantidad; ++i) {
        const par::Definicion& d = par::definicion(i);
        FilaParametro& f = filasParametro[std::size_t(i)];
        poner(f.direccion, QString::number(a2.*d.registro));
        if (f.nombre) {
            f.nombre->setText(a2.*d.nombreConfig);
            f.nombre->setCursorPosition(0);
        }
        if (f.decimal)
            f.decimal->setChecked(a2.*d.decimal);
        f.habilitado->setChecked(a2.*d.habilitado);
    }

    const TAvanzadas1& a1 = m.Avanzadas1[n];
    for (int i = 0; i < kFilasDisplay; ++i) {
        const EnlaceDisplay& d = kDisplays[std::size_t(i)];
        Fila& f = filasDisplay[std::size_t(i)];
        f.color->setColor(a1.*d.color);
        if (f.colorApagado)
            f.colorApagado->setColor(a1.*d.colorApagado);
        f.nombre->setText(a1.*d.nombre);
        f.nombre->setCursorPosition(0);
        poner(f.direccion, QString::number(a1.*d.direccion));
        if (f.segundo)
            poner(f.segundo, QString::number(a1.*d.segundo));
        if (f.tercero)
            poner(f.tercero, QString::number(a1.*d.tercero));
        f.adquirir->setChecked(a1.*d.adquirir);
    }
    casillaCRC->setChecked(a1.CRC);

    etiquetaEstado->clear();
    marcoEstado->hide();
    Actualizar();
}

void TFormPropInst::limpiarParametros()
{
    llenando_ = true;
    for (CampoValor& c : camposValor) {
        if (c.editor)
            c.editor->setText(QStringLiteral("0"));
        else
            c.lista->setCurrentIndex(0);
    }
    llenando_ = false;
    etiquetaActualizando->hide();
    barraProgreso->hide();
}

void TFormPropInst::aplicarNivel(int nivel)
{
    for (const ReglaNivel& r : kReglasNivel) {
        if (r.nivel != nivel)
            continue;
        if (r.avanzadas)
            botonAvanzadas->setVisible(*r.avanzadas);
        if (r.actualizar)
            botonActualizar->setVisible(*r.actualizar);
        if (r.restringidos)
            for (QWidget* w : restringidos_)
                w->setEnabled(*r.restringidos);
        return;
    }
}

void TFormPropInst::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous() && !desplegada_) {
        if (const QScreen* s = screen()) {
            const QRect r = s->availableGeometry();
            move(r.x() + (r.width() - frameGeometry().width()) / 2, r.y() + (r.height() - frameGeometry().height()) / 2);
        }
    }
}

// ------------------------------------------------------------ Expanding

void TFormPropInst::plegar()
{
    setFixedHeight(kAltoPlegado);
    paginas->hide();
    barraBotones->move(0, kAltoPlegado - kAltoBarra);
    botonAvanzadas->setText(kAvanzadas);
    marcoEstado->hide();
    if (desplegada_ && isVisible())
        move(x(), arribaRecordada_);
    desplegada_ = false;
}

void TFormPropInst::desplegar()
{
    if (desplegada_)
        return;
    arribaRecordada_ = y();
    setFixedHeight(kAltoDesplegado);
    barraBotones->move(0, kAltoDesplegado - kAltoBarra);
    botonAvanzadas->setText(kCerrarAvanzadas);
    if (isVisible())
        move(x(), kArribaDesplegada);
    desplegada_ = true;

    // Parameters travel only over an open port, to an instrument that is polled.
    const int n = numInstrumento_;
    const bool enLinea = ctx_ && ctx_->puerto.Abierto && n > 0 && n < ctx_->modelo.Estados.size()
        && ctx_->modelo.Estados[n].Habilitado;
    const int pagina = paginas->indexOf(paginaParametros);
    paginas->setTabVisible(pagina, enLinea);
    if (!enLinea && paginas->currentIndex() == pagina)
        paginas->setCurrentWidget(paginaAvanzadas1);
    paginas->show();
    if (paginas->currentWidget() == paginaParametros)
        Actualizar();
}

void TFormPropInst::BotonAvanzadasClick()
{
    if (ocupado_)
        return;
    if (desplegada_)
        plegar();
    else
        desplegar();
}

// ------------------------------------------------------------ Layout of the parameters

void TFormPropInst::Actualizar()
{
    std::array<bool, par::kCantidad> visibles{};
    for (int i = 0; i < par::kCantidad; ++i)
        visibles[std::size_t(i)] = filasParametro[std::size_t(i)].habilitado->isChecked();
    const std::array<par::Lugar, par::kCantidad> lugares = par::disponer(visibles);

    for (int i = 0; i < par::kCantidad; ++i) {
        const par::Lugar& l = lugares[std::size_t(i)];
        CampoValor& c = camposValor[std::size_t(i)];
        c.etiqueta->setVisible(l.visible);
        c.caja()->setVisible(l.visible);
        if (!l.visible)
            continue;
        const FilaParametro& f = filasParametro[std::size_t(i)];
        const QString nombre = f.nombre ? f.nombre->text() : QString::fromLatin1(par::definicion(i).nombre);
        const QString texto = nombre + QStringLiteral(":");
        // A long name is cut short rather than run into the column on its left.
        const int ancho = qMin(c.etiqueta->fontMetrics().horizontalAdvance(texto) + 2, 80 - par::kAnchoCaja);
        c.etiqueta->setText(c.etiqueta->fontMetrics().elidedText(texto, Qt::ElideRight, ancho));
        c.etiqueta->setToolTip(nombre);
        c.etiqueta->setGeometry(l.x - ancho - 1, l.y, ancho, par::kAltoCaja);
        c.caja()->move(l.x, l.y);
    }
}

// ------------------------------------------------------------ Colours

void TFormPropInst::VaColorClick(MuestraColor* muestra)
{
    QColor c = aQColor(muestra->color());
    if (elegirColor && elegirColor(c, this))
        muestra->setColor(deQColor(c));
}

// ------------------------------------------------------------ Closing and applying

void TFormPropInst::closeEvent(QCloseEvent* e)
{
    // Closing is OK by another way; it waits for a transfer, and for fields
    // that can be stored.
    e->ignore();
    if (isVisible())
        BotonOkClick();
}

bool TFormPropInst::BotonOkClick()
{
    if (ocupado_ || !ctx_)
        return false;
    Valores v;
    if (!recoger(v))
        return false;
    pendiente_ = std::move(v);
    plegar();
    done(QDialog::Accepted);
    return true;
}

bool TFormPropInst::recoger(Valores& v)
{
    if (const std::optional<Rechazo> r = recogerEn(v)) {
        senalar(*r);
        return false;
    }
    return true;
}

std::optional<TFormPropInst::Rechazo> TFormPropInst::recogerEn(Valores& v)
{
    const Modelo& m = ctx_->modelo;
    const int n = numInstrumento_;
    if (n < 1 || n >= m.ArrayConfig.size() || n >= m.Avanzadas1.size() || n >= m.Avanzadas2.size())
        return std::nullopt;

    // A box that still shows what it was loaded with keeps the stored value.
    auto entero = [](QLineEdit* e, qint32 minimo, qint32 maximo, const QString& mensaje,
                     qint32& destino) -> std::optional<Rechazo> {
        if (!cambiado(e))
            return std::nullopt;
        const std::optional<qint32> x = par::enteroEnRango(e->text(), minimo, maximo);
        if (!x)
            return Rechazo{e, mensaje};
        destino = *x;
        return std::nullopt;
    };

    v.barrido = quint16(editorIntervalo->value());
    qint32 id = m.ArrayConfig[n].ID;
    if (auto r = entero(editorId, 1, par::kEsclavoMaximo, kMensajeEsclavo, id))
        return r;
    v.id = quint8(id);

    v.avanzadas1 = m.Avanzadas1[n];
    TAvanzadas1& a1 = v.avanzadas1;
    for (int i = 0; i < kFilasDisplay; ++i) {
        const EnlaceDisplay& d = kDisplays[std::size_t(i)];
        const Fila& f = filasDisplay[std::size_t(i)];
        if (auto r = entero(f.direccion, 0, par::kRegistroMaximo, kMensajeRegistro, a1.*d.direccion))
            return r;
        if (f.segundo) {
            const bool esRegistro = d.clase2 == Campo::Registro;
            if (auto r = entero(f.segundo, esRegistro ? 0 : -32768, esRegistro ? par::kRegistroMaximo : 32767,
                                esRegistro ? kMensajeRegistro : kMensajeValor, a1.*d.segundo))
                return r;
        }
        if (f.tercero)
            if (auto r = entero(f.tercero, 0, par::kRegistroMaximo, kMensajeRegistro, a1.*d.tercero))
                return r;
        a1.*d.adquirir = f.adquirir->isChecked();
        a1.*d.nombre = f.nombre->text();
        a1.*d.color = f.color->color();
        if (f.colorApagado)
            a1.*d.colorApagado = f.colorApagado->color();
    }
    a1.CRC = casillaCRC->isChecked();

    v.avanzadas2 = m.Avanzadas2[n];
    Tavanzadas2& a2 = v.avanzadas2;
    for (int i = 0; i < par::kCantidad; ++i) {
        const par::Definicion& d = par::definicion(i);
        const FilaParametro& f = filasParametro[std::size_t(i)];
        if (auto r = entero(f.direccion, 0, par::kRegistroMaximo, kMensajeRegistro, a2.*d.registro))
            return r;
        a2.*d.nombreConfig = f.nombre ? f.nombre->text() : QString::fromLatin1(d.nombre);
        if (f.decimal)
            a2.*d.decimal = f.decimal->isChecked();
        a2.*d.habilitado = f.habilitado->isChecked();
    }
    return std::nullopt;
}

void TFormPropInst::aplicar()
{
    if (!pendiente_ || !ctx_)
        return;
    const Valores v = *std::exchange(pendiente_, std::nullopt);
    Modelo& m = ctx_->modelo;
    const int n = numInstrumento_;
    if (n < 1 || n >= m.ArrayConfig.size() || n >= m.Avanzadas1.size() || n >= m.Avanzadas2.size())
        return;

    TarrayConfig& c = m.ArrayConfig[n];
    if (v.barrido != c.Barrido) {
        c.Barrido = v.barrido;
        if (n < m.ContadorBarrido.size())
            m.ContadorBarrido[n] = 0;
    }
    c.ID = v.id;
    m.Avanzadas1[n] = v.avanzadas1;
    m.Avanzadas2[n] = v.avanzadas2;
    if (n < m.Estados.size())
        m.Estados[n].Direccion = v.id;

    if (n < ctx_->ventanas.Paneles.size())
        if (auto* panel = qobject_cast<TFormaInstP*>(ctx_->ventanas.Paneles[n])) {
            panel->mostrarGrupos();
            panel->HabilitarModulo(n, panel->Habilitado());
        }
}

void TFormPropInst::mostrarCampo(QWidget* campo)
{
    if (paginas->isAncestorOf(campo)) {
        if (!desplegada_)
            desplegar();
        for (QWidget* p : {paginaParametros, paginaAvanzadas1, paginaAvanzadas2})
            if (p->isAncestorOf(campo))
                paginas->setCurrentWidget(p);
        if (paginaAvanzadas1->isAncestorOf(campo))
            desplazamientoAvanzadas1->ensureWidgetVisible(campo);
    }
    if (auto* e = qobject_cast<QLineEdit*>(campo))
        e->selectAll();
    campo->setFocus();
}

void TFormPropInst::senalar(const Rechazo& r)
{
    mostrarCampo(r.campo);
    dialogos().mensaje(kTituloError, r.mensaje, Icono::Error);
    r.campo->setFocus();
}

// ------------------------------------------------------------ Transfers

bool TFormPropInst::armarPedido(par::Pedido& pedido, bool escritura)
{
    auto rechazar = [this](QWidget* campo, const QString& mensaje) {
        senalar({campo, mensaje});
        return false;
    };

    const std::optional<qint32> id = par::enteroEnRango(editorId->text(), 1, par::kEsclavoMaximo);
    if (!id)
        return rechazar(editorId, kMensajeEsclavo);
    pedido.esclavo = quint8(*id);
    pedido.crc = casillaCRC->isChecked();

    for (int i = 0; i < par::kCantidad; ++i) {
        const FilaParametro& f = filasParametro[std::size_t(i)];
        par::ParametroEnLinea& p = pedido.p[std::size_t(i)];
        p.habilitado = f.habilitado->isChecked();
        // A ticked decimal box asks for its loop's decimals when reading,
        // whether or not its parameter is enabled.
        p.decimal = f.decimal && f.decimal->isChecked();
        if (!p.habilitado)
            continue;
        const std::optional<qint32> registro = par::enteroEnRango(f.direccion->text(), 0, par::kRegistroMaximo);
        if (!registro)
            return rechazar(f.direccion, kMensajeRegistro);
        p.registro = *registro;
    }

    for (int lazo = 1; lazo <= 2; ++lazo) {
        if (!pedido.necesitaDecimales(lazo, !escritura))
            continue;
        QLineEdit* sensor = filasDisplay[lazo == 1 ? kDisplay1 : kDisplay2].segundo;
        const std::optional<qint32> registro = par::enteroEnRango(sensor->text(), 0, par::kRegistroMaximo);
        if (!registro)
            return rechazar(sensor, kMensajeRegistro);
        pedido.sensor[std::size_t(lazo - 1)] = *registro;
    }

    if (!escritura)
        return true;
    for (int i = 0; i < par::kCantidad; ++i) {
        par::ParametroEnLinea& p = pedido.p[std::size_t(i)];
        if (!p.habilitado)
            continue;
        const CampoValor& c = camposValor[std::size_t(i)];
        switch (par::definicion(i).clase) {
        case par::Clase::Numero: {
            // Any scale only makes the word larger: what does not fit as it
            // stands never will.
            qint32 palabra = 0;
            const par::Escala e = par::escalar(c.editor->text(), 0, palabra);
            if (e == par::Escala::NoEsNumero)
                return rechazar(c.editor, kMensajeNumero);
            if (e == par::Escala::NoCabe)
                return rechazar(c.editor, kMensajeValor);
            p.texto = c.editor->text();
            break;
        }
        case par::Clase::Entero:
            if (!par::enteroEnRango(c.editor->text(), par::kEnteroMinimo, par::kEnteroMaximo))
                return rechazar(c.editor, kMensajeEntero);
            p.texto = c.editor->text();
            break;
        case par::Clase::Conmutador:
            if (c.lista->currentIndex() < 0 || c.lista->currentIndex() > 2)
                return rechazar(c.lista, kMensajeConmutador);
            p.opcion = c.lista->currentIndex();
            break;
        }
    }
    return true;
}

namespace {

// Progress reports from the port's owner, delivered on the window's thread
// while the window is still there.
par::Avance avanceHacia(QPointer<TFormPropInst> ventana, quint64 serie,
                        void (TFormPropInst::*alAvanzar)(quint64, int))
{
    return [ventana, serie, alAvanzar](int hechas) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [ventana, serie, alAvanzar, hechas] {
                if (ventana)
                    (ventana.data()->*alAvanzar)(serie, hechas);
            },
            Qt::QueuedConnection);
    };
}

} // namespace

void TFormPropInst::BotonRefrescarClick()
{
    if (ocupado_ || !ctx_)
        return;
    par::Pedido pedido;
    if (!armarPedido(pedido, false))
        return;
    iniciarTransferencia(pedido.transacciones(true));
    const quint64 serie = ++serie_;
    const QPointer<TFormPropInst> yo(this);
    const par::Avance avance = avanceHacia(yo, serie, &TFormPropInst::alAvanzar);
    const bool enviado = ctx_->enviar(this, [pedido, yo, serie, avance](EnlaceModbus& e, int h) {
        const par::Lectura l = par::leer(pedido, e, h, avance);
        return std::function<void()>([yo, serie, pedido, l] {
            if (yo)
                yo->alLeer(serie, pedido, l);
        });
    });
    if (!enviado)
        alLeer(serie, pedido, par::Lectura{});
}

void TFormPropInst::BotonActualizarClick()
{
    if (ocupado_ || !ctx_)
        return;
    par::Pedido pedido;
    if (!armarPedido(pedido, true))
        return;
    iniciarTransferencia(pedido.transacciones());
    const quint64 serie = ++serie_;
    const QPointer<TFormPropInst> yo(this);
    const par::Avance avance = avanceHacia(yo, serie, &TFormPropInst::alAvanzar);
    const bool enviado = ctx_->enviar(this, [pedido, yo, serie, avance](EnlaceModbus& e, int h) {
        const par::Escritura r = par::escribir(pedido, e, h, avance);
        return std::function<void()>([yo, serie, r] {
            if (yo)
                yo->alEscribir(serie, r);
        });
    });
    if (!enviado) {
        par::Escritura r;
        r.fallo = par::FalloEscritura::Comunicacion;
        alEscribir(serie, r);
    }
}

void TFormPropInst::iniciarTransferencia(int transacciones)
{
    ocupado_ = true;
    for (QPushButton* b : {botonOk, botonAvanzadas, botonRefrescar, botonActualizar})
        b->setEnabled(false);
    barraProgreso->setRange(0, qMax(1, transacciones));
    barraProgreso->setValue(0);
    barraProgreso->show();
    etiquetaActualizando->show();
    marcoEstado->show();
}

void TFormPropInst::terminarTransferencia()
{
    ocupado_ = false;
    for (QPushButton* b : {botonOk, botonAvanzadas, botonRefrescar, botonActualizar})
        b->setEnabled(true);
    barraProgreso->hide();
    etiquetaActualizando->hide();
}

void TFormPropInst::alAvanzar(quint64 serie, int hechas)
{
    if (ocupado_ && serie == serie_)
        barraProgreso->setValue(qMin(hechas, barraProgreso->maximum()));
}

void TFormPropInst::alLeer(quint64 serie, const par::Pedido& pedido, const par::Lectura& l)
{
    if (serie != serie_ || !ocupado_)
        return;
    terminarTransferencia();
    if (!l.ok) {
        ponerEstado(kFalloRecibir);
        dialogos().mensaje(kTituloError, kErrorComunicaciones, Icono::Error);
        return;
    }

    llenando_ = true;
    for (int i = 0; i < par::kCantidad; ++i) {
        const par::Definicion& d = par::definicion(i);
        CampoValor& c = camposValor[std::size_t(i)];
        const qint32 valor = l.valores[std::size_t(i)].value_or(0);
        if (d.clase == par::Clase::Conmutador) {
            c.lista->setCurrentIndex(valor >= 0 && valor < c.lista->count() ? valor : -1);
            continue;
        }
        const bool conDecimales = pedido.p[std::size_t(i)].decimal && d.lazo > 0;
        const par::Decimales dec = d.lazo > 0 ? l.lazos[std::size_t(d.lazo - 1)] : par::Decimales{};
        c.editor->setText(par::textoLeido(d.clase, valor, conDecimales, dec.divisor, dec.decimales));
    }
    llenando_ = false;
    ponerEstado(kValoresLeidos);
}

void TFormPropInst::alEscribir(quint64 serie, const par::Escritura& e)
{
    if (serie != serie_ || !ocupado_)
        return;
    terminarTransferencia();
    switch (e.fallo) {
    case par::FalloEscritura::Ninguno:
        ponerEstado(kValoresEnviados);
        return;
    case par::FalloEscritura::Decimales:
    case par::FalloEscritura::Comunicacion:
        ponerEstado(kFalloEnviar);
        return;
    case par::FalloEscritura::NoCabe: {
        const par::Clase clase = par::definicion(e.parametro).clase;
        senalar({camposValor[std::size_t(e.parametro)].caja(),
                 QStringLiteral("El valor no cabe en el instrumento: con %1 decimales debe estar entre %2.")
                     .arg(e.decimales)
                     .arg(limitesPalabra(clase, e.decimales))});
        return;
    }
    }
}

void TFormPropInst::ponerEstado(const QString& texto)
{
    etiquetaEstado->setText(texto);
}

void TFormPropInst::revisarEntero(QLineEdit* editor)
{
    bool ok = false;
    const int v = editor->text().trimmed().toInt(&ok);
    if (!ok || (v >= par::kEnteroMinimo && v <= par::kEnteroMaximo)) {
        botonActualizar->setEnabled(!ocupado_);
        return;
    }
    botonActualizar->setEnabled(false);
    ponerEstado(kValoresModificados);
    senalar({editor, kMensajeEntero});
}

void TFormPropInst::valorCambiado()
{
    if (!llenando_)
        ponerEstado(kValoresModificados);
}

// ------------------------------------------------------------ Wiring

void editarPropiedades(ContextoInstrumentos& ctx, QWidget* padre, int n)
{
    if (!padre) {
        TFormPropInst ventana;
        ventana.editar(ctx, n);
        return;
    }
    auto* ventana = padre->findChild<TFormPropInst*>(QString(), Qt::FindDirectChildrenOnly);
    if (!ventana)
        ventana = new TFormPropInst(padre);
    ventana->editar(ctx, n);
}

} // namespace ombrix
