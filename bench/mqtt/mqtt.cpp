// The MQTT publisher against a real broker (mosquitto, a child of this
// program on a free port of 127.0.0.1):
//
//   latencia [s]      20 instruments at one reading a second for s seconds
//                     (default 30), the readings of a second spread over it
//                     as a pass spreads them: the time from the hand-over to
//                     the publisher to the arrival at a subscriber, median
//                     and p99.
//   pasada [n]        bench-pasada (20 programmers, 19200 baud, n measured
//                     passes, default 10) publishing every other pass: the
//                     ratio of the median passes with and without.
//   memoria [s] [r]   r readings a second (default 20) for s seconds
//                     (default 600), the broker stopped and started every
//                     30 s: resident memory every 30 s.
//
// Without arguments: latencia 30, pasada, memoria 120.

#include "broker_prueba.h"
#include "comun.h"
#include "config/modelo.h"
#include "integration/integraciones.h"
#include "integration/lectura_planta.h"
#include "mqtt/publicador_mqtt.h"
#include "mqtt/temas.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <map>
#include <time.h>

using namespace ombrix;
using namespace ombrix::test;

namespace {

qint64 ahoraNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// A broker of this run, or a line on stderr.
bool arrancar(BrokerPrueba& broker)
{
    if (broker.iniciar())
        return true;
    std::fprintf(stderr, "bench-mqtt: the broker does not start\n");
    return false;
}

int latencia(int segundos)
{
    BrokerPrueba broker;
    if (!arrancar(broker))
        return 1;
    Suscriptor sub(broker.puerto, "bench/+/lectura", {}, true);
    sub.esperarConexion();
    Modelo modelo;
    Integraciones integ(modelo, Origen::Registrador);
    integ.configurarMqtt(ajustesPara(broker.puerto, QStringLiteral("bench")));
    auto* pub = integ.buscar<PublicadorMqtt>();
    QElapsedTimer espera;
    espera.start();
    while (!pub->cifras().conectado && espera.elapsed() < 5000)
        QTest::qWait(10);

    constexpr int kInstrumentos = 20;
    std::map<QString, qint64> enviadas;   // "n tiempo" -> hand-over instant
    for (int s = 0; s < segundos; ++s)
        for (int n = 1; n <= kInstrumentos; ++n) {
            QTest::qWait(1000 / kInstrumentos);
            const LecturaPlanta l = sintetica(n, s);
            enviadas[QStringLiteral("%1 %2").arg(n).arg(l.instanteIso())] = ahoraNs();
            pub->lectura(l);
        }
    QElapsedTimer fin;
    fin.start();
    while (int(sub.recibidos().size()) < int(enviadas.size()) && fin.elapsed() < 10000)
        QTest::qWait(20);
    std::vector<double> ms;
    for (const auto& m : sub.recibidos()) {
        const QJsonObject o = QJsonDocument::fromJson(m.carga).object();
        const QString clave = QStringLiteral("%1 %2").arg(o.value(QStringLiteral("instrumento")).toInt())
                                  .arg(o.value(QStringLiteral("tiempo")).toString());
        if (auto it = enviadas.find(clave); it != enviadas.end())
            ms.push_back(double(m.ns - it->second) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    const auto pct = [&](double p) { return ms.empty() ? 0.0 : ms[std::min(ms.size() - 1, size_t(p * double(ms.size())))]; };
    std::printf("latencia lectura -> suscriptor, %d instrumentos a 1 lectura/s durante %d s, QoS 1, broker local\n",
                kInstrumentos, segundos);
    std::printf("%-10s %-10s %11s %8s %8s %8s\n", "enviadas", "recibidas", "mediana_ms", "p99_ms", "max_ms", "p99<50");
    std::printf("%-10d %-10d %11.2f %8.2f %8.2f %8s\n", int(enviadas.size()), int(ms.size()), pct(0.5), pct(0.99),
                ms.empty() ? 0.0 : ms.back(), pct(0.99) < 50 ? "si" : "NO");
    return ms.size() == enviadas.size() && pct(0.99) < 50 ? 0 : 1;
}

int pasada(int pasadas)
{
    BrokerPrueba broker;
    if (!arrancar(broker))
        return 1;
    Suscriptor sub(broker.puerto, "#", {}, true);
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/bench-pasada"),
            {QString::number(pasadas), QStringLiteral("19200"), QStringLiteral("mqtt://127.0.0.1:%1/bench").arg(broker.puerto)});
    if (!p.waitForFinished(1800000) || p.exitCode() != 0)
        return 1;
    std::printf("mensajes recibidos por un suscriptor: %d\n", int(sub.recibidos().size()));
    return 0;
}

int memoria(int segundos, int ritmo)
{
    BrokerPrueba broker;
    if (!arrancar(broker))
        return 1;
    Modelo modelo;
    Integraciones integ(modelo, Origen::Registrador);
    integ.configurarMqtt(ajustesPara(broker.puerto, QStringLiteral("bench")));
    auto* pub = integ.buscar<PublicadorMqtt>();
    std::printf("memoria con el broker detenido la mitad del tiempo (30 s si, 30 s no), %d lecturas/s durante %d s, "
                "cola de %d\n",
                ritmo, segundos, AjustesMqtt::kColaPorDefecto);
    std::printf("%-6s %-8s %-10s %-12s %-12s %-9s\n", "s", "broker", "VmRSS_kB", "publicadas", "descartadas", "en_cola");
    QElapsedTimer reloj;
    reloj.start();
    qint64 i = 0;
    long primera = -1, maxima = 0, ultima = 0;
    int siguienteMuestra = 0;
    while (reloj.elapsed() < qint64(segundos) * 1000) {
        const int s = int(reloj.elapsed() / 1000);
        const bool debeAndar = (s / 30) % 2 == 0;
        if (debeAndar && broker.proceso.state() == QProcess::NotRunning)
            broker.iniciar();
        else if (!debeAndar && broker.proceso.state() != QProcess::NotRunning)
            broker.parar();
        for (int k = 0; k < ritmo / 10; ++k, ++i)
            pub->lectura(sintetica(int(i % 20) + 1, i / 20));
        QTest::qWait(100);
        if (s >= siguienteMuestra) {
            const auto c = pub->cifras();
            ultima = bench::memoriaKb("VmRSS:");
            if (primera < 0 && s >= 30)
                primera = ultima;
            maxima = std::max(maxima, ultima);
            std::printf("%-6d %-8s %-10ld %-12lld %-12lld %-9d\n", s, debeAndar ? "si" : "no", ultima,
                        (long long)c.publicadas, (long long)c.descartadas, c.enCola);
            std::fflush(stdout);
            siguienteMuestra += 30;
        }
    }
    std::printf("VmRSS tras el primer ciclo %ld kB, al final %ld kB, maximo %ld kB\n", primera, ultima, maxima);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString modo = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const auto arg = [&](int k, int porDefecto) { return argc > k ? std::max(1, std::atoi(argv[k])) : porDefecto; };
    if (modo == QLatin1String("latencia"))
        return latencia(arg(2, 30));
    if (modo == QLatin1String("pasada"))
        return pasada(arg(2, 10));
    if (modo == QLatin1String("memoria"))
        return memoria(arg(2, 600), arg(3, 20));
    if (!modo.isEmpty()) {
        std::fprintf(stderr, "bench-mqtt [latencia [s] | pasada [n] | memoria [s] [lecturas/s]]\n");
        return 2;
    }
    int r = latencia(30);
    std::printf("\n");
    r |= pasada(10);
    std::printf("\n");
    r |= memoria(120, 20);
    return r;
}
