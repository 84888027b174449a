#pragma once
// The batches (loads) of an instrument's table to choose from, and the batch
// report of the one chosen, written as a PDF.

#include "events/partida.h"

#include <QDialog>

class QPushButton;
class QTableWidget;

namespace ombrix {

struct ContextoVistas;

class TFormaPartidas : public QDialog {
    Q_OBJECT
public:
    TFormaPartidas(ContextoVistas& c, int n, QWidget* parent = nullptr);

    QTableWidget* rejillaPartidas = nullptr;
    QPushButton* botonInforme = nullptr;
    QPushButton* botonCerrar = nullptr;

    const QVector<PartidaListada>& partidas() const { return partidas_; }
    // Writes the report of batch `codigo` to `ruta`; false after telling why.
    bool generarInforme(const QString& codigo, const QString& ruta);
    // Asks where and writes the report of the selected batch.
    void BotonInformeClick();

private:
    ContextoVistas& ctx_;
    int n_;
    QVector<PartidaListada> partidas_;
};

// Opens the batch list of instrument n over `padre`.
TFormaPartidas* abrirPartidas(ContextoVistas& c, int n, QWidget* padre);

} // namespace ombrix
