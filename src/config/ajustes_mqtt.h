#pragma once
// The settings of the publisher of live values to the plant's MQTT broker:
// section "MQTT" of the settings file. Nothing is written there until the
// user saves them; a file without the section leaves publishing off.

#include <QString>

namespace ombrix {

class Perfil;

struct AjustesMqtt {
    static constexpr int kPuertoPorDefecto = 1883;
    static constexpr int kPuertoTlsPorDefecto = 8883;
    // Ten minutes of 20 instruments at one reading a second.
    static constexpr int kColaPorDefecto = 12000;
    static constexpr int kColaMinima = 10;
    static constexpr int kColaMaxima = 1000000;

    bool activo = false;        // "Activo"
    QString servidor;           // "Servidor": host name or address
    int puerto = 0;             // "Puerto"; 0: 1883, or 8883 with TLS
    QString idCliente;          // "IdCliente"; empty: "ombrix-<computer>-<process>"
    QString usuario;            // "Usuario"
    QString clave;              // "Clave" (the publisher takes OMBRIX_MQTT_CLAVE instead when it is set)
    QString archivoCA;          // "ArchivoCA": with a file, the connection uses TLS and checks the server against it
    QString prefijo;            // "Prefijo"; empty: "ombrix/<computer>/<port name>"
    int qos = 1;                // "QoS": 0, 1 or 2
    int protocolo = 5;          // "Protocolo": 5 (MQTT 5) or 311 (MQTT 3.1.1)
    int cola = kColaPorDefecto; // "Cola": readings kept while the broker is away
    bool homeAssistant = false; // "HomeAssistant": discovery messages, so each measured value appears there by itself

    int puertoEfectivo() const { return puerto > 0 ? puerto : (archivoCA.isEmpty() ? kPuertoPorDefecto : kPuertoTlsPorDefecto); }

    bool operator==(const AjustesMqtt&) const = default;
};

// The section's name in the settings file.
QString seccionMqtt();

// Reads the section; missing or invalid values take their defaults (QoS,
// protocol and queue size out of range too).
AjustesMqtt leerAjustesMqtt(const Perfil& perfil);
// Writes every key of the section.
void escribirAjustesMqtt(Perfil& perfil, const AjustesMqtt& ajustes);

} // namespace ombrix
