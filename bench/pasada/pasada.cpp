// Time of one full polling pass over a line of 20 programmers, each with
// every quantity enabled, against the instrument simulator on a
// pseudo-terminal paced at 10 bits per byte. The pass is the one the program
// makes: the acquisition cycle's polling thread hands every instrument to the
// main thread, which reads it with the 3 ms pause before each request.
//
// The set point has a range register of its own here (FueraRango2 = the
// range register), so its decimals and range state are read as well: 14
// requests per instrument, 280 per pass.
//
// The line's minimum for one request is the one of bench-transaccion,
// max(8 ms, 16 byte times + turnaround), plus the 3 ms pause; what is
// measured beyond requests x that minimum is the overhead of the reading,
// the thread hand-over and the link code.
//
// Usage: bench-pasada [measured passes, default 3] [baud rate 4800|9600|19200, default 9600]
//                     [mqtt://host:port/prefix]
//
// With a broker address the measured passes alternate between publishing
// every reading there (the stream hands it to the MQTT publisher, as in the
// program) and not publishing, so both see the same load on the machine;
// the last line gives the two medians and their ratio.

#include "acquisition/adquisicion.h"
#include "integration/integraciones.h"
#include "mqtt/publicador_mqtt.h"
#include "mqtt/temas.h"
#include "sim/simulador.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <vector>

using namespace ombrix;

namespace {

constexpr int kInstrumentos = 20;
constexpr int kRetardoRespuestaMs = 2;
constexpr int kPausaLecturaMs = 3;
constexpr int kPeticionesPorInstrumento = 14;

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int medidas = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int baudios = argc > 2 ? std::atoi(argv[2]) : 9600;
    if (baudios != 4800 && baudios != 9600 && baudios != 19200) {
        std::fprintf(stderr, "bench-pasada: baud rate 4800, 9600 or 19200\n");
        return 2;
    }

    sim::Simulador simulador;
    for (int n = 1; n <= kInstrumentos; ++n)
        simulador.agregarInstrumento(quint8(n), true);
    simulador.setDinamica(false);
    simulador.setBaudios(baudios);
    simulador.setRitmo(true);
    simulador.setRetardoRespuesta(kRetardoRespuestaMs);
    QString pty, error;
    if (!simulador.abrirPty(&pty, &error)) {
        std::fprintf(stderr, "bench-pasada: no pseudo-terminal: %s\n", qPrintable(error));
        return 1;
    }
    simulador.iniciar();

    Modelo modelo;
    modelo.CantidadAparatos = quint8(kInstrumentos + 1);
    modelo.ActualizarMemoria();
    for (int n = 1; n <= kInstrumentos; ++n) {
        modelo.granini(n, QString());
        modelo.ArrayConfig[n].Tipo = 1;
        modelo.ArrayConfig[n].Habilitado = true;
        modelo.ArrayConfig[n].SalvarTabla = false;   // the pass only, no rows
        modelo.Avanzadas1[n].FueraRango2 = sim::reg::FueraRango;
        EstadoInstrumento& st = modelo.Estados[n];
        st.Vivo = true;
        st.Habilitado = true;
        st.Direccion = quint8(n);
    }
    modelo.Config.Puerto = pty;
    modelo.Config.BaudRate = baudios;
    modelo.Config.TiempoScan = 0;

    EnlaceModbus enlace;
    enlace.setRetries(0);
    Adquisicion adq(modelo, enlace);
    adq.pausaLecturaMs = kPausaLecturaMs;
    // The publisher behind a switch: on for the passes that publish.
    struct Conmutado : Oyente {
        std::unique_ptr<PublicadorMqtt> publicador;
        bool activo = false;
        void lectura(const LecturaPlanta& l) override
        {
            if (activo)
                publicador->lectura(l);
        }
        void detener() override { publicador->detener(); }
    };
    Integraciones integraciones(modelo, Origen::Registrador);
    Conmutado* mqtt = nullptr;
    if (argc > 3) {
        AjustesMqtt ajustes;
        QString error;
        if (!aplicarDireccionMqtt(QString::fromLocal8Bit(argv[3]), ajustes, &error)) {
            std::fprintf(stderr, "bench-pasada: %s\n", qPrintable(error));
            return 2;
        }
        auto c = std::make_unique<Conmutado>();
        c->publicador = std::make_unique<PublicadorMqtt>(ajustes, nullptr);
        mqtt = c.get();
        integraciones.agregar(std::move(c));
        integraciones.conectar(adq);
    }
    std::vector<double> msCon, msSin;

    int peticiones = 0, fallas = 0;
    std::vector<int> peticionesPorPasada;
    std::vector<double> ms;
    QElapsedTimer reloj;
    QObject::connect(&adq, &Adquisicion::lecturaHecha, &app, [&](int, const ResultadoLectura& r) {
        peticiones += r.peticiones;
        fallas += r.fallas;
    });
    // The first pass only starts the clock: it also holds the thread's start.
    QObject::connect(&adq, &Adquisicion::pasadaTerminada, &app, [&](int numero) {
        if (numero > 1) {
            ms.push_back(double(reloj.nsecsElapsed()) / 1e6);
            if (mqtt)
                (mqtt->activo ? msCon : msSin).push_back(ms.back());
            peticionesPorPasada.push_back(peticiones);
        }
        if (mqtt)
            mqtt->activo = numero % 2 == 0;
        reloj.start();
        peticiones = 0;
        if (numero > medidas) {
            adq.TerminarExecute();
            app.quit();
        }
    });
    bool fallo = false;
    QObject::connect(&adq, &Adquisicion::enLinea, &app, [&](bool activa) {
        if (!activa && !adq.adquiriendo() && ms.empty()) {
            fallo = true;
            app.quit();
        }
    });
    adq.ComenzarExecute();
    app.exec();
    if (fallo) {
        std::fprintf(stderr, "bench-pasada: cannot open %s\n", qPrintable(pty));
        return 1;
    }
    adq.esperarHilo(30000);
    simulador.detener();

    const double byteMs = 10.0 * 1000.0 / baudios;
    const double minimoPeticion = std::max(8.0, 16.0 * byteMs + kRetardoRespuestaMs) + kPausaLecturaMs;
    const int esperadas = kInstrumentos * kPeticionesPorInstrumento;
    const bool todas = std::all_of(peticionesPorPasada.begin(), peticionesPorPasada.end(),
                                   [&](int p) { return p == esperadas; });
    std::vector<double> orden = ms;
    std::sort(orden.begin(), orden.end());
    const double media = ms.empty() ? 0 : std::accumulate(ms.begin(), ms.end(), 0.0) / double(ms.size());
    const double mediana = orden.empty() ? 0 : orden[orden.size() / 2];
    const double minimoPasada = esperadas * minimoPeticion;

    std::printf("bench-pasada: %d programadores, %d peticiones por instrumento (FueraRango2 leido), %d baudios,\n"
                "  simulador con ritmo de 10 bits por byte, respuesta a %d ms, pausa de %d ms antes de cada peticion;\n"
                "  minimo de la linea por peticion = max(8 ms, 16 bytes + %d ms) + %d ms = %.3f ms\n",
                kInstrumentos, kPeticionesPorInstrumento, baudios, kRetardoRespuestaMs, kPausaLecturaMs,
                kRetardoRespuestaMs, kPausaLecturaMs, minimoPeticion);
    std::printf("%-8s %11s %10s %10s %10s %16s %7s %15s %7s\n", "pasadas", "peticiones", "media_ms", "mediana_ms",
                "min_ms", "minimo_linea_ms", "razon", "sobrecoste_ms", "fallos");
    std::printf("%-8d %11d %10.1f %10.1f %10.1f %16.1f %7.3f %15.3f %7d\n", int(ms.size()), esperadas, media, mediana,
                orden.empty() ? 0.0 : orden.front(), minimoPasada, mediana / minimoPasada,
                (mediana - minimoPasada) / esperadas, fallas);
    std::printf("(razon = mediana / minimo de la linea; sobrecoste = por peticion, (mediana - minimo) / peticiones)\n");
    if (mqtt) {
        const auto med = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v.empty() ? 0.0 : v[v.size() / 2];
        };
        const double con = med(msCon), sin = med(msSin);
        std::printf("publicando en %s una pasada si y otra no (%d con, %d sin): mediana con %.1f ms, sin %.1f ms, "
                    "razon %.3f (%lld lecturas publicadas)\n",
                    argv[3], int(msCon.size()), int(msSin.size()), con, sin, sin > 0 ? con / sin : 0.0,
                    (long long)mqtt->publicador->cifras().publicadas);
    }
    if (!todas)
        std::printf("peticiones por pasada distintas de %d\n", esperadas);
    return todas && fallas == 0 && !ms.empty() ? 0 : 1;
}
