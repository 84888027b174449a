#pragma once
// One simulated instrument: its register file and the process it controls.
// Not thread-safe; the simulator guards every instrument with its lock.

#include "sim/simulador.h"

#include <QHash>

#include <random>

namespace ombrix::sim {

class Instrumento {
public:
    Instrumento(bool programador, quint32 semilla);

    bool programador() const { return programador_; }
    qint16 leer(quint16 registro) const { return regs_.value(registro, 0); }
    // Stores the value; registers that steer the process also change its state
    // (set point, mode, program, forced range state, measured value).
    void escribir(quint16 registro, qint16 valor);
    // Moves the process on by the given time.
    void avanzar(double segundos);

    Falla falla = Falla::Ninguna;
    int retardoFallaMs = 0;

    // Length of every program segment in seconds (the segment time counts
    // down once a second) and number of segments of every program.
    static constexpr int kLargoSegmento = 30;
    static constexpr int kSegmentos = 8;

private:
    void paso(double dt);
    void pasoPrograma(double dt, double divisor);
    void poner(quint16 registro, double valor);
    double divisor() const;

    bool programador_;
    QHash<quint16, qint16> regs_;
    std::mt19937 azar_;
    std::normal_distribution<double> ruido_{0.0, 1.0};

    double pv_ = 0;          // process value, raw units
    double sp_ = 0;          // working set point, raw units
    double salida_ = 0;      // output 0..1
    double integral_ = 0;    // integral part of the output 0..1
    int rangoForzado_ = 0;   // written range state (0: computed)
    bool alarma_[3] = {false, false, false};
    bool enMarcha_ = false;  // a program is running
    double restante_ = 0;    // seconds left in the running segment
};

} // namespace ombrix::sim
