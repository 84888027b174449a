#pragma once
// One entry of the event log: what happened, when, to which instrument, who
// was at the keyboard and which program wrote it. The log is append-only and
// each entry carries a hash chained to the one before it.

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QStringList>

namespace ombrix {

// The kinds of event, as stored in the "Tipo" column.
namespace tipoEvento {
inline const QString Adquisicion = QStringLiteral("Adquisición");       // started / stopped
inline const QString AlarmaCom = QStringLiteral("Alarma de comunicación"); // latched / reset
inline const QString Alarma = QStringLiteral("Alarma");                  // alarm 1..4 on / off
inline const QString Comando = QStringLiteral("Comando");                // set point, mode, power, program
inline const QString Propiedad = QStringLiteral("Propiedad");            // instrument property changed
inline const QString Parametro = QStringLiteral("Parámetro");            // additional parameter changed
inline const QString Instrumento = QStringLiteral("Instrumento");        // added / removed
inline const QString Nivel = QStringLiteral("Nivel de acceso");
inline const QString Base = QStringLiteral("Base de datos");             // opened
inline const QString Puerto = QStringLiteral("Puerto");                  // lost / back
inline const QString Registro = QStringLiteral("Registro");              // storing rows fails / works again
inline const QString Partida = QStringLiteral("Partida");                // batch code entered
inline const QString Edicion = QStringLiteral("Edición de fila");        // a row edited in a table window
inline const QString Borrado = QStringLiteral("Borrado de tabla");       // "Borrar Tabla"
} // namespace tipoEvento

// Every kind, in the order the events window offers them.
QStringList tiposEvento();

// Appends a field to the bytes a hash is made of: a type mark, its length and
// its text, so that no two different rows give the same bytes.
void agregarCampoHash(QByteArray& b, const QString& texto, bool nulo = false);

struct Evento {
    qint64 id = 0;
    QString instante;        // UTC, ISO 8601 with "Z"
    QString fecha, hora;     // local, "dd/MM/yyyy" and "hh:mm:ss" as the readings store them
    int instrumento = 0;     // 1..20, 0 none
    QString tipo, texto;
    QString anterior, nuevo; // empty when the event has no value
    bool conValores = false; // anterior/nuevo hold values (else stored as NULL)
    int nivel = 0;           // access level in force
    QString equipo, usuario; // computer and system user
    QString origen;          // "Ventana" or "Registrador"
    QString hash;            // hex SHA-256 chained to the previous event's

    // The hash of this event after the one whose hash is `anterior`.
    QString calcularHash(const QString& anteriorHash) const;
};

} // namespace ombrix

Q_DECLARE_METATYPE(ombrix::Evento)
