#include "views/tabla_comb.h"

#include "acquisition/registro.h"
#include "config/dialogos.h"
#include "views/botones.h"
#include "views/graf_comb.h"
#include "views/modelo_tabla.h"
#include "views/vista_previa.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMdiSubWindow>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace ombrix {

namespace {

const QString kFiltrar = QStringLiteral("Filtrar tabla");
const QString kQuitarFiltro = QStringLiteral("Quitar filtro");
// One slice of the reading of the rows shown, then the window's events.
constexpr int kMsPorPaso = 12;
const QString kSinSincronismo = QStringLiteral(
    "La tabla combinada sólo se llena con el registro sincronizado "
    "(Configuración > Configurar adquisición > Sincronizados). "
    "Con el registro libre cada instrumento guarda sus lecturas en su propia tabla.");

QToolButton* boton(QToolBar* barra, const QString& texto, QStyle::StandardPixmap icono, const QString& nombre)
{
    QToolButton* b = botonBarra(barra, texto, icono, nombre, Qt::ToolButtonTextUnderIcon);
    // Wide enough for its caption ("Ordenar tabla", "Quitar filtro").
    b->setFixedSize(qMax(84, b->fontMetrics().horizontalAdvance(texto) + 14), 40);
    return b;
}

} // namespace

TFormaTablaComb::TFormaTablaComb(ContextoVistas& c, QWidget* parent) : QWidget(parent), ctx_(c)
{
    setObjectName(QStringLiteral("FormaTablaComb"));
    setWindowTitle(QStringLiteral("Tabla combinada"));
    auto* capa = new QVBoxLayout(this);
    capa->setContentsMargins(0, 0, 0, 0);
    capa->setSpacing(0);
    auto* barra = new QToolBar(this);
    barra->setObjectName(QStringLiteral("barraComandos"));
    BotonImpre = boton(barra, QStringLiteral("Imprimir"), QStyle::SP_FileDialogContentsView, QStringLiteral("BotonImpre"));
    BotonBorrar = boton(barra, QStringLiteral("Borrar Tabla"), QStyle::SP_TrashIcon, QStringLiteral("BotonBorrar"));
    BotonGrafico = boton(barra, QStringLiteral("Graficar"), QStyle::SP_FileDialogInfoView, QStringLiteral("BotonGrafico"));
    barra->addSeparator();
    BotonFiltro = boton(barra, kFiltrar, QStyle::SP_FileDialogListView, QStringLiteral("BotonFiltro"));
    BotonOrden = boton(barra, QStringLiteral("Ordenar tabla"), QStyle::SP_ArrowDown, QStringLiteral("BotonOrden"));
    BotonFiltro->setEnabled(false);
    BotonOrden->setEnabled(false);
    barra->addSeparator();
    BotonCsv = boton(barra, QStringLiteral("Exportar CSV"), QStyle::SP_DialogSaveButton, QStringLiteral("BotonCsv"));
    barra->addSeparator();
    grupoFiltro = new QGroupBox(QStringLiteral("Filtrar/Ordenar por"), barra);
    grupoFiltro->setObjectName(QStringLiteral("grupoFiltro"));
    auto* cg = new QHBoxLayout(grupoFiltro);
    cg->setContentsMargins(6, 0, 6, 2);
    etiquetaFiltro = new QLabel(QStringLiteral("Sin selección"), grupoFiltro);
    etiquetaFiltro->setObjectName(QStringLiteral("etiquetaFiltro"));
    cg->addWidget(etiquetaFiltro);
    grupoFiltro->setMinimumWidth(200);
    barra->addWidget(grupoFiltro);
    capa->addWidget(barra);

    etiquetaSincronismo = new QLabel(kSinSincronismo, this);
    etiquetaSincronismo->setObjectName(QStringLiteral("etiquetaSincronismo"));
    etiquetaSincronismo->setWordWrap(true);
    etiquetaSincronismo->setContentsMargins(6, 3, 6, 3);
    etiquetaSincronismo->setStyleSheet(QStringLiteral("background: #fff7c0; color: #5a4600;"));
    etiquetaSincronismo->setVisible(!ctx_.modelo.Config.Sincronismo);
    capa->addWidget(etiquetaSincronismo);

    rejillaDatos = new QTableView(this);
    rejillaDatos->setObjectName(QStringLiteral("rejillaDatos"));
    rejillaDatos->verticalHeader()->setDefaultSectionSize(20);
    rejillaDatos->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    rejillaDatos->setEditTriggers(QAbstractItemView::NoEditTriggers);
    capa->addWidget(rejillaDatos);

    pasos_ = new QTimer(this);
    pasos_->setSingleShot(true);
    pasos_->setInterval(0);
    connect(pasos_, &QTimer::timeout, this, &TFormaTablaComb::pasoLectura);

    // The columns, fixed for the life of the window.
    columnas_ = columnasCombinada(ctx_.modelo);
    for (const ColumnaComb& col : columnas_)
        consulta_.campos << col.campo;
    abrir();
    resize(611, 406);

    connect(rejillaDatos, &QTableView::clicked, this, &TFormaTablaComb::DBGrid1CellClick);
    connect(BotonFiltro, &QToolButton::clicked, this, &TFormaTablaComb::BotonFiltroClick);
    connect(BotonOrden, &QToolButton::clicked, this, &TFormaTablaComb::BotonOrdenClick);
    connect(BotonBorrar, &QToolButton::clicked, this, &TFormaTablaComb::BotonBorrarClick);
    connect(BotonGrafico, &QToolButton::clicked, this, &TFormaTablaComb::BotonGraficoClick);
    connect(BotonImpre, &QToolButton::clicked, this, &TFormaTablaComb::BotonImpreClick);
    connect(BotonCsv, &QToolButton::clicked, this, &TFormaTablaComb::BotonCsvClick);
    if (ctx_.registrador)
        connect(ctx_.registrador, &Registrador::filaCombinadaGuardada, this, &TFormaTablaComb::filaCombinadaGuardada);
    ctx_.ventanas.FormaTablaComb = this;
}

TFormaTablaComb::~TFormaTablaComb()
{
    if (ctx_.ventanas.FormaTablaComb == this)
        ctx_.ventanas.FormaTablaComb = nullptr;
}

QStringList TFormaTablaComb::titulos() const
{
    QStringList t{QStringLiteral("Id"), QStringLiteral("Fecha"), QStringLiteral("Hora")};
    for (const ColumnaComb& c : columnas_)
        t << c.titulo;
    return t;
}

void TFormaTablaComb::abrir()
{
    pasos_->stop();
    auto origen = std::make_unique<ConsultasCombinada>(ctx_.base.db(), consulta_);
    ConsultasCombinada* fuente = origen.get();
    auto* nuevo = new ModeloTabla(std::move(origen), titulos(), this);
    rejillaDatos->setModel(nuevo);
    delete modelo_;
    modelo_ = nuevo;
    fuente_ = fuente;
    ajustarColumnas();
    vencida_ = false;
    // A small table is read here at once; a large one in slices, its rows
    // shown as they come (ordered rows once all are sorted).
    pasoLectura();
}

void TFormaTablaComb::ajustarColumnas()
{
    // Every column as wide as its title and the widest value it can hold,
    // without reading rows for it.
    const QFontMetrics titulo(rejillaDatos->horizontalHeader()->font());
    const QFontMetrics valor(rejillaDatos->font());
    const QStringList t = titulos();
    const QString muestras[3] = {QStringLiteral("0000000"), QStringLiteral("00/00/0000"), QStringLiteral("00:00:00")};
    for (int c = 0; c < t.size(); ++c) {
        const QString muestra = c < 3 ? muestras[c] : QStringLiteral("-00000.000");
        const int ancho = qMax(titulo.horizontalAdvance(t[c]) + 2 * titulo.averageCharWidth() + 12,
                               valor.horizontalAdvance(muestra) + 2 * valor.averageCharWidth());
        rejillaDatos->setColumnWidth(c, ancho);
    }
}

bool TFormaTablaComb::leyendo() const { return fuente_ && !fuente_->completa(); }

void TFormaTablaComb::pasoLectura()
{
    if (!fuente_)
        return;
    const bool fin = fuente_->paso(kMsPorPaso);
    if (fuente_->cambioModo())
        modelo_->recargar();
    else
        modelo_->crecer();
    if (!fin) {
        habilitarComandos();
        pasos_->start();
        return;
    }
    habilitarComandos();
    if (!fuente_->error().isEmpty())
        dialogos().mensaje(QString(), fuente_->error(), Icono::Ninguno, Botones::Ok);
}

void TFormaTablaComb::habilitarComandos()
{
    // While a filtered or ordered list is read, nothing else is asked of it.
    const bool libre = !leyendo() || consulta_.simple();
    BotonFiltro->setEnabled(libre && !FiltroCampo.isEmpty());
    BotonOrden->setEnabled(libre && !FiltroCampo.isEmpty());
    BotonBorrar->setEnabled(libre && !ctx_.modelo.Config.TableReadOnly);
    BotonBorrar->setToolTip(ctx_.modelo.Config.TableReadOnly ? kBorrarSoloLectura : QString());
    BotonCsv->setEnabled(libre);
    BotonImpre->setEnabled(libre);
}

TVistaPrevia* TFormaTablaComb::BotonImpreClick()
{
    // Every row in Id order: read straight from the table, up to the last
    // row stored now. Filtered or ordered: the rows the grid shows, in its order.
    if (consulta_.simple())
        return previaCombinada(this, ctx_.base.db(), windowTitle(), columnas_);
    return previaCombinada(this, windowTitle(), columnas_, std::make_unique<FilasModelo>(modelo_));
}

void TFormaTablaComb::alDia()
{
    if (vencida_)
        abrir();
}

bool TFormaTablaComb::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate)
        alDia();
    return QWidget::event(e);
}

void TFormaTablaComb::DBGrid1CellClick(const QModelIndex& i)
{
    if (!i.isValid())
        return;
    const QStringList campos = consulta_.columnas();
    if (i.column() >= campos.size())
        return;
    FiltroColumna = modelo_->headerData(i.column(), Qt::Horizontal).toString();
    FiltroCampo = campos[i.column()];
    FiltroValor = modelo_->data(i).toString();
    etiquetaFiltro->setText(FiltroColumna + QStringLiteral(" = ") + FiltroValor);
    habilitarComandos();
}

void TFormaTablaComb::BotonFiltroClick()
{
    if (!BotonFiltro->isEnabled())
        return;
    if (BotonFiltro->text() == kFiltrar) {
        if (FiltroCampo.isEmpty())
            return;
        consulta_.filtrado = true;
        consulta_.campoFiltro = FiltroCampo;
        consulta_.valorFiltro = FiltroValor;
        BotonFiltro->setText(kQuitarFiltro);
    } else {
        quitarFiltroYOrden();
    }
    abrir();
}

void TFormaTablaComb::BotonOrdenClick()
{
    if (FiltroCampo.isEmpty() || !BotonOrden->isEnabled())
        return;
    // The filter in force stays.
    consulta_.campoOrden = FiltroCampo;
    abrir();
}

void TFormaTablaComb::BotonBorrarClick()
{
    if (!BotonBorrar->isEnabled())
        return;
    if (dialogos().mensaje(QStringLiteral("ATENCION!!"),
                           QStringLiteral("ESTA OPERACION ELIMINARA TODA LA INFORMACION DE LA TABLA DE DATOS.\n"
                                          "¿ESTA SEGURO DE EFECTUAR ESTA OPREACION?"),
                           Icono::Pregunta, Botones::SiNo)
        != Respuesta::Si)
        return;
    // No read of the table may be running while it is emptied.
    if (TFormaGrafTabCom* g = formaGrafTabCom(ctx_))
        g->detenerLectura();
    QString error;
    if (!borrarCombinada(ctx_.base, &error))
        dialogos().mensaje(QString(), error, Icono::Ninguno, Botones::Ok);
    quitarFiltroYOrden();
    abrir();
}

// Back to every row in stored order.
void TFormaTablaComb::quitarFiltroYOrden()
{
    consulta_.filtrado = false;
    consulta_.campoFiltro.clear();
    consulta_.valorFiltro.clear();
    consulta_.campoOrden.clear();
    BotonFiltro->setText(kFiltrar);
}

void TFormaTablaComb::BotonGraficoClick()
{
    alDia();
    if (TFormaGrafTabCom* g = formaGrafTabCom(ctx_)) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(g->parentWidget()))
            sub->showNormal();
        else
            g->showNormal();
        return;
    }
    auto* g = new TFormaGrafTabCom(ctx_);
    mostrarVentana(ctx_, g);
    if (auto* sub = qobject_cast<QMdiSubWindow*>(g->parentWidget()))
        sub->resize(875, 480);
    g->BotonActualizarClick();
}

bool TFormaTablaComb::exportarCsv(const QString& ruta)
{
    alDia();
    QString error;
    if (escribirCsvComb(ctx_.base.db(), consulta_, titulos(), ruta, ',', 0, 0, &error) < 0) {
        dialogos().mensaje(kTituloError, QStringLiteral("No se pudo exportar la tabla: ") + error, Icono::Error, Botones::Ok);
        return false;
    }
    return true;
}

void TFormaTablaComb::BotonCsvClick()
{
    const QString ruta = QFileDialog::getSaveFileName(this, QStringLiteral("Exportar tabla"), QStringLiteral("Combinada.csv"),
                                                      QStringLiteral("Archivos CSV (*.csv)"));
    if (!ruta.isEmpty())
        exportarCsv(ruta);
}

void TFormaTablaComb::filaCombinadaGuardada()
{
    if (consulta_.simple())
        modelo_->agregarAlFinal();
    else
        vencida_ = true;
}

void TFormaTablaComb::closeEvent(QCloseEvent* e)
{
    if (ctx_.ventanas.FormaTablaComb == this)
        ctx_.ventanas.FormaTablaComb = nullptr;
    emit cerrada();
    e->accept();
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()); sub && sub->isVisible())
        QMetaObject::invokeMethod(sub, &QMdiSubWindow::close, Qt::QueuedConnection);
}

TFormaTablaComb* formaTablaComb(ContextoVistas& c) { return qobject_cast<TFormaTablaComb*>(c.ventanas.FormaTablaComb.data()); }

TFormaGrafTabCom* formaGrafTabCom(ContextoVistas& c) { return qobject_cast<TFormaGrafTabCom*>(c.ventanas.FormaGrafTabCom.data()); }

TFormaTablaComb* abrirTablaCombinada(ContextoVistas& c)
{
    if (TFormaTablaComb* f = formaTablaComb(c)) {
        f->activateWindow();
        return f;
    }
    auto* f = new TFormaTablaComb(c);
    mostrarVentana(c, f);
    return f;
}

void cerrarVistasCombinadas(ContextoVistas& c)
{
    if (TFormaGrafTabCom* g = formaGrafTabCom(c)) {
        g->detenerLectura();
        borrarVentana(g);
    }
    if (TFormaTablaComb* f = formaTablaComb(c))
        borrarVentana(f);
    c.ventanas.FormaTablaComb = nullptr;
    c.ventanas.FormaGrafTabCom = nullptr;
}

} // namespace ombrix
