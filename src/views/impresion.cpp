#include "views/impresion.h"

#include "config/archivo_seguro.h"
#include "config/dialogos.h"
#include "touch/teclado.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPageLayout>
#include <QPicture>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

namespace ombrix {

// ---------------------------------------------------------------- destination

std::function<QStringList()> DestinoImpresion::impresorasInstaladas = [] { return QPrinterInfo::availablePrinterNames(); };

DestinoImpresion::DestinoImpresion() : impresora_(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    impresora_->setPageSize(QPageSize(QPageSize::Letter));
    impresora_->setPageOrientation(QPageLayout::Landscape);
    ultimoPdf_ = QDir::homePath() + QStringLiteral("/impresion.pdf");
}

DestinoImpresion::~DestinoImpresion() = default;

DestinoImpresion& DestinoImpresion::comun()
{
    static DestinoImpresion d;
    return d;
}

bool DestinoImpresion::pedirPdf()
{
    QString ruta = ultimoPdf_;
    if (!dialogos().entrada(QStringLiteral("Imprimir a PDF"),
                            QStringLiteral("No hay ninguna impresora instalada: se imprimirá a un archivo PDF.\n"
                                           "Nombre del archivo:"),
                            ruta))
        return false;
    ruta = ruta.trimmed();
    if (ruta.isEmpty())
        return false;
    if (!ruta.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        ruta += QStringLiteral(".pdf");
    ultimoPdf_ = ruta;
    impresora_->setOutputFormat(QPrinter::PdfFormat);
    impresora_->setOutputFileName(ruta);
    return true;
}

bool DestinoImpresion::empezarArchivo(QString* error)
{
    archivo_.reset();
    if (!aPdf() || impresora_->outputFileName().isEmpty())
        return true;
    auto archivo = std::make_unique<ArchivoSeguro>(impresora_->outputFileName());
    if (!archivo->abrir(error))
        return false;
    nombrePdf_ = impresora_->outputFileName();
    // The temporary name has no ".pdf" ending: the format stays PDF.
    impresora_->setOutputFileName(archivo->rutaTemporal());
    archivo_ = std::move(archivo);
    return true;
}

bool DestinoImpresion::terminarArchivo(bool bien, QString* error)
{
    if (!archivo_)
        return bien;
    impresora_->setOutputFileName(nombrePdf_);
    const std::unique_ptr<ArchivoSeguro> archivo = std::move(archivo_);
    return bien && archivo->confirmar(error);
}

bool DestinoImpresion::preparar()
{
    if (impresorasInstaladas().isEmpty())
        return pedirPdf();
    if (impresora_->outputFormat() == QPrinter::PdfFormat && impresora_->printerName().isEmpty()
        && impresora_->outputFileName().isEmpty())
        impresora_->setOutputFormat(QPrinter::NativeFormat);
    return true;
}

void DestinoImpresion::configurar(QWidget* padre)
{
    if (impresorasInstaladas().isEmpty()) {
        pedirPdf();
        return;
    }
    QPrintDialog d(impresora_.get(), padre);
    d.setWindowTitle(QStringLiteral("Configurar impresora"));
    d.exec();
}

// ---------------------------------------------------------------- chart

QString lineaPagina(qint64 pagina) { return QStringLiteral("(Página %1)").arg(pagina); }

SinAyudasDePantalla::SinAyudasDePantalla(QCustomPlot* grafico) : grafico_(grafico)
{
    if (QCPLayer* capa = grafico_->layer(QString::fromLatin1(kCapaSuperpuesta))) {
        visible_ = capa->visible();
        capa->setVisible(false);
    }
}

SinAyudasDePantalla::~SinAyudasDePantalla()
{
    if (QCPLayer* capa = grafico_->layer(QString::fromLatin1(kCapaSuperpuesta)))
        capa->setVisible(visible_);
}

void dibujarGrafico(QCustomPlot* grafico, QCPPainter& pintor, const QRectF& area, double factor)
{
    const SinAyudasDePantalla sinAyudas(grafico);
    const int ancho = qMax(100, int(grafico->width() * factor));
    const int alto = qMax(100, int(ancho * area.height() / area.width()));
    // Drawn first as a picture at the chart's own resolution: its fonts, given
    // in points, keep their size relative to the chart on any printer.
    QPicture dibujo;
    {
        QCPPainter p(&dibujo);
        p.setMode(QCPPainter::pmVectorized);
        p.setMode(QCPPainter::pmNoCaching);
        grafico->toPainter(&p, ancho, alto);
    }
    pintor.save();
    pintor.translate(area.topLeft());
    // A picture plays back scaled from its resolution to the device's.
    const double ajuste = double(dibujo.logicalDpiX()) / pintor.device()->logicalDpiX();
    pintor.scale(area.width() / ancho * ajuste, area.height() / alto * ajuste);
    pintor.drawPicture(0, 0, dibujo);
    pintor.restore();
}

TFormaImpresion::TFormaImpresion(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("formaImpresion"));
    // FormCreate.
    setWindowTitle(QStringLiteral("Impresión del gráfico"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    auto* capa = new QVBoxLayout(this);

    grupoPaginas = new QGroupBox(QStringLiteral("Paginas a imprimir"), this);
    auto* g2 = new QGridLayout(grupoPaginas);
    RadioTodas = new QRadioButton(QStringLiteral("Todas"), grupoPaginas);
    RadioActual = new QRadioButton(QStringLiteral("Página actual"), grupoPaginas);
    RadioParcial = new QRadioButton(QStringLiteral("Parcial"), grupoPaginas);
    // One sheet unless the operator asks for more: "Todas" on a chart of
    // short pages can mean thousands of sheets.
    RadioActual->setChecked(true);
    etiquetaTotalPaginas = new QLabel(QStringLiteral("(1)"), grupoPaginas);
    etiquetaDesde = new QLabel(QStringLiteral("Desde"), grupoPaginas);
    etiquetaHasta = new QLabel(QStringLiteral("Hasta"), grupoPaginas);
    EditDesde = new TEditKbr(grupoPaginas);
    EditHasta = new TEditKbr(grupoPaginas);
    for (TEditKbr* e : {EditDesde, EditHasta}) {
        e->Numeric = true;
        e->ShowKbr = true;
        e->setMaximumWidth(70);
    }
    EditDesde->setObjectName(QStringLiteral("EditDesde"));
    EditHasta->setObjectName(QStringLiteral("EditHasta"));
    g2->addWidget(RadioTodas, 0, 0);
    g2->addWidget(etiquetaTotalPaginas, 0, 1);
    g2->addWidget(RadioActual, 1, 0);
    g2->addWidget(RadioParcial, 2, 0);
    g2->addWidget(etiquetaDesde, 2, 1);
    g2->addWidget(EditDesde, 2, 2);
    g2->addWidget(etiquetaHasta, 2, 3);
    g2->addWidget(EditHasta, 2, 4);
    capa->addWidget(grupoPaginas);

    grupoResolucion = new QGroupBox(QStringLiteral("Resolución de la impresión"), this);
    auto* g1 = new QHBoxLayout(grupoResolucion);
    etiquetaMenor = new QLabel(QStringLiteral("Menor"), grupoResolucion);
    barraResolucion = new QSlider(Qt::Horizontal, grupoResolucion);
    barraResolucion->setRange(0, 100);
    barraResolucion->setValue(50);
    barraResolucion->setSingleStep(1);
    barraResolucion->setTickPosition(QSlider::TicksBelow);
    barraResolucion->setTickInterval(10);
    etiquetaMayor = new QLabel(QStringLiteral("Mayor"), grupoResolucion);
    g1->addWidget(etiquetaMenor);
    g1->addWidget(barraResolucion, 1);
    g1->addWidget(etiquetaMayor);
    capa->addWidget(grupoResolucion);

    etiquetaProgreso = new QLabel(QStringLiteral("Progreso de la impresión"), this);
    barraProgreso = new QProgressBar(this);
    barraProgreso->setRange(0, 1);
    barraProgreso->setValue(0);
    capa->addWidget(etiquetaProgreso);
    capa->addWidget(barraProgreso);

    auto* botones = new QHBoxLayout;
    BotonAceptar = new QPushButton(QStringLiteral("&Aceptar"), this);
    BotonCancelar = new QPushButton(QStringLiteral("&Cancelar"), this);
    BotonConfigurar = new QPushButton(QStringLiteral("Configurar Impresora"), this);
    BotonAceptar->setDefault(true);
    botones->addWidget(BotonAceptar);
    botones->addWidget(BotonCancelar);
    botones->addWidget(BotonConfigurar);
    capa->addLayout(botones);
    setFixedSize(335, 280);

    habilitarRango(false);
    connect(RadioTodas, &QRadioButton::clicked, this, &TFormaImpresion::RadioTodasClick);
    connect(RadioActual, &QRadioButton::clicked, this, &TFormaImpresion::RadioActualClick);
    connect(RadioParcial, &QRadioButton::clicked, this, &TFormaImpresion::RadioParcialClick);
    connect(EditDesde, &QLineEdit::textEdited, this, &TFormaImpresion::EditDesdeChange);
    connect(EditHasta, &QLineEdit::textEdited, this, &TFormaImpresion::EditHastaChange);
    connect(barraResolucion, &QSlider::valueChanged, this, &TFormaImpresion::TrackBar1Change);
    connect(BotonConfigurar, &QPushButton::clicked, this, &TFormaImpresion::BotonConfigurarClick);
    connect(BotonAceptar, &QPushButton::clicked, this, [this] { BotonAceptarClick(); });
    connect(BotonCancelar, &QPushButton::clicked, this, &TFormaImpresion::BotonCancelarClick);
}

void TFormaImpresion::ponerGrafico(GraficoImprimible* g)
{
    grafico_ = g;
    if (g)
        setWindowTitle(QStringLiteral("Impresión: ") + g->captionVentana());
}

void TFormaImpresion::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    FormActivate();
}

void TFormaImpresion::FormActivate()
{
    const qint64 total = grafico_ ? qMax<qint64>(1, grafico_->totalPaginas()) : 1;
    etiquetaTotalPaginas->setText(QStringLiteral("(%1)").arg(total));
    barraProgreso->setValue(0);
    EditDesde->setText(QStringLiteral("1"));
    EditHasta->setText(QString::number(total));
    PaginaGuardada = grafico_ ? grafico_->paginaActual() : 1;
    tituloCambiado_ = false;
    CancelarImpresion = false;
}

void TFormaImpresion::habilitarRango(bool si)
{
    for (QWidget* w : {static_cast<QWidget*>(etiquetaDesde), static_cast<QWidget*>(etiquetaHasta), static_cast<QWidget*>(EditDesde),
                       static_cast<QWidget*>(EditHasta)})
        w->setEnabled(si);
}

void TFormaImpresion::RadioTodasClick() { habilitarRango(false); }
void TFormaImpresion::RadioActualClick() { habilitarRango(false); }
void TFormaImpresion::RadioParcialClick() { habilitarRango(true); }

void TFormaImpresion::revisarEntero(TEditKbr* e)
{
    bool ok = false;
    e->text().trimmed().toLongLong(&ok);
    if (ok || e->text().isEmpty())
        return;
    e->setFocus();
    e->selectAll();
    QApplication::beep();
}

void TFormaImpresion::EditDesdeChange() { revisarEntero(EditDesde); }
void TFormaImpresion::EditHastaChange() { revisarEntero(EditHasta); }

void TFormaImpresion::TrackBar1Change() { resolucion_ = -barraResolucion->value(); }

double TFormaImpresion::factorResolucion() const
{
    // 0 ("Menor") prints the chart as laid out on screen; -100 ("Mayor") lays
    // it out three times as wide, so lines and texts come out finer.
    return resolucion_ > 0 ? 1.0 : 1.0 - resolucion_ / 50.0;
}

void TFormaImpresion::BotonConfigurarClick() { DestinoImpresion::comun().configurar(this); }

bool TFormaImpresion::imprimirPaginas(qint64 desde, qint64 hasta, bool apaisado, QString* error)
{
    QPrinter& impresora = DestinoImpresion::comun().impresora();
    const QPageLayout::Orientation orientacion = impresora.pageLayout().orientation();
    if (apaisado)
        impresora.setPageOrientation(QPageLayout::Landscape);
    QCPPainter pintor;
    DestinoImpresion& destino = DestinoImpresion::comun();
    bool bien = destino.empezarArchivo(error);
    if (bien && !pintor.begin(&impresora)) {
        bien = false;
        *error = QStringLiteral("No se pudo comenzar la impresión");
    } else if (bien) {
        pintor.setMode(QCPPainter::pmVectorized);
        pintor.setMode(QCPPainter::pmNoCaching);
        const QRectF area(QPointF(0, 0), impresora.pageLayout().paintRectPixels(impresora.resolution()).size());
        barraProgreso->setRange(0, int(qMin<qint64>(hasta - desde + 1, INT_MAX)));
        for (qint64 p = desde; p <= hasta; ++p) {
            if (p > desde && !impresora.newPage()) {
                *error = QStringLiteral("No se pudo pasar a la página siguiente");
                bien = false;
                break;
            }
            grafico_->irAPagina(p);
            grafico_->ponerTituloGrafico(TituloGuardado + lineaPagina(p));
            tituloCambiado_ = true;
            dibujarGrafico(grafico_->grafico(), pintor, area, factorResolucion());
            barraProgreso->setValue(int(qMin<qint64>(p - desde + 1, INT_MAX)));
            // Cancelar can be pressed between pages.
            QCoreApplication::processEvents();
            if (CancelarImpresion)
                break;
        }
        if (!pintor.end() && bien) {
            *error = QStringLiteral("No se pudo terminar la impresión");
            bien = false;
        }
    }
    // A cancelled or failed print leaves the old file as it was.
    bien = destino.terminarArchivo(bien && !CancelarImpresion, error) || (bien && CancelarImpresion);
    if (apaisado)
        impresora.setPageOrientation(orientacion);
    return bien;
}

void TFormaImpresion::restaurar()
{
    if (!grafico_)
        return;
    if (tituloCambiado_)
        grafico_->ponerTituloGrafico(tituloOriginal_);
    tituloCambiado_ = false;
    grafico_->irAPagina(PaginaGuardada);
}

bool TFormaImpresion::BotonAceptarClick()
{
    if (imprimiendo_ || !grafico_)
        return false;
    const qint64 total = qMax<qint64>(1, grafico_->totalPaginas());
    qint64 desde = 1, hasta = total;
    const bool apaisado = RadioParcial->isChecked();
    if (RadioActual->isChecked()) {
        desde = hasta = qBound<qint64>(1, grafico_->paginaActual(), total);
    } else if (RadioParcial->isChecked()) {
        bool okD = false, okH = false;
        desde = EditDesde->text().trimmed().toLongLong(&okD);
        hasta = EditHasta->text().trimmed().toLongLong(&okH);
        if (!okD || !okH || desde < 1 || desde > hasta || hasta > total) {
            dialogos().mensaje(kTituloError,
                               QStringLiteral("Las páginas a imprimir deben ser números enteros con "
                                              "1 ≤ Desde ≤ Hasta ≤ %1.")
                                   .arg(total),
                               Icono::Error, Botones::Ok);
            TEditKbr* malo = okD && desde >= 1 && desde <= total ? EditHasta : EditDesde;
            malo->setFocus();
            malo->selectAll();
            return false;
        }
    }
    const qint64 hojas = hasta - desde + 1;
    if (hojas > kHojasSinPreguntar
        && dialogos().mensaje(kTituloPregunta,
                              QStringLiteral("Se imprimirán %1 hojas. ¿Desea imprimirlas todas?").arg(hojas),
                              Icono::Pregunta, Botones::SiNo)
               != Respuesta::Si)
        return false;
    if (!DestinoImpresion::comun().preparar())
        return false;

    imprimiendo_ = true;
    CancelarImpresion = false;
    barraProgreso->setValue(0);
    PaginaGuardada = grafico_->paginaActual();
    tituloOriginal_ = grafico_->tituloGrafico();
    TituloGuardado = tituloOriginal_.isEmpty() ? QString() : tituloOriginal_ + QLatin1Char('\n');
    QString error;
    const bool bien = imprimirPaginas(desde, hasta, apaisado, &error);
    restaurar();
    imprimiendo_ = false;
    if (!bien) {
        dialogos().mensaje(kTituloError, QStringLiteral("No se pudo imprimir el gráfico: ") + error, Icono::Error,
                           Botones::Ok);
        return false;
    }
    if (CancelarImpresion)
        QDialog::reject();
    else
        accept();
    return true;
}

void TFormaImpresion::BotonCancelarClick()
{
    CancelarImpresion = true;
    // A running print restores the chart itself when it stops.
    if (imprimiendo_)
        return;
    restaurar();
    QDialog::reject();
}

void TFormaImpresion::reject() { BotonCancelarClick(); }

} // namespace ombrix
