#include "views/graf_form.h"

#include "config/dialogos.h"
#include "instruments/colores.h"
#include "views/consultas.h"
#include "views/forma_base.h"
#include "views/prop_graf.h"

#include <qcustomplot.h>

#include <QCheckBox>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace ombrix {

namespace {

const char* const kNombresInternos[3] = {"ValorActual", "SetPoint", "Potencia"};
constexpr int kMsPorPaso = 12;
const QString kErrorFilas =
    QStringLiteral("No se pudieron graficar todos los valores. Posiblemente haya valores fuera de escala en la tabla");

QToolButton* boton(QToolBar* barra, const QString& texto, QStyle::StandardPixmap icono, const QString& nombre)
{
    auto* b = new QToolButton(barra);
    b->setObjectName(nombre);
    b->setText(texto);
    b->setIcon(barra->style()->standardIcon(icono));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setMinimumSize(70, 36);
    barra->addWidget(b);
    return b;
}

QLabel* etiquetaValor(QGroupBox* g, const QString& nombre)
{
    auto* l = new QLabel(QStringLiteral("0"), g);
    l->setObjectName(nombre);
    QFont f = l->font();
    f.setBold(true);
    f.setPixelSize(13);
    l->setFont(f);
    l->setStyleSheet(QStringLiteral("color: blue"));
    auto* c = new QHBoxLayout(g);
    c->setContentsMargins(6, 0, 6, 2);
    c->addWidget(l);
    return l;
}

} // namespace

TGrafForm::TGrafForm(ContextoVistas& c, int n, TFormaBase* tabla, QWidget* parent)
    : QWidget(parent), ctx_(c), n_(n), tabla_(tabla)
{
    setObjectName(QStringLiteral("grafForm%1").arg(n));
    auto* capa = new QVBoxLayout(this);
    capa->setContentsMargins(0, 0, 0, 0);
    capa->setSpacing(2);

    auto* barra = new QToolBar(this);
    barra->setObjectName(QStringLiteral("barraComandos"));
    BotonGuardar = boton(barra, QStringLiteral("Guardar imagen"), QStyle::SP_DialogSaveButton, QStringLiteral("BotonGuardar"));
    BotonPropiedades = boton(barra, QStringLiteral("Propiedades"), QStyle::SP_FileDialogDetailedView, QStringLiteral("BotonPropiedades"));
    BotoZoomMenos = boton(barra, QStringLiteral("Zoom(-)"), QStyle::SP_ArrowDown, QStringLiteral("BotoZoomMenos"));
    BotonZoomMas = boton(barra, QStringLiteral("Zoom(+)"), QStyle::SP_ArrowUp, QStringLiteral("BotonZoomMas"));
    BotonZom100 = boton(barra, QStringLiteral("100%"), QStyle::SP_BrowserReload, QStringLiteral("BotonZom100"));
    BotonActualizar = boton(barra, QStringLiteral("Actualizar"), QStyle::SP_BrowserReload, QStringLiteral("BotonActualizar"));
    BotonCerrar = boton(barra, QStringLiteral("Cerrar gráfico"), QStyle::SP_DialogCloseButton, QStringLiteral("BotonCerrar"));
    barra->addSeparator();
    VPuntos = new QCheckBox(QStringLiteral("Ver puntos"), barra);
    VPuntos->setObjectName(QStringLiteral("VPuntos"));
    barra->addWidget(VPuntos);
    CheckCruz = new QCheckBox(QStringLiteral("Ver cruz grande"), barra);
    CheckCruz->setObjectName(QStringLiteral("CheckCruz"));
    barra->addWidget(CheckCruz);
    capa->addWidget(barra);

    grafico_ = new QCustomPlot(this);
    grafico_->setObjectName(QStringLiteral("grafico"));
    grafico_->setMinimumHeight(200);
    grafico_->setNoAntialiasingOnDrag(true);
    grafico_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    capa->addWidget(grafico_, 1);

    // Axes.
    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeFormat(QStringLiteral("dd/MM/yyyy\nhh:mm:ss"));
    ticker->setTimeZone(QTimeZone::utc());
    grafico_->xAxis->setTicker(ticker);
    grafico_->xAxis->grid()->setPen(QPen(QColor(0, 128, 0), 0, Qt::DashDotLine));
    QFont fEje(QStringLiteral("Courier"));
    fEje.setPixelSize(13);
    fEje.setBold(true);
    grafico_->yAxis->setLabelFont(fEje);
    grafico_->yAxis->grid()->setPen(QPen(QColor(0, 0, 0, 90), 0, Qt::DotLine));
    grafico_->yAxis2->setVisible(true);
    grafico_->yAxis2->setLabelFont(fEje);
    grafico_->yAxis2->setBasePen(Qt::NoPen);
    grafico_->yAxis2->grid()->setVisible(true);
    grafico_->yAxis2->grid()->setPen(QPen(QColor(0xFF, 0x80, 0x40, 110), 0, Qt::SolidLine));
    grafico_->yAxis2->setTickPen(QPen(Qt::red, 0, Qt::DashLine));
    grafico_->yAxis2->setLabel(QStringLiteral("Potencia / Alarmas"));
    grafico_->legend->setVisible(true);
    grafico_->legend->setFont(QFont(font().family(), 8));
    grafico_->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);
    grafico_->plotLayout()->insertRow(0);
    auto* titulo = new QCPTextElement(grafico_, QString(), QFont(font().family(), 11, QFont::Bold));
    titulo->setObjectName(QStringLiteral("titulo"));
    grafico_->plotLayout()->addElement(0, 0, titulo);

    const char* titulos[kSeries] = {"Temperatura", "Set point", "Potencia", "Alarma 1", "Alarma 2", "Alarma 3", "Alarma 4"};
    for (int k = 0; k < kSeries; ++k) {
        QCPGraph* g = grafico_->addGraph(grafico_->xAxis, k < 2 ? grafico_->yAxis : grafico_->yAxis2);
        g->setName(QString::fromLatin1(titulos[k]));
        g->setAdaptiveSampling(true);
        if (k >= 3) {
            g->setLineStyle(QCPGraph::lsNone);
            g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 5));
        }
        series_[k] = g;
    }

    // Read-out, arrow and cross-hair on a layer of their own, redrawn alone.
    grafico_->addLayer(QStringLiteral("superpuesta"), nullptr, QCustomPlot::limAbove);
    QCPLayer* capaSup = grafico_->layer(QStringLiteral("superpuesta"));
    capaSup->setMode(QCPLayer::lmBuffered);
    lectura_ = new QCPItemText(grafico_);
    lectura_->setLayer(capaSup);
    lectura_->position->setType(QCPItemPosition::ptAbsolute);
    lectura_->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    lectura_->setBrush(QColor(0, 255, 255));
    lectura_->setPadding(QMargins(3, 2, 3, 2));
    QFont fLect(QStringLiteral("Times New Roman"));
    fLect.setPixelSize(16);
    fLect.setBold(true);
    lectura_->setFont(fLect);
    lectura_->setClipToAxisRect(false);
    lectura_->setVisible(false);
    flecha_ = new QCPItemLine(grafico_);
    flecha_->setLayer(capaSup);
    flecha_->start->setType(QCPItemPosition::ptAbsolute);
    flecha_->end->setType(QCPItemPosition::ptAbsolute);
    flecha_->setPen(QPen(Qt::black, 1));
    flecha_->setHead(QCPLineEnding(QCPLineEnding::esSpikeArrow, 6, 8, true));
    flecha_->setTail(QCPLineEnding::esNone);
    flecha_->setVisible(false);
    flecha_->setClipToAxisRect(false);
    for (QCPItemStraightLine** l : {&cruzV_, &cruzH_}) {
        *l = new QCPItemStraightLine(grafico_);
        (*l)->setLayer(capaSup);
        (*l)->point1->setType(QCPItemPosition::ptAbsolute);
        (*l)->point2->setType(QCPItemPosition::ptAbsolute);
        (*l)->setPen(QPen(QColor(0, 0, 255), 1));
        (*l)->setVisible(false);
        (*l)->setSelectable(false);
    }
    lectura_->setSelectable(false);
    flecha_->setSelectable(false);

    // Progress of a refresh, over the chart.
    grupoProgreso = new QGroupBox(QStringLiteral("Actualizando gráfico"), grafico_);
    grupoProgreso->setObjectName(QStringLiteral("grupoProgreso"));
    grupoProgreso->setStyleSheet(QStringLiteral(
        "QGroupBox { background: #808080; color: white; font: bold 13px; border: 1px solid #404040; margin-top: 16px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 6px; }"));
    grupoProgreso->resize(369, 89);
    auto* cp = new QVBoxLayout(grupoProgreso);
    barraProgreso = new QProgressBar(grupoProgreso);
    barraProgreso->setObjectName(QStringLiteral("barraProgreso"));
    barraProgreso->setFixedHeight(30);
    barraProgreso->setTextVisible(false);
    cp->addWidget(barraProgreso);
    botonCancelar = new QPushButton(QStringLiteral("Cancelar"), grupoProgreso);
    botonCancelar->setObjectName(QStringLiteral("botonCancelar"));
    cp->addWidget(botonCancelar, 0, Qt::AlignRight);
    grupoProgreso->hide();

    // Page bar.
    grupoPaginas = new QGroupBox(QStringLiteral("Páginas del gráfico"), this);
    grupoPaginas->setObjectName(QStringLiteral("grupoPaginas"));
    auto* cpag = new QHBoxLayout(grupoPaginas);
    cpag->setContentsMargins(6, 2, 6, 2);
    auto nav = [&](const QString& t, const QString& nombre, QStyle::StandardPixmap icono) {
        auto* b = new QPushButton(style()->standardIcon(icono), t, grupoPaginas);
        b->setObjectName(nombre);
        b->setFixedSize(88, 25);
        cpag->addWidget(b);
        return b;
    };
    BotonPrimera = nav(QStringLiteral("Primero"), QStringLiteral("BotonPrimera"), QStyle::SP_MediaSkipBackward);
    BotonAnterior = nav(QStringLiteral("Anterior"), QStringLiteral("BotonAnterior"), QStyle::SP_MediaSeekBackward);
    BotonProxima = nav(QStringLiteral("Siguiente"), QStringLiteral("BotonProxima"), QStyle::SP_MediaSeekForward);
    BotonUltima = nav(QStringLiteral("Ultimo"), QStringLiteral("BotonUltima"), QStyle::SP_MediaSkipForward);
    dias = new QLineEdit(grupoPaginas);
    dias->setObjectName(QStringLiteral("dias"));
    dias->setInputMask(QStringLiteral("00"));
    dias->setFixedWidth(28);
    cpag->addWidget(dias);
    cpag->addWidget(new QLabel(QStringLiteral("días"), grupoPaginas));
    Tiempo = new QLineEdit(grupoPaginas);
    Tiempo->setObjectName(QStringLiteral("Tiempo"));
    Tiempo->setInputMask(QStringLiteral("90:00:00"));
    Tiempo->setFixedWidth(70);
    cpag->addWidget(Tiempo);
    cpag->addWidget(new QLabel(QStringLiteral("horas por página"), grupoPaginas));
    auto grupoValor = [&](const QString& t, const QString& nombre) {
        auto* g = new QGroupBox(t, grupoPaginas);
        cpag->addWidget(g);
        return etiquetaValor(g, nombre);
    };
    etiquetaTotalPaginas = grupoValor(QStringLiteral("Total de páginas"), QStringLiteral("etiquetaTotalPaginas"));
    etiquetaPagina = grupoValor(QStringLiteral("Página"), QStringLiteral("etiquetaPagina"));
    etiquetaRegistros = grupoValor(QStringLiteral("Registros"), QStringLiteral("etiquetaRegistros"));
    cpag->addStretch();
    capa->addWidget(grupoPaginas);

    // Settings.
    const TGindividual& g = ajustes();
    Tiempo->setText(g.Tiempo);
    dias->setText(g.dias);
    VPuntos->setChecked(g.Puntos);
    VPuntosClick();
    QString unidad = n < ctx_.modelo.Estados.size() ? ctx_.modelo.Estados[n].Unidad : QString();
    if (unidad.isEmpty() && n < ctx_.modelo.ArrayConfig.size())
        unidad = ctx_.modelo.ArrayConfig[n].Unidad;
    grafico_->yAxis->setLabel(unidad);
    pag_.largo = longitudPagina(g.Tiempo, g.dias);
    aplicarAjustes();

    connect(BotonGuardar, &QToolButton::clicked, this, &TGrafForm::BotonGuardarClick);
    connect(BotonPropiedades, &QToolButton::clicked, this, &TGrafForm::BotonPropiedadesClick);
    connect(BotoZoomMenos, &QToolButton::clicked, this, &TGrafForm::BotoZoomMenosClick);
    connect(BotonZoomMas, &QToolButton::clicked, this, &TGrafForm::BotonZoomMasClick);
    connect(BotonZom100, &QToolButton::clicked, this, &TGrafForm::BotonZom100Click);
    connect(BotonActualizar, &QToolButton::clicked, this, &TGrafForm::BotonActualizarClick);
    connect(BotonCerrar, &QToolButton::clicked, this, [this] { cerrarVentana(this); });
    connect(VPuntos, &QCheckBox::clicked, this, &TGrafForm::VPuntosClick);
    connect(CheckCruz, &QCheckBox::toggled, this, [this](bool si) {
        if (!si)
            moverCruz(-1, -1);
    });
    connect(botonCancelar, &QPushButton::clicked, this, &TGrafForm::BotonCancelarClick);
    connect(BotonPrimera, &QPushButton::clicked, this, &TGrafForm::BotonPrimeraClick);
    connect(BotonProxima, &QPushButton::clicked, this, &TGrafForm::BotonProximaClick);
    connect(BotonAnterior, &QPushButton::clicked, this, &TGrafForm::BotonAnteriorClick);
    connect(BotonUltima, &QPushButton::clicked, this, &TGrafForm::TiempoChange);
    connect(Tiempo, &QLineEdit::editingFinished, this, &TGrafForm::TiempoChange);
    connect(dias, &QLineEdit::editingFinished, this, &TGrafForm::TiempoChange);
    connect(grafico_, &QCustomPlot::plottableClick, this, &TGrafForm::clicSerie);
    connect(grafico_, &QCustomPlot::mousePress, this, [this](QMouseEvent*) {
        if (lectura_->visible())
            ocultarLectura();
    });
    connect(grafico_, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) {
        if (e->buttons() == Qt::RightButton)
            grafico_->setCursor(Qt::PointingHandCursor);
        else
            grafico_->unsetCursor();
        moverCruz(int(e->position().x()), int(e->position().y()));
    });
    connect(grafico_, &QCustomPlot::mouseDoubleClick, this, [this](QMouseEvent*) { BotonPropiedadesClick(); });
    connect(grafico_, &QCustomPlot::mouseWheel, this, [this](QWheelEvent*) { ocultarLectura(); });
    grafico_->installEventFilter(this);

    // One slice per timeout, the next one armed only when a slice ends: the
    // event loop always runs in between, two slices never run back to back.
    pasos_.setSingleShot(true);
    pasos_.setInterval(0);
    connect(&pasos_, &QTimer::timeout, this, &TGrafForm::paso);
    resize(800, 520);
    mostrarPagina();
}

TGrafForm::~TGrafForm()
{
    pasos_.stop();
    lector_.reset();
}

const TGindividual& TGrafForm::ajustes() const
{
    static const TGindividual porDefecto = Configuracion::gindividualPorDefecto();
    return n_ < ctx_.modelo.Gindividual.size() ? ctx_.modelo.Gindividual[n_] : porDefecto;
}

void TGrafForm::ponerTitulo(const QString& t)
{
    if (auto* e = qobject_cast<QCPTextElement*>(grafico_->plotLayout()->element(0, 0)))
        e->setText(t);
}

void TGrafForm::ponerGradiente(bool activo, const QColor& superior, const QColor& inferior)
{
    gradiente_ = activo;
    gradienteSup_ = superior;
    gradienteInf_ = inferior;
    if (activo) {
        // Top to bottom of whatever rectangle is filled: the whole chart.
        QLinearGradient g(0, 0, 0, 1);
        g.setCoordinateMode(QGradient::ObjectMode);
        g.setColorAt(0, superior);
        g.setColorAt(1, inferior);
        grafico_->setBackground(QBrush(g));
    } else {
        grafico_->setBackground(QBrush(Qt::white));
    }
    grafico_->replot(QCustomPlot::rpQueuedReplot);
}

void TGrafForm::ponerColorFondo(const QColor& c)
{
    colorFondo_ = c;
    grafico_->axisRect()->setBackground(c.isValid() ? QBrush(c) : QBrush(Qt::NoBrush));
    grafico_->replot(QCustomPlot::rpQueuedReplot);
}

bool TGrafForm::eventFilter(QObject* o, QEvent* e)
{
    if (o == grafico_ && e->type() == QEvent::Resize) {
        ocultarLectura();
        grupoProgreso->move(qMax(0, (grafico_->width() - grupoProgreso->width()) / 2), grafico_->height() / 2);
    }
    return QWidget::eventFilter(o, e);
}

void TGrafForm::aplicarAjustes()
{
    const TGindividual& g = ajustes();
    const bool mostrar[kSeries] = {g.ValorM, g.SetP, g.Pot, g.Al11, g.Al22, g.Al33, g.Al44};
    const qint32 colores[kSeries] = {g.ColorVActual, g.ColorSetPoint, g.ColorPot, g.ColorAl1, g.ColorAl2, g.ColorAl3, g.ColorAl4};
    QString nombres[kSeries];
    if (n_ < ctx_.modelo.Avanzadas1.size()) {
        const TAvanzadas1& a = ctx_.modelo.Avanzadas1[n_];
        const QString t[kSeries] = {a.NombreVA, a.NombreSP, a.NombrePot, a.NombreAl1, a.NombreAl2, a.NombreAl3, a.NombreAl4};
        std::copy(std::begin(t), std::end(t), std::begin(nombres));
    }
    for (int k = 0; k < kSeries; ++k) {
        QCPGraph* s = series_[k];
        if (!nombres[k].isEmpty())
            s->setName(nombres[k]);
        const QColor c = aQColor(colores[k]);
        QPen p(c, k < 3 ? qMax(1, int(g.EspesorLinea)) : 1);
        s->setPen(p);
        if (k >= 3)
            s->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, c, c, 5));
        s->setVisible(mostrar[k]);
        if (mostrar[k])
            s->addToLegend();
        else
            s->removeFromLegend();
    }
    VPuntosClick();
}

void TGrafForm::aplicarLimites()
{
    const TGindividual& g = ajustes();
    const bool bien = std::isfinite(g.MaximoTemp) && std::isfinite(g.MinimoTemp) && std::isfinite(g.MaximoAl)
                      && std::isfinite(g.MinimoAl) && g.MaximoTemp > g.MinimoTemp && g.MaximoAl > g.MinimoAl;
    if (bien) {
        grafico_->yAxis->setRange(g.MinimoTemp, g.MaximoTemp);
        grafico_->yAxis2->setRange(g.MinimoAl, g.MaximoAl);
        return;
    }
    dialogos().mensaje(kTituloError,
                       QStringLiteral("El mínimo de un  eje del gráfico no puede ser mayor que el máximo\n"
                                      "PROVISORIAMENTE SE UTILIZARÁ VALORES DE EJES EN FORMA AUTOMÁTICA"),
                       Icono::Error, Botones::Ok);
    // Automatic value axes for this refresh: rescaled when it ends.
    automaticos_ = true;
}

void TGrafForm::habilitarComandos(bool si)
{
    for (QWidget* w : std::initializer_list<QWidget*>{BotonGuardar, BotonPropiedades, BotoZoomMenos, BotonZoomMas,
                                                       BotonZom100, BotonActualizar, BotonPrimera, BotonAnterior,
                                                       BotonProxima, BotonUltima, dias, Tiempo, VPuntos})
        w->setEnabled(si);
    if (si)
        mostrarPagina();
}

void TGrafForm::BotonActualizarClick()
{
    if (lector_)
        return;
    automaticos_ = false;
    aplicarLimites();
    // Rows up to the last Id present now; their number is bounded by the Id
    // span (both ends are found at once, a count would read the whole table)
    // and known exactly when the reading ends.
    ConsultasInstrumento q(ctx_.base.db(), n_);
    const qint64 tope = q.ultimoId();
    totalFilas_ = tope > 0 ? tope - q.primerId() + 1 : 0;
    etiquetaRegistros->setText(QString::number(totalFilas_));
    barraProgreso->setRange(0, int(qMin<qint64>(totalFilas_, std::numeric_limits<int>::max())));
    barraProgreso->setValue(0);
    grupoProgreso->move(qMax(0, (grafico_->width() - grupoProgreso->width()) / 2), grafico_->height() / 2);
    CancelarGrafico = false;
    avisado_ = false;
    grupoProgreso->show();
    grupoProgreso->raise();
    pagPrevia_ = pag_;
    ocultarLectura();
    for (QCPGraph* s : series_)
        s->data()->clear();
    aplicarAjustes();
    hayLeidos_ = false;
    for (int k = 0; k < kSeries; ++k) {
        buf_[k].clear();
        // Room for every row at once, and for live readings after them:
        // growing would copy every point read.
        buf_[k].reserve(totalFilas_ + totalFilas_ / 16 + 4096);
        ordenado_[k] = true;
    }
    if (tope == 0) {
        terminarLectura(true);
        return;
    }
    lector_ = std::make_unique<LectorFilas>(ctx_.base.db(), n_, tope);
    if (!lector_->valido()) {
        const QString e = lector_->error();
        lector_.reset();
        grupoProgreso->hide();
        dialogos().mensaje(QString(), e, Icono::Ninguno, Botones::Ok);
        return;
    }
    habilitarComandos(false);
    pasos_.start();
}

void TGrafForm::agregarPuntos(const PuntosFila& p)
{
    for (int k = 0; k < kSeries; ++k)
        if (p.presentes & (1u << k)) {
            if (!buf_[k].isEmpty() && buf_[k].constLast().key > p.x)
                ordenado_[k] = false;
            buf_[k].append(QCPGraphData(p.x, p.y[k]));
        }
    if (p.presentes) {
        if (!hayLeidos_) {
            xMinLeido_ = xMaxLeido_ = p.x;
            hayLeidos_ = true;
        } else {
            xMinLeido_ = qMin(xMinLeido_, p.x);
            xMaxLeido_ = qMax(xMaxLeido_, p.x);
        }
    }
}

void TGrafForm::volcarPendientes()
{
    // The series take the points read without a copy (the buffers are shared).
    for (int k = 0; k < kSeries; ++k) {
        series_[k]->data()->set(buf_[k], ordenado_[k]);
        buf_[k].clear();
        ordenado_[k] = true;
    }
}

void TGrafForm::paso()
{
    if (!lector_)
        return;
    QElapsedTimer reloj;
    reloj.start();
    const TGindividual g = ajustes();
    bool fallo = false;
    const auto visita = [&](const char* const* t, const int* l) {
        std::array<std::string_view, kSeries> v;
        for (int k = 0; k < kSeries; ++k)
            v[k] = std::string_view(t[3 + k], size_t(l[3 + k]));
        const PuntosFila p = filaAPuntos(g, std::string_view(t[1], size_t(l[1])), std::string_view(t[2], size_t(l[2])), v);
        agregarPuntos(p);
        if (p.error)
            fallo = true;
    };
    while (!lector_->terminado() && reloj.elapsed() < kMsPorPaso)
        lector_->leer(256, visita);
    barraProgreso->setValue(int(qMin<qint64>(lector_->leidas(), barraProgreso->maximum())));
    grupoProgreso->setTitle(QStringLiteral(" Actualizando el gráfico. Registros:%1 Total:%2").arg(lector_->leidas()).arg(totalFilas_));
    if (fallo && !avisado_) {
        avisado_ = true;
        pasos_.stop();
        dialogos().mensaje(QStringLiteral("ATENCION:ERROR!!"), kErrorFilas, Icono::Error, Botones::Ok);
        BotonZom100Click();
        if (!lector_)
            return;
        pasos_.start();
    }
    if (lector_->terminado()) {
        const QString e = lector_->error();
        terminarLectura(e.isEmpty());
        if (!e.isEmpty())
            dialogos().mensaje(QString(), e, Icono::Ninguno, Botones::Ok);
        return;
    }
    if (CancelarGrafico) {
        pasos_.stop();
        const bool si = dialogos().mensaje(QStringLiteral("ATENCION:PREGUNTA!!"),
                                           QStringLiteral("Desea cancelar la actualización del gráfico?"), Icono::Pregunta,
                                           Botones::SiNo)
                        == Respuesta::Si;
        CancelarGrafico = false;
        if (si) {
            terminarLectura(false);
            return;
        }
        if (!lector_)
            return;
    }
    pasos_.start();
}

void TGrafForm::detenerLectura()
{
    if (lector_)
        terminarLectura(false);
}

void TGrafForm::terminarLectura(bool completa)
{
    pasos_.stop();
    leidasFinal_ = lector_ ? lector_->leidas() : 0;
    lector_.reset();
    volcarPendientes();
    grupoProgreso->hide();
    if (completa) {
        etiquetaRegistros->setText(QString::number(leidasFinal_));
        hayDatos_ = hayLeidos_;
        pag_.inicio = hayLeidos_ ? inicioDatos(xMinLeido_) : kOrigenFechas;
        pag_.xMin = hayLeidos_ ? xMinLeido_ : kOrigenFechas;
        pag_.xMax = hayLeidos_ ? xMaxLeido_ : kOrigenFechas;
    } else if (hayLeidos_) {
        // Cancelled: the points read stay; the pages keep their values.
        pag_.xMin = hayDatos_ ? qMin(pag_.xMin, xMinLeido_) : xMinLeido_;
        pag_.xMax = hayDatos_ ? qMax(pag_.xMax, xMaxLeido_) : xMaxLeido_;
    }
    habilitarComandos(true);
    // Readings stored during the refresh.
    const QVector<Pendiente> p = std::move(pendientes_);
    pendientes_.clear();
    for (const Pendiente& x : p)
        agregarLectura(x.fecha, x.hora, x.lecturas);
    if (automaticos_) {
        grafico_->yAxis->rescale();
        grafico_->yAxis2->rescale();
    }
    if (completa)
        Actualizar();
    else
        mostrarPagina();
    emit actualizacionTerminada();
}

void TGrafForm::mostrarPagina()
{
    grafico_->xAxis->setRange(pag_.desde, pag_.hasta);
    etiquetaTotalPaginas->setText(QString::number(pag_.total));
    etiquetaPagina->setText(QString::number(pag_.pagina));
    if (!lector_) {
        BotonAnterior->setEnabled(pag_.anterior);
        BotonProxima->setEnabled(pag_.proxima);
    }
    grafico_->replot(QCustomPlot::rpQueuedReplot);
}

void TGrafForm::Actualizar()
{
    BotonZom100Click();
    pag_.ultima();
    mostrarPagina();
}

void TGrafForm::BotonPrimeraClick()
{
    BotonZom100Click();
    pag_.primera();
    mostrarPagina();
}

void TGrafForm::BotonProximaClick()
{
    BotonZom100Click();
    pag_.siguiente();
    mostrarPagina();
}

void TGrafForm::BotonAnteriorClick()
{
    BotonZom100Click();
    pag_.previa();
    mostrarPagina();
}

void TGrafForm::TiempoChange()
{
    const double t = segundosTiempo(Tiempo->text());
    if (t < 0) {
        Tiempo->setFocus();
        Tiempo->selectAll();
        dialogos().mensaje(QString(), QStringLiteral("No es un valor valido de tiempo"), Icono::Ninguno, Botones::Ok);
        return;
    }
    if (t == 0) {
        Tiempo->setFocus();
        Tiempo->selectAll();
        return;
    }
    if (n_ < ctx_.modelo.Gindividual.size()) {
        ctx_.modelo.Gindividual[n_].Tiempo = Tiempo->text();
        ctx_.modelo.Gindividual[n_].dias = dias->text().trimmed().isEmpty() ? QStringLiteral("00") : dias->text();
    }
    pag_.largo = longitudPagina(Tiempo->text(), dias->text().trimmed().isEmpty() ? QStringLiteral("0") : dias->text());
    Actualizar();
}

void TGrafForm::escalarVista(double factor)
{
    // The first zoom remembers the ranges that "100%" goes back to.
    QCPAxis* ejes[3] = {grafico_->xAxis, grafico_->yAxis, grafico_->yAxis2};
    if (!zoomGuardado_) {
        for (int k = 0; k < 3; ++k) {
            rangos_[2 * k] = ejes[k]->range().lower;
            rangos_[2 * k + 1] = ejes[k]->range().upper;
        }
        zoomGuardado_ = true;
    }
    for (QCPAxis* e : ejes)
        e->scaleRange(factor, e->range().center());
    ocultarLectura();
    grafico_->replot(QCustomPlot::rpQueuedReplot);
}

void TGrafForm::BotonZoomMasClick() { escalarVista(0.7); }

void TGrafForm::BotoZoomMenosClick() { escalarVista(1.3); }

void TGrafForm::BotonZom100Click()
{
    if (!zoomGuardado_)
        return;
    QCPAxis* ejes[3] = {grafico_->xAxis, grafico_->yAxis, grafico_->yAxis2};
    for (int k = 0; k < 3; ++k)
        ejes[k]->setRange(rangos_[2 * k], rangos_[2 * k + 1]);
    zoomGuardado_ = false;
    grafico_->replot(QCustomPlot::rpQueuedReplot);
}

void TGrafForm::VPuntosClick()
{
    const bool si = VPuntos->isChecked();
    for (int k = 0; k < 3; ++k)
        series_[k]->setScatterStyle(si ? QCPScatterStyle(QCPScatterStyle::ssCircle, 4) : QCPScatterStyle());
    if (n_ < ctx_.modelo.Gindividual.size())
        ctx_.modelo.Gindividual[n_].Puntos = si;
    grafico_->replot(QCustomPlot::rpQueuedReplot);
}

void TGrafForm::BotonPropiedadesClick()
{
    if (lector_)
        return;
    TFormaPropGraf prop(ctx_, n_, this);
    prop.setWindowTitle(QStringLiteral("Propiedades. ") + windowTitle());
    prop.exec();
}

bool TGrafForm::guardarImagen(const QString& ruta)
{
    bool bien;
    if (ruta.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        bien = grafico_->savePdf(ruta);
    else
        bien = grafico_->savePng(ruta);
    if (!bien)
        dialogos().mensaje(kTituloError, QStringLiteral("No se pudo guardar la imagen: ") + ruta, Icono::Error, Botones::Ok);
    return bien;
}

void TGrafForm::BotonGuardarClick()
{
    QString ruta = QFileDialog::getSaveFileName(this, QStringLiteral("Guardar gráfico"),
                                                QStringLiteral("grafico%1.png").arg(n_),
                                                QStringLiteral("Imagen PNG (*.png);;Documento PDF (*.pdf)"));
    if (!ruta.isEmpty())
        guardarImagen(ruta);
}

void TGrafForm::agregarLectura(const QString& fecha, const QString& hora, const TextosLectura& lecturas)
{
    if (lector_) {
        pendientes_.append({fecha, hora, lecturas});
        return;
    }
    const QByteArray f = fecha.toUtf8(), h = hora.toUtf8();
    QByteArray v[kSeries];
    std::array<std::string_view, kSeries> vv;
    for (int k = 0; k < kSeries; ++k) {
        v[k] = lecturas[k].toUtf8();
        vv[k] = std::string_view(v[k].constData(), size_t(v[k].size()));
    }
    const PuntosFila p = filaAPuntos(ajustes(), std::string_view(f.constData(), size_t(f.size())),
                                     std::string_view(h.constData(), size_t(h.size())), vv);
    for (int k = 0; k < kSeries; ++k)
        if (p.presentes & (1u << k))
            series_[k]->addData(p.x, p.y[k]);
    if (p.error && !avisado_) {
        avisado_ = true;
        dialogos().mensaje(kTituloError, kErrorFilas, Icono::Error, Botones::Ok);
        BotonZom100Click();
    }
    if (p.presentes) {
        if (!hayDatos_) {
            // The first reading of an empty chart starts its first page.
            pag_.inicio = inicioDatos(p.x);
            pag_.xMin = pag_.xMax = p.x;
            hayDatos_ = true;
        } else {
            pag_.xMin = qMin(pag_.xMin, p.x);
            pag_.xMax = qMax(pag_.xMax, p.x);
        }
        if (pag_.xMax > grafico_->xAxis->range().upper || pag_.xMax > pag_.hasta) {
            Actualizar();
            return;
        }
        pag_.total = paginasCompletas(pag_.xMax, pag_.inicio, pag_.largo) + 1;
    }
    mostrarPagina();
}

QString TGrafForm::textoLectura() const { return lectura_->text(); }
bool TGrafForm::lecturaVisible() const { return lectura_->visible(); }
bool TGrafForm::cruzVisible() const { return cruzV_->visible(); }

void TGrafForm::clicSerie(QCPAbstractPlottable* p, int, QMouseEvent* e)
{
    for (int k = 0; k < 3; ++k)
        if (p == series_[k]) {
            if (e->button() == Qt::LeftButton && e->modifiers() == Qt::NoModifier)
                mostrarLectura(k, int(e->position().x()), int(e->position().y()));
            return;
        }
}

void TGrafForm::mostrarLectura(int serie, int x, int y)
{
    QCPAxis* eje = series_[serie]->valueAxis();
    const double v = eje->pixelToCoord(y);
    QLocale l = QLocale::c();
    l.setNumberOptions({});
    QString t = l.toString(v, 'f', 3);
    while (t.contains(QLatin1Char('.')) && (t.endsWith(QLatin1Char('0')) || t.endsWith(QLatin1Char('.'))))
        t.chop(1);
    lectura_->setText(t + QLatin1Char(' ') + grafico_->yAxis->label() + QStringLiteral(" (")
                      + QString::fromLatin1(kNombresInternos[serie]) + QLatin1Char(')'));
    lectura_->position->setCoords(x + 10, y + 10);
    flecha_->start->setCoords(x + 10, y + 10);
    flecha_->end->setCoords(x, y);
    lectura_->setVisible(true);
    flecha_->setVisible(true);
    grafico_->layer(QStringLiteral("superpuesta"))->replot();
}

void TGrafForm::ocultarLectura()
{
    if (!lectura_->visible())
        return;
    lectura_->setVisible(false);
    flecha_->setVisible(false);
    grafico_->layer(QStringLiteral("superpuesta"))->replot();
}

void TGrafForm::moverCruz(int x, int y)
{
    const QRect r = grafico_->axisRect()->rect();
    const bool dentro = CheckCruz->isChecked() && r.contains(x, y);
    if (!dentro && !cruzV_->visible())
        return;
    cruzV_->setVisible(dentro);
    cruzH_->setVisible(dentro);
    if (dentro) {
        cruzV_->point1->setCoords(x, r.top());
        cruzV_->point2->setCoords(x, r.bottom());
        cruzH_->point1->setCoords(r.left(), y);
        cruzH_->point2->setCoords(r.right(), y);
    }
    grafico_->layer(QStringLiteral("superpuesta"))->replot();
}

void TGrafForm::closeEvent(QCloseEvent* e)
{
    detenerLectura();
    if (tabla_)
        tabla_->graficoCerrado();
    e->accept();
}

} // namespace ombrix
