#include "views/forma_eventos.h"

#include "acquisition/base_datos.h"
#include "config/dialogos.h"
#include "events/registro_eventos.h"
#include "views/informe.h"
#include "views/vista_previa.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace ombrix {

namespace {
// The printed columns: which text of the row, its title, left edge and width in mm.
struct ColumnaImpresa {
    int columna;
    const char* titulo;
    double izq, ancho;
};
const ColumnaImpresa kImpresas[] = {{1, "Fecha", 0, 20},      {2, "Hora", 21, 15},        {3, "Inst.", 37, 9},
                                    {4, "Tipo", 47, 36},      {5, "Descripción", 84, 100}, {6, "Anterior", 185, 25},
                                    {7, "Nuevo", 211, 25},    {10, "Usuario", 237, 22}};

DisenoInforme disenoEventos(const QString& titulo)
{
    DisenoInforme d = disenoCombinado(titulo, {});
    d.columnas.etiquetas.clear();
    d.detalle.campos.clear();
    const QFont fTitulos = fuenteInforme(QStringLiteral("Arial"), 8, true);
    const QFont fTextos = fuenteInforme(QStringLiteral("Arial"), 7);
    d.detalle.alto = 5.0;
    for (const ColumnaImpresa& c : kImpresas) {
        EtiquetaInforme e;
        e.texto = QString::fromUtf8(c.titulo);
        e.izq = c.izq;
        e.arriba = 2.0;
        e.ancho = c.ancho;
        e.alto = 4.6;
        e.fuente = fTitulos;
        e.alineacion = Qt::AlignLeft;
        d.columnas.etiquetas.append(e);
        CampoInforme f;
        f.columna = c.columna;
        f.izq = c.izq;
        f.arriba = 0.5;
        f.ancho = c.ancho;
        f.alto = 4.0;
        f.fuente = fTextos;
        f.alineacion = Qt::AlignLeft;
        d.detalle.campos.append(f);
    }
    return d;
}
} // namespace

TFormaEventos::TFormaEventos(RegistroEventos& registro, QWidget* parent) : QWidget(parent), registro_(&registro)
{
    setObjectName(QStringLiteral("formaEventos"));
    setWindowTitle(QStringLiteral("Registro de eventos"));
    auto* capa = new QVBoxLayout(this);
    auto* filtros = new QHBoxLayout;
    filtros->addWidget(new QLabel(QStringLiteral("Instrumento:"), this));
    listaInstrumento = new QComboBox(this);
    listaInstrumento->setObjectName(QStringLiteral("listaInstrumento"));
    listaInstrumento->addItem(QStringLiteral("Todos"), -1);
    listaInstrumento->addItem(QStringLiteral("Ninguno"), 0);
    for (int n = 1; n <= 20; ++n)
        listaInstrumento->addItem(QString::number(n), n);
    filtros->addWidget(listaInstrumento);
    filtros->addWidget(new QLabel(QStringLiteral("Tipo:"), this));
    listaTipo = new QComboBox(this);
    listaTipo->setObjectName(QStringLiteral("listaTipo"));
    listaTipo->addItem(QStringLiteral("Todos"), QString());
    for (const QString& t : tiposEvento())
        listaTipo->addItem(t, t);
    filtros->addWidget(listaTipo);
    casillaFechas = new QCheckBox(QStringLiteral("Desde:"), this);
    casillaFechas->setObjectName(QStringLiteral("casillaFechas"));
    filtros->addWidget(casillaFechas);
    fechaDesde = new QDateEdit(QDate::currentDate(), this);
    fechaDesde->setObjectName(QStringLiteral("fechaDesde"));
    fechaHasta = new QDateEdit(QDate::currentDate(), this);
    fechaHasta->setObjectName(QStringLiteral("fechaHasta"));
    for (QDateEdit* f : {fechaDesde, fechaHasta}) {
        f->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
        f->setCalendarPopup(true);
        f->setEnabled(false);
    }
    filtros->addWidget(fechaDesde);
    filtros->addWidget(new QLabel(QStringLiteral("Hasta:"), this));
    filtros->addWidget(fechaHasta);
    filtros->addStretch();
    botonCsv = new QPushButton(QStringLiteral("Exportar CSV"), this);
    botonCsv->setObjectName(QStringLiteral("botonCsv"));
    botonImprimir = new QPushButton(QStringLiteral("Imprimir"), this);
    botonImprimir->setObjectName(QStringLiteral("botonImprimir"));
    filtros->addWidget(botonCsv);
    filtros->addWidget(botonImprimir);
    capa->addLayout(filtros);

    modelo_ = new QStandardItemModel(0, almacenEventos::titulosColumnas().size(), this);
    modelo_->setHorizontalHeaderLabels(almacenEventos::titulosColumnas());
    rejillaEventos = new QTableView(this);
    rejillaEventos->setObjectName(QStringLiteral("rejillaEventos"));
    rejillaEventos->setModel(modelo_);
    rejillaEventos->setEditTriggers(QAbstractItemView::NoEditTriggers);
    rejillaEventos->setSelectionBehavior(QAbstractItemView::SelectRows);
    rejillaEventos->verticalHeader()->hide();
    rejillaEventos->verticalHeader()->setDefaultSectionSize(20);
    rejillaEventos->horizontalHeader()->setStretchLastSection(true);
    capa->addWidget(rejillaEventos);
    etiquetaCantidad = new QLabel(this);
    etiquetaCantidad->setObjectName(QStringLiteral("etiquetaCantidad"));
    capa->addWidget(etiquetaCantidad);

    auto cambio = [this] { recargar(); };
    connect(listaInstrumento, &QComboBox::currentIndexChanged, this, cambio);
    connect(listaTipo, &QComboBox::currentIndexChanged, this, cambio);
    connect(casillaFechas, &QCheckBox::toggled, this, [this](bool on) {
        fechaDesde->setEnabled(on);
        fechaHasta->setEnabled(on);
        recargar();
    });
    connect(fechaDesde, &QDateEdit::dateChanged, this, cambio);
    connect(fechaHasta, &QDateEdit::dateChanged, this, cambio);
    connect(botonCsv, &QPushButton::clicked, this, &TFormaEventos::BotonCsvClick);
    connect(botonImprimir, &QPushButton::clicked, this, &TFormaEventos::BotonImprimirClick);
    connect(&registro, &RegistroEventos::anotado, this, &TFormaEventos::alAnotar);
    resize(900, 420);
    recargar();
}

almacenEventos::Filtro TFormaEventos::filtro() const
{
    almacenEventos::Filtro f;
    f.instrumento = listaInstrumento->currentData().toInt();
    f.tipo = listaTipo->currentData().toString();
    if (casillaFechas->isChecked()) {
        f.desde = fechaDesde->date().startOfDay();
        f.hasta = fechaHasta->date().addDays(1).startOfDay();   // the whole last day
    }
    return f;
}

void TFormaEventos::recargar()
{
    modelo_->removeRows(0, modelo_->rowCount());
    eventos_.clear();
    BaseDatos* base = registro_ ? registro_->base() : nullptr;
    if (!base || !base->abierta()) {
        etiquetaCantidad->setText(QStringLiteral("No hay ninguna base de datos abierta"));
        return;
    }
    if (!almacenEventos::tieneTablas(base->db())) {
        etiquetaCantidad->setText(QStringLiteral("La base de datos no tiene registro de eventos"));
        return;
    }
    QString error;
    const QVector<Evento> leidos = almacenEventos::leer(base->db(), filtro(), &error);
    if (!error.isEmpty()) {
        etiquetaCantidad->setText(QStringLiteral("No se pudieron leer los eventos: ") + error);
        return;
    }
    for (const Evento& e : leidos)
        agregar(e);
}

void TFormaEventos::agregar(const Evento& e)
{
    eventos_.append(e);
    QList<QStandardItem*> fila;
    for (const QString& t : almacenEventos::textos(e))
        fila << new QStandardItem(t);
    modelo_->appendRow(fila);
    etiquetaCantidad->setText(QStringLiteral("%1 eventos").arg(eventos_.size()));
}

void TFormaEventos::alAnotar(const Evento& e)
{
    if (almacenEventos::coincide(filtro(), e)) {
        agregar(e);
        rejillaEventos->scrollToBottom();
    }
}

bool TFormaEventos::exportarCsv(const QString& ruta)
{
    QString error;
    if (!almacenEventos::escribirCsv(eventos_, ruta, &error)) {
        dialogos().mensaje(kTituloError, QStringLiteral("No se pudieron exportar los eventos: ") + error, Icono::Error, Botones::Ok);
        return false;
    }
    return true;
}

void TFormaEventos::BotonCsvClick()
{
    const QString ruta = QFileDialog::getSaveFileName(this, QStringLiteral("Exportar eventos"), QStringLiteral("Eventos.csv"),
                                                      QStringLiteral("Archivos CSV (*.csv)"));
    if (!ruta.isEmpty())
        exportarCsv(ruta);
}

QWidget* TFormaEventos::BotonImprimirClick()
{
    delete previa_.data();
    auto informe = std::make_unique<Informe>(disenoEventos(QStringLiteral("Registro de eventos")), std::make_unique<FilasModelo>(modelo_));
    auto* v = new TVistaPrevia(std::move(informe), QStringLiteral("Registro de eventos"), this);
    v->setWindowFlag(Qt::Window);
    v->setAttribute(Qt::WA_DeleteOnClose);
    v->show();
    previa_ = v;
    return v;
}

TFormaEventos* abrirFormaEventos(QMdiArea* mdi, RegistroEventos& registro)
{
    if (mdi)
        for (QMdiSubWindow* sub : mdi->subWindowList())
            if (auto* f = qobject_cast<TFormaEventos*>(sub->widget())) {
                mdi->setActiveSubWindow(sub);
                return f;
            }
    auto* f = new TFormaEventos(registro);
    f->setAttribute(Qt::WA_DeleteOnClose);
    if (mdi) {
        QMdiSubWindow* sub = mdi->addSubWindow(f);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->resize(900, 420);
        sub->show();
    } else {
        f->show();
    }
    return f;
}

} // namespace ombrix
