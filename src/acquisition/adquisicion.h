#pragma once
// The acquisition cycle: the start and stop commands, the polling thread and
// the one-second tick that decides when readings are recorded. It needs no
// window: the program shows what it reports through signals, the headless
// recorder prints it.

#include "acquisition/lectura.h"
#include "config/modelo.h"
#include "link/modbus.h"

#include <QMutex>
#include <QObject>
#include <QThread>
#include <QVector>
#include <atomic>
#include <functional>

namespace ombrix {

class Adquisicion;

// The polling thread: it only loops, stamps the time, hands each instrument's
// turn to the main thread and waits; it never touches the model itself.
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

    TEstadoPuerto EstadoPuerto;
    std::atomic<bool> DespertarAdquisicion{false};
    std::atomic<int> InstrumentoActual{0};
    // Pause before every read of an instrument (3 ms on a real line).
    int pausaLecturaMs = 3;
    // Pause of the stop command before the port is closed.
    int esperaTerminarMs = 500;

    // The start command: false when the port could not be opened (both
    // messages shown, acquisition off).
    bool ComenzarExecute();
    void TerminarExecute();
    // The recording part of the one-second tick (the clock is the window's).
    void Timer1Timer();

    bool adquiriendo() const { return modelo_.Adquiriendo; }
    // Waits until the polling thread has ended (after a stop).
    bool esperarHilo(int ms);
    // Number of completed passes since the start (for status lines and tests).
    int pasadas() const { return pasadas_; }

    static QString fechaTexto(const QDateTime& t);   // "dd/MM/yyyy"
    static QString horaTexto(const QDateTime& t);    // "hh:mm:ss"

signals:
    // Acquisition switched on or off ("Sistema en linea" / "Sistema fuera de linea").
    void enLinea(bool activa);
    // A text for panel 0 of the status bar.
    void estado(const QString& texto);
    // Instrument n is being read (its panel shows it).
    void consultando(int n);
    // One reading of instrument n is done.
    void lecturaHecha(int n, const ombrix::ResultadoLectura& r);
    // The row of instrument n was stored.
    void filaGuardada(int n);
    // Storing rows failed (shown once until storing works again) / works again.
    void falloRegistro(const QString& mensaje);
    void registroRecuperado();
    // A synchronised recording begins: its first row takes a fresh date and time.
    void nuevaRonda();
    // A polling pass ended.
    void pasadaTerminada(int numero);

private:
    friend class TAdquirirThread;
    // Runs on the main thread for the thread: reads instrument n if it is
    // enabled and not latched. False when the pass is to end (stopped, or n
    // beyond the last instrument).
    bool visitar(int n, const QString& fecha, const QString& hora);
    // Main thread, before a pass: false (and the thread marked as ended) when
    // acquisition is off or the port is not open.
    bool comenzarPasada();
    // Main thread, after a pass: counts it and gives the polling period.
    qint32 finDePasada();
    bool esperaCorta(qint32 segundos);   // the thread's wait; false when it is to end

    Modelo& modelo_;
    EnlaceModbus& enlace_;
    TAdquirirThread hilo_;
    QMutex mutexHilo_;
    bool hiloVivo_ = false;
    QVector<EstadoDecimales> decimales_;
    bool falloMostrado_ = false;
    int pasadas_ = 0;
};

} // namespace ombrix
