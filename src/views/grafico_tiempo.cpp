#include "config/archivo_seguro.h"
#include "views/grafico_tiempo.h"

#include "config/dialogos.h"
#include "views/botones.h"
#include "views/contexto_vistas.h"

#include <qcustomplot.h>

#include <QDateTime>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QTimeZone>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

namespace ombrix {

namespace {

QToolButton* boton(QToolBar* barra, const QString& texto, QStyle::StandardPixmap icono, const QString& nombre)
{
    QToolButton* b = botonBarra(barra, texto, icono, nombre, Qt::ToolButtonTextUnderIcon);
    // As wide as its caption needs, no wider: the whole bar fits the
    // window's width without an overflow button.
    b->setMinimumSize(56, 36);
    b->setIconSize(QSize(20, 20));
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

GraficoTiempo::GraficoTiempo(QWidget* parent) : QWidget(parent)
{
    auto* capa = new QVBoxLayout(this);
    capa->setContentsMargins(0, 0, 0, 0);
    capa->setSpacing(2);

    barra_ = new QToolBar(this);
    barra_->setObjectName(QStringLiteral("barraComandos"));
    BotonImprimir = boton(barra_, QStringLiteral("Imprimir"), QStyle::SP_FileDialogContentsView, QStringLiteral("BotonImprimir"));
    BotonGuardar = boton(barra_, QStringLiteral("Guardar imagen"), QStyle::SP_DialogSaveButton, QStringLiteral("BotonGuardar"));
    BotonPropiedades = boton(barra_, QStringLiteral("Propiedades"), QStyle::SP_FileDialogDetailedView, QStringLiteral("BotonPropiedades"));
    BotoZoomMenos = boton(barra_, QStringLiteral("Zoom(-)"), QStyle::SP_ArrowDown, QStringLiteral("BotoZoomMenos"));
    BotonZoomMas = boton(barra_, QStringLiteral("Zoom(+)"), QStyle::SP_ArrowUp, QStringLiteral("BotonZoomMas"));
    BotonZom100 = boton(barra_, QStringLiteral("100%"), QStyle::SP_BrowserReload, QStringLiteral("BotonZom100"));
    BotonActualizar = boton(barra_, QStringLiteral("Actualizar"), QStyle::SP_BrowserReload, QStringLiteral("BotonActualizar"));
    BotonCerrar = boton(barra_, QStringLiteral("Cerrar gráfico"), QStyle::SP_DialogCloseButton, QStringLiteral("BotonCerrar"));
    capa->addWidget(barra_);

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
    grafico_->legend->setVisible(true);
    grafico_->legend->setFont(QFont(font().family(), 8));
    grafico_->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);
    grafico_->plotLayout()->insertRow(0);
    auto* titulo = new QCPTextElement(grafico_, QString(), QFont(font().family(), 11, QFont::Bold));
    titulo->setObjectName(QStringLiteral("titulo"));
    grafico_->plotLayout()->addElement(0, 0, titulo);

    // Read-out, arrow and cross-hair on a layer of their own, redrawn alone.
    grafico_->addLayer(QString::fromLatin1(kCapaSuperpuesta), nullptr, QCustomPlot::limAbove);
    QCPLayer* capaSup = grafico_->layer(QString::fromLatin1(kCapaSuperpuesta));
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

    // Page bar: navigation over the page length on the left, the counters
    // on the right; everything at its own width within the window's.
    grupoPaginas = new QGroupBox(QStringLiteral("Páginas del gráfico"), this);
    grupoPaginas->setObjectName(QStringLiteral("grupoPaginas"));
    auto* cpag = new QHBoxLayout(grupoPaginas);
    cpag->setContentsMargins(6, 2, 6, 2);
    cpag->setSpacing(6);
    auto* izquierda = new QVBoxLayout;
    izquierda->setSpacing(2);
    auto* filaNav = new QHBoxLayout;
    filaNav->setSpacing(4);
    auto nav = [&](const QString& t, const QString& nombre, QStyle::StandardPixmap icono) {
        auto* b = new QPushButton(style()->standardIcon(icono), t, grupoPaginas);
        b->setObjectName(nombre);
        b->setFixedSize(qMax(75, b->sizeHint().width()), 25);
        filaNav->addWidget(b);
        return b;
    };
    BotonPrimera = nav(QStringLiteral("Primero"), QStringLiteral("BotonPrimera"), QStyle::SP_MediaSkipBackward);
    BotonAnterior = nav(QStringLiteral("Anterior"), QStringLiteral("BotonAnterior"), QStyle::SP_MediaSeekBackward);
    BotonProxima = nav(QStringLiteral("Siguiente"), QStringLiteral("BotonProxima"), QStyle::SP_MediaSeekForward);
    BotonUltima = nav(QStringLiteral("Ultimo"), QStringLiteral("BotonUltima"), QStyle::SP_MediaSkipForward);
    filaNav->addStretch();
    izquierda->addLayout(filaNav);
    auto* filaLargo = new QHBoxLayout;
    filaLargo->setSpacing(4);
    dias = new QLineEdit(grupoPaginas);
    dias->setObjectName(QStringLiteral("dias"));
    dias->setInputMask(QStringLiteral("00"));
    dias->setFixedWidth(qMax(28, dias->fontMetrics().horizontalAdvance(QStringLiteral("00")) + 16));
    filaLargo->addWidget(dias);
    filaLargo->addWidget(new QLabel(QStringLiteral("días"), grupoPaginas));
    Tiempo = new QLineEdit(grupoPaginas);
    Tiempo->setObjectName(QStringLiteral("Tiempo"));
    Tiempo->setInputMask(QStringLiteral("90:00:00"));
    Tiempo->setFixedWidth(qMax(70, Tiempo->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) + 16));
    filaLargo->addWidget(Tiempo);
    filaLargo->addWidget(new QLabel(QStringLiteral("horas por página"), grupoPaginas));
    filaLargo->addStretch();
    izquierda->addLayout(filaLargo);
    cpag->addLayout(izquierda);
    auto grupoValor = [&](const QString& t, const QString& nombre, QGroupBox** grupo) {
        auto* g = new QGroupBox(t, grupoPaginas);
        cpag->addWidget(g, 0, Qt::AlignVCenter);
        if (grupo)
            *grupo = g;
        return etiquetaValor(g, nombre);
    };
    etiquetaTotalPaginas = grupoValor(QStringLiteral("Total de páginas"), QStringLiteral("etiquetaTotalPaginas"), nullptr);
    etiquetaPagina = grupoValor(QStringLiteral("Página"), QStringLiteral("etiquetaPagina"), nullptr);
    etiquetaRegistros = grupoValor(QStringLiteral("Registros"), QStringLiteral("etiquetaRegistros"), &grupoRegistros);
    cpag->addStretch();
    capa->addWidget(grupoPaginas);

    connect(BotonImprimir, &QToolButton::clicked, this, [this] { BotonImprimirClick(); });
    connect(BotonGuardar, &QToolButton::clicked, this, &GraficoTiempo::BotonGuardarClick);
    connect(BotonPropiedades, &QToolButton::clicked, this, [this] { abrirPropiedades(); });
    connect(BotoZoomMenos, &QToolButton::clicked, this, &GraficoTiempo::BotoZoomMenosClick);
    connect(BotonZoomMas, &QToolButton::clicked, this, &GraficoTiempo::BotonZoomMasClick);
    connect(BotonZom100, &QToolButton::clicked, this, &GraficoTiempo::BotonZom100Click);
    connect(BotonCerrar, &QToolButton::clicked, this, [this] { cerrarVentana(this); });
    connect(botonCancelar, &QPushButton::clicked, this, &GraficoTiempo::BotonCancelarClick);
    connect(BotonPrimera, &QPushButton::clicked, this, &GraficoTiempo::BotonPrimeraClick);
    connect(BotonProxima, &QPushButton::clicked, this, &GraficoTiempo::BotonProximaClick);
    connect(BotonAnterior, &QPushButton::clicked, this, &GraficoTiempo::BotonAnteriorClick);
    connect(BotonUltima, &QPushButton::clicked, this, &GraficoTiempo::TiempoChange);
    connect(Tiempo, &QLineEdit::editingFinished, this, &GraficoTiempo::TiempoChange);
    connect(dias, &QLineEdit::editingFinished, this, &GraficoTiempo::TiempoChange);
    connect(grafico_, &QCustomPlot::plottableClick, this,
            [this](QCPAbstractPlottable* p, int i, QMouseEvent* e) { clicSerie(p, i, e); });
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
    connect(grafico_, &QCustomPlot::mouseWheel, this, [this](QWheelEvent*) { ocultarLectura(); });
    grafico_->installEventFilter(this);

    pasos_.setSingleShot(true);
    pasos_.setInterval(0);
}

LecturaFondo::LecturaFondo(QObject* receptor, std::function<void()> alTerminar, Trabajo trabajo)
{
    // The receptor outlives the worker: whoever owns this waits for it first.
    QObject* r = receptor;
    hilo_ = std::thread([this, r, alTerminar = std::move(alTerminar), trabajo = std::move(trabajo)] {
        error_ = trabajo(*this);
        fin_ = true;
        QMetaObject::invokeMethod(r, alTerminar, Qt::QueuedConnection);
    });
}

LecturaFondo::~LecturaFondo()
{
    parar();
    esperar();
}

void LecturaFondo::esperar()
{
    if (hilo_.joinable())
        hilo_.join();
}

QString LecturaFondo::error() const { return fin_ ? error_ : QString(); }

int piezasDeLectura(qint64 filas)
{
    constexpr qint64 kFilasPorPieza = 65536;
    const int nucleos = qBound(1, int(std::thread::hardware_concurrency()), 4);
    return int(qBound<qint64>(1, filas / kFilasPorPieza, qint64(nucleos)));
}

QVector<std::pair<qint64, qint64>> tramosDeIds(qint64 primero, qint64 tope, int n)
{
    QVector<std::pair<qint64, qint64>> t;
    const qint64 total = tope - primero + 1;
    n = int(qBound<qint64>(1, qint64(n), qMax<qint64>(1, total)));
    qint64 desde = primero;
    for (int i = 0; i < n; ++i) {
        const qint64 hasta = i + 1 == n ? tope : desde + total / n - 1;
        t.append({desde, hasta});
        desde = hasta + 1;
    }
    return t;
}

GraficoTiempo::~GraficoTiempo() = default;

void GraficoTiempo::ponerTitulo(const QString& t)
{
    if (auto* e = qobject_cast<QCPTextElement*>(grafico_->plotLayout()->element(0, 0)))
        e->setText(t);
}

bool GraficoTiempo::eventFilter(QObject* o, QEvent* e)
{
    if (o == grafico_ && e->type() == QEvent::Resize) {
        ocultarLectura();
        colocarProgreso();
    }
    // The cross-hair is there only while the mouse is over the plot.
    if (o == grafico_ && e->type() == QEvent::Leave)
        moverCruz(-1, -1);
    return QWidget::eventFilter(o, e);
}

void GraficoTiempo::colocarProgreso()
{
    grupoProgreso->move(qMax(0, (grafico_->width() - grupoProgreso->width()) / 2), grafico_->height() / 2);
}

void GraficoTiempo::habilitarComandos(bool si)
{
    for (QWidget* w : std::initializer_list<QWidget*>{BotonImprimir, BotonGuardar, BotonPropiedades, BotoZoomMenos, BotonZoomMas,
                                                       BotonZom100, BotonActualizar, BotonPrimera, BotonAnterior,
                                                       BotonProxima, BotonUltima, dias, Tiempo})
        w->setEnabled(si);
    if (si)
        mostrarPagina();
}

void GraficoTiempo::irAPagina(qint64 p)
{
    pag_.irA(p);
    mostrarPagina();
}

QString GraficoTiempo::tituloGrafico()
{
    if (auto* e = qobject_cast<QCPTextElement*>(grafico_->plotLayout()->element(0, 0)))
        return e->text();
    return QString();
}

TFormaImpresion* GraficoTiempo::BotonImprimirClick()
{
    if (actualizando())
        return nullptr;
    if (!impresion_)
        impresion_ = new TFormaImpresion(this);
    impresion_->ponerGrafico(this);
    impresion_->open();
    return impresion_;
}

void GraficoTiempo::mostrarPagina()
{
    grafico_->xAxis->setRange(pag_.desde, pag_.hasta);
    etiquetaTotalPaginas->setText(QString::number(pag_.total));
    etiquetaPagina->setText(QString::number(pag_.pagina));
    if (!actualizando()) {
        BotonAnterior->setEnabled(pag_.anterior);
        BotonProxima->setEnabled(pag_.proxima);
    }
    grafico_->replot(QCustomPlot::rpQueuedReplot);
}

void GraficoTiempo::Actualizar()
{
    // The lines of the cross-hair belong to the mouse, not to the new page.
    moverCruz(-1, -1);
    BotonZom100Click();
    pag_.ultima();
    mostrarPagina();
}

void GraficoTiempo::BotonPrimeraClick()
{
    BotonZom100Click();
    pag_.primera();
    mostrarPagina();
}

void GraficoTiempo::BotonProximaClick()
{
    BotonZom100Click();
    pag_.siguiente();
    mostrarPagina();
}

void GraficoTiempo::BotonAnteriorClick()
{
    BotonZom100Click();
    pag_.previa();
    mostrarPagina();
}

void GraficoTiempo::leerLongitudPagina()
{
    pag_.largo = longitudPagina(Tiempo->text(), dias->text().trimmed().isEmpty() ? QStringLiteral("0") : dias->text());
}

void GraficoTiempo::TiempoChange()
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
    guardarLongitudPagina(Tiempo->text(), dias->text().trimmed().isEmpty() ? QStringLiteral("00") : dias->text());
    leerLongitudPagina();
    Actualizar();
}

bool GraficoTiempo::seguirPunto(double x)
{
    if (!hayDatos_) {
        // The first point of an empty chart starts its first page.
        pag_.inicio = inicioDatos(x);
        pag_.xMin = pag_.xMax = x;
        hayDatos_ = true;
    } else {
        pag_.xMin = qMin(pag_.xMin, x);
        pag_.xMax = qMax(pag_.xMax, x);
    }
    if (pag_.xMax > grafico_->xAxis->range().upper || pag_.xMax > pag_.hasta) {
        Actualizar();
        return true;
    }
    pag_.total = paginasCompletas(pag_.xMax, pag_.inicio, pag_.largo) + 1;
    return false;
}

void GraficoTiempo::empezarProgreso(qint64 total)
{
    hayLeidos_ = false;
    avisado_ = false;
    pagPrevia_ = pag_;
    CancelarGrafico = false;
    barraProgreso->setRange(0, int(qMin<qint64>(total, std::numeric_limits<int>::max())));
    barraProgreso->setValue(0);
    colocarProgreso();
    grupoProgreso->show();
    grupoProgreso->raise();
}

void GraficoTiempo::finPaso(bool terminado, const QString& error)
{
    if (terminado) {
        terminarLectura(error.isEmpty());
        if (!error.isEmpty())
            dialogos().mensaje(QString(), error, Icono::Ninguno, Botones::Ok);
        return;
    }
    if (CancelarGrafico) {
        // No slice runs while the question is open.
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
        if (!actualizando())
            return;
    }
    pasos_.start();
}

void GraficoTiempo::detenerLectura()
{
    if (actualizando())
        terminarLectura(false);
}

void GraficoTiempo::terminarLectura(bool completa)
{
    pasos_.stop();
    soltarLector(completa);
    grupoProgreso->hide();
    if (completa) {
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
    agregarPendientes();
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

void GraficoTiempo::escalarVista(double factor)
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

void GraficoTiempo::BotonZoomMasClick() { escalarVista(0.7); }

void GraficoTiempo::BotoZoomMenosClick() { escalarVista(1.3); }

void GraficoTiempo::BotonZom100Click()
{
    if (!zoomGuardado_)
        return;
    QCPAxis* ejes[3] = {grafico_->xAxis, grafico_->yAxis, grafico_->yAxis2};
    for (int k = 0; k < 3; ++k)
        ejes[k]->setRange(rangos_[2 * k], rangos_[2 * k + 1]);
    zoomGuardado_ = false;
    grafico_->replot(QCustomPlot::rpQueuedReplot);
}

bool GraficoTiempo::guardarImagen(const QString& ruta)
{
    // Whole or nothing: the image is drawn into a file beside the old one,
    // which it replaces only once complete.
    const SinAyudasDePantalla sinAyudas(grafico_);
    ArchivoSeguro archivo(ruta);
    QString error;
    bool bien = archivo.abrir(&error);
    if (bien) {
        bien = ruta.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive) ? grafico_->savePdf(archivo.rutaTemporal())
                                                                           : grafico_->savePng(archivo.rutaTemporal());
        bien = bien && archivo.confirmar(&error);
    }
    if (!bien)
        dialogos().mensaje(kTituloError,
                           QStringLiteral("No se pudo guardar la imagen: ") + (error.isEmpty() ? ruta : error),
                           Icono::Error, Botones::Ok);
    return bien;
}

void GraficoTiempo::BotonGuardarClick()
{
    QString ruta = QFileDialog::getSaveFileName(this, QStringLiteral("Guardar gráfico"), nombreImagen(),
                                                QStringLiteral("Imagen PNG (*.png);;Documento PDF (*.pdf)"));
    if (!ruta.isEmpty())
        guardarImagen(ruta);
}

QString GraficoTiempo::textoLectura() const { return lectura_->text(); }
bool GraficoTiempo::lecturaVisible() const { return lectura_->visible(); }
bool GraficoTiempo::cruzVisible() const { return cruzV_->visible(); }

static QString textoLecturaDe(const QCPGraph* serie, const QString& unidad, double clave, double* valor, double* x)
{
    const QSharedPointer<QCPGraphDataContainer> datos = serie->data();
    if (datos->isEmpty())
        return QString();
    // The recorded point nearest in time to the click.
    auto it = datos->findBegin(clave, false);
    if (it == datos->constEnd())
        it = datos->constEnd() - 1;
    if (it != datos->constBegin()) {
        auto antes = it - 1;
        if (qAbs(antes->key - clave) <= qAbs(it->key - clave))
            it = antes;
    }
    *valor = it->value;
    *x = it->key;
    // Shortest text that reads back as the stored number: what was recorded,
    // not a rounding of it nor a position between points.
    QString t = QLocale::c().toString(it->value, 'f', QLocale::FloatingPointShortest);
    if (!unidad.isEmpty())
        t += QLatin1Char(' ') + unidad;
    t += QStringLiteral(" (") + serie->name() + QLatin1Char(')');
    const QDateTime cuando = QDateTime::fromMSecsSinceEpoch(qint64(std::llround(it->key * 1000.0)), QTimeZone::utc());
    t += QLatin1Char('\n') + cuando.toString(QStringLiteral("dd/MM/yyyy hh:mm:ss"));
    return t;
}

void GraficoTiempo::mostrarLecturaDe(QCPGraph* serie, const QString& unidad, int x, int y)
{
    double valor = 0, clave = 0;
    const QString t = textoLecturaDe(serie, unidad, serie->keyAxis()->pixelToCoord(x), &valor, &clave);
    if (t.isEmpty())
        return;
    // The arrow points at the recorded point; a point out of sight keeps the click.
    const double px = serie->keyAxis()->coordToPixel(clave), py = serie->valueAxis()->coordToPixel(valor);
    if (grafico_->axisRect()->rect().contains(int(px), int(py))) {
        x = int(px);
        y = int(py);
    }
    lectura_->setText(t);
    lectura_->position->setCoords(x + 10, y + 10);
    flecha_->start->setCoords(x + 10, y + 10);
    flecha_->end->setCoords(x, y);
    lectura_->setVisible(true);
    flecha_->setVisible(true);
    grafico_->layer(QString::fromLatin1(kCapaSuperpuesta))->replot();
}

void GraficoTiempo::ocultarLectura()
{
    if (!lectura_->visible())
        return;
    lectura_->setVisible(false);
    flecha_->setVisible(false);
    grafico_->layer(QString::fromLatin1(kCapaSuperpuesta))->replot();
}

void GraficoTiempo::moverCruz(int x, int y)
{
    const QRect r = grafico_->axisRect()->rect();
    const bool dentro = cruzActiva() && r.contains(x, y);
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
    grafico_->layer(QString::fromLatin1(kCapaSuperpuesta))->replot();
}

} // namespace ombrix
