#include "views/prop_graf_comb.h"

#include "instruments/colores.h"
#include "views/columnas_comb.h"
#include "views/elecc_inst.h"
#include "views/graf_comb.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace ombrix {

namespace {

bool* bandera(TInstGrafico& g, int k)
{
    bool* f[7] = {&g.ValorMedidoG, &g.SetPointG, &g.PotenciaG, &g.Alarma1G, &g.Alarma2G, &g.Alarma3G, &g.Alarma4G};
    return f[k];
}

qint32* colorDe(TInstGrafico& g, int k)
{
    qint32* c[7] = {&g.CLVM, &g.CLSP, &g.CLPOT, &g.CLAL1, &g.CLAL2, &g.CLAL3, &g.CLAL4};
    return c[k];
}

void pintar(QToolButton* b, qint32 c)
{
    b->setStyleSheet(QStringLiteral("QToolButton { background: %1; border: 1px solid black; }").arg(aQColor(c).name()));
}

QSpinBox* spinner(QWidget* padre, const QString& nombre, int minimo, int maximo)
{
    auto* s = new QSpinBox(padre);
    s->setObjectName(nombre);
    s->setRange(minimo, maximo);
    return s;
}

} // namespace

TFormaPropGrafComb::TFormaPropGrafComb(ContextoVistas& c, TFormaGrafTabCom* grafico, QWidget* parent)
    : QDialog(parent), ctx_(c), grafico_(grafico)
{
    setObjectName(QStringLiteral("FormaPropGrafComb"));
    setWindowTitle(QStringLiteral("Propiedades del gráfico"));
    // It opens maximised, as it always has.
    setWindowState(windowState() | Qt::WindowMaximized);
    auto* capa = new QHBoxLayout(this);
    listaInstrumentos = new QListWidget(this);
    listaInstrumentos->setObjectName(QStringLiteral("listaInstrumentos"));
    capa->addWidget(listaInstrumentos);

    grupoInstrumento = new QGroupBox(this);
    grupoInstrumento->setObjectName(QStringLiteral("grupoInstrumento"));
    auto* c5 = new QGridLayout(grupoInstrumento);
    auto* escala = new QGroupBox(QStringLiteral("Escala"), grupoInstrumento);
    escala->setObjectName(QStringLiteral("grupoEscala"));
    auto* ce = new QVBoxLayout(escala);
    EjeIzquierdo = new QRadioButton(QStringLiteral("Eje izquierdo"), escala);
    EjeDerecho = new QRadioButton(QStringLiteral("Eje derecho"), escala);
    ce->addWidget(EjeIzquierdo);
    ce->addWidget(EjeDerecho);
    c5->addWidget(escala, 0, 0, 1, 2);
    const char* textos[7] = {"Valor medido", "Set point", "Potencia", "Alarma 1", "Alarma 2", "Alarma 3", "Alarma 4"};
    const char* nombres[7] = {"VM1", "SP1", "POT1", "AL11", "AL12", "AL13", "AL14"};
    const char* nombresColor[7] = {"CLVM1", "CLSP1", "CLPOT1", "CLAL11", "CLAL12", "CLAL13", "CLAL14"};
    for (int k = 0; k < 7; ++k) {
        casillas[k] = new QCheckBox(QString::fromUtf8(textos[k]), grupoInstrumento);
        casillas[k]->setObjectName(QString::fromLatin1(nombres[k]));
        muestras[k] = new QToolButton(grupoInstrumento);
        muestras[k]->setObjectName(QString::fromLatin1(nombresColor[k]));
        muestras[k]->setFixedSize(16, 16);
        muestras[k]->setToolTip(QStringLiteral("Click para cambiar el color"));
        c5->addWidget(muestras[k], k + 1, 0);
        c5->addWidget(casillas[k], k + 1, 1);
        connect(casillas[k], &QCheckBox::clicked, this, [this, k] { casillaClick(k); });
        connect(muestras[k], &QToolButton::clicked, this, [this, k] { colorClick(k); });
    }
    capa->addWidget(grupoInstrumento);

    auto* derecha = new QVBoxLayout;
    auto limites = [&](const QString& titulo, const QString& nMax, const QString& nMin, QSpinBox*& mx, QSpinBox*& mn) {
        auto* g = new QGroupBox(titulo, this);
        auto* cg = new QGridLayout(g);
        mx = spinner(g, nMax, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
        mn = spinner(g, nMin, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
        cg->addWidget(new QLabel(QStringLiteral("Máximo:"), g), 0, 0);
        cg->addWidget(mx, 0, 1);
        cg->addWidget(new QLabel(QStringLiteral("Mínimo:"), g), 1, 0);
        cg->addWidget(mn, 1, 1);
        derecha->addWidget(g);
    };
    limites(QStringLiteral("Máximo y mínimo eje Y(izquierdo)"), QStringLiteral("Maximo"), QStringLiteral("Minimo"), Maximo,
            Minimo);
    limites(QStringLiteral("Máximo y mínimo eje Y(derecho)"), QStringLiteral("Maximoder"), QStringLiteral("Minimoder"),
            Maximoder, Minimoder);
    auto* g22 = new QGroupBox(QStringLiteral("Espesor de linea"), this);
    auto* c22 = new QHBoxLayout(g22);
    EspesorVActual = spinner(g22, QStringLiteral("EspesorVActual"), 1, 5);
    muestraEspesor = new QLabel(g22);
    muestraEspesor->setObjectName(QStringLiteral("muestraEspesor"));
    muestraEspesor->setFixedSize(85, 12);
    c22->addWidget(EspesorVActual);
    c22->addWidget(muestraEspesor);
    derecha->addWidget(g22);
    VPuntos = new QCheckBox(QStringLiteral("Ver puntos"), this);
    VPuntos->setObjectName(QStringLiteral("VPuntos"));
    CheckCruz = new QCheckBox(QStringLiteral("Ver cruz grande"), this);
    CheckCruz->setObjectName(QStringLiteral("CheckCruz"));
    verReferencias = new QCheckBox(QStringLiteral("Ver referencias"), this);
    verReferencias->setObjectName(QStringLiteral("verReferencias"));
    verReferencias->setChecked(true);
    derecha->addWidget(VPuntos);
    derecha->addWidget(CheckCruz);
    derecha->addWidget(verReferencias);
    derecha->addStretch();
    auto* botones = new QHBoxLayout;
    botonAceptar = new QPushButton(QStringLiteral("&Aceptar"), this);
    botonAceptar->setObjectName(QStringLiteral("botonAceptar"));
    botonCancelar = new QPushButton(QStringLiteral("&Cancelar"), this);
    botonCancelar->setObjectName(QStringLiteral("botonCancelar"));
    botones->addWidget(botonAceptar);
    botones->addWidget(botonCancelar);
    derecha->addLayout(botones);
    capa->addLayout(derecha);

    connect(listaInstrumentos, &QListWidget::currentRowChanged, this, [this](int) { ListBox1DblClick(); });
    connect(EjeIzquierdo, &QRadioButton::clicked, this, &TFormaPropGrafComb::RadioGroup1Click);
    connect(EjeDerecho, &QRadioButton::clicked, this, &TFormaPropGrafComb::RadioGroup1Click);
    connect(EspesorVActual, &QSpinBox::valueChanged, this, &TFormaPropGrafComb::EspesorVActualChange);
    connect(verReferencias, &QCheckBox::clicked, this, [this](bool si) {
        if (grafico_)
            grafico_->CheckBox1Click(si);
    });
    connect(botonAceptar, &QPushButton::clicked, this, &TFormaPropGrafComb::BitBtn1Click);
    connect(botonCancelar, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormaPropGrafComb::FormActivate()
{
    const Modelo& m = ctx_.modelo;
    const int cantidad = m.cantidadInstrumentos();
    GraficoComb = m.InstGrafico;
    GraficoComb.resize(cantidad + 1);
    ListaInstComb.clear();
    {
        const QSignalBlocker b(listaInstrumentos);
        listaInstrumentos->clear();
        for (int n = 1; n <= cantidad; ++n) {
            listaInstrumentos->addItem(tituloInstrumento(m, n));
            ListaInstComb.append(n);
        }
        if (cantidad > 0)
            listaInstrumentos->setCurrentRow(0);
    }
    EspesorVActual->setValue(qBound(1, int(m.Config.espesor), 5));
    Maximo->setValue(m.Config.maximoizq);
    Minimo->setValue(m.Config.minimoizq);
    Maximoder->setValue(m.Config.maximoder);
    Minimoder->setValue(m.Config.minimoder);
    VPuntos->setChecked(m.Config.Puntos);
    if (grafico_) {
        CheckCruz->setChecked(grafico_->cruz());
        verReferencias->setChecked(grafico_->leyendaVisible());
    }
    EspesorVActualChange();
    ListBox1DblClick();
}

int TFormaPropGrafComb::elegido() const
{
    const int fila = listaInstrumentos->currentRow();
    return fila >= 0 && fila < ListaInstComb.size() ? ListaInstComb[fila] : 0;
}

void TFormaPropGrafComb::ListBox1DblClick()
{
    const int n = elegido();
    if (n < 1 || n >= GraficoComb.size())
        return;
    grupoInstrumento->setTitle(QStringLiteral("Instrumento ") + QString::number(n));
    TInstGrafico& g = GraficoComb[n];
    for (int k = 0; k < 7; ++k) {
        casillas[k]->setChecked(*bandera(g, k));
        pintar(muestras[k], *colorDe(g, k));
    }
    (g.Ejeizq ? EjeIzquierdo : EjeDerecho)->setChecked(true);
}

void TFormaPropGrafComb::casillaClick(int k)
{
    const int n = elegido();
    if (n >= 1 && n < GraficoComb.size())
        *bandera(GraficoComb[n], k) = casillas[k]->isChecked();
}

void TFormaPropGrafComb::colorClick(int k)
{
    const int n = elegido();
    if (n < 1 || n >= GraficoComb.size())
        return;
    const QColor c = elegirColor(aQColor(*colorDe(GraficoComb[n], k)), this);
    if (!c.isValid())
        return;
    *colorDe(GraficoComb[n], k) = deQColor(c);
    pintar(muestras[k], deQColor(c));
}

void TFormaPropGrafComb::RadioGroup1Click()
{
    const int n = elegido();
    if (n >= 1 && n < GraficoComb.size())
        GraficoComb[n].Ejeizq = EjeIzquierdo->isChecked();
}

void TFormaPropGrafComb::EspesorVActualChange()
{
    QPixmap p(muestraEspesor->size());
    p.fill(Qt::transparent);
    QPainter pintor(&p);
    pintor.setPen(QPen(Qt::blue, EspesorVActual->value()));
    pintor.drawLine(5, 6, 80, 6);
    pintor.end();
    muestraEspesor->setPixmap(p);
}

void TFormaPropGrafComb::BitBtn1Click()
{
    Modelo& m = ctx_.modelo;
    for (int n = 1; n < GraficoComb.size() && n < m.InstGrafico.size(); ++n)
        m.InstGrafico[n] = GraficoComb[n];
    m.Config.maximoizq = Maximo->value();
    m.Config.minimoizq = Minimo->value();
    m.Config.maximoder = Maximoder->value();
    m.Config.minimoder = Minimoder->value();
    m.Config.Puntos = VPuntos->isChecked();
    m.Config.espesor = quint8(EspesorVActual->value());
    accept();
    if (grafico_) {
        grafico_->ponerCruz(CheckCruz->isChecked());
        grafico_->reconstruir();
    }
}

void TFormaPropGrafComb::done(int r)
{
    // The line width is kept however the dialog closes.
    ctx_.modelo.Config.espesor = quint8(EspesorVActual->value());
    QDialog::done(r);
}

} // namespace ombrix
