#pragma once
// What the publisher sends and where: the topic tree of one line, the JSON
// of a reading, and the checks of what the user gives (prefix, broker
// address on the recorder's command line).
//
//   <prefijo>/estado            "online" / "offline", retained (the last will says "offline")
//   <prefijo>/<n>/lectura       one JSON object per reading of instrument n
//   <prefijo>/<n>/disponible    "1" / "0", retained: the instrument answers / is latched or not polled

#include "config/ajustes_mqtt.h"

#include <QByteArray>
#include <QString>

namespace ombrix {

struct LecturaPlanta;

// "ombrix/<computer>/<port name>": the port as the settings name it ("COM1");
// a device path gives its last part. Characters a topic level cannot hold
// become "_".
QString prefijoPorDefecto(const QString& equipo, const QString& puerto);

// Why `prefijo` cannot head the topics ("#", "+", an empty level, a leading
// "$", too long), or an empty text when it can.
QString problemaDePrefijo(const QString& prefijo);

// What stops publishing with `ajustes` switched on (no server, a bad prefix,
// a CA file that cannot be read), or an empty text.
QString problemaDeAjustesMqtt(const AjustesMqtt& ajustes);

QByteArray temaEstado(const QString& prefijo);
QByteArray temaLectura(const QString& prefijo, int n);
QByteArray temaDisponible(const QString& prefijo, int n);

// Home Assistant discovery of instrument n's measured value: the retained
// message's topic and its JSON (title and unit as the last reading gave them).
QByteArray temaDescubrimiento(const QString& prefijo, int n);
QByteArray jsonDescubrimiento(const QString& prefijo, int n, const QString& titulo, const QString& unidad);

// The reading as one compact JSON object. Quantities that are numbers go as
// numbers; a marker ("Err", "N.I.", " oF ", " uF ") goes as null, and the
// object "estado" keeps its text under the same name.
QByteArray jsonLectura(const LecturaPlanta& l);

// Applies "mqtt://[user@]host[:port][/prefix]" (or "mqtts://" for TLS, which
// needs the CA file of the settings) to `ajustes`, switching publishing on.
// False with the reason in `error` for anything else, a password in the
// address included.
bool aplicarDireccionMqtt(const QString& direccion, AjustesMqtt& ajustes, QString* error);

} // namespace ombrix
