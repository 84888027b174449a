#include "instruments/inst_form.h"

#include <QCloseEvent>
#include <QMdiSubWindow>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>

namespace ombrix {

namespace {

// Pixels kept free below the lowest panel before the vertical scroll bar
// lets go.
constexpr int kMargenVertical = 12;

// The surface behind the panels.
class Fondo : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter g(this);
        QLinearGradient grad(0, 0, 0, height());
        grad.setColorAt(0.0, QColor(92, 98, 108));
        grad.setColorAt(1.0, QColor(70, 75, 84));
        g.fillRect(rect(), grad);
    }
};

} // namespace

TInstForm::TInstForm(ContextoInstrumentos& ctx, QWidget* parent) : QScrollArea(parent), ctx_(ctx)
{
    setWindowTitle(QStringLiteral("Instrumentos"));
    setWindowFlags(windowFlags() | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                   | Qt::WindowContextHelpButtonHint);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalScrollBar()->setSingleStep(12);
    verticalScrollBar()->setTracking(true);
    setFrameStyle(QFrame::NoFrame);
    setWidgetResizable(false);

    lienzo_ = new Fondo;
    setWidget(lienzo_);
    resize(kAnchoDiseno, kAltoDiseno);

    FormCreate();
}

TInstForm::~TInstForm()
{
    // The panels go with the window; their slots must not point at them.
    RegistroVentanas& v = ctx_.ventanas;
    for (int n = 1; n < v.Paneles.size(); ++n)
        if (v.Paneles[n] && v.Paneles[n]->parent() == lienzo_) {
            delete v.Paneles[n];
            v.Paneles[n] = nullptr;
        }
}

TFormaInstP* TInstForm::panel(int n) const
{
    const RegistroVentanas& v = ctx_.ventanas;
    if (n <= 0 || n >= v.Paneles.size())
        return nullptr;
    return qobject_cast<TFormaInstP*>(v.Paneles[n]);
}

TFormaInstP* TInstForm::crearPanel(int n)
{
    RegistroVentanas& v = ctx_.ventanas;
    auto* p = new TFormaInstP(ctx_, n, lienzo_);
    v.Paneles[n] = p;
    p->move(v.PosX, v.PosY);
    p->setTag(n);
    p->show();
    return p;
}

void TInstForm::FormCreate()
{
    Modelo& m = ctx_.modelo;
    RegistroVentanas& v = ctx_.ventanas;
    m.Cargando = true;
    m.ActualizarMemoria();
    v.ajustar(m.CantidadAparatos + 1);

    for (int i = 1; i < m.CantidadAparatos; ++i) {
        // The instrument as its settings say (the recorder does the same),
        // then its panel shows it.
        m.prepararInstrumento(i);
        TarrayConfig& c = m.ArrayConfig[i];
        // With batch codes required nothing records until started on its panel.
        if (m.Config.Pedir_Partida)
            c.SalvarTabla = false;
        TFormaInstP* p = crearPanel(i);
        p->setTitulo(c.Titulo);
        p->setUnidadTexto(c.Unidad);
        p->setHabilitado(c.Habilitado);
        if (c.SalvarTabla)
            p->Adquirir->setText(QStringLiteral("No Adquirir"));
        p->aplicarGrupos();
        p->HabilitarModulo(i, p->Habilitado());
        v.PosX += p->width();
        if (c.Tipo == 0)
            p->aplicarDisenoCompacto();
        if (v.PosX > anchoVentana()) {
            v.PosXFila = v.PosX;
            v.PosX = 0;
            v.PosY += p->height();
        }
    }

    m.Cargando = false;
    ajustarAVentanaPrincipal();
    ajustarLienzo();
    if (ctx_.iniciarTimer1)
        ctx_.iniciarTimer1();
    if (m.CantidadAparatos >= 2 && ctx_.habilitarQuitar)
        ctx_.habilitarQuitar(true);
}

TFormaInstP* TInstForm::AparatoCreate(quint8 tipo)
{
    Modelo& m = ctx_.modelo;
    RegistroVentanas& v = ctx_.ventanas;
    if (m.CantidadAparatos >= Modelo::kCantidadMaxima)
        return nullptr;
    const int K = m.CantidadAparatos;

    m.ActualizarMemoria();
    v.ajustar(K + 1);
    // A new instrument starts from the defaults: title "Instrumento" K, unit
    // ºC, address K, every reading of its type.
    m.granini(K, QString());
    m.ArrayConfig[K].Tipo = tipo;
    m.prepararInstrumento(K);
    verticalScrollBar()->setValue(0);

    TFormaInstP* p = crearPanel(K);
    p->setTitulo(m.ArrayConfig[K].Titulo);
    p->setUnidadTexto(m.ArrayConfig[K].Unidad);
    p->setHabilitado(m.ArrayConfig[K].Habilitado);
    p->HabilitarModulo(K, p->Habilitado());
    v.PosX += p->width();
    if (tipo == 0)
        p->aplicarDisenoCompacto();
    if (v.PosX + p->width() > anchoVentana()) {
        v.PosXFila = v.PosX;
        v.PosX = 0;
        v.PosY += p->height();
    }
    m.CantidadAparatos = quint8(m.CantidadAparatos + 1);
    ajustarLienzo();
    return p;
}

int TInstForm::QuitarUltimo()
{
    Modelo& m = ctx_.modelo;
    RegistroVentanas& v = ctx_.ventanas;
    if (m.CantidadAparatos <= Modelo::kCantidadMinima)
        return 0;
    m.CantidadAparatos = quint8(m.CantidadAparatos - 1);
    const int k = m.CantidadAparatos;

    TFormaInstP* p = panel(k);
    const int ancho = p ? p->width() : TFormaInstP::kAncho;
    const int alto = p ? p->height() : TFormaInstP::kAlto;
    if (v.PosX == 0 && k != 0) {
        v.PosX = v.PosXFila;
        v.PosY -= alto;
    }
    if (v.PosX != 0)
        v.PosX -= ancho;

    delete p;
    if (k < v.Paneles.size())
        v.Paneles[k] = nullptr;

    if (m.CantidadAparatos == 1 && ctx_.habilitarQuitar)
        ctx_.habilitarQuitar(false);
    ajustarLienzo();
    return k;
}

int TInstForm::anchoVentana() const
{
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        return sub->width();
    return width();
}

void TInstForm::ajustarAVentanaPrincipal()
{
    if (!ctx_.ventanaPrincipal)
        return;
    const QSize tamano = ctx_.ventanaPrincipal->size() - QSize(40, 40);
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->resize(tamano);
    else
        resize(tamano);
}

void TInstForm::ajustarLienzo()
{
    int derecha = viewport()->width();
    int abajo = viewport()->height();
    for (QObject* o : lienzo_->children())
        if (auto* w = qobject_cast<QWidget*>(o)) {
            derecha = qMax(derecha, w->geometry().right() + 1);
            abajo = qMax(abajo, w->geometry().bottom() + 1 + kMargenVertical);
        }
    lienzo_->resize(derecha, abajo);
}

void TInstForm::closeEvent(QCloseEvent* e)
{
    e->ignore();
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->showMinimized();
    else
        showMinimized();
}

void TInstForm::resizeEvent(QResizeEvent* e)
{
    QScrollArea::resizeEvent(e);
    ajustarLienzo();
}

} // namespace ombrix
