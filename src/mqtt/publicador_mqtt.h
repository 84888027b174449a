#pragma once
// Publishes the line's live values to the plant's MQTT broker (libmosquitto,
// MQTT 3.1.1 or 5), on a thread of its own.
//
// The stream only puts each reading into a bounded queue and wakes the
// thread; it never waits for the network. While the broker is away the
// readings wait there; when the queue is full the oldest is dropped and
// counted. The thread reconnects with a growing pause (1 s doubling to 30 s)
// and says once per episode when the broker is lost and when it is back,
// with the number dropped meanwhile. Readings handed to the broker and not
// acknowledged when the connection drops are sent again after it returns
// (QoS 1 and 2: at least once).
//
// The instruments' availability and the program's state are retained values,
// not queued: the broker always gets the latest after every connection. The
// last will sets "<prefijo>/estado" to "offline", so a program that dies
// shows offline.

#include "config/ajustes_mqtt.h"
#include "integration/integraciones.h"

#include <QString>

#include <functional>
#include <memory>
#include <thread>

namespace ombrix {

class PublicadorMqtt : public Oyente {
public:
    // `ajustes` must name a server and carry a valid prefix (Integraciones
    // checks both). `avisar` gets the status texts, from the publisher's thread.
    PublicadorMqtt(const AjustesMqtt& ajustes, std::function<void(const QString&)> avisar);
    ~PublicadorMqtt() override;

    void lectura(const LecturaPlanta& l) override;
    void disponibilidad(int n, bool disponible) override;
    void enLinea(bool activa) override;
    // Publishes "offline", hands over what is queued for up to three seconds
    // while connected, disconnects and ends the thread.
    void detener() override;

    const AjustesMqtt& ajustes() const { return ajustes_; }

    struct Cifras {
        qint64 publicadas = 0;   // readings the broker acknowledged (QoS 0: written)
        qint64 descartadas = 0;  // readings dropped from a full queue
        int enCola = 0;          // readings waiting
        bool conectado = false;
    };
    Cifras cifras() const;

    struct Estado;   // shared with the thread

private:
    AjustesMqtt ajustes_;
    std::shared_ptr<Estado> e_;
    std::thread hilo_;
};

} // namespace ombrix
