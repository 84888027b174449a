#include "instruments/forma_inst_p.h"
#include "acquisition/adquisicion.h"

#include "config/dialogos.h"
#include "instruments/colores.h"
#include "instruments/comandos.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>

namespace ombrix {

const QString TFormaInstP::kCambiarSetPoint = QStringLiteral(" Cambiar Set Point");
const QString TFormaInstP::kCambiarUnidad = QStringLiteral(" Cambiar Unidad");
const QString TFormaInstP::kCambiarTitulo = QStringLiteral(" Cambiar Titulo");
const QString TFormaInstP::kIngresePotencia = QStringLiteral(" Ingrese Potencia %");

namespace {

const QString kAdquirir = QStringLiteral("Adquirir");
const QString kMensajePotencia = QStringLiteral("La potencia debe ser un número entero comprendido entre 0 y 100 (%).");
const QString kNoAdquirir = QStringLiteral("No Adquirir");

QFont fuente(int pixeles, bool negrita)
{
    QFont f;
    f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    f.setPixelSize(pixeles);
    f.setBold(negrita);
    return f;
}

QLabel* etiqueta(QWidget* padre, const QString& texto, int x, int y, int pixeles, bool negrita)
{
    auto* l = new QLabel(texto, padre);
    l->setFont(fuente(pixeles, negrita));
    l->move(x, y);
    l->adjustSize();
    return l;
}

VisorDigital* visor(QWidget* padre, const QString& texto, QRect geo, int pixeles, qint32 color, Qt::Alignment al)
{
    auto* v = new VisorDigital(padre);
    v->setGeometry(geo);
    v->setText(texto);
    v->setTamanoPixeles(pixeles);
    v->setColorFuente(color);
    v->setAlignment(al);
    return v;
}

TAlarma* lampara(QWidget* padre, int x, int y, qint32 color)
{
    auto* a = new TAlarma(padre);
    a->setGeometry(x, y, 15, 15);
    a->setAlarmaType(TAlarma::taLed);
    a->setBackColor(color::kBlanco);
    a->setFlashColor(color::kGris);
    a->setFlashOffColor(color::kGris);
    a->setForeColor(color);
    return a;
}

// "7" shows as "07"; longer texts stay as they are.
QString dosCifras(const QString& t) { return t.length() == 1 ? QStringLiteral("0") + t : t; }

} // namespace

TFormaInstP::TFormaInstP(ContextoInstrumentos& ctx, int n, QWidget* parent) : QWidget(parent), ctx_(ctx)
{
    tag_ = n;
    Modelo& m = ctx_.modelo;
    // A slot the arrays do not reach yet gets the default configuration; an
    // instrument nobody has set up yet is set up as its settings say.
    if (m.ArrayConfig.size() <= n || m.Estados.size() <= n)
        m.granini(n, QString());
    if (ctx_.ventanas.Paneles.size() <= n)
        ctx_.ventanas.ajustar(n + 1);
    if (!m.Estados[n].Vivo)
        m.prepararInstrumento(n);
    FormCreate();
    setTag(n);
    // Nothing has been read yet.
    ponerVigente(false, QStringLiteral("Adquisición detenida: los valores no son actuales"));
}

TFormaInstP::~TFormaInstP()
{
    Modelo& m = ctx_.modelo;
    if (tag_ > 0 && tag_ < m.Estados.size())
        m.Estados[tag_].Vivo = false;
    RegistroVentanas& v = ctx_.ventanas;
    if (tag_ > 0 && tag_ < v.Paneles.size() && v.Paneles[tag_] == this)
        v.Paneles[tag_] = nullptr;
}

void TFormaInstP::FormCreate()
{
    setFixedSize(kAncho, kAlto);
    setFont(fuente(11, false));

    QPalette pal = palette();
    pal.setColor(QPalette::Window, aQColor(color::kPlata));
    pal.setColor(QPalette::Button, QColor(222, 222, 222));
    setPalette(pal);

    // Title frame and everything inside it.
    marcoTitulo = new MarcoTitulo(this);
    marcoTitulo->setGeometry(0, 0, kAncho, kAlto - 31);
    marcoTitulo->setTitulo(QStringLiteral(" Instrumento 1 "));
    connect(marcoTitulo, &MarcoTitulo::dobleClic, this, &TFormaInstP::marcoTituloDblClick);

    Unidad = new EtiquetaClic(QStringLiteral("ºC"), marcoTitulo);
    Unidad->setFont(fuente(16, true));
    Unidad->setGeometry(8, 13, 60, 20);
    connect(Unidad, &EtiquetaClic::dobleClic, this, &TFormaInstP::UnidadDblClick);

    const auto derecha = Qt::AlignRight | Qt::AlignVCenter;
    const auto centro = Qt::AlignCenter;
    valorActual = visor(marcoTitulo, QStringLiteral("00.00"), QRect(12, 33, 92, 31), 27, color::kLima, derecha);
    SetPoint = visor(marcoTitulo, QStringLiteral("00.00"), QRect(17, 64, 87, 29), 24, color::kRojo, derecha);
    connect(SetPoint, &VisorDigital::dobleClic, this, &TFormaInstP::SetPointDblClick);
    NProg = visor(marcoTitulo, QStringLiteral("00"), QRect(8, 96, 33, 25), 21, color::kRojo, centro);
    NSeg = visor(marcoTitulo, QStringLiteral("00"), QRect(48, 96, 33, 25), 21, color::kLima, centro);
    Temp = visor(marcoTitulo, QStringLiteral("0000"), QRect(88, 96, 65, 25), 21, color::kLima, centro);
    for (VisorDigital* v : {NProg, NSeg, Temp})
        connect(v, &VisorDigital::dobleClic, this, &TFormaInstP::visoresProgramaDblClick);

    Prog = etiqueta(marcoTitulo, QStringLiteral("P"), 8, 120, 10, true);
    seg = etiqueta(marcoTitulo, QStringLiteral("Seg"), 48, 120, 10, true);
    etiquetaTiempo = etiqueta(marcoTitulo, QStringLiteral("Tie. Seg."), 88, 120, 10, true);
    Prog->setToolTip(QStringLiteral("Indica el número de programa en ejecución"));
    seg->setToolTip(QStringLiteral("Indica el número del segmento del programa en ejecución"));
    etiquetaTiempo->setToolTip(QStringLiteral("Indica el número del segmento del programa en ejecución"));

    Potencia = new Medidor(marcoTitulo);
    Potencia->setGeometry(10, 140, 111, 13);
    Potencia->setMaximo(1000);
    etiquetaPotencia = etiqueta(marcoTitulo, QStringLiteral("Pot"), 122, 138, 11, true);
    Alarma1 = new Medidor(marcoTitulo);
    Alarma1->setGeometry(10, 155, 111, 13);
    Alarma1->setMaximo(1000);
    etiquetaAlarma1 = etiqueta(marcoTitulo, QStringLiteral("AL1"), 124, 154, 11, true);
    for (QLabel* l : {etiquetaPotencia, etiquetaAlarma1}) {
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, QColor(0, 0, 255));
        p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
        l->setPalette(p);
        l->setFixedWidth(kAncho - l->x() - 3);
    }

    ComLed = lampara(marcoTitulo, 110, 13, color::kVerde);
    // A latched communication alarm must be seen from across the room: the
    // lamp alternates between bright red and grey.
    ComLed->setFlashColor(color::kRojo);
    Alarma2 = lampara(marcoTitulo, 110, 33, color::kGranate);
    Alarma3 = lampara(marcoTitulo, 110, 53, color::kGranate);
    Alarma4 = lampara(marcoTitulo, 110, 73, color::kGranate);
    etiquetaCom = etiqueta(marcoTitulo, QStringLiteral("COM"), 128, 14, 10, true);
    etiquetaAlarma2 = etiqueta(marcoTitulo, QStringLiteral("AL2"), 128, 34, 10, true);
    etiquetaAlarma3 = etiqueta(marcoTitulo, QStringLiteral("AL3"), 128, 54, 10, true);
    etiquetaAlarma4 = etiqueta(marcoTitulo, QStringLiteral("AL4"), 128, 74, 10, true);
    for (QLabel* l : {etiquetaCom, etiquetaAlarma2, etiquetaAlarma3, etiquetaAlarma4})
        l->setFixedWidth(168 - 128);

    Button_auto = new QToolButton(marcoTitulo);
    Button_auto->setText(QStringLiteral("A"));
    Button_auto->setGeometry(168, 16, 17, 17);
    Button_man = new QToolButton(marcoTitulo);
    Button_man->setText(QStringLiteral("M"));
    Button_man->setGeometry(168, 32, 17, 17);
    for (QToolButton* b : {Button_auto, Button_man}) {
        b->setFont(fuente(10, true));
        b->setFocusPolicy(Qt::NoFocus);
    }
    connect(Button_auto, &QToolButton::clicked, this, &TFormaInstP::Button_autoClick);
    connect(Button_man, &QToolButton::clicked, this, &TFormaInstP::Button_manClick);

    const QString estiloCapa = QStringLiteral(
        "QGroupBox { background: #f2f2f2; border: 1px solid #4a4a4a; border-radius: 4px;"
        " margin-top: 0px; padding-top: 14px; font-weight: bold; }"
        "QGroupBox::title { subcontrol-origin: border; subcontrol-position: top left; left: 5px; top: 2px;"
        " color: #26327a; }");

    // Single-value edit overlay.
    marcoEdicion = new QGroupBox(marcoTitulo);
    marcoEdicion->setGeometry(9, 39, 144, 80);
    marcoEdicion->setStyleSheet(estiloCapa);
    editorValor = new QLineEdit(marcoEdicion);
    editorValor->setGeometry(8, 20, 128, 22);
    BotonAceptar = new QPushButton(QStringLiteral("OK"), marcoEdicion);
    BotonAceptar->setGeometry(8, 48, 62, 24);
    BotonCancelar = new QPushButton(QStringLiteral("Cancelar"), marcoEdicion);
    BotonCancelar->setGeometry(74, 48, 62, 24);
    connect(BotonAceptar, &QPushButton::clicked, this, &TFormaInstP::BotonAceptarClick);
    connect(BotonCancelar, &QPushButton::clicked, this, &TFormaInstP::BotonCancelarClick);
    connect(editorValor, &QLineEdit::returnPressed, this, &TFormaInstP::BotonAceptarClick);
    marcoEdicion->hide();

    // Program parameters overlay.
    marcoPrograma = new QGroupBox(marcoTitulo);
    marcoPrograma->setGeometry(9, 2, 168, 170);
    marcoPrograma->setStyleSheet(estiloCapa);
    marcoPrograma->setTitle(QStringLiteral("Parámetros de Programa"));
    etiqueta(marcoPrograma, QStringLiteral("Programa"), 10, 30, 11, false);
    etiqueta(marcoPrograma, QStringLiteral("Segmento"), 10, 62, 11, false);
    etiqueta(marcoPrograma, QStringLiteral("Tiempo"), 10, 94, 11, false);
    editorPrograma = new QLineEdit(marcoPrograma);
    editorPrograma->setGeometry(80, 26, 76, 22);
    editorSegmento = new QLineEdit(marcoPrograma);
    editorSegmento->setGeometry(80, 58, 76, 22);
    editorTiempo = new QLineEdit(marcoPrograma);
    editorTiempo->setGeometry(80, 90, 76, 22);
    for (QLineEdit* e : {editorPrograma, editorSegmento, editorTiempo}) {
        e->setAlignment(Qt::AlignRight);
        // Every change is checked, the texts copied in on opening included.
        connect(e, &QLineEdit::textChanged, this, [this, e] { editorProgramaChange(e); });
        connect(e, &QLineEdit::returnPressed, this, &TFormaInstP::botonEnviarProgramaClick);
    }
    botonEnviarPrograma = new QPushButton(QStringLiteral("OK"), marcoPrograma);
    botonEnviarPrograma->setGeometry(10, 130, 70, 28);
    botonCancelarPrograma = new QPushButton(QStringLiteral("&Cancelar"), marcoPrograma);
    botonCancelarPrograma->setGeometry(88, 130, 70, 28);
    connect(botonEnviarPrograma, &QPushButton::clicked, this, &TFormaInstP::botonEnviarProgramaClick);
    connect(botonCancelarPrograma, &QPushButton::clicked, this, &TFormaInstP::botonCancelarProgramaClick);
    marcoPrograma->hide();

    // Button bar.
    barraBotones = new QFrame(this);
    barraBotones->setGeometry(0, kAlto - 31, kAncho, 31);
    barraBotones->setFrameStyle(QFrame::NoFrame);
    Hab = new QPushButton(QStringLiteral("Hab"), barraBotones);
    Hab->setGeometry(0, 3, 25, 26);
    Adquirir = new QPushButton(kAdquirir, barraBotones);
    Adquirir->setGeometry(24, 3, 77, 26);
    BotonTabla = new QToolButton(barraBotones);
    BotonTabla->setGeometry(100, 3, 30, 26);
    BotonTabla->setIcon(glifoTabla());
    BotonTabla->setIconSize(QSize(20, 20));
    BotonConfig = new QPushButton(QStringLiteral("Config"), barraBotones);
    BotonConfig->setGeometry(129, 3, 61, 26);
    BotonConfig->setIcon(glifoConfig());
    BotonConfig->setIconSize(QSize(14, 14));
    BotonReset = new QToolButton(barraBotones);
    BotonReset->setGeometry(129, 3, 61, 26);
    BotonReset->setIcon(glifoReset());
    BotonReset->setIconSize(QSize(20, 20));
    BotonReset->setStyleSheet(QStringLiteral(
        "QToolButton { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffd0c8, stop:1 #f08070);"
        " border: 1px solid #800000; border-radius: 3px; }"
        "QToolButton:pressed { background: #e06050; }"));
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{Hab, Adquirir, BotonTabla, BotonConfig, BotonReset})
        b->setFocusPolicy(Qt::NoFocus);
    Hab->setFont(fuente(10, true));
    connect(Hab, &QPushButton::clicked, this, &TFormaInstP::HabClick);
    connect(Adquirir, &QPushButton::clicked, this, &TFormaInstP::AdquirirClick);
    connect(BotonTabla, &QToolButton::clicked, this, &TFormaInstP::BotonTablaClick);
    connect(BotonConfig, &QPushButton::clicked, this, &TFormaInstP::BotonConfigClick);
    connect(BotonReset, &QToolButton::clicked, this, &TFormaInstP::BotonResetClick);
    ponerResetAlFrente(false);
}

void TFormaInstP::paintEvent(QPaintEvent*)
{
    QPainter g(this);
    QLinearGradient barra(0, kAlto - 31, 0, kAlto);
    barra.setColorAt(0.0, QColor(176, 176, 176));
    barra.setColorAt(1.0, QColor(150, 150, 150));
    g.fillRect(rect(), aQColor(color::kPlata));
    g.fillRect(QRect(0, kAlto - 31, kAncho, 31), barra);
}

// ------------------------------------------------------------------- State

EstadoInstrumento& TFormaInstP::estado() { return ctx_.modelo.Estados[tag_]; }
const EstadoInstrumento& TFormaInstP::estado() const { return ctx_.modelo.Estados[tag_]; }
TarrayConfig& TFormaInstP::config() { return ctx_.modelo.ArrayConfig[tag_]; }
TAvanzadas1& TFormaInstP::avanzadas() { return ctx_.modelo.Avanzadas1[tag_]; }
bool TFormaInstP::puertoAbierto() const { return ctx_.puerto.Abierto; }

void TFormaInstP::setTag(int n)
{
    tag_ = n;
    for (QObject* o : std::initializer_list<QObject*>{Hab, BotonTabla, SetPoint})
        o->setProperty("Tag", n);
}

bool TFormaInstP::Habilitado() const { return estado().Habilitado; }
bool TFormaInstP::RegistroPendiente() const { return estado().RegistroPendiente; }
void TFormaInstP::setRegistroPendiente(bool r) { estado().RegistroPendiente = r; }
QString TFormaInstP::Titulo() const { return marcoTitulo->titulo(); }

void TFormaInstP::setHabilitado(bool h)
{
    estado().Habilitado = h;
    config().Habilitado = h;
}

void TFormaInstP::setTitulo(const QString& t)
{
    marcoTitulo->setTitulo(t);
    estado().Titulo = t;
    config().Titulo = t;
}

void TFormaInstP::setUnidadTexto(const QString& u)
{
    Unidad->setText(u);
    estado().Unidad = u;
    config().Unidad = u;
}

void TFormaInstP::ponerResetAlFrente(bool alFrente)
{
    resetAlFrente_ = alFrente;
    if (alFrente) {
        BotonReset->show();
        BotonReset->raise();
    } else {
        // Behind the Config button, where nothing of it shows.
        BotonReset->stackUnder(BotonConfig);
        BotonReset->hide();
    }
}

// ---------------------------------------------------------------- The look

void TFormaInstP::HabilitarModulo(int N, bool Enabled)
{
    for (QWidget* w : std::initializer_list<QWidget*>{
             Button_auto, Button_man, Unidad, etiquetaAlarma1, etiquetaAlarma3, etiquetaCom, valorActual, SetPoint,
             NProg, NSeg, Temp, etiquetaPotencia, Potencia, marcoTitulo, BotonConfig, BotonTabla, etiquetaAlarma2,
             etiquetaAlarma4, Adquirir})
        w->setEnabled(Enabled);

    if (!Enabled) {
        ComLed->setFlash(false);
        marcoTitulo->setColorTitulo(color::kGris);
        Potencia->setColorBarra(color::kPlata);
        Alarma1->setColorBarra(color::kPlata);
        for (TAlarma* a : {Alarma2, Alarma3, Alarma4, ComLed}) {
            a->setFlash(false);
            a->setForeColor(color::kPlata);
        }
        return;
    }

    refrescarAspecto(N);
}

void TFormaInstP::refrescarAspecto(int N)
{
    const int n = (N > 0 && N < ctx_.modelo.Avanzadas1.size()) ? N : tag_;
    const TAvanzadas1& a = ctx_.modelo.Avanzadas1[n];
    marcoTitulo->setColorTitulo(color::kActiveCaption);
    Potencia->setColorBarra(a.Potcolor);
    Alarma1->setColorBarra(a.A1color);
    Alarma2->setForeColor(a.A2colorOff);
    Alarma3->setForeColor(a.A3colorOff);
    Alarma4->setForeColor(a.A4colorOff);
    ComLed->setForeColor(color::kGranate);
    // A latched alarm keeps its lamp flashing whatever happened meanwhile.
    if (estado().AlarmaCom)
        ComLed->setFlash(true);
    valorActual->setColorFuente(a.VaColor);
    SetPoint->setColorFuente(a.SPcolor);
    NProg->setColorFuente(a.Progcolor);
    NSeg->setColorFuente(a.Segcolor);
    Temp->setColorFuente(a.Tempcolor);
    valorActual->setToolTip(a.NombreVA);
    SetPoint->setToolTip(a.NombreSP);
    Prog->setText(a.NombreProg);
    seg->setText(a.NombreSeg);
    etiquetaTiempo->setText(a.NombreTemp);
    etiquetaAlarma1->setText(a.NombreAl1);
    etiquetaPotencia->setText(a.NombrePot);
    etiquetaAlarma2->setText(a.NombreAl2);
    etiquetaAlarma3->setText(a.NombreAl3);
    etiquetaAlarma4->setText(a.NombreAl4);
    for (QLabel* l : {Prog, seg, etiquetaTiempo})
        l->adjustSize();
}

void TFormaInstP::aplicarGrupos()
{
    const TAvanzadas1& a = avanzadas();
    valorActual->setVisible(a.PCheckVA);
    SetPoint->setVisible(a.PCheckSPRd);
    Potencia->setVisible(a.PCheckPOT);
    etiquetaPotencia->setVisible(a.PCheckPOT);
    Alarma1->setVisible(a.PCheckAl1);
    etiquetaAlarma1->setVisible(a.PCheckAl1);
    Alarma2->setVisible(a.PCheckAl2);
    etiquetaAlarma2->setVisible(a.PCheckAl2);
    Alarma3->setVisible(a.PCheckAl3);
    etiquetaAlarma3->setVisible(a.PCheckAl3);
    Alarma4->setVisible(a.PCheckAl4);
    etiquetaAlarma4->setVisible(a.PCheckAl4);
    NProg->setVisible(a.PCheckNProg);
    Prog->setVisible(a.PCheckNProg);
    NSeg->setVisible(a.PCheckNSeg);
    seg->setVisible(a.PCheckNSeg);
    Temp->setVisible(a.PCheckTemp);
    etiquetaTiempo->setVisible(a.PCheckTemp);
}

void TFormaInstP::mostrarGrupos()
{
    aplicarGrupos();
    for (VisorDigital* v : {valorActual, SetPoint})
        if (v->isHidden())
            v->setText(QStringLiteral("00.00"));
    for (Medidor* m : {Potencia, Alarma1})
        if (m->isHidden())
            m->setProgreso(0);
}

void TFormaInstP::aplicarDisenoCompacto()
{
    for (QWidget* w : std::initializer_list<QWidget*>{NProg, NSeg, Temp, Prog, seg, etiquetaTiempo})
        w->hide();
    TAvanzadas1& a = avanzadas();
    a.PCheckNProg = false;
    a.PCheckNSeg = false;
    a.PCheckTemp = false;
    Potencia->move(Potencia->x(), SetPoint->y() + 46);
    Alarma1->move(Alarma1->x(), Potencia->y() + 15);
    etiquetaPotencia->move(etiquetaPotencia->x(), Potencia->y() - 2);
    etiquetaAlarma1->move(etiquetaAlarma1->x(), Alarma1->y());
}

void TFormaInstP::Activafalse()
{
    if (tag_ > 0 && tag_ < ctx_.ventanas.VentanasTabla.size())
        ctx_.ventanas.VentanasTabla[tag_].Abierta = false;
}

// ---------------------------------------------------------------- Readings

void TFormaInstP::consultando()
{
    ComLed->setForeColor(color::kGranate);
}

void TFormaInstP::ponerVigente(bool si, const QString& motivo)
{
    vigente_ = si;
    for (VisorDigital* v : {valorActual, SetPoint, NProg, NSeg, Temp})
        v->setAtenuado(!si);
    for (Medidor* m : {Potencia, Alarma1})
        m->setAtenuado(!si);
    const QString aviso = si ? QString() : (motivo.isEmpty() ? QStringLiteral("Valores no actuales") : motivo);
    marcoTitulo->setToolTip(aviso);
}

void TFormaInstP::mostrarLectura(const ResultadoLectura& r)
{
    if (r.valorActual)
        valorActual->setText(*r.valorActual);
    if (r.SetPoint)
        SetPoint->setText(*r.SetPoint);
    if (r.NProg)
        NProg->setText(*r.NProg);
    if (r.NSeg)
        NSeg->setText(*r.NSeg);
    if (r.Temp)
        Temp->setText(*r.Temp);
    if (r.Potencia) {
        Potencia->setMaximo(r.Potencia->maximo);
        Potencia->setProgreso(r.Potencia->progreso);
        Potencia->setTexto(r.Lecturas[kPotencia]);
        etiquetaPotencia->setText(r.Potencia->texto);
    }
    if (r.Alarma1) {
        Alarma1->setMaximo(r.Alarma1->maximo);
        Alarma1->setProgreso(r.Alarma1->progreso);
        Alarma1->setTexto(r.Lecturas[kAlarma1]);
        etiquetaAlarma1->setText(r.Alarma1->texto);
    }
    TAlarma* lamparas[3] = {Alarma2, Alarma3, Alarma4};
    for (int i = 0; i < 3; ++i)
        if (r.ColoresAlarma[i])
            lamparas[i]->setForeColor(*r.ColoresAlarma[i]);

    if (r.alarmaComEnganchada) {
        ComLed->setForeColor(color::kGranate);
        estado().AlarmaCom = true;
        ComLed->setFlash(true);
        ponerResetAlFrente(true);
    }
    if (estado().AlarmaCom || r.fallaComunicacion())
        ponerVigente(false, QStringLiteral("Sin comunicación con el instrumento: los valores son los últimos leídos"));
    else if (!r.cortada)
        ponerVigente(true);
}

// ------------------------------------------------------- Single-value overlay

void TFormaInstP::abrirEdicion(const QString& texto, const QString& titulo)
{
    editorValor->setText(texto);
    marcoEdicion->setTitle(titulo);
    marcoEdicion->show();
    marcoEdicion->raise();
    editorValor->selectAll();
    editorValor->setFocus();
}

void TFormaInstP::rechazar(QLineEdit* edit, bool pitido)
{
    edit->selectAll();
    edit->setFocus();
    if (pitido)
        QApplication::beep();
}

void TFormaInstP::SetPointDblClick()
{
    if (avanzadas().FueraRango2 == 0 && NProg->text() == QStringLiteral("00") && puertoAbierto())
        abrirEdicion(SetPoint->text(), kCambiarSetPoint);
}

void TFormaInstP::UnidadDblClick()
{
    abrirEdicion(Unidad->text(), kCambiarUnidad);
}

void TFormaInstP::marcoTituloDblClick()
{
    abrirEdicion(Titulo(), kCambiarTitulo);
}

void TFormaInstP::Button_manClick()
{
    if (puertoAbierto())
        abrirEdicion(SetPoint->text(), kIngresePotencia);
}

void TFormaInstP::Button_autoClick()
{
    const comandos::Destino d = comandos::destinoDe(ctx_.modelo, tag_);
    ctx_.enviar(this, [d](EnlaceModbus& e, int h) {
        comandos::enviarAutomatico(d, e, h);
        return std::function<void()>{};
    });
}

void TFormaInstP::BotonCancelarClick()
{
    marcoEdicion->hide();
}

void TFormaInstP::BotonAceptarClick()
{
    // Enter in editorValor comes here too: while a set point waits for its answer
    // the disabled OK button must not be got round by it.
    if (!BotonAceptar->isEnabledTo(marcoEdicion))
        return;
    const QString titulo = marcoEdicion->title();

    if (titulo == kCambiarSetPoint) {
        const std::optional<double> valor = comandos::leerDecimal(editorValor->text());
        if (!valor) {
            rechazar(editorValor, false);
            return;
        }
        // A value that no decimals setting could fit is refused before asking.
        qint32 palabra = 0;
        if (!comandos::escalarSetPoint(*valor, 1, palabra)) {
            rechazar(editorValor, true);
            return;
        }
        const QString anterior = SetPoint->text();
        SetPoint->setText(editorValor->text());
        // The line answers later: until then the overlay takes no second value.
        BotonAceptar->setEnabled(false);
        const comandos::Destino d = comandos::destinoDe(ctx_.modelo, tag_);
        const double v = *valor;
        const bool enviado = ctx_.enviar(this, [this, d, v, anterior](EnlaceModbus& e, int h) {
            const comandos::ResultadoSetPoint res = comandos::enviarSetPoint(d, e, h, v);
            return std::function<void()>([this, res, anterior] { alEnviarSetPoint(res, anterior); });
        });
        if (!enviado) {
            BotonAceptar->setEnabled(true);
            SetPoint->setText(anterior);
            marcoEdicion->hide();
        }
        return;
    }

    if (titulo == kCambiarUnidad) {
        setUnidadTexto(editorValor->text());
        marcoEdicion->hide();
        return;
    }

    if (titulo == kCambiarTitulo) {
        setTitulo(editorValor->text());
        marcoEdicion->hide();
        return;
    }

    if (titulo == kIngresePotencia) {
        const std::optional<qint32> porcentaje = comandos::leerEntero(editorValor->text());
        if (!porcentaje || *porcentaje < 0 || *porcentaje > 100) {
            dialogos().mensaje(kTituloError, kMensajePotencia, Icono::Error, Botones::Ok);
            rechazar(editorValor, false);
            return;
        }
        const comandos::Destino d = comandos::destinoDe(ctx_.modelo, tag_);
        const int p = *porcentaje;
        ctx_.enviar(this, [d, p](EnlaceModbus& e, int h) {
            comandos::enviarPotenciaManual(d, e, h, p);
            return std::function<void()>{};
        });
        marcoEdicion->hide();
        return;
    }

    marcoEdicion->hide();
}

// ---------------------------------------------------- Program parameters

void TFormaInstP::visoresProgramaDblClick()
{
    if (!puertoAbierto())
        return;
    editorPrograma->setText(NProg->text());
    editorSegmento->setText(NSeg->text());
    editorTiempo->setText(Temp->text());
    marcoPrograma->show();
    marcoPrograma->raise();
    editorPrograma->selectAll();
    editorPrograma->setFocus();
}

void TFormaInstP::editorProgramaChange(QLineEdit* edit)
{
    if (!comandos::leerEntero(edit->text()))
        rechazar(edit, true);
}

void TFormaInstP::botonEnviarProgramaClick()
{
    // Every text must be an integer before anything changes or is sent.
    const std::optional<qint32> programa = comandos::leerEntero(editorPrograma->text());
    const std::optional<qint32> segmento = comandos::leerEntero(editorSegmento->text());
    const std::optional<qint32> tiempo = comandos::leerEntero(editorTiempo->text());
    for (auto [valor, edit] : {std::pair{programa, editorPrograma}, std::pair{segmento, editorSegmento},
                               std::pair{tiempo, editorTiempo}}) {
        if (!valor) {
            mostrarError(Error(QStringLiteral("'%1' is not a valid integer value").arg(edit->text())));
            rechazar(edit, false);
            return;
        }
    }
    if (*programa < 0 || *programa > 50) {
        rechazar(editorPrograma, true);
        return;
    }
    // Segment and time go to 16-bit registers the instrument reads back as
    // signed: a negative or larger value would come back as another number.
    if (*segmento < 0 || *segmento > 32767) {
        rechazar(editorSegmento, true);
        return;
    }
    if (*tiempo < 0 || *tiempo > 32767) {
        rechazar(editorTiempo, true);
        return;
    }

    NProg->setText(dosCifras(editorPrograma->text().trimmed()));
    NSeg->setText(dosCifras(editorSegmento->text().trimmed()));
    Temp->setText(editorTiempo->text().trimmed().rightJustified(4, QLatin1Char('0')));

    const comandos::Destino d = comandos::destinoDe(ctx_.modelo, tag_);
    ctx_.enviar(this, [d, p = *programa, sg = *segmento, t = *tiempo](EnlaceModbus& e, int h) {
        comandos::enviarPrograma(d, e, h, p, sg, t);
        return std::function<void()>{};
    });
    marcoPrograma->hide();
}

void TFormaInstP::botonCancelarProgramaClick()
{
    marcoPrograma->hide();
}

// ------------------------------------------------------------- Button bar

void TFormaInstP::HabClick()
{
    if (ctx_.modelo.Cargando)
        return;
    const int N = Hab->property("Tag").toInt();

    if (!Habilitado()) {
        HabilitarModulo(N, true);
        setHabilitado(true);
        return;
    }

    if (RegistroPendiente()
        && !preguntar(QStringLiteral("¿Está seguro de DESHABILITAR y TERMINAR la adquisición del instrumento:")
                      + Titulo() + QStringLiteral("?")))
        return;

    HabilitarModulo(N, false);
    setHabilitado(false);
    config().SalvarTabla = false;
    // The row that was due is not written after all: recording has ended.
    setRegistroPendiente(false);
    Adquirir->setText(kAdquirir);
}

void TFormaInstP::AdquirirClick()
{
    TarrayConfig& c = config();
    if (c.SalvarTabla) {
        if (preguntar(QStringLiteral("¿Esta Ud. seguro que desea terminar la adquisición de datos?"))) {
            c.SalvarTabla = false;
            Adquirir->setText(kAdquirir);
        }
        return;
    }

    if (ctx_.modelo.Config.Pedir_Partida && !pedirPartida())
        return;
    c.SalvarTabla = true;
    Adquirir->setText(kNoAdquirir);
}

void TFormaInstP::alEnviarSetPoint(comandos::ResultadoSetPoint res, const QString& anterior)
{
    BotonAceptar->setEnabled(true);
    switch (res) {
    case comandos::ResultadoSetPoint::ErrorLectura:
        avisar(QStringLiteral("Error al leer"));
        marcoEdicion->hide();
        return;
    case comandos::ResultadoSetPoint::FueraDeRango:
        SetPoint->setText(anterior);
        rechazar(editorValor, true);
        return;
    case comandos::ResultadoSetPoint::Enviado:
        marcoEdicion->hide();
        return;
    }
}

bool TFormaInstP::pedirPartida()
{
    QString partida;
    if (!dialogos().entrada(QStringLiteral("Código de la partida"), QString(), partida))
        partida.clear();
    estado().Partida = partida;
    // A code of blanks only names no batch either.
    if (partida.trimmed().isEmpty()) {
        avisar(QStringLiteral("No ha ingresado nombre para la Partida. La adquisición no ha iniciado."));
        return false;
    }
    return true;
}

void TFormaInstP::BotonResetClick()
{
    ComLed->setFlash(false);
    ponerResetAlFrente(false);
    if (!Adquisicion::restablecerAlarmaCom(ctx_.modelo, tag_)) {
        // Recording needs a batch code: asked for as "Adquirir" asks for it.
        if (!pedirPartida()) {
            config().SalvarTabla = false;
            Adquirir->setText(kAdquirir);
            return;
        }
        config().SalvarTabla = true;
    }
    // Polling and recording resume together; the caption says so.
    Adquirir->setText(kNoAdquirir);
}

void TFormaInstP::alarmaRestablecida()
{
    ComLed->setFlash(false);
    ponerResetAlFrente(false);
    Adquirir->setText(config().SalvarTabla ? kNoAdquirir : kAdquirir);
}

void TFormaInstP::BotonTablaClick()
{
    if (ctx_.abrirTabla)
        ctx_.abrirTabla(tag_ & 0xFF);
}

void TFormaInstP::BotonConfigClick()
{
    if (ctx_.abrirPropiedades)
        ctx_.abrirPropiedades(tag_);
}

} // namespace ombrix
