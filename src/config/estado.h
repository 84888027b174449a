#pragma once
// The runtime state of the instruments while the program runs: what each
// panel (or the headless recorder in its place) holds live, the recording
// counters and the last values of a synchronised recording. None of it is
// saved.

#include <QString>
#include <QVector>

#include <array>
#include <atomic>

namespace ombrix {

// Live state of instrument n while it is on screen or polled.
struct EstadoInstrumento {
    bool Vivo = false;                // a panel (or a headless stand-in) exists for n
    quint8 Direccion = 0;             // slave address
    bool AlarmaCom = false;           // communication alarm latched
    bool Habilitado = false;          // enabled on the panel
    bool RegistroPendiente = false;   // a row is due
    QString Partida;                  // batch code
    QString Titulo, Unidad;           // panel title and unit captions

    bool operator==(const EstadoInstrumento&) const = default;
};

class EstadoEjecucion {
public:
    QVector<EstadoInstrumento> Estados;
    QVector<qint32> ContadorBarrido;
    QVector<std::array<QString, 7>> UltimosValores;   // value, set point, power, alarms 1..4

    QString RutaBase;     // the database file in use
    bool Cargando = false;   // the panels are being built
    std::atomic<bool> Adquiriendo{false};
    qint32 ContadorSinc = 0;

protected:
    // Every per-instrument array to length `largo` (keep: only grow).
    void ajustarEstado(int largo, bool soloCrecer);
};

} // namespace ombrix
