#pragma once
// Printing from the windows: where prints go (a printer the system knows or
// a PDF file), and the chart print dialog, which prints a chart window's time
// pages one sheet each.

#include <QDialog>
#include <QPrinter>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QCustomPlot;
class QCPPainter;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;

namespace ombrix {

class ArchivoSeguro;
class TEditKbr;

// What a chart window offers to the print dialog. Its pages are its own time
// pages: page p shows [start + (p-1) * length, start + p * length].
class GraficoImprimible {
public:
    virtual ~GraficoImprimible() = default;
    virtual QCustomPlot* grafico() = 0;
    virtual qint64 totalPaginas() = 0;
    virtual qint64 paginaActual() = 0;
    virtual void irAPagina(qint64 pagina) = 0;
    virtual QString tituloGrafico() = 0;   // lines separated by '\n'
    virtual void ponerTituloGrafico(const QString& titulo) = 0;
    virtual QString captionVentana() = 0;
};

// The printer every print of the program uses, kept with its settings.
class DestinoImpresion {
public:
    static DestinoImpresion& comun();
    QPrinter& impresora() { return *impresora_; }

    // Names of the printers the system knows (tests replace it).
    static std::function<QStringList()> impresorasInstaladas;
    // Makes the printer ready. With no printer installed it prints to a PDF
    // file, asked for through a box that says so. False when cancelled.
    bool preparar();
    // Printer set-up: the system's dialog, or the PDF file when there is no printer.
    void configurar(QWidget* padre);
    bool aPdf() const { return impresora_->outputFormat() == QPrinter::PdfFormat; }

    // A print to a PDF file is written whole or not at all: empezarArchivo,
    // before painting begins, points the printer at a temporary file beside
    // the chosen one (false with the reason when the chosen one cannot be
    // written); terminarArchivo, once painting has ended, puts it in place
    // when `bien` (else discards it) and points the printer back. Nothing to
    // do for a real printer.
    bool empezarArchivo(QString* error);
    bool terminarArchivo(bool bien, QString* error);

private:
    DestinoImpresion();
    ~DestinoImpresion();
    bool pedirPdf();
    std::unique_ptr<QPrinter> impresora_;
    QString ultimoPdf_;
    std::unique_ptr<ArchivoSeguro> archivo_;
    QString nombrePdf_;   // the chosen file while the printer writes the temporary one
};

// The chart layer of the screen's own aids (click read-out, its arrow, the
// cross-hair): never printed nor saved.
inline const char* const kCapaSuperpuesta = "superpuesta";

// Hides the chart's screen aids while it lives (printing, saving an image).
class SinAyudasDePantalla {
public:
    explicit SinAyudasDePantalla(QCustomPlot* grafico);
    ~SinAyudasDePantalla();
    SinAyudasDePantalla(const SinAyudasDePantalla&) = delete;
    SinAyudasDePantalla& operator=(const SinAyudasDePantalla&) = delete;

private:
    QCustomPlot* grafico_;
    bool visible_ = false;
};

// Draws the chart as it is now over the whole printable area of `pintor`'s
// device, laid out `factor` times the chart's on-screen width (a larger
// factor: finer lines and smaller texts). The screen aids are left out.
void dibujarGrafico(QCustomPlot* grafico, QCPPainter& pintor, const QRectF& area, double factor);

// The last line a printed chart page's title gains: "(Página 7)".
QString lineaPagina(qint64 pagina);

class TFormaImpresion : public QDialog {
    Q_OBJECT
public:
    explicit TFormaImpresion(QWidget* parent = nullptr);
    // More sheets than this are printed only after the operator agrees.
    static constexpr qint64 kHojasSinPreguntar = 10;

    // The chart to print; the caption becomes "Impresión: " and its window's caption.
    void ponerGrafico(GraficoImprimible* g);
    GraficoImprimible* graficoActual() const { return grafico_; }

    void FormActivate();
    void RadioTodasClick();
    void RadioActualClick();
    void RadioParcialClick();
    void EditDesdeChange();
    void EditHastaChange();
    void TrackBar1Change();
    void BotonConfigurarClick();
    // Prints the chosen pages and closes the dialog. False (the dialog stays)
    // when the range is wrong, the destination was cancelled or printing failed.
    bool BotonAceptarClick();
    void BotonCancelarClick();

    bool imprimiendo() const { return imprimiendo_; }
    qint64 PaginaGuardada = 1;
    QString TituloGuardado;
    bool CancelarImpresion = false;
    // Chart layout width factor from the track bar (1: the chart's own).
    double factorResolucion() const;

    QGroupBox *grupoPaginas = nullptr, *grupoResolucion = nullptr;
    QRadioButton *RadioTodas = nullptr, *RadioActual = nullptr, *RadioParcial = nullptr;
    QLabel *etiquetaDesde = nullptr, *etiquetaHasta = nullptr, *etiquetaProgreso = nullptr, *etiquetaTotalPaginas = nullptr, *etiquetaMenor = nullptr,
           *etiquetaMayor = nullptr;
    TEditKbr *EditDesde = nullptr, *EditHasta = nullptr;
    QSlider* barraResolucion = nullptr;
    QProgressBar* barraProgreso = nullptr;
    QPushButton *BotonAceptar = nullptr, *BotonCancelar = nullptr, *BotonConfigurar = nullptr;

protected:
    void showEvent(QShowEvent* e) override;
    void reject() override;   // Escape: Cancelar

private:
    void habilitarRango(bool si);
    void revisarEntero(TEditKbr* e);
    bool imprimirPaginas(qint64 desde, qint64 hasta, bool apaisado, QString* error);
    void restaurar();
    GraficoImprimible* grafico_ = nullptr;
    int resolucion_ = 1;   // the chart's print resolution: 1 until the track bar moves, then -position
    bool imprimiendo_ = false;
    bool tituloCambiado_ = false;
    QString tituloOriginal_;
};

} // namespace ombrix
