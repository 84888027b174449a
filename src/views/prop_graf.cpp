#include "views/prop_graf.h"

#include "config/dialogos.h"
#include "instruments/colores.h"
#include "views/graf_form.h"

#include <qcustomplot.h>

#include <QCheckBox>
#include <QColorDialog>
#include <QFontDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include "touch/teclado.h"
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace ombrix {

namespace {
// The boxes of this dialog are the touch edit box with its keyboard off.
QLineEdit* editorSinTeclado(const QString& texto, QWidget* padre, bool numerico)
{
    auto* e = new TEditKbr(padre);
    e->setText(texto);
    e->ShowKbr = false;
    e->Numeric = numerico;
    return e;
}
} // namespace

namespace {
qint32 aEntero(const QColor& c) { return qint32(c.red() | (c.green() << 8) | (c.blue() << 16)); }

void pintarEtiqueta(QLabel* l, const QColor& c)
{
    l->setStyleSheet(QStringLiteral("background: %1; border: 1px solid black; border-radius: 4px").arg(c.name()));
}

// Whether "Activar color de fondo" was checked when the dialog was last
// closed: it is not loaded from the chart and keeps its state between uses.
bool fondoActivoPrevio = false;

bool leerDoble(const QString& t, double& v)
{
    bool ok = false;
    v = QLocale::c().toDouble(t.trimmed(), &ok);
    return ok && std::isfinite(v);
}
} // namespace

QColor colorDelSistema(const QColor& inicial, QWidget* padre)
{
    return QColorDialog::getColor(inicial, padre, QString());
}

bool fuenteDelSistema(FuenteConColor& fuente, QWidget* padre)
{
    bool ok = false;
    const QFont f = QFontDialog::getFont(&ok, fuente.fuente, padre);
    if (ok)
        fuente.fuente = f;
    return ok;
}

TFormaPropGraf::TFormaPropGraf(ContextoVistas& c, int n, TGrafForm* grafico, QWidget* parent)
    : QDialog(parent), ctx_(c), n_(n), grafico_(grafico)
{
    setObjectName(QStringLiteral("formaPropGraf"));
    setWindowTitle(QStringLiteral("Propiedades del gráfico"));
    auto* capa = new QGridLayout(this);

    auto* opciones = new QGroupBox(QStringLiteral("Opciones"), this);
    auto* co = new QGridLayout(opciones);
    CheckPaginas = new QCheckBox(QStringLiteral("Barra de páginas"), opciones);
    CheckGrilla = new QCheckBox(QStringLiteral("Grilla visible"), opciones);
    CheckLegend = new QCheckBox(QStringLiteral("Ver referencias"), opciones);
    CheckActualizar = new QCheckBox(QStringLiteral("Actualización automática"), opciones);
    EspesorLinea = editorSinTeclado(QStringLiteral("1"), opciones, true);
    EspesorLinea->setObjectName(QStringLiteral("EspesorLinea"));
    co->addWidget(CheckPaginas, 0, 0);
    co->addWidget(CheckGrilla, 0, 1);
    co->addWidget(CheckLegend, 1, 0);
    co->addWidget(CheckActualizar, 1, 1);
    co->addWidget(new QLabel(QStringLiteral("Espesor de linea"), opciones), 2, 0);
    co->addWidget(EspesorLinea, 2, 1);
    auto* colores = new QGroupBox(QStringLiteral("Color de linea y selección"), opciones);
    auto* cc = new QGridLayout(colores);
    cc->addWidget(new QLabel(QStringLiteral("Pocisión eje Y"), colores), 0, 3);
    for (int k = 0; k < 7; ++k) {
        muestraColor[k] = new QToolButton(colores);
        muestraColor[k]->setFixedSize(21, 21);
        muestraColor[k]->setToolTip(QStringLiteral("Haga doble click para cambiar el color"));
        etiquetaValor[k] = new QLabel(colores);
        checkValor[k] = new QCheckBox(colores);
        cc->addWidget(muestraColor[k], k + 1, 0);
        cc->addWidget(etiquetaValor[k], k + 1, 1);
        cc->addWidget(checkValor[k], k + 1, 2);
        connect(muestraColor[k], &QToolButton::clicked, this, [this, k] {
            const QColor c = elegirColor(colores_[k], this);
            if (c.isValid())
                pintarMuestra(k, c);
        });
        if (k >= 3) {
            PosAl[k - 3] = new QSpinBox(colores);
            PosAl[k - 3]->setRange(0, 255);
            cc->addWidget(PosAl[k - 3], k + 1, 3);
        }
    }
    co->addWidget(colores, 3, 0, 1, 2);
    capa->addWidget(opciones, 0, 0, 3, 1);

    auto* titulo = new QGroupBox(QStringLiteral("Editar título"), this);
    auto* ct = new QVBoxLayout(titulo);
    textoTitulo = new QPlainTextEdit(titulo);
    textoTitulo->setFixedHeight(65);
    botonFuente = new QPushButton(QStringLiteral("Fuente"), titulo);
    botonFuente->setObjectName(QStringLiteral("botonFuente"));
    CheckTitulo = new QCheckBox(QStringLiteral("Título visible"), titulo);
    ct->addWidget(textoTitulo);
    auto* filaTitulo = new QHBoxLayout;
    filaTitulo->addWidget(botonFuente);
    filaTitulo->addWidget(CheckTitulo);
    ct->addLayout(filaTitulo);
    capa->addWidget(titulo, 0, 1);
    connect(botonFuente, &QPushButton::clicked, this, &TFormaPropGraf::BotonFuenteClick);

    auto* fondo = new QGroupBox(QStringLiteral("Color de Fondo"), this);
    auto* cf = new QGridLayout(fondo);
    checkGradiente = new QCheckBox(QStringLiteral("Habilitar gradiente"), fondo);
    checkGradiente->setObjectName(QStringLiteral("checkGradiente"));
    checkColorFondo = new QCheckBox(QStringLiteral("Activar color de fondo"), fondo);
    checkColorFondo->setObjectName(QStringLiteral("checkColorFondo"));
    checkColorFondo->setChecked(fondoActivoPrevio);
    auto filaColor = [&](const QString& texto, const QString& nombre, QLabel*& muestra, QPushButton*& boton, int fila) {
        muestra = new QLabel(fondo);
        muestra->setFixedSize(21, 21);
        muestra->setObjectName(QStringLiteral("muestra") + nombre);
        boton = new QPushButton(texto, fondo);
        boton->setObjectName(QStringLiteral("boton") + nombre);
        cf->addWidget(muestra, fila, 0);
        cf->addWidget(boton, fila, 1);
    };
    cf->addWidget(checkGradiente, 0, 0, 1, 2);
    filaColor(QStringLiteral("Color superior"), QStringLiteral("ColorSup"), muestraColorSup, botonColorSup, 1);
    filaColor(QStringLiteral("Color inferior"), QStringLiteral("ColorInf"), muestraColorInf, botonColorInf, 2);
    cf->addWidget(checkColorFondo, 3, 0, 1, 2);
    filaColor(QStringLiteral("Color de Fondo"), QStringLiteral("ColorFondo"), muestraColorFondo, botonColorFondo, 4);
    capa->addWidget(fondo, 1, 2, 2, 1);
    connect(botonColorSup, &QPushButton::clicked, this, &TFormaPropGraf::BotonGradiente1Click);
    connect(botonColorInf, &QPushButton::clicked, this, &TFormaPropGraf::BotonGradiente2Click);
    connect(botonColorFondo, &QPushButton::clicked, this, &TFormaPropGraf::BotonColorFondoClick);
    connect(checkColorFondo, &QCheckBox::clicked, this, &TFormaPropGraf::CheckColorFondoClick);

    auto limites = [&](const QString& t, QLineEdit*& temp, QLineEdit*& al) {
        auto* g = new QGroupBox(t, this);
        auto* cl = new QGridLayout(g);
        temp = editorSinTeclado(QStringLiteral("0"), g, false);
        al = editorSinTeclado(QStringLiteral("0"), g, false);
        cl->addWidget(new QLabel(QStringLiteral("Temperatura"), g), 0, 0);
        cl->addWidget(temp, 0, 1);
        cl->addWidget(new QLabel(QStringLiteral("Alarmas:"), g), 1, 0);
        cl->addWidget(al, 1, 1);
        return g;
    };
    capa->addWidget(limites(QStringLiteral("Máximo del gráfico"), MaximoTemp, maximoAl), 1, 1);
    capa->addWidget(limites(QStringLiteral("Mínimo del grágico"), Minimotemp, MinimoAl), 2, 1);

    auto* botones = new QDialogButtonBox(this);
    auto* aceptar = botones->addButton(QStringLiteral("&Aceptar"), QDialogButtonBox::AcceptRole);
    botones->addButton(QStringLiteral("&Cancelar"), QDialogButtonBox::RejectRole);
    aceptar->setDefault(true);
    connect(aceptar, &QPushButton::clicked, this, [this] {
        if (BotonAceptarClick())
            accept();
    });
    connect(botones, &QDialogButtonBox::rejected, this, &QDialog::reject);
    capa->addWidget(botones, 3, 0, 1, 3);
    FormActivate();
    EspesorLinea->setFocus();
}

void TFormaPropGraf::pintarMuestra(int k, const QColor& c)
{
    colores_[k] = c;
    muestraColor[k]->setStyleSheet(QStringLiteral("background: %1; border: 1px solid black").arg(c.name()));
}

void TFormaPropGraf::pintarFondos()
{
    pintarEtiqueta(muestraColorSup, colorSup_);
    pintarEtiqueta(muestraColorInf, colorInf_);
    pintarEtiqueta(muestraColorFondo, colorFondo_);
}

void TFormaPropGraf::ponerFuenteTitulo(const FuenteConColor& f)
{
    textoTitulo->setFont(f.fuente);
    colorTitulo_ = f.color;
    QPalette pal = textoTitulo->palette();
    pal.setColor(QPalette::Text, f.color);
    textoTitulo->setPalette(pal);
}

void TFormaPropGraf::BotonFuenteClick()
{
    FuenteConColor f{textoTitulo->font(), colorTitulo_};
    if (elegirFuente(f, this))
        ponerFuenteTitulo(f);
}

void TFormaPropGraf::BotonGradiente1Click()
{
    const QColor c = elegirColor(colorSup_, this);
    if (c.isValid())
        colorSup_ = c;
    pintarFondos();
}

void TFormaPropGraf::BotonGradiente2Click()
{
    const QColor c = elegirColor(colorInf_, this);
    if (c.isValid())
        colorInf_ = c;
    pintarFondos();
}

void TFormaPropGraf::BotonColorFondoClick()
{
    const QColor c = elegirColor(colorFondo_, this);
    if (c.isValid())
        colorFondo_ = c;
    pintarFondos();
}

void TFormaPropGraf::CheckColorFondoClick()
{
    fondoActivoPrevio = checkColorFondo->isChecked();
    if (!checkColorFondo->isChecked())
        grafico_->ponerColorFondo(QColor());
}

void TFormaPropGraf::FormActivate()
{
    const TGindividual& g = ctx_.modelo.Gindividual[n_];
    QCustomPlot* p = grafico_->grafico();
    CheckPaginas->setChecked(!grafico_->grupoPaginas->isHidden());
    auto* tit = qobject_cast<QCPTextElement*>(p->plotLayout()->element(0, 0));
    CheckTitulo->setChecked(tit && tit->visible());
    textoTitulo->setPlainText(tit ? tit->text() : QString());
    if (tit)
        ponerFuenteTitulo({tit->font(), tit->textColor()});
    checkGradiente->setChecked(grafico_->gradienteActivo());
    colorSup_ = grafico_->colorGradienteSup();
    colorInf_ = grafico_->colorGradienteInf();
    // No colour on the chart: the swatch keeps the one it showed.
    if (grafico_->colorFondo().isValid())
        colorFondo_ = grafico_->colorFondo();
    pintarFondos();
    CheckGrilla->setChecked(p->xAxis->grid()->visible() && p->yAxis->grid()->visible() && p->yAxis2->grid()->visible());
    CheckLegend->setChecked(p->legend->visible());
    CheckActualizar->setChecked(g.Actualizacion_Automatica);
    EspesorLinea->setText(QString::number(g.EspesorLinea));
    const qint32 c[7] = {g.ColorVActual, g.ColorSetPoint, g.ColorPot, g.ColorAl1, g.ColorAl2, g.ColorAl3, g.ColorAl4};
    const bool m[7] = {g.ValorM, g.SetP, g.Pot, g.Al11, g.Al22, g.Al33, g.Al44};
    const TAvanzadas1& a = ctx_.modelo.Avanzadas1[n_];
    const QString nombres[7] = {a.NombreVA, a.NombreSP, a.NombrePot, a.NombreAl1, a.NombreAl2, a.NombreAl3, a.NombreAl4};
    for (int k = 0; k < 7; ++k) {
        pintarMuestra(k, aQColor(c[k]));
        checkValor[k]->setChecked(m[k]);
        etiquetaValor[k]->setText(nombres[k]);
    }
    const quint8 niveles[4] = {g.NivelAl1, g.NivelAl2, g.NivelAl3, g.NivelAl4};
    for (int k = 0; k < 4; ++k)
        PosAl[k]->setValue(niveles[k]);
    MaximoTemp->setText(QString::number(g.MaximoTemp, 'g', 15));
    Minimotemp->setText(QString::number(g.MinimoTemp, 'g', 15));
    maximoAl->setText(QString::number(g.MaximoAl, 'g', 15));
    MinimoAl->setText(QString::number(g.MinimoAl, 'g', 15));
}

QString TFormaPropGraf::revisar() const
{
    bool ok = false;
    const int espesor = EspesorLinea->text().trimmed().toInt(&ok);
    if (!ok || espesor < 1 || espesor > 20)
        return QStringLiteral("El espesor de linea debe ser un número entero de 1 a 20");
    double v[4];
    QLineEdit* e[4] = {MaximoTemp, Minimotemp, maximoAl, MinimoAl};
    for (int k = 0; k < 4; ++k)
        if (!leerDoble(e[k]->text(), v[k]))
            return QStringLiteral("\"") + e[k]->text() + QStringLiteral("\" no es un límite válido del gráfico");
    if (v[1] >= v[0] || v[3] >= v[2])
        return QStringLiteral("El mínimo de un eje del gráfico debe ser menor que el máximo");
    for (QSpinBox* s : PosAl)
        if (s->value() < 0 || s->value() > 255)
            return QStringLiteral("El nivel de una alarma debe estar entre 0 y 255");
    return {};
}

bool TFormaPropGraf::BotonAceptarClick()
{
    const QString fallo = revisar();
    if (!fallo.isEmpty()) {
        dialogos().mensaje(kTituloError, fallo, Icono::Error, Botones::Ok);
        return false;
    }
    QCustomPlot* p = grafico_->grafico();
    grafico_->grupoPaginas->setVisible(CheckPaginas->isChecked());
    if (auto* tit = qobject_cast<QCPTextElement*>(p->plotLayout()->element(0, 0))) {
        tit->setVisible(CheckTitulo->isChecked());
        tit->setText(textoTitulo->toPlainText());
        tit->setFont(textoTitulo->font());
        tit->setTextColor(colorTitulo_);
    }
    grafico_->ponerGradiente(checkGradiente->isChecked(), colorSup_, colorInf_);
    fondoActivoPrevio = checkColorFondo->isChecked();
    grafico_->ponerColorFondo(checkColorFondo->isChecked() ? colorFondo_ : QColor());
    for (QCPAxis* a : {p->xAxis, p->yAxis, p->yAxis2})
        a->grid()->setVisible(CheckGrilla->isChecked());
    p->legend->setVisible(CheckLegend->isChecked());

    TGindividual& g = ctx_.modelo.Gindividual[n_];
    g.Actualizacion_Automatica = CheckActualizar->isChecked();
    g.EspesorLinea = EspesorLinea->text().trimmed().toInt();
    bool* m[7] = {&g.ValorM, &g.SetP, &g.Pot, &g.Al11, &g.Al22, &g.Al33, &g.Al44};
    qint32* c[7] = {&g.ColorVActual, &g.ColorSetPoint, &g.ColorPot, &g.ColorAl1, &g.ColorAl2, &g.ColorAl3, &g.ColorAl4};
    for (int k = 0; k < 7; ++k) {
        *m[k] = checkValor[k]->isChecked();
        *c[k] = aEntero(colores_[k]);
    }
    quint8* niv[4] = {&g.NivelAl1, &g.NivelAl2, &g.NivelAl3, &g.NivelAl4};
    for (int k = 0; k < 4; ++k)
        *niv[k] = quint8(PosAl[k]->value());
    leerDoble(MaximoTemp->text(), g.MaximoTemp);
    leerDoble(Minimotemp->text(), g.MinimoTemp);
    leerDoble(maximoAl->text(), g.MaximoAl);
    leerDoble(MinimoAl->text(), g.MinimoAl);
    grafico_->BotonActualizarClick();
    return true;
}

} // namespace ombrix
