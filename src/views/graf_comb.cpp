#include "views/graf_comb.h"

#include "acquisition/registro.h"
#include "config/dialogos.h"
#include "instruments/colores.h"
#include "views/prop_graf_comb.h"
#include "views/tabla_comb.h"

#include <qcustomplot.h>

#include <QCloseEvent>
#include <QMdiSubWindow>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QToolButton>

namespace ombrix {

namespace {

const QString kErrorFilas =
    QStringLiteral("No se pudieron graficar todos los valores. Posiblemente haya valores fuera de escala en la tabla");

qint32 colorDe(const TInstGrafico& g, TipoValor t)
{
    const qint32 c[kTiposValor] = {g.CLVM, g.CLSP, g.CLPOT, g.CLAL1, g.CLAL2, g.CLAL3, g.CLAL4};
    return c[int(t)];
}

} // namespace

TFormaGrafTabCom::TFormaGrafTabCom(ContextoVistas& c, QWidget* parent) : GraficoTiempo(parent), ctx_(c)
{
    setObjectName(QStringLiteral("FormaGrafTabCom"));
    setWindowTitle(QStringLiteral("Gafico"));
    ponerTitulo(QStringLiteral("Gráfico de la tabla combinada"));
    grupoRegistros->hide();
    grafico_->legend->setVisible(true);
    ejecutarModal = [](QDialog& d) { return d.exec(); };
    const Tconfig& cf = ctx_.modelo.Config;
    Tiempo->setText(cf.Tiempo);
    dias->setText(cf.dias);
    pag_.largo = longitudPagina(cf.Tiempo, cf.dias);
    series_.resize(ctx_.modelo.cantidadInstrumentos() + 1);
    for (auto& s : series_)
        s.fill(nullptr);
    if (TFormaTablaComb* t = formaTablaComb(ctx_))
        consulta_ = t->consulta();
    connect(BotonActualizar, &QToolButton::clicked, this, &TFormaGrafTabCom::BotonActualizarClick);
    connect(&pasos_, &QTimer::timeout, this, &TFormaGrafTabCom::paso);
    pasos_.setInterval(50);   // a look at the worker's progress
    if (ctx_.registrador)
        connect(ctx_.registrador, &Registrador::filaCombinadaGuardada, this, &TFormaGrafTabCom::filaCombinadaGuardada);
    ctx_.ventanas.FormaGrafTabCom = this;
    resize(875, 480);
    mostrarPagina();
}

TFormaGrafTabCom::~TFormaGrafTabCom()
{
    pasos_.stop();
    lector_.reset();
    enVivo_.reset();
    if (ctx_.ventanas.FormaGrafTabCom == this)
        ctx_.ventanas.FormaGrafTabCom = nullptr;
}

QCPGraph* TFormaGrafTabCom::serie(int n, TipoValor t) const
{
    return n >= 0 && n < series_.size() ? series_[n][int(t)] : nullptr;
}

int TFormaGrafTabCom::cantidadSeries() const { return grafico_->graphCount(); }

void TFormaGrafTabCom::quitarSeries()
{
    grafico_->clearGraphs();
    series_.resize(ctx_.modelo.cantidadInstrumentos() + 1);
    for (auto& s : series_)
        s.fill(nullptr);
}

QCPGraph* TFormaGrafTabCom::crearSerie(int n, TipoValor t)
{
    if (n >= series_.size())
        series_.resize(n + 1, std::array<QCPGraph*, kTiposValor>{});
    if (QCPGraph* s = series_[n][int(t)])
        return s;
    const TInstGrafico g = n < ctx_.modelo.InstGrafico.size() ? ctx_.modelo.InstGrafico[n] : TInstGrafico{};
    QCPGraph* s = grafico_->addGraph(grafico_->xAxis, g.Ejeizq ? grafico_->yAxis : grafico_->yAxis2);
    s->setName(tituloColumnaComb(ctx_.modelo, n, t));
    s->setAdaptiveSampling(true);
    const QColor c = aQColor(colorDe(g, t));
    if (int(t) < int(TipoValor::Alarma1)) {
        s->setPen(QPen(c, qMax(1, int(ctx_.modelo.Config.espesor))));
        if (ctx_.modelo.Config.Puntos)
            s->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 4));
    } else {
        s->setPen(QPen(c));
        s->setLineStyle(QCPGraph::lsNone);
        s->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, c, c, 5));
    }
    series_[n][int(t)] = s;
    return s;
}

bool TFormaGrafTabCom::aplicarLimites()
{
    const Tconfig& c = ctx_.modelo.Config;
    if (c.maximoizq > c.minimoizq && c.maximoder > c.minimoder) {
        grafico_->yAxis->setRange(c.minimoizq, c.maximoizq);
        grafico_->yAxis2->setRange(c.minimoder, c.maximoder);
        return true;
    }
    dialogos().mensaje(kTituloError,
                       QStringLiteral("El mínimo de un  eje del gráfico no puede ser mayor que el máximo\n"
                                      "PROVISORIAMENTE SE UTILIZARÁ VALORES DE EJES EN FORMA AUTOMÁTICA"),
                       Icono::Error, Botones::Ok);
    return false;
}

void TFormaGrafTabCom::BotonActualizarClick()
{
    if (lector_)
        return;
    // The rows the table window shows now; once it is closed, the last ones it showed.
    if (TFormaTablaComb* t = formaTablaComb(ctx_)) {
        t->alDia();
        consulta_ = t->consulta();
    }
    // Only the value columns drawn are read.
    ConsultaComb leer = consulta_;
    leer.campos.clear();
    columnas_.clear();
    for (const QString& campo : consulta_.campos) {
        int n;
        TipoValor t;
        if (!leerCampoCombinada(campo, n, t) || n >= ctx_.modelo.InstGrafico.size()
            || !serieElegida(ctx_.modelo.InstGrafico[n], t))
            continue;
        leer.campos << campo;
        columnas_.append({n, t});
    }
    automaticos_ = !aplicarLimites();
    enVivo_ = std::make_unique<ConsultasCombinada>(ctx_.base.db(), leer);
    tope_ = enVivo_->ultimoId();
    pendientes_.clear();
    ocultarLectura();
    quitarSeries();
    buf_.fill({}, columnas_.size());
    ordenado_.fill(true, columnas_.size());
    const qint64 primero = tope_ > 0 ? ConsultasCombinada(ctx_.base.db(), ConsultaComb{}).primerId() : 0;
    const qint64 total = tope_ > 0 ? tope_ - primero + 1 : 0;
    // Every series of an unfiltered table gets about one point a row: room
    // for them all at once, so that no buffer grows (and copies itself) midway.
    if (!consulta_.filtrado)
        for (auto& b : buf_)
            b.reserve(qsizetype(qMin<qint64>(total, std::numeric_limits<int>::max() / 2)));
    empezarProgreso(total);
    if (tope_ == 0) {
        terminarLectura(true);
        return;
    }
    // Read on workers with connections of their own, the Id span in pieces
    // at once when it is long (in Id order: the filter and dates apply in
    // each); the series take the points at the end, the pieces in order.
    const QString ruta = ctx_.base.ruta();
    const qint64 tope = tope_;
    const int piezas = consulta_.filtrado ? 1 : piezasDeLectura(total);
    lector_ = std::make_unique<LecturaFondo>(this, [this] { paso(); }, [this, ruta, leer, primero, tope, piezas,
                                                                         total](LecturaFondo& f) {
        const int m = int(columnas_.size());
        struct Pieza {
            QVector<PiezaSerie> series;
            RangoLeido rango;
        };
        const auto tramos = tramosDeIds(primero, tope, piezas);
        std::vector<Pieza> p(size_t(tramos.size()));
        for (size_t i = 0; i < p.size(); ++i) {
            p[i].series.resize(m);
            // The first piece fills the buffers made room for; the others their own.
            for (int j = 0; j < m; ++j)
                if (i == 0)
                    p[i].series[j].puntos = std::move(buf_[j]);
                else
                    p[i].series[j].puntos.reserve(
                        qsizetype(qMin<qint64>(total / piezas + 1, std::numeric_limits<int>::max() / 2)));
        }
        const QString error = enParalelo(int(tramos.size()), [&](int i) -> QString {
            BaseDatos base;
            QString error;
            if (!base.abrirLectura(ruta, &error, false))
                return error;
            Pieza& z = p[size_t(i)];
            LectorCombinada lector(base.db(), leer, false, tramos[i].second, 0, 0, tramos[i].first);
            const auto visita = [&](const char* const* t, const int* l) {
                double x;
                if (!leerFechaHora(std::string_view(t[1], size_t(l[1])), std::string_view(t[2], size_t(l[2])), x))
                    return;   // an unreadable row adds nothing
                bool alguno = false;
                for (int j = 0; j < m; ++j) {
                    double y;
                    if (valorComb(columnas_[j].t, std::string_view(t[3 + j], size_t(l[3 + j])), y) != ValorComb::Punto)
                        continue;
                    z.series[j].agregar(x, y);
                    alguno = true;
                }
                if (alguno)
                    z.rango.agregar(x);
            };
            return f.recorrer(lector, visita);
        });
        // The pieces joined in Id order.
        for (int j = 0; j < m; ++j) {
            for (size_t i = 1; i < p.size(); ++i)
                p[0].series[j].unir(p[i].series[j]);
            buf_[j] = std::move(p[0].series[j].puntos);
            ordenado_[j] = p[0].series[j].ordenada;
        }
        for (const Pieza& z : p)
            leido(z.rango);
        return error;
    });
    habilitarComandos(false);
    pasos_.start();
}

void TFormaGrafTabCom::paso()
{
    if (!lector_)
        return;
    const qint64 leidas = lector_->leidas;
    barraProgreso->setValue(int(qMin<qint64>(leidas, barraProgreso->maximum())));
    grupoProgreso->setTitle(QStringLiteral(" Actualizando el gráfico. Registros:%1").arg(leidas));
    finPaso(lector_->terminada(), lector_->error());
}

void TFormaGrafTabCom::soltarLector(bool)
{
    // The worker is stopped and waited for before its points are taken.
    lector_.reset();
    // A series exists once it has a point.
    for (int j = 0; j < columnas_.size(); ++j) {
        if (buf_[j].isEmpty())
            continue;
        crearSerie(columnas_[j].n, columnas_[j].t)->data()->set(buf_[j], ordenado_[j]);
    }
    buf_.clear();
}

void TFormaGrafTabCom::agregarPendientes()
{
    const QVector<qint64> p = std::move(pendientes_);
    pendientes_.clear();
    for (qint64 id : p)
        agregarFila(id);
}

void TFormaGrafTabCom::filaCombinadaGuardada()
{
    if (!enVivo_)
        return;
    const qint64 id = enVivo_->ultimoId();
    if (id <= tope_)
        return;
    tope_ = id;
    if (lector_) {
        pendientes_.append(id);
        return;
    }
    agregarFila(id);
}

void TFormaGrafTabCom::agregarFila(qint64 id)
{
    FilaDatos f;
    if (!enVivo_ || !enVivo_->fila(id, f))
        return;   // gone, or not among the rows shown
    const QByteArray fecha = f.textos.value(0).toUtf8(), hora = f.textos.value(1).toUtf8();
    double x;
    bool bien = leerFechaHora(std::string_view(fecha.constData(), size_t(fecha.size())),
                              std::string_view(hora.constData(), size_t(hora.size())), x);
    // The whole row or nothing of it.
    QVector<std::pair<int, double>> puntos;
    for (int j = 0; bien && j < columnas_.size(); ++j) {
        const QByteArray v = f.textos.value(2 + j).toUtf8();
        double y;
        const ValorComb r = valorComb(columnas_[j].t, std::string_view(v.constData(), size_t(v.size())), y);
        if (r == ValorComb::Ilegible)
            bien = false;
        else if (r == ValorComb::Punto)
            puntos.append({j, y});
    }
    if (!bien) {
        if (!avisado_) {
            avisado_ = true;
            dialogos().mensaje(kTituloError, kErrorFilas, Icono::Error, Botones::Ok);
        }
        return;
    }
    for (const auto& [j, y] : puntos)
        crearSerie(columnas_[j].n, columnas_[j].t)->addData(x, y);
    if (!puntos.isEmpty() && seguirPunto(x))
        return;
    mostrarPagina();
}

void TFormaGrafTabCom::reconstruir()
{
    detenerLectura();
    quitarSeries();
    BotonActualizarClick();
}

void TFormaGrafTabCom::PropsClick()
{
    if (lector_)
        return;
    TFormaPropGrafComb d(ctx_, this, this);
    d.FormActivate();
    ejecutarModal(d);
}

void TFormaGrafTabCom::CheckBox1Click(bool si)
{
    grafico_->legend->setVisible(si);
    grafico_->replot(QCustomPlot::rpQueuedReplot);
}

bool TFormaGrafTabCom::leyendaVisible() const { return grafico_->legend->visible(); }

void TFormaGrafTabCom::ponerCruz(bool si)
{
    cruz_ = si;
    if (!si)
        moverCruz(-1, -1);
}

void TFormaGrafTabCom::guardarLongitudPagina(const QString& tiempo, const QString& dias)
{
    ctx_.modelo.Config.Tiempo = tiempo;
    ctx_.modelo.Config.dias = dias;
}

void TFormaGrafTabCom::clicSerie(QCPAbstractPlottable* p, int, QMouseEvent* e)
{
    auto* g = qobject_cast<QCPGraph*>(p);
    if (!g || g->lineStyle() == QCPGraph::lsNone)
        return;   // alarm series have no read-out
    if (e->button() != Qt::LeftButton || e->modifiers() != Qt::NoModifier)
        return;
    mostrarLecturaDe(g, unidadDe(g), int(e->position().x()), int(e->position().y()));
}

QString TFormaGrafTabCom::unidadDe(const QCPGraph* g) const
{
    // Measured value and set point in their instrument's unit, power in percent.
    for (int n = 1; n < series_.size(); ++n)
        for (int t = 0; t < kTiposValor; ++t)
            if (series_[n][t] == g) {
                if (TipoValor(t) == TipoValor::Potencia)
                    return QStringLiteral("%");
                if (n < ctx_.modelo.Estados.size() && !ctx_.modelo.Estados[n].Unidad.isEmpty())
                    return ctx_.modelo.Estados[n].Unidad;
                return n < ctx_.modelo.ArrayConfig.size() ? ctx_.modelo.ArrayConfig[n].Unidad : QString();
            }
    return QString();
}

void TFormaGrafTabCom::closeEvent(QCloseEvent* e)
{
    detenerLectura();
    if (ctx_.ventanas.FormaGrafTabCom == this)
        ctx_.ventanas.FormaGrafTabCom = nullptr;
    e->accept();
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()); sub && sub->isVisible())
        QMetaObject::invokeMethod(sub, &QMdiSubWindow::close, Qt::QueuedConnection);
}

} // namespace ombrix
