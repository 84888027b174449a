#include "views/forma_base.h"

#include "config/dialogos.h"
#include "views/botones.h"
#include "views/graf_form.h"
#include "views/modelo_tabla.h"
#include "views/tabla_comb.h"
#include "views/vista_previa.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace ombrix {

void mostrarVentana(ContextoVistas& c, QWidget* w)
{
    if (c.mdi) {
        // The window at the size it was given, plus the frame: not shrunk to
        // its smallest layout.
        const QSize tamano = w->size();
        QMdiSubWindow* sub = c.mdi->addSubWindow(w);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->adjustSize();
        sub->resize(tamano + (sub->size() - w->size()));
        const QSize area = c.mdi->viewport()->size();
        sub->move(qMax(0, (area.width() - sub->width()) / 2), qMax(0, (area.height() - sub->height()) / 2));
        sub->show();
    } else {
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->show();
    }
}

void cerrarVentana(QWidget* w)
{
    if (!w)
        return;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget()))
        sub->close();
    else
        w->close();
}

void borrarVentana(QWidget* w)
{
    QWidget* marco = w->parentWidget();
    cerrarVentana(w);
    if (qobject_cast<QMdiSubWindow*>(marco))
        delete marco;
    else
        delete w;
}

static QToolButton* boton(QToolBar* barra, const QString& texto, QStyle::StandardPixmap icono, const QString& nombre)
{
    QToolButton* b = botonBarra(barra, texto, icono, nombre, Qt::ToolButtonTextBesideIcon);
    b->setFixedSize(112, 36);
    return b;
}

TFormaBase::TFormaBase(ContextoVistas& c, int n, QWidget* parent) : QWidget(parent), ctx_(c), n_(n)
{
    setObjectName(QStringLiteral("formaBase%1").arg(n));
    setWindowTitle(QStringLiteral("Base de datos de instrumentos"));
    auto* capa = new QVBoxLayout(this);
    capa->setContentsMargins(0, 0, 0, 0);
    capa->setSpacing(0);
    barra_ = new QToolBar(this);
    barra_->setObjectName(QStringLiteral("barraComandos"));
    barra_->setFixedHeight(41);
    // FormCreate: the captions.
    BotonImpre = boton(barra_, QStringLiteral("Imprimir"), QStyle::SP_FileDialogContentsView, QStringLiteral("BotonImpre"));
    barra_->addSeparator();
    BotonBorrar = boton(barra_, QStringLiteral("Borrar Tabla"), QStyle::SP_TrashIcon, QStringLiteral("BotonBorrar"));
    barra_->addSeparator();
    BotonGrafico = boton(barra_, QStringLiteral("Graficar"), QStyle::SP_FileDialogInfoView, QStringLiteral("BotonGrafico"));
    barra_->addSeparator();
    BotonCsv = boton(barra_, QStringLiteral("Exportar CSV"), QStyle::SP_DialogSaveButton, QStringLiteral("BotonCsv"));
    capa->addWidget(barra_);

    rejilla_ = new QTableView(this);
    rejilla_->setObjectName(QStringLiteral("rejillaDatos"));
    // Row height and mode are set while the grid is empty: set afterwards they
    // would visit every one of a million rows.
    rejilla_->verticalHeader()->setDefaultSectionSize(20);
    rejilla_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    rejilla_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    modelo_ = new ModeloTabla(ctx_.base.db(), n, titulosColumnas(ctx_.modelo, n), this);
    rejilla_->setModel(modelo_);
    rejilla_->setColumnWidth(0, 60);
    capa->addWidget(rejilla_);

    const bool soloLectura = ctx_.modelo.Config.TableReadOnly;
    modelo_->setSoloLectura(soloLectura);
    BotonBorrar->setEnabled(!soloLectura);
    BotonBorrar->setToolTip(soloLectura ? kBorrarSoloLectura : QString());

    QString titulo = n < ctx_.modelo.Estados.size() ? ctx_.modelo.Estados[n].Titulo : QString();
    if (titulo.isEmpty() && n < ctx_.modelo.ArrayConfig.size())
        titulo = ctx_.modelo.ArrayConfig[n].Titulo;
    setWindowTitle(QStringLiteral("Datos adquiridos de: ") + titulo);
    resize(629, 363 + 41);

    connect(BotonImpre, &QToolButton::clicked, this, &TFormaBase::BotonImpreClick);
    connect(BotonBorrar, &QToolButton::clicked, this, &TFormaBase::BotonBorrarClick);
    connect(BotonGrafico, &QToolButton::clicked, this, &TFormaBase::BotonGraficoClick);
    connect(BotonCsv, &QToolButton::clicked, this, &TFormaBase::BotonCsvClick);
    if (ctx_.registrador)
        connect(ctx_.registrador, &Registrador::filaGuardada, this, &TFormaBase::filaGuardada);

    ctx_.ventanas.ajustar(qMax<int>(ctx_.ventanas.VentanasTabla.size(), n + 1));
    ctx_.ventanas.VentanasTabla[n] = {this, true};
}

TGrafForm* TFormaBase::FormaGraf() const { return formaGraf_.data(); }

TFormaBase::~TFormaBase()
{
    if (formaGraf_)
        delete formaGraf_.data();
    if (n_ < ctx_.ventanas.VentanasTabla.size() && ctx_.ventanas.VentanasTabla[n_].Ventana == this)
        ctx_.ventanas.VentanasTabla[n_] = TVentanaTabla{};
}

void TFormaBase::BotonImpreClick()
{
    // A window of this one: it goes before the connection does.
    delete previa_.data();
    previa_ = previaInstrumento(this, ctx_.base.db(), n_, windowTitle());
}

void TFormaBase::BotonBorrarClick()
{
    if (dialogos().mensaje(kTituloPregunta, QStringLiteral("¿Desea que se borren los valores capturados del instrumento?"),
                           Icono::Pregunta, Botones::SiNo)
        == Respuesta::Si) {
        // No read of this table may be running while it is emptied.
        if (formaGraf_)
            formaGraf_->detenerLectura();
        QString error;
        if (!borrarLecturas(ctx_.base, n_, &error))
            dialogos().mensaje(QString(), error, Icono::Ninguno, Botones::Ok);
        modelo_->recargar();
    }
    if (formaGraf_)
        formaGraf_->BotonActualizarClick();
}

void TFormaBase::BotonGraficoClick()
{
    if (formaGraf_)
        return;
    auto* g = new TGrafForm(ctx_, n_, this);
    formaGraf_ = g;
    g->setWindowTitle(QStringLiteral("GRAFICO: ") + windowTitle());
    g->ponerTitulo(windowTitle());
    mostrarVentana(ctx_, g);
    // The window's design height at the opener's width.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(g->parentWidget()))
        sub->resize(800, 468);
    else
        g->resize(800, 468);
    g->BotonActualizarClick();
    ctx_.ventanas.ajustar(qMax<int>(ctx_.ventanas.GraficoAbierto.size(), n_ + 1));
    ctx_.ventanas.GraficoAbierto[n_] = true;
    BotonGrafico->setEnabled(false);
}

void TFormaBase::graficoCerrado()
{
    BotonGrafico->setEnabled(true);
    if (n_ < ctx_.ventanas.GraficoAbierto.size())
        ctx_.ventanas.GraficoAbierto[n_] = false;
}

bool TFormaBase::exportarCsv(const QString& ruta)
{
    QString error;
    if (escribirCsv(ctx_.base.db(), n_, titulosColumnas(ctx_.modelo, n_), ruta, ',', 0, 0, &error) < 0) {
        dialogos().mensaje(kTituloError, QStringLiteral("No se pudo exportar la tabla: ") + error, Icono::Error, Botones::Ok);
        return false;
    }
    return true;
}

void TFormaBase::BotonCsvClick()
{
    const QString ruta = QFileDialog::getSaveFileName(this, QStringLiteral("Exportar tabla"),
                                                      tablaInstrumento(n_) + QStringLiteral(".csv"),
                                                      QStringLiteral("Archivos CSV (*.csv)"));
    if (!ruta.isEmpty())
        exportarCsv(ruta);
}

void TFormaBase::filaGuardada(int n, const QString& fecha, const QString& hora, const TextosLectura& lecturas)
{
    if (n != n_)
        return;
    modelo_->agregarAlFinal();
    if (n_ < ctx_.ventanas.GraficoAbierto.size() && ctx_.ventanas.GraficoAbierto[n_] && n_ < ctx_.modelo.Gindividual.size()
        && ctx_.modelo.Gindividual[n_].Actualizacion_Automatica)
        ActualizarGrafico(fecha, hora, lecturas);
}

void TFormaBase::ActualizarGrafico(const QString& fecha, const QString& hora, const TextosLectura& lecturas)
{
    if (formaGraf_)
        formaGraf_->agregarLectura(fecha, hora, lecturas);
}

void TFormaBase::closeEvent(QCloseEvent* e)
{
    if (n_ < ctx_.ventanas.VentanasTabla.size())
        ctx_.ventanas.VentanasTabla[n_].Abierta = false;
    if (formaGraf_) {
        TGrafForm* g = formaGraf_;
        g->detenerLectura();
        cerrarVentana(g);
        // Gone before this window's model and the connection.
        delete g;
    }
    graficoCerrado();
    e->accept();
    // Closed on its own (not through its frame): the frame goes too.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()); sub && sub->isVisible())
        QMetaObject::invokeMethod(sub, &QMdiSubWindow::close, Qt::QueuedConnection);
}

TFormaBase* abrirTablaInstrumento(ContextoVistas& c, int n)
{
    if (n < 1)
        return nullptr;
    if (n < c.ventanas.VentanasTabla.size()) {
        const TVentanaTabla& t = c.ventanas.VentanasTabla[n];
        if (t.Abierta && t.Ventana) {
            auto* f = qobject_cast<TFormaBase*>(t.Ventana);
            if (f) {
                if (auto* sub = qobject_cast<QMdiSubWindow*>(f->parentWidget()); sub && c.mdi)
                    c.mdi->setActiveSubWindow(sub);
                f->activateWindow();
                return f;
            }
        }
    }
    auto* f = new TFormaBase(c, n);
    mostrarVentana(c, f);
    // The newest readings are what the operator opens the table for.
    f->rejilla()->scrollToBottom();
    return f;
}

void cerrarVistas(ContextoVistas& c)
{
    cerrarVistasCombinadas(c);
    for (int n = 0; n < c.ventanas.VentanasTabla.size(); ++n) {
        QObject* v = c.ventanas.VentanasTabla[n].Ventana;
        // Closed windows go now, not at the next event loop turn: the
        // connection is closed right after.
        if (auto* f = qobject_cast<TFormaBase*>(v))
            borrarVentana(f);
        c.ventanas.VentanasTabla[n] = TVentanaTabla{};
    }
    for (int n = 0; n < c.ventanas.GraficoAbierto.size(); ++n)
        c.ventanas.GraficoAbierto[n] = false;
}

} // namespace ombrix
