#include "instrumento.h"

#include <algorithm>
#include <cmath>

namespace ombrix::sim {

namespace {
// Process model, in units of the measured value (e.g. degrees): the heater at
// full output lifts the process kGanancia above the ambient with a first-order
// lag; the sensor reads kMinimo..kMaximo.
constexpr double kAmbiente = 20.0;
constexpr double kGanancia = 1400.0;
constexpr double kConstanteTiempo = 10.0;  // s
constexpr double kLazo = 10.0;             // loop gain of the built-in PI control
constexpr double kMinimo = -200.0;
constexpr double kMaximo = 1200.0;
constexpr double kRuido = 0.03;            // standard deviation of the sensor noise
constexpr double kHisteresis = 0.2;        // of the alarms 2..4

// Target of each segment of a program: odd segments ramp to it, even ones soak.
constexpr double kObjetivos[Instrumento::kSegmentos] = {100, 100, 250, 250, 180, 180, 40, 40};

qint16 aInt16(double v)
{
    return static_cast<qint16>(std::clamp(std::lround(v), -32768L, 32767L));
}
} // namespace

Instrumento::Instrumento(bool programador, quint32 semilla)
    : programador_(programador), azar_(semilla)
{
    // One decimal: raw values are tenths.
    regs_[reg::Decimales] = 1;
    regs_[reg::FueraRango] = 0;
    regs_[reg::SP1] = 500;
    regs_[reg::SetPoint] = 500;
    regs_[reg::SP2] = 300;
    regs_[reg::AL1] = 800;   // high limit (alarm 2)
    regs_[reg::AL2] = 100;   // low limit (alarm 3)
    regs_[reg::AB1] = 100;
    regs_[reg::AB2] = 100;
    regs_[reg::ABA1] = 50;   // deviation band (alarm 4)
    regs_[reg::ABA2] = 50;
    regs_[reg::RS1] = 0;
    regs_[reg::RS2] = 0;
    regs_[reg::IN1] = 240;
    regs_[reg::IN2] = 240;
    regs_[reg::DR1] = 60;
    regs_[reg::DR2] = 60;
    regs_[reg::ST1] = 1;
    regs_[reg::ST2] = 0;
    regs_[reg::Modo] = 0;
    regs_[reg::PotenciaManual] = 0;
    regs_[reg::VActual] = 200;
    regs_[reg::Potencia] = 0;
    regs_[reg::Alarma1] = 0;
    regs_[reg::Alarma2] = 0;
    regs_[reg::Alarma3] = 0;
    regs_[reg::Alarma4] = 0;
    if (programador_) {
        regs_[reg::NProg] = 1;
        regs_[reg::NSeg] = 1;
        regs_[reg::Temp] = kLargoSegmento;
    } else {
        regs_[reg::NProg] = 0;
        regs_[reg::NSeg] = 0;
        regs_[reg::Temp] = 0;
    }
    pv_ = regs_[reg::VActual];
    sp_ = regs_[reg::SetPoint];
}

double Instrumento::divisor() const
{
    const int codigo = leer(reg::Decimales);
    return (codigo >= 0 && codigo <= 3) ? std::pow(10.0, codigo) : 1.0;
}

void Instrumento::escribir(quint16 registro, qint16 valor)
{
    regs_[registro] = valor;
    switch (registro) {
    case reg::SP1:
    case reg::SetPoint:
        // The working set point is SP1; the set point register shows it.
        regs_[reg::SP1] = valor;
        regs_[reg::SetPoint] = valor;
        sp_ = valor;
        break;
    case reg::VActual:
        pv_ = valor;
        break;
    case reg::FueraRango:
        rangoForzado_ = valor;
        break;
    case reg::Modo:
        if (valor == 0)
            integral_ = salida_;  // bumpless return to automatic
        break;
    case reg::Temp:
        restante_ = valor;
        break;
    case reg::NProg:
        if (valor <= 0)
            enMarcha_ = false;
        break;
    default:
        break;
    }
}

void Instrumento::avanzar(double segundos)
{
    // Small steps keep the integration stable after a long pause.
    while (segundos > 1e-9) {
        const double dt = std::min(segundos, 0.1);
        paso(dt);
        segundos -= dt;
    }
}

void Instrumento::poner(quint16 registro, double valor)
{
    regs_[registro] = aInt16(valor);
}

void Instrumento::pasoPrograma(double dt, double div)
{
    const int programa = leer(reg::NProg);
    int segmento = leer(reg::NSeg);
    if (programa < 1 || programa > 50 || segmento < 1 || segmento > kSegmentos) {
        enMarcha_ = false;
        return;
    }
    if (!enMarcha_) {
        enMarcha_ = true;
        restante_ = leer(reg::Temp) > 0 ? leer(reg::Temp) : kLargoSegmento;
    }
    const double objetivo = (kObjetivos[segmento - 1] + 10.0 * (programa - 1)) * div;
    if (segmento % 2 == 1 && restante_ > dt)
        sp_ += (objetivo - sp_) * dt / restante_;  // straight ramp ending with the segment
    else
        sp_ = objetivo;
    restante_ -= dt;
    if (restante_ <= 0) {
        ++segmento;
        if (segmento > kSegmentos) {
            // End of program: the instrument keeps the last set point.
            enMarcha_ = false;
            restante_ = 0;
            regs_[reg::NProg] = 0;
            regs_[reg::NSeg] = 0;
        } else {
            restante_ += kLargoSegmento;
            regs_[reg::NSeg] = static_cast<qint16>(segmento);
        }
    }
    poner(reg::Temp, std::ceil(std::max(0.0, restante_) - 1e-9));
    poner(reg::SP1, sp_);
    poner(reg::SetPoint, sp_);
}

void Instrumento::paso(double dt)
{
    const double div = divisor();
    if (programador_)
        pasoPrograma(dt, div);

    const double ganancia = kGanancia * div;
    const double ambiente = kAmbiente * div;
    if (leer(reg::Modo) != 0) {
        salida_ = std::clamp(leer(reg::PotenciaManual) / 1000.0, 0.0, 1.0);
    } else {
        // PI control with its integral time equal to the process lag.
        const double kp = kLazo / ganancia;
        const double error = sp_ - pv_;
        integral_ = std::clamp(integral_ + kp * error * dt / kConstanteTiempo, 0.0, 1.0);
        salida_ = std::clamp(kp * error + integral_, 0.0, 1.0);
    }
    pv_ += (ambiente + ganancia * salida_ - pv_) * dt / kConstanteTiempo;

    const double medido = pv_ + ruido_(azar_) * kRuido * div;
    poner(reg::VActual, medido);
    poner(reg::Potencia, salida_ * 1000.0);
    poner(reg::Alarma1, salida_ * 1000.0);  // the output retransmitted

    int rango = 0;
    if (medido > kMaximo * div || medido > 32767)
        rango = 1;
    else if (medido < kMinimo * div || medido < -32768)
        rango = 2;
    regs_[reg::FueraRango] = static_cast<qint16>(rangoForzado_ != 0 ? rangoForzado_ : rango);

    // Alarm 2: high limit AL1; alarm 3: low limit AL2; alarm 4: deviation
    // from the set point beyond ABA1. Each with a small hysteresis.
    const double h = std::max(1.0, kHisteresis * div);
    const double alto = leer(reg::AL1), bajo = leer(reg::AL2), banda = leer(reg::ABA1);
    const double desvio = std::abs(pv_ - sp_);
    alarma_[0] = alarma_[0] ? pv_ > alto - h : pv_ >= alto;
    alarma_[1] = alarma_[1] ? pv_ < bajo + h : pv_ <= bajo;
    alarma_[2] = alarma_[2] ? desvio > banda - h : desvio > banda;
    regs_[reg::Alarma2] = alarma_[0] ? 1000 : 0;
    regs_[reg::Alarma3] = alarma_[1] ? 1000 : 0;
    regs_[reg::Alarma4] = alarma_[2] ? 1000 : 0;
}

} // namespace ombrix::sim
