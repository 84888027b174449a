#pragma once
// Everything that leaves the program (event log, MQTT, central database, web
// view) listens to one stream: the acquisition's readings and changes of
// state. This class is the one place that builds those listeners from the
// settings and connects them; the window and the headless recorder each make
// one, so the two never drift apart.
//
// The stream only hands values over, on the thread that applies the
// readings. A listener that talks to a disk or a network owns its thread and
// a bounded queue: it never makes polling or recording wait.

#include "integration/lectura_planta.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

namespace ombrix {

class Adquisicion;
class BaseDatos;
class Modelo;
class RegistroEventos;
struct Evento;
struct AjustesMqtt;
struct AjustesWeb;
struct AjustesCentral;
struct ResultadoLectura;

// Who runs the acquisition: the program's window or the headless recorder.
enum class Origen { Ventana, Registrador };

class Oyente {
public:
    virtual ~Oyente() = default;
    // A finished reading of one instrument.
    virtual void lectura(const LecturaPlanta&) {}
    // Instrument n answers again / is latched in communication alarm.
    virtual void disponibilidad(int /*n*/, bool /*disponible*/) {}
    // Acquisition switched on or off.
    virtual void enLinea(bool /*activa*/) {}
    // The port's device vanished / is back (texto: what the status bar says).
    virtual void puerto(bool /*disponible*/, const QString& /*texto*/) {}
    // Storing rows failed / works again.
    virtual void registro(bool /*funciona*/, const QString& /*texto*/) {}
    // An event of the event log (stored, or not when the database refused it: then its Id is 0).
    virtual void evento(const Evento&) {}
    // A row of instrument n was stored (and with it the combined row, if any).
    virtual void filaNueva(int /*n*/) {}
    // The writer's database file is now `ruta`.
    virtual void archivoAbierto(const QString& /*ruta*/) {}
    // Program end: finish or hand over what is pending, waiting a few seconds
    // at most, and stop the listener's thread.
    virtual void detener() {}
};

class Integraciones : public QObject {
    Q_OBJECT
public:
    Integraciones(Modelo& modelo, Origen origen, QObject* parent = nullptr);
    ~Integraciones() override;

    Origen origen() const { return origen_; }
    Modelo& modelo() { return modelo_; }

    // Listens to the acquisition `adq` (call once, after the listeners are added or before: both work).
    void conectar(Adquisicion& adq);
    // The writer's database, where the event log and the seals are kept
    // (call again with the same object after it opened another file).
    void usarBase(BaseDatos& base);

    // The event log (always built: it is the audit trail, not an option).
    RegistroEventos& eventos() { return *eventos_; }

    // Adds a listener; the stream owns it from now on.
    void agregar(std::unique_ptr<Oyente> oyente);
    // The first listener of type T, or nullptr.
    template <typename T>
    T* buscar() const
    {
        for (const auto& o : oyentes_)
            if (auto* t = dynamic_cast<T*>(o.get()))
                return t;
        return nullptr;
    }
    int cantidad() const { return int(oyentes_.size()); }
    // Stops a listener and removes it from the stream.
    void quitar(Oyente* oyente);

    // Builds the MQTT publisher from `ajustes`, in place of the one running
    // (none when publishing is off). An empty prefix takes the default of
    // this computer and line. Returns what is wrong with the settings (then
    // nothing publishes), or an empty text. Defined in src/mqtt: whoever
    // calls it links ombrix_mqtt.
    QString configurarMqtt(const AjustesMqtt& ajustes);

    // Builds the forwarder to the central database from `ajustes`, in place
    // of the one running (none when forwarding is off); it reads the file
    // given to usarBase. An empty line name takes the default of this
    // computer and line. Returns what is wrong with the settings (then
    // nothing is forwarded), or an empty text. Defined in src/central:
    // whoever calls it links ombrix_central.
    QString configurarCentral(const AjustesCentral& ajustes);

    // Builds the read-only web view from `ajustes`, in place of the one
    // running (none when it is off). Returns what stops it (the address is
    // taken, a wrong address), or an empty text; says where it listens
    // through avisar. Defined in src/web: whoever calls it links ombrix_web.
    QString configurarWeb(const AjustesWeb& ajustes);

    // Stops every listener (also done by the destructor).
    void detener();

    // A text for the status bar (window) or one output line (recorder), for
    // instance a broker lost or back. May be called from any thread.
    void avisar(const QString& texto);

signals:
    void aviso(const QString& texto);

private:
    void repartirLectura(int n, const ResultadoLectura& r, const QString& fecha, const QString& hora);
    template <typename F>
    void aTodos(F&& f);

    Modelo& modelo_;
    Origen origen_;
    std::vector<std::unique_ptr<Oyente>> oyentes_;
    RegistroEventos* eventos_ = nullptr;   // owned by oyentes_
    QString rutaBase_;                     // the writer's file, given by usarBase
    bool detenido_ = false;
};

} // namespace ombrix
