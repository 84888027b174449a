#pragma once
// The value columns of the combined table "Combinada": which of them a view
// shows, under which title. No widgets: shared by the combined table window,
// its chart, its report and the command-line tools.

#include "config/configuracion.h"

#include <QString>
#include <QVector>

namespace ombrix {

// The seven kinds of value, in the order the columns are grouped.
enum class TipoValor { Medido, SetPoint, Potencia, Alarma1, Alarma2, Alarma3, Alarma4 };
constexpr int kTiposValor = 7;

struct ColumnaComb {
    int instrumento = 0;         // 1..
    TipoValor tipo = TipoValor::Medido;
    QString campo;               // stored column name, e.g. "V_medido(Ins3)"
    QString titulo;              // e.g. "Temperatura(Horno 3)"
};

// Stored column name of one kind of value of instrument n.
QString campoCombinada(TipoValor t, int n);
// The instrument and kind of a stored value column name; false for any other name.
bool leerCampoCombinada(const QString& campo, int& n, TipoValor& t);
// The column flag (…T) and the chart flag (…G) of kind t in an instrument's record.
bool columnaElegida(const TInstGrafico& g, TipoValor t);
bool serieElegida(const TInstGrafico& g, TipoValor t);
// Whether instrument n's panel shows kind t (its display flag).
bool valorMostrado(const Configuracion& c, int n, TipoValor t);
// Instrument n's name for kind t (empty names fall back to the stored column's kind).
QString nombreValor(const Configuracion& c, int n, TipoValor t);
// "<name of the value>(<instrument title>)".
QString tituloColumnaComb(const Configuracion& c, int n, TipoValor t);

// The value columns a combined view shows: for each kind in order, each
// instrument from 1 up whose column flag of that kind is set and whose panel
// shows it. With `todas` every instrument's seven columns, flags aside, in
// the order they are stored (instrument by instrument).
QVector<ColumnaComb> columnasCombinada(const Configuracion& c, bool todas = false);

} // namespace ombrix
