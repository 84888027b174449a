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

// The refresh's message keeps its own wording; the live append's is spelled out.
const QString kErrorFilasRefresco =
    QStringLiteral("No se pudieron graficar todos los valores. Posiblemente haya valors fuera de escla en la tabla");
const char* const kNombresInternos[3] = {"ValorActual", "SetPoint", "Potencia"};
const QString kErrorFilas =
    QStringLiteral("No se pudieron graficar todos los valores. Posiblemente haya valores fuera de escala en la tabla");

} // namespace

TGrafForm::TGrafForm(ContextoVistas& c, int n, TFormaBase* tabla, QWidget* parent)
    : GraficoTiempo(parent), ctx_(c), n_(n), tabla_(tabla)
{
    setObjectName(QStringLiteral("grafForm%1").arg(n));
    barra_->addSeparator();
    // The two check boxes one above the other: the bar keeps to the window's width.
    auto* casillas = new QWidget(barra_);
    auto* cc = new QVBoxLayout(casillas);
    cc->setContentsMargins(4, 0, 4, 0);
    cc->setSpacing(0);
    VPuntos = new QCheckBox(QStringLiteral("Ver puntos"), casillas);
    VPuntos->setObjectName(QStringLiteral("VPuntos"));
    cc->addWidget(VPuntos);
    CheckCruz = new QCheckBox(QStringLiteral("Ver cruz grande"), casillas);
    CheckCruz->setObjectName(QStringLiteral("CheckCruz"));
    cc->addWidget(CheckCruz);
    barra_->addWidget(casillas);
    grafico_->yAxis2->setLabel(QStringLiteral("Potencia / Alarmas"));

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

    connect(BotonActualizar, &QToolButton::clicked, this, &TGrafForm::BotonActualizarClick);
    connect(VPuntos, &QCheckBox::clicked, this, &TGrafForm::VPuntosClick);
    connect(CheckCruz, &QCheckBox::toggled, this, [this](bool si) {
        if (!si)
            moverCruz(-1, -1);
    });
    connect(grafico_, &QCustomPlot::mouseDoubleClick, this, [this](QMouseEvent*) { BotonPropiedadesClick(); });
    connect(&pasos_, &QTimer::timeout, this, &TGrafForm::paso);
    pasos_.setInterval(50);   // a look at the worker's progress
    resize(800, 468);   // the opener's width, the design height
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
    VPuntos->setEnabled(si);
    GraficoTiempo::habilitarComandos(si);
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
    empezarProgreso(totalFilas_);
    ocultarLectura();
    for (QCPGraph* s : series_)
        s->data()->clear();
    aplicarAjustes();
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
    // Read on workers with connections of their own, the Id span in pieces
    // at once when it is long; the series take the points at the end, the
    // pieces in order.
    const QString ruta = ctx_.base.ruta();
    const TGindividual g = ajustes();
    const qint64 primero = tope - totalFilas_ + 1;
    const int piezas = piezasDeLectura(totalFilas_);
    lector_ = std::make_unique<LecturaFondo>(this, [this] { paso(); }, [this, ruta, g, primero, tope,
                                                                         piezas](LecturaFondo& f) {
        struct Pieza {
            PiezaSerie series[kSeries];
            RangoLeido rango;
        };
        const auto tramos = tramosDeIds(primero, tope, piezas);
        std::vector<Pieza> p(size_t(tramos.size()));
        for (size_t i = 0; i < p.size(); ++i)
            for (int k = 0; k < kSeries; ++k)
                // The first piece fills the buffers made room for; the others their own.
                if (i == 0)
                    p[i].series[k].puntos = std::move(buf_[k]);
                else
                    p[i].series[k].puntos.reserve(totalFilas_ / piezas + 4096);
        const QString error = enParalelo(int(tramos.size()), [&](int i) -> QString {
            BaseDatos base;
            QString error;
            if (!base.abrirLectura(ruta, &error, false))
                return error;
            Pieza& z = p[size_t(i)];
            LectorFilas lector(base.db(), n_, tramos[i].second, 0, 0, tramos[i].first);
            const auto visita = [&](const char* const* t, const int* l) {
                std::array<std::string_view, kSeries> v;
                for (int k = 0; k < kSeries; ++k)
                    v[k] = std::string_view(t[3 + k], size_t(l[3 + k]));
                const PuntosFila pf = filaAPuntos(g, std::string_view(t[1], size_t(l[1])),
                                                  std::string_view(t[2], size_t(l[2])), v);
                for (int k = 0; k < kSeries; ++k)
                    if (pf.presentes & (1u << k))
                        z.series[k].agregar(pf.x, pf.y[k]);
                if (pf.presentes)
                    z.rango.agregar(pf.x);
                if (pf.error)
                    f.fallo = true;
            };
            return f.recorrer(lector, visita);
        });
        // The pieces joined in Id order.
        for (int k = 0; k < kSeries; ++k) {
            for (size_t i = 1; i < p.size(); ++i)
                p[0].series[k].unir(p[i].series[k]);
            buf_[k] = std::move(p[0].series[k].puntos);
            ordenado_[k] = p[0].series[k].ordenada;
        }
        for (const Pieza& z : p)
            leido(z.rango);
        return error;
    });
    habilitarComandos(false);
    pasos_.start();
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
    const qint64 leidas = lector_->leidas;
    barraProgreso->setValue(int(qMin<qint64>(leidas, barraProgreso->maximum())));
    grupoProgreso->setTitle(QStringLiteral(" Actualizando el gráfico. Registros:%1 Total:%2").arg(leidas).arg(totalFilas_));
    if (lector_->fallo && !avisado_) {
        avisado_ = true;
        pasos_.stop();
        dialogos().mensaje(QStringLiteral("ATENCION:ERROR!!"), kErrorFilasRefresco, Icono::Error, Botones::Ok);
        BotonZom100Click();
        if (!lector_)
            return;
        pasos_.start();
    }
    finPaso(lector_->terminada(), lector_->error());
}

void TGrafForm::soltarLector(bool completa)
{
    // The worker is stopped and waited for before its points are taken.
    if (lector_) {
        lector_->parar();
        lector_->esperar();
    }
    leidasFinal_ = lector_ ? qint64(lector_->leidas) : 0;
    lector_.reset();
    volcarPendientes();
    if (completa)
        etiquetaRegistros->setText(QString::number(leidasFinal_));
}

void TGrafForm::agregarPendientes()
{
    // Readings stored during the refresh.
    const QVector<Pendiente> p = std::move(pendientes_);
    pendientes_.clear();
    for (const Pendiente& x : p)
        agregarLectura(x.fecha, x.hora, x.lecturas);
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
    if (p.presentes && seguirPunto(p.x))
        return;
    mostrarPagina();
}

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
    // Measured value and set point in the instrument's unit, power in percent.
    mostrarLecturaDe(series_[serie], serie < 2 ? grafico_->yAxis->label() : QStringLiteral("%"), x, y);
}

void TGrafForm::guardarLongitudPagina(const QString& tiempo, const QString& dias)
{
    if (n_ < ctx_.modelo.Gindividual.size()) {
        ctx_.modelo.Gindividual[n_].Tiempo = tiempo;
        ctx_.modelo.Gindividual[n_].dias = dias;
    }
}

bool TGrafForm::cruzActiva() const { return CheckCruz->isChecked(); }

QString TGrafForm::nombreImagen() const { return QStringLiteral("grafico%1.png").arg(n_); }

void TGrafForm::closeEvent(QCloseEvent* e)
{
    detenerLectura();
    if (tabla_)
        tabla_->graficoCerrado();
    e->accept();
}

} // namespace ombrix
