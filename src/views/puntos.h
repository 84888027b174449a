#pragma once
// Row to chart points and the page arithmetic of the instrument chart. No
// widgets. Times are seconds since 1970-01-01 00:00 UTC (the chart's time
// axis); the dates and times stored are taken as they are, without zone.

#include "config/configuracion.h"

#include <QString>
#include <QtGlobal>

#include <array>
#include <string_view>

namespace ombrix {

// 30/12/1899 00:00:00, the start of the page of an empty chart.
constexpr double kOrigenFechas = -2209161600.0;

// "dd/MM/yyyy" + "hh:mm:ss" as seconds; false when either is unreadable.
bool leerFechaHora(std::string_view fecha, std::string_view hora, double& x);
// A decimal number with '.' as separator (blanks around allowed); false otherwise.
bool leerNumero(std::string_view texto, double& y);

// The seven values of a row: measured value, set point, power, alarms 1..4.
constexpr int kSeries = 7;

struct PuntosFila {
    double x = 0;
    std::array<double, kSeries> y{};
    quint8 presentes = 0;   // bit k: series k gets a point
    bool error = false;     // a text could not be read; the points before it stay
};

// Applies the row rule: nothing for a series whose flag is off or whose text is
// a marker ("Err", "N.I." always; " oF ", " uF " for the measured value);
// values read as numbers; an alarm draws at its level when its text is "100",
// otherwise at 0.
PuntosFila filaAPuntos(const TGindividual& g, std::string_view fecha, std::string_view hora,
                       const std::array<std::string_view, kSeries>& valores);

// Page length in seconds from the "hh:mm:ss" and days texts. Zero, negative or
// unreadable lengths give the default page length (10 minutes plus 1 day).
double longitudPagina(const QString& tiempo, const QString& dias);
// The "hh:mm:ss" part alone: -1 when unreadable, 0 when zero.
double segundosTiempo(const QString& tiempo);
// Start of the first page: the smallest time with its seconds cut to a multiple of ten.
double inicioDatos(double xMinimo);
// Number of pages minus one for data from `inicio` to `xMaximo` (never negative).
qint64 paginasCompletas(double xMaximo, double inicio, double largo);

// The page bar's state.
struct Paginas {
    double inicio = kOrigenFechas;   // InicioDatos
    double largo = 600;              // page length, seconds
    double xMin = 0, xMax = 0;       // extremes of the data (both inicio when empty)
    double desde = 0, hasta = 0;     // time axis range
    qint64 pagina = 1, total = 1;
    bool anterior = false, proxima = false;

    void ultima();      // Actualizar
    void primera();
    void siguiente();
    void previa();
    void irA(qint64 p);   // page p (1..total) at once
};

} // namespace ombrix
