#pragma once
// The program's help: the Spanish manual (HTML pages with the screenshots of
// docs/) in a window of its own, opened at the page of the window in use.

#include <QString>
#include <QWidget>

class QTextBrowser;
class QToolButton;

namespace ombrix {

// The folder of the manual's pages: beside an installed program
// (<prefix>/share/ombrix/docs/manual), beside the program itself
// (docs/manual), or the source tree's (a build that was not installed).
// Empty when none holds index.html.
QString carpetaManual();

// The manual's page for a window, by its class ("" for the contents page).
QString paginaAyudaPara(const QWidget* ventana);

class TFormaAyuda : public QWidget {
    Q_OBJECT
public:
    explicit TFormaAyuda(const QString& carpeta, QWidget* parent = nullptr);

    // Shows `pagina` ("grafico.html", "combinada.html#grafico"); the contents
    // page when empty or unknown.
    void mostrarPagina(const QString& pagina);
    QString paginaActual() const;

    QTextBrowser* navegador = nullptr;
    QToolButton *botonInicio = nullptr, *botonAtras = nullptr, *botonAdelante = nullptr;

private:
    QString carpeta_;
};

} // namespace ombrix
