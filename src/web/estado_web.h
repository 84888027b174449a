#pragma once
// What the stream hands the web view and the server reads: the latest
// reading of every instrument and the line's state, and the changes not yet
// sent to the live pages. Written on the thread that applies the readings,
// read on the server's thread, always under the mutex and never for long.

#include "events/evento.h"
#include "integration/lectura_planta.h"
#include "web/datos_web.h"

#include <QJsonObject>
#include <QStringList>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace ombrix::web {

// A reading as the web view serves it: the shared JSON of a reading
// (objetoJson) and, under "textos", the seven texts as stored, so a page
// shows "25.0" as the instrument does.
QJsonObject jsonLecturaWeb(const LecturaPlanta& l);

struct InstrumentoWeb {
    int n = 0;
    QString titulo, unidad;
    bool programador = false;
    bool registrando = false;
    QStringList titulosCsv;   // the columns of its CSV
    // Under the mutex:
    std::optional<LecturaPlanta> ultima;
    bool disponible = true;
};

struct Cambio {
    enum Tipo { Lectura, Estado, Evento } tipo = Estado;
    LecturaPlanta lectura;
    ombrix::Evento evento;
};

struct EstadoWeb {
    // Changes waiting for the server, at most this many (oldest dropped first).
    static constexpr size_t kColaMaxima = 2000;

    mutable std::mutex m;
    std::map<int, InstrumentoWeb> instrumentos;
    bool enLinea = false;
    bool puertoDisponible = true;
    QString textoPuerto;
    bool registroFunciona = true;
    QString textoRegistro;
    QString rutaBase;
    std::shared_ptr<Resumenes> resumenes = std::make_shared<Resumenes>();   // has a lock of its own
    std::deque<Cambio> cola;
    qint64 descartadas = 0, descartadasEpisodio = 0;
    bool despertado = false;   // the server was told and has not drained yet
    std::function<void(const QString&)> avisar;

    // Under m: the line's state and every instrument with its last reading.
    QJsonObject json() const;
    QJsonObject jsonLinea() const;
    static QJsonObject jsonInstrumento(const InstrumentoWeb& i);
};

} // namespace ombrix::web
