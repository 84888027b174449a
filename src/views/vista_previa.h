#pragma once
// The print preview of a report: shows one page at a time (drawn when it is
// shown, never all of them), steps through the pages and prints them.

#include "views/informe.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QSpinBox;

namespace ombrix {

class TVistaPrevia : public QWidget {
    Q_OBJECT
public:
    TVistaPrevia(std::unique_ptr<Informe> informe, const QString& caption, QWidget* parent = nullptr);
    ~TVistaPrevia() override;

    Informe& informe() { return *informe_; }
    qint64 pagina() const { return pagina_; }
    qint64 paginas() const { return paginas_; }
    int zoom() const;   // percent
    // Pages drawn since the window opened.
    qint64 paginasDibujadas() const { return dibujadas_; }

    void irAPagina(qint64 p);
    void BotonPrimeraClick() { irAPagina(1); }
    void BotonAnteriorClick() { irAPagina(pagina_ - 1); }
    void BotonSiguienteClick() { irAPagina(pagina_ + 1); }
    void BotonUltimaClick() { irAPagina(paginas_); }
    // Prints pages desde..hasta (all by default) to the program's printer,
    // or to a PDF file when there is none. The pages go out in slices; false
    // when nothing was started.
    bool BotonImprimirClick();
    bool imprimir(qint64 desde, qint64 hasta);
    bool imprimiendo() const { return impresion_ != nullptr; }
    void cancelarImpresion();

    QPushButton *botonPrimera = nullptr, *botonAnterior = nullptr, *botonSiguiente = nullptr, *botonUltima = nullptr,
                *botonImprimir = nullptr, *botonCancelar = nullptr, *botonCerrar = nullptr;
    QLabel* etiquetaPagina = nullptr;
    QLabel* hoja = nullptr;
    QSpinBox* zoomPorcentaje = nullptr;
    QProgressBar* progreso = nullptr;

signals:
    void impresionTerminada(bool bien);

private:
    void dibujar();
    void mostrarHoja(const QImage& img, const QString& error);
    // Answers of the worker, when the rows are read on one.
    void contadas(qint64 filas, const QString& error);
    void paginaLeida(qint64 pagina, const QVector<QStringList>& filas, const QString& error);
    FilasInformeHilo* hilo_ = nullptr;
    bool contando_ = false;
    qint64 paginaLeida_ = 0;             // the page whose rows are held
    QVector<QStringList> filasPagina_;
    void pasoImpresion();
    void terminarImpresion();
    std::unique_ptr<Informe> informe_;
    qint64 pagina_ = 1, paginas_ = 1;
    qint64 dibujadas_ = 0;
    QScrollArea* area_ = nullptr;
    std::unique_ptr<ImpresionInforme> impresion_;
    QTimer pasos_;
};

// Opens the instrument report's preview over instrument n's rows as they are
// now (rows stored later are not in it), as a window of `padre`. Given the
// database file's `ruta`, its rows are read on a worker with a reader
// connection of their own: the count and each page are shown when read.
TVistaPrevia* previaInstrumento(QWidget* padre, const QSqlDatabase& db, int n, const QString& titulo,
                                const QString& ruta = QString());
// Opens the combined report's preview over the given value columns.
TVistaPrevia* previaCombinada(QWidget* padre, const QSqlDatabase& db, const QString& titulo,
                              const QVector<ColumnaComb>& columnas, const QString& ruta = QString());
// The same over rows from elsewhere (a filtered or ordered grid).
TVistaPrevia* previaCombinada(QWidget* padre, const QString& titulo, const QVector<ColumnaComb>& columnas,
                              std::unique_ptr<FilasInforme> fuente);

} // namespace ombrix
