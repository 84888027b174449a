#include "mqtt/publicador_mqtt.h"

#include "integration/lectura_planta.h"
#include "mqtt/temas.h"

#include <QFileInfo>
#include <QSysInfo>

#include <mosquitto.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ombrix {

using Reloj = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr int kKeepaliveS = 30;
// A broker that takes the connection and never answers is given up after this.
constexpr auto kPlazoConexion = 10s;
constexpr auto kPausaMinima = 1s;
constexpr auto kPausaMaxima = 30s;
// Readings handed to the library and not yet acknowledged, at most.
constexpr size_t kVentana = 100;
// What detener gives the thread to hand over the queue.
constexpr auto kPlazoCierre = 3s;

void iniciarBiblioteca()
{
    static std::once_flag una;
    std::call_once(una, [] { mosquitto_lib_init(); });
}

QString textoErrno(int err)
{
    switch (err) {
    case ECONNREFUSED:
        return QStringLiteral("conexión rechazada (¿puerto equivocado o broker detenido?)");
    case ETIMEDOUT:
        return QStringLiteral("no hubo respuesta a tiempo");
    case EHOSTUNREACH:
    case ENETUNREACH:
        return QStringLiteral("no hay camino en la red hasta el servidor");
    case ECONNRESET:
    case EPIPE:
        return QStringLiteral("el broker cortó la conexión");
    default:
        return err ? QString::fromLocal8Bit(std::strerror(err)) : QStringLiteral("conexión cerrada");
    }
}

QString textoCodigo(int rc, int err)
{
    switch (rc) {
    case MOSQ_ERR_EAI:
        return QStringLiteral("no se encuentra el servidor (el nombre no se resuelve)");
    case MOSQ_ERR_ERRNO:
        return textoErrno(err);
    case MOSQ_ERR_TLS:
        return QStringLiteral("falla la conexión cifrada (TLS): el certificado del broker no se verifica con el "
                              "archivo de CA, o el archivo no es un certificado válido");
    case MOSQ_ERR_CONN_LOST:
        return QStringLiteral("conexión perdida");
    case MOSQ_ERR_NO_CONN:
        return QStringLiteral("sin conexión");
    case MOSQ_ERR_PROTOCOL:
        return QStringLiteral("respuesta del broker que no es MQTT");
    default:
        return QString::fromUtf8(mosquitto_strerror(rc));
    }
}

// The broker's reason for refusing the connection (MQTT 3.1.1 return codes
// and MQTT 5 reason codes).
QString textoRechazo(int rc)
{
    switch (rc) {
    case 4:
    case 5:
    case 134:
    case 135:
        return QStringLiteral("el broker rechaza el usuario o la clave");
    case 2:
    case 133:
        return QStringLiteral("el broker rechaza el identificador de cliente");
    case 1:
    case 132:
        return QStringLiteral("el broker no acepta esta versión del protocolo");
    case 3:
    case 136:
    case 137:
        return QStringLiteral("el broker no está disponible");
    default:
        return QStringLiteral("el broker rechaza la conexión (código %1)").arg(rc);
    }
}

struct Mensaje {
    QByteArray tema, carga;
};

} // namespace

struct PublicadorMqtt::Estado {
    // Filled by the constructor, read-only afterwards.
    AjustesMqtt ajustes;
    QByteArray servidor, usuario, clave, idCliente, archivoCA, temaEstado;
    int fdDespertar = -1;

    mutable std::mutex m;
    // Under m.
    std::deque<LecturaPlanta> cola;
    std::map<int, bool> disponibles;
    std::set<int> disponiblesNuevos;
    // Home Assistant: title and unit of each instrument, and those to announce.
    std::map<int, std::pair<QString, QString>> nombres;
    std::set<int> descubrimientosNuevos;
    qint64 descartadas = 0, descartadasEpisodio = 0;
    bool parar = false, terminado = false;
    std::function<void(const QString&)> avisar;
    std::condition_variable fin;

    std::atomic<qint64> publicadas {0};
    std::atomic<bool> conectado {false};

    ~Estado()
    {
        if (fdDespertar >= 0)
            ::close(fdDespertar);
    }

    void despertar() const
    {
        const uint64_t uno = 1;
        [[maybe_unused]] auto r = ::write(fdDespertar, &uno, sizeof uno);
    }
    void decir(const QString& t)
    {
        std::function<void(const QString&)> f;
        {
            std::lock_guard l(m);
            f = avisar;
        }
        if (f)
            f(t);
    }
    QString broker() const { return QStringLiteral("%1:%2").arg(ajustes.servidor).arg(ajustes.puertoEfectivo()); }

    void correr();
};

namespace {

// The connection as the thread sees it: one libmosquitto client per attempt,
// driven by the thread's own poll so a new reading wakes it at once.
class Conexion {
public:
    explicit Conexion(PublicadorMqtt::Estado& e) : e_(e) {}
    ~Conexion() { cerrar(); }

    void correr();

private:
    enum class Fase { Sin, Conectando, Conectada };

    void intentar();
    void cerrar();
    void perdida(const QString& motivo);
    void aceptada();
    void bombear();
    bool publicar(const Mensaje& msj, bool retenido, int qos, int* mid);
    void esperar(int ms, bool conSocket);
    bool vacio();

    static void alConectar(mosquitto*, void* yo, int rc) { static_cast<Conexion*>(yo)->respuesta_ = rc; }
    static void alPublicar(mosquitto*, void* yo, int mid) { static_cast<Conexion*>(yo)->acuse(mid); }
    static void alDesconectar(mosquitto*, void* yo, int rc) { static_cast<Conexion*>(yo)->cortada_ = true; }
    void acuse(int mid);

    PublicadorMqtt::Estado& e_;
    mosquitto* mosq_ = nullptr;
    Fase fase_ = Fase::Sin;
    Reloj::time_point inicioIntento_, proximoIntento_ = Reloj::now();
    Reloj::duration pausa_ = kPausaMinima;
    int respuesta_ = -1;      // CONNACK code, -1 before it comes
    bool cortada_ = false;    // the library closed the socket
    bool episodio_ = false;   // a loss was told and its end not yet
    bool alguna_ = false;     // connected at least once
    bool publicando_ = false, acusadaAlPublicar_ = false;   // a QoS 0 write acknowledged inside the call
    int midCierre_ = -1;      // the final "offline", until acknowledged
    std::deque<Mensaje> reenviar_;                 // unacknowledged when the connection dropped
    std::deque<std::pair<int, Mensaje>> enVuelo_;  // handed to the library, by message id
};

void Conexion::intentar()
{
    respuesta_ = -1;
    cortada_ = false;
    const AjustesMqtt& a = e_.ajustes;
    mosq_ = mosquitto_new(e_.idCliente.constData(), true, this);
    if (!mosq_) {
        perdida(QStringLiteral("no se pudo crear el cliente MQTT (%1)").arg(textoErrno(errno)));
        return;
    }
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, a.protocolo == 311 ? MQTT_PROTOCOL_V311 : MQTT_PROTOCOL_V5);
    mosquitto_connect_callback_set(mosq_, &Conexion::alConectar);
    mosquitto_publish_callback_set(mosq_, &Conexion::alPublicar);
    mosquitto_disconnect_callback_set(mosq_, &Conexion::alDesconectar);
    if (!e_.usuario.isEmpty())
        mosquitto_username_pw_set(mosq_, e_.usuario.constData(), e_.clave.isEmpty() ? nullptr : e_.clave.constData());
    if (!e_.archivoCA.isEmpty()) {
        if (!QFileInfo(a.archivoCA).isFile() || !QFileInfo(a.archivoCA).isReadable()) {
            perdida(QStringLiteral("no se puede leer el archivo de CA %1").arg(a.archivoCA));
            return;
        }
        const int rc = mosquitto_tls_set(mosq_, e_.archivoCA.constData(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            perdida(QStringLiteral("el archivo de CA %1 no sirve: %2").arg(a.archivoCA, textoCodigo(rc, errno)));
            return;
        }
    }
    static const QByteArray kOffline("offline");
    mosquitto_will_set(mosq_, e_.temaEstado.constData(), int(kOffline.size()), kOffline.constData(), 1, true);
    errno = 0;
    const int rc = mosquitto_connect_async(mosq_, e_.servidor.constData(), a.puertoEfectivo(), kKeepaliveS);
    const int err = errno;
    if (rc != MOSQ_ERR_SUCCESS) {
        perdida(textoCodigo(rc, err));
        return;
    }
    fase_ = Fase::Conectando;
    inicioIntento_ = Reloj::now();
}

void Conexion::cerrar()
{
    if (mosq_) {
        mosquitto_destroy(mosq_);
        mosq_ = nullptr;
    }
    fase_ = Fase::Sin;
    e_.conectado = false;
    // What the broker did not acknowledge goes first next time, in order.
    for (auto it = enVuelo_.rbegin(); it != enVuelo_.rend(); ++it)
        reenviar_.push_front(std::move(it->second));
    enVuelo_.clear();
}

void Conexion::perdida(const QString& motivo)
{
    cerrar();
    proximoIntento_ = Reloj::now() + pausa_;
    pausa_ = std::min<Reloj::duration>(pausa_ * 2, kPausaMaxima);
    if (episodio_)
        return;
    episodio_ = true;
    e_.decir(alguna_ ? QStringLiteral("MQTT: broker %1 perdido: %2; las lecturas esperan en la cola").arg(e_.broker(), motivo)
                     : QStringLiteral("MQTT: no se puede conectar con el broker %1: %2; se sigue intentando")
                           .arg(e_.broker(), motivo));
}

void Conexion::aceptada()
{
    fase_ = Fase::Conectada;
    e_.conectado = true;
    pausa_ = kPausaMinima;
    {
        std::lock_guard l(e_.m);
        for (const auto& [n, d] : e_.disponibles)
            e_.disponiblesNuevos.insert(n);
        for (const auto& [n, t] : e_.nombres)
            e_.descubrimientosNuevos.insert(n);
    }
    static const QByteArray kOnline("online");
    mosquitto_publish(mosq_, nullptr, e_.temaEstado.constData(), int(kOnline.size()), kOnline.constData(), 1, true);
    qint64 descartadas = 0;
    {
        std::lock_guard l(e_.m);
        descartadas = e_.descartadasEpisodio;
        e_.descartadasEpisodio = 0;
    }
    if (episodio_) {
        episodio_ = false;
        e_.decir(QStringLiteral("MQTT: broker %1 de nuevo conectado; %2")
                     .arg(e_.broker(), descartadas == 0 ? QStringLiteral("no se perdió ninguna lectura")
                                                        : QStringLiteral("%1 lecturas descartadas por la cola llena").arg(descartadas)));
    } else if (!alguna_) {
        e_.decir(QStringLiteral("MQTT: publicando en el broker %1 bajo %2/").arg(e_.broker(), e_.ajustes.prefijo));
    }
    alguna_ = true;
}

bool Conexion::publicar(const Mensaje& msj, bool retenido, int qos, int* mid)
{
    const int rc = mosquitto_publish(mosq_, mid, msj.tema.constData(), int(msj.carga.size()), msj.carga.constData(), qos,
                                     retenido);
    return rc == MOSQ_ERR_SUCCESS;
}

void Conexion::acuse(int mid)
{
    if (mid == midCierre_) {
        midCierre_ = -1;
        return;
    }
    if (publicando_) {
        acusadaAlPublicar_ = true;
        return;
    }
    for (auto it = enVuelo_.begin(); it != enVuelo_.end(); ++it)
        if (it->first == mid) {
            enVuelo_.erase(it);
            ++e_.publicadas;
            return;
        }
}

void Conexion::bombear()
{
    // The retained states first: a few values, the latest of each.
    std::map<int, bool> estados;
    std::map<int, std::pair<QString, QString>> anuncios;
    {
        std::lock_guard l(e_.m);
        for (int n : e_.disponiblesNuevos)
            estados[n] = e_.disponibles[n];
        e_.disponiblesNuevos.clear();
        for (int n : e_.descubrimientosNuevos)
            anuncios[n] = e_.nombres[n];
        e_.descubrimientosNuevos.clear();
    }
    // Announced before the first value they describe.
    for (const auto& [n, t] : anuncios)
        publicar(Mensaje {temaDescubrimiento(e_.ajustes.prefijo, n),
                          jsonDescubrimiento(e_.ajustes.prefijo, n, t.first, t.second)},
                 true, 1, nullptr);
    for (const auto& [n, d] : estados) {
        const Mensaje msj {temaDisponible(e_.ajustes.prefijo, n), d ? QByteArrayLiteral("1") : QByteArrayLiteral("0")};
        publicar(msj, true, 1, nullptr);
    }
    const int qos = e_.ajustes.qos;
    while (mosq_ && fase_ == Fase::Conectada && enVuelo_.size() < kVentana) {
        Mensaje msj;
        if (!reenviar_.empty()) {
            msj = std::move(reenviar_.front());
            reenviar_.pop_front();
        } else {
            LecturaPlanta lectura;
            {
                std::lock_guard l(e_.m);
                if (e_.cola.empty())
                    break;
                lectura = std::move(e_.cola.front());
                e_.cola.pop_front();
            }
            msj = Mensaje {temaLectura(e_.ajustes.prefijo, lectura.instrumento), jsonLectura(lectura)};
        }
        int mid = 0;
        // QoS 0 is acknowledged by the write itself: the callback may run inside the call.
        publicando_ = true;
        acusadaAlPublicar_ = false;
        const bool hecho = publicar(msj, false, qos, &mid);
        publicando_ = false;
        if (!hecho) {
            reenviar_.push_front(std::move(msj));
            break;
        }
        if (acusadaAlPublicar_)
            ++e_.publicadas;
        else
            enVuelo_.emplace_back(mid, std::move(msj));
    }
}

bool Conexion::vacio()
{
    std::lock_guard l(e_.m);
    return e_.cola.empty() && reenviar_.empty() && enVuelo_.empty();
}

// Sleeps until something arrives, the socket is ready or `ms` pass, and
// serves the socket.
void Conexion::esperar(int ms, bool conSocket)
{
    pollfd fds[2] {};
    fds[0].fd = e_.fdDespertar;
    fds[0].events = POLLIN;
    int cuantos = 1;
    const int sock = conSocket && mosq_ ? mosquitto_socket(mosq_) : -1;
    if (sock >= 0) {
        fds[1].fd = sock;
        fds[1].events = POLLIN | (mosquitto_want_write(mosq_) ? POLLOUT : 0);
        cuantos = 2;
    }
    const int listos = ::poll(fds, nfds_t(cuantos), ms);
    if (listos > 0 && (fds[0].revents & POLLIN)) {
        uint64_t v;
        [[maybe_unused]] auto r = ::read(e_.fdDespertar, &v, sizeof v);
    }
    if (sock < 0)
        return;
    int rc = MOSQ_ERR_SUCCESS;
    int err = 0;
    const short ev = listos > 0 ? fds[1].revents : 0;
    if (fase_ == Fase::Conectando && (ev & (POLLERR | POLLHUP))) {
        // A refused or failed TCP connection: its own reason, before the library closes it.
        socklen_t largo = sizeof err;
        ::getsockopt(sock, SOL_SOCKET, SO_ERROR, &err, &largo);
    }
    if (ev & (POLLIN | POLLERR | POLLHUP)) {
        errno = 0;
        rc = mosquitto_loop_read(mosq_, 1);
        if (!err)
            err = errno;
    }
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(mosq_) >= 0 && (ev & POLLOUT)) {
        errno = 0;
        rc = mosquitto_loop_write(mosq_, 1);
        if (!err)
            err = errno;
    }
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(mosq_) >= 0)
        rc = mosquitto_loop_misc(mosq_);

    if (respuesta_ > 0) {
        perdida(textoRechazo(respuesta_));
        return;
    }
    if (respuesta_ == 0 && fase_ == Fase::Conectando)
        aceptada();
    if (rc != MOSQ_ERR_SUCCESS || cortada_ || mosquitto_socket(mosq_) < 0) {
        if (rc == MOSQ_ERR_SUCCESS || rc == MOSQ_ERR_NO_CONN)
            rc = err ? MOSQ_ERR_ERRNO : MOSQ_ERR_CONN_LOST;
        perdida(textoCodigo(rc, err));
    }
}

void Conexion::correr()
{
    for (;;) {
        bool parar;
        {
            std::lock_guard l(e_.m);
            parar = e_.parar;
        }
        if (parar)
            break;
        const auto ahora = Reloj::now();
        if (!mosq_) {
            if (ahora >= proximoIntento_) {
                intentar();
                continue;
            }
            const auto falta = std::chrono::duration_cast<std::chrono::milliseconds>(proximoIntento_ - ahora).count();
            esperar(int(std::min<long long>(falta + 1, 1000)), false);
            continue;
        }
        if (fase_ == Fase::Conectando && ahora - inicioIntento_ > kPlazoConexion) {
            perdida(QStringLiteral("el servidor acepta la conexión pero no responde como un broker MQTT"));
            continue;
        }
        if (fase_ == Fase::Conectada)
            bombear();
        esperar(1000, true);
    }

    // The end: "offline" and what is queued, for a few seconds at most.
    if (mosq_ && fase_ == Fase::Conectada) {
        const auto limite = Reloj::now() + kPlazoCierre;
        while (mosq_ && fase_ == Fase::Conectada && !vacio() && Reloj::now() < limite) {
            bombear();
            esperar(50, true);
        }
        if (mosq_ && fase_ == Fase::Conectada) {
            static const QByteArray kOffline("offline");
            int mid = -1;
            if (mosquitto_publish(mosq_, &mid, e_.temaEstado.constData(), int(kOffline.size()), kOffline.constData(), 1,
                                  true)
                == MOSQ_ERR_SUCCESS)
                midCierre_ = mid;
            while (mosq_ && fase_ == Fase::Conectada && midCierre_ >= 0 && Reloj::now() < limite + 1s)
                esperar(50, true);
            if (mosq_) {
                mosquitto_disconnect(mosq_);
                for (int i = 0; i < 10 && mosq_ && mosquitto_socket(mosq_) >= 0; ++i)
                    mosquitto_loop_write(mosq_, 1);
            }
        }
    }
    cerrar();
}

} // namespace

void PublicadorMqtt::Estado::correr()
{
    Conexion c(*this);
    c.correr();
}

PublicadorMqtt::PublicadorMqtt(const AjustesMqtt& ajustes, std::function<void(const QString&)> avisar)
    : ajustes_(ajustes), e_(std::make_shared<Estado>())
{
    iniciarBiblioteca();
    Estado& e = *e_;
    e.ajustes = ajustes;
    e.avisar = std::move(avisar);
    e.servidor = ajustes.servidor.toUtf8();
    e.usuario = ajustes.usuario.toUtf8();
    e.clave = qEnvironmentVariableIsSet("OMBRIX_MQTT_CLAVE") ? qgetenv("OMBRIX_MQTT_CLAVE") : ajustes.clave.toUtf8();
    e.idCliente = (ajustes.idCliente.isEmpty()
                       ? QStringLiteral("ombrix-%1-%2").arg(QSysInfo::machineHostName()).arg(::getpid())
                       : ajustes.idCliente)
                      .toUtf8();
    e.archivoCA = QFile::encodeName(ajustes.archivoCA);
    e.temaEstado = temaEstado(ajustes.prefijo);
    e.fdDespertar = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    hilo_ = std::thread([estado = e_] {
        estado->correr();
        {
            std::lock_guard l(estado->m);
            estado->terminado = true;
        }
        estado->fin.notify_all();
    });
}

PublicadorMqtt::~PublicadorMqtt()
{
    detener();
}

void PublicadorMqtt::lectura(const LecturaPlanta& l)
{
    {
        std::lock_guard g(e_->m);
        if (e_->parar)
            return;
        if (int(e_->cola.size()) >= ajustes_.cola) {
            e_->cola.pop_front();
            ++e_->descartadas;
            ++e_->descartadasEpisodio;
        }
        e_->cola.push_back(l);
        const bool disponible = !l.alarmaCom;
        auto it = e_->disponibles.find(l.instrumento);
        if (it == e_->disponibles.end() || it->second != disponible) {
            e_->disponibles[l.instrumento] = disponible;
            e_->disponiblesNuevos.insert(l.instrumento);
        }
        if (ajustes_.homeAssistant) {
            auto& nombre = e_->nombres[l.instrumento];
            if (nombre.first != l.titulo || nombre.second != l.unidad) {
                nombre = {l.titulo, l.unidad};
                e_->descubrimientosNuevos.insert(l.instrumento);
            }
        }
    }
    e_->despertar();
}

void PublicadorMqtt::disponibilidad(int n, bool disponible)
{
    {
        std::lock_guard g(e_->m);
        auto it = e_->disponibles.find(n);
        if (it != e_->disponibles.end() && it->second == disponible)
            return;
        e_->disponibles[n] = disponible;
        e_->disponiblesNuevos.insert(n);
    }
    e_->despertar();
}

void PublicadorMqtt::enLinea(bool activa)
{
    if (activa)
        return;
    // Nothing is polled any more: no instrument is known to answer.
    {
        std::lock_guard g(e_->m);
        for (auto& [n, d] : e_->disponibles)
            if (d) {
                d = false;
                e_->disponiblesNuevos.insert(n);
            }
    }
    e_->despertar();
}

void PublicadorMqtt::detener()
{
    if (!hilo_.joinable())
        return;
    {
        std::lock_guard g(e_->m);
        e_->parar = true;
    }
    e_->despertar();
    std::unique_lock g(e_->m);
    // A thread held by the system (a name lookup that does not end) is left
    // behind: it holds its own share of the state and ends on its own.
    const bool termino = e_->fin.wait_for(g, kPlazoCierre + 3s, [this] { return e_->terminado; });
    e_->avisar = nullptr;
    g.unlock();
    if (termino)
        hilo_.join();
    else
        hilo_.detach();
}

PublicadorMqtt::Cifras PublicadorMqtt::cifras() const
{
    Cifras c;
    std::lock_guard g(e_->m);
    c.descartadas = e_->descartadas;
    c.enCola = int(e_->cola.size());
    c.publicadas = e_->publicadas;
    c.conectado = e_->conectado;
    return c;
}

} // namespace ombrix
