#pragma once
// The acquisition cycle: the start and stop commands, the polling thread and
// the one-second tick that decides when readings are recorded. It needs no
// window: the program shows what it reports through signals, the headless
// recorder prints it.
//
// The polling thread owns the serial port: it opens it, runs every
// transaction on it (the readings and the commands queued by the windows, one
// at a time, never interleaved) and closes it. The main thread only decides
// what is to be read, and applies each finished reading to the model, the
// panels and the database, in the order the readings were made. Nothing on the
// main thread ever waits for the line.

#include "acquisition/lectura.h"
#include "config/modelo.h"
#include "link/modbus.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QThread>
#include <QVector>

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace ombrix {

class Adquisicion;

// The polling thread: it owns the port, runs the queued work, polls the
// instruments and waits between passes; it never touches the model itself.
class TAdquirirThread : public QThread {
    Q_OBJECT
public:
    explicit TAdquirirThread(Adquisicion& a) : adq_(a) {}

protected:
    void run() override { Execute(); }

private:
    void Execute();
    Adquisicion& adq_;
};

class Adquisicion : public QObject {
    Q_OBJECT
public:
    Adquisicion(Modelo& modelo, EnlaceModbus& enlace, QObject* parent = nullptr);
    ~Adquisicion() override;

    // Writes the row of instrument n (its reading texts, the date and time of
    // its reading); false with the reason when the row could not be stored.
    std::function<bool(int n, const std::array<QString, 7>& lecturas, const QString& fecha,
                       const QString& hora, QString* error)>
        registrar;

    // The port as the main thread sees it: open from a successful start until
    // the stop, closed while the device is missing.
    TEstadoPuerto EstadoPuerto;
    std::atomic<bool> DespertarAdquisicion{false};
    std::atomic<int> InstrumentoActual{0};
    // Pause before every read of an instrument (3 ms on a real line).
    std::atomic<int> pausaLecturaMs{3};
    // Seconds between two attempts to reopen a port whose device vanished.
    std::atomic<int> reintentoPuertoMs{3000};
    // Seconds between probes of a latched instrument; −1 takes
    // Config.ReintentoAlarma, 0 never probes.
    int reintentoAlarmaS = -1;

    // The start command. The port is opened by the polling thread; the result
    // comes back as enLinea(true), or as both messages and enLinea(false).
    void ComenzarExecute();
    // The stop command: acquisition is off at once; the polling thread ends
    // the transaction under way and closes the port.
    void TerminarExecute();
    // The recording part of the one-second tick (the clock is the window's).
    void Timer1Timer();

    // Queues work for the port's owner, between two readings. False (nothing
    // queued) when acquisition is off. `hecho` runs on receptor's thread
    // unless receptor is gone by then.
    bool encolar(QObject* receptor, TrabajoLinea trabajo);

    bool adquiriendo() const { return modelo_.Adquiriendo; }
    // Waits (serving events) until the polling thread has closed the port
    // and has nothing left to do.
    bool esperarHilo(int ms);
    // Number of completed passes since the start (for status lines and tests).
    int pasadas() const { return pasadas_; }
    // Instruments whose rows cannot be stored at the moment.
    bool registroFallando() const { return !fallandoRegistro_.isEmpty(); }

    // The reset of a latched communication alarm, as far as the model goes:
    // the instrument is polled again and records again unless it needs a
    // batch code it does not have. True when recording was switched on.
    static bool restablecerAlarmaCom(Modelo& modelo, int n);

    static QString fechaTexto(const QDateTime& t);   // "dd/MM/yyyy"
    static QString horaTexto(const QDateTime& t);    // "hh:mm:ss"
    static const QString kErrorGuardar;

signals:
    // Acquisition switched on or off ("Sistema en linea" / "Sistema fuera de linea").
    void enLinea(bool activa);
    // A text for panel 0 of the status bar.
    void estado(const QString& texto);
    // Instrument n is being read (its panel shows it).
    void consultando(int n);
    // One reading of instrument n is done (and applied to the model); fecha
    // and hora are its stamp, as its row stores them.
    void lecturaHecha(int n, const ombrix::ResultadoLectura& r, const QString& fecha, const QString& hora);
    // The communication alarm of instrument n latched / was reset by a probe.
    void alarmaComEnganchada(int n);
    void alarmaComRestablecida(int n);
    // The row of instrument n was stored.
    void filaGuardada(int n);
    // Storing rows failed (once per episode, until storing works again) / works again.
    void falloRegistro(const QString& mensaje);
    void registroRecuperado();
    // The port's device vanished (polling waits for it) / is back.
    void puertoPerdido(const QString& mensaje);
    void puertoRecuperado();
    // A synchronised recording begins: its first row takes a fresh date and time.
    void nuevaRonda();
    // A polling pass ended.
    void pasadaTerminada(int numero);

private:
    friend class TAdquirirThread;

    enum class TipoTurno { Fin, Cortar, Nada, Leer, Sondeo };
    struct Turno {
        TipoTurno tipo = TipoTurno::Fin;
        TAvanzadas1 avanzadas;
        quint8 direccion = 0;
    };
    struct Orden {
        enum Tipo { Abrir, Cerrar, Trabajo } tipo = Trabajo;
        quint64 generacion = 0;
        QString puerto;
        ParametrosPuerto parametros;
        bool dtr = false, rts = false;
        QPointer<QObject> receptor;
        TrabajoLinea trabajo;
    };

    // Main thread.
    Turno prepararTurno(int n, quint64 generacion);
    void aplicarLectura(int n, ResultadoLectura r, const QString& fecha, const QString& hora, quint64 generacion);
    void aplicarSondeo(int n, bool respondio, quint64 generacion);
    qint32 finDePasada(quint64 generacion);
    void alAbrir(FalloApertura fallo, quint64 generacion);
    void alPerderPuerto(quint64 generacion);
    void alRecuperarPuerto(quint64 generacion);
    void mostrar(const QString& texto);   // routine status texts
    int periodoSondeo() const;

    // Polling thread.
    bool procesarOrdenes();                // false when the thread is to end
    void ejecutar(Orden& o);
    void pasada();
    void esperar(qint64 ms);
    void reabrir();
    void perderPuerto();
    void cerrarPuerto();
    template <typename F>
    void alHiloPrincipal(F&& f);

    Modelo& modelo_;
    EnlaceModbus& enlace_;
    TAdquirirThread hilo_;

    // Shared between the threads, under mutex_.
    std::mutex mutex_;
    std::condition_variable cambio_;
    std::deque<Orden> ordenes_;
    bool salir_ = false;
    quint64 generacion_ = 0;            // changes with every start and stop
    std::atomic<bool> activo_{false};  // the thread is to poll
    std::atomic<bool> ocupado_{false};  // the thread holds the port or has orders

    // Owned by the polling thread.
    TEstadoPuerto puerto_;
    Orden apertura_;                     // how the port was opened, for reopening
    quint64 generacionHilo_ = 0;
    bool perdido_ = false;
    std::array<EstadoDecimales, 22> decimales_{};

    // Owned by the main thread.
    QSet<int> fallandoRegistro_;
    int pasadas_ = 0;
    QElapsedTimer reloj_;
    QVector<qint64> ultimoSondeo_;       // ms of reloj_, −1 unknown
};

} // namespace ombrix
