#pragma once
// Forwards every row the line records to the plant's central PostgreSQL
// database, on a thread of its own.
//
// The local file is the queue: rows are written there first, as always, and
// the thread reads those the server does not have yet through a reader
// connection of its own, in Id order, a batch at a time (COPY into a
// temporary table, then INSERT ... ON CONFLICT DO NOTHING, in one
// transaction). The last Id of every table is read back from the server at
// each connection, so a restart, a server that lost its connection in the
// middle of a batch or a recorder killed in one never leaves a gap or a row
// twice. Nothing is dropped: while the server is away the rows wait in the
// file. The stream only wakes the thread; recording never waits for it.
//
// The thread reconnects with a growing pause (1 s doubling to 30 s) and says
// once per episode when the server is lost and when it is back, with the
// rows waiting. A clean stop forwards what is pending for a few seconds at
// most.

#include "integration/integraciones.h"

#include <QString>

#include <functional>
#include <memory>
#include <thread>

namespace ombrix {

class Reenviador : public Oyente {
public:
    struct Destino {
        QString url;      // libpq URL, without password
        QString clave;    // empty: libpq's own sources (PGPASSWORD, PGPASSFILE)
        QString linea;    // checked name of the line on the server
        QString zona;     // IANA time zone of the stored dates and times; empty: this computer's
        int lote = 20000; // rows per transaction at most
        int esperaFinalMs = 3000;   // a clean stop forwards for this long at most
        int pausaMaximaMs = 30000;  // longest pause between attempts to connect
    };

    // `ruta`: the local database file (may be empty until baseAbierta).
    // `avisar` gets the status texts, from the forwarder's thread.
    Reenviador(const Destino& destino, const QString& ruta, std::function<void(const QString&)> avisar);
    ~Reenviador() override;

    void archivoAbierto(const QString& ruta) override;
    void filaNueva(int n) override;
    void evento(const Evento&) override;
    void detener() override;

    const Destino& destino() const { return destino_; }

    struct Cifras {
        qint64 enviadas = 0;   // rows the server committed (re-sent ones included)
        qint64 enEspera = 0;   // rows of the file the server does not have, at the last look
        bool conectado = false;
        qint64 lotes = 0;      // committed transactions
    };
    Cifras cifras() const;

    struct Estado;   // shared with the thread

private:
    Destino destino_;
    std::shared_ptr<Estado> e_;
    std::thread hilo_;
};

} // namespace ombrix
