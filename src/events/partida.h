#pragma once
// A batch (load) of an instrument: the rows of its table that carry one
// batch code ("Partida"), and what its report states about them. The rows of
// a code are those holding it, wherever they are: rows of another code in
// between belong to that other batch. Nothing here needs a window.

#include "events/evento.h"

#include <QDateTime>
#include <QPointF>
#include <QSqlDatabase>
#include <QString>
#include <QVector>

#include <array>
#include <optional>

namespace ombrix {

struct PartidaListada {
    QString codigo;
    QString fechaInicio, horaInicio, fechaFin, horaFin;   // of its first and last row
    qint64 filas = 0;
};
// The batches of instrument table `tabla` (rows with a code), in the order of their first row.
QVector<PartidaListada> listarPartidas(const QSqlDatabase& db, const QString& tabla, QString* error = nullptr);

struct DatosPartida {
    int instrumento = 0;
    QString codigo;
    qint64 filas = 0;
    qint64 sinValor = 0;                 // rows whose measured value is not a number ("Err", "N.I."...)
    qint64 primerId = 0, ultimoId = 0;
    QString fechaInicio, horaInicio, fechaFin, horaFin;
    QDateTime inicio, fin;               // local time
    qint64 duracionS = 0;
    std::optional<double> minimo, maximo, media;   // of the numeric measured values
    std::optional<double> spMinimo, spMaximo;      // set point range
    std::array<qint64, 4> segundosAlarma{};        // time alarms 1..4 were on
    std::array<bool, 4> alarmaLeida{};             // the alarm was read in some row
    QVector<QPointF> valor, consigna;    // seconds from the start, value
    bool hayEventos = false;             // the file keeps an event log
    QVector<Evento> eventos;             // of the instrument between the first and the last row
    QString sello;                       // SHA-256 of the rows used (ombrix-verify --partida prints it)
};

// Reads batch `codigo` of instrument n. False with the reason when the rows
// cannot be read; a code without rows gives true and filas 0.
bool leerPartida(const QSqlDatabase& db, int n, const QString& codigo, DatosPartida& d, QString* error = nullptr);

// "hh:mm:ss" of a duration, with days in front when it spans more ("2 d 03:00:00").
QString textoDuracion(qint64 segundos);

} // namespace ombrix
