#pragma once
// The batch report: one PDF (or printer job) for a load, with its figures,
// one chart page of measured value and set point, the instrument's events in
// the interval, the signature lines and the seal of the rows it used. No
// widgets: shared by the table window and ombrix-report.

#include "events/partida.h"

class QPagedPaintDevice;

namespace ombrix {

struct EncabezadoPartida {
    QString titulo;    // the instrument's title
    QString unidad;    // of the measured value
    QString archivo;   // the database's file name (for the check line)
};

// Pages the report takes.
int paginasInformePartida(const DatosPartida& d);
// Draws the whole report on `dispositivo` (its page layout is set here).
bool imprimirInformePartida(const DatosPartida& d, const EncabezadoPartida& e, QPagedPaintDevice& dispositivo,
                            QString* error = nullptr);
// Writes the report as a PDF at `ruta`, whole or not at all.
bool guardarInformePartida(const DatosPartida& d, const EncabezadoPartida& e, const QString& ruta, QString* error = nullptr);

} // namespace ombrix
