#pragma once
// A real broker for the tests: mosquitto as a child of the test, on a free
// port of 127.0.0.1, with its own configuration file and folder; and a
// subscriber (libmosquitto) that keeps every message it gets.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "config/ajustes_mqtt.h"
#include "integration/lectura_planta.h"

#include <mosquitto.h>

#include <mutex>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <signal.h>
#include <unistd.h>

namespace ombrix::test {

// Publishing to 127.0.0.1:puerto under `prefijo`.
inline AjustesMqtt ajustesPara(quint16 puerto, const QString& prefijo)
{
    AjustesMqtt a;
    a.activo = true;
    a.servidor = QStringLiteral("127.0.0.1");
    a.puerto = puerto;
    a.prefijo = prefijo;
    return a;
}

// Reading i of instrument n, each a second after the one before: a distinct
// instant for every reading of an instrument.
inline LecturaPlanta sintetica(int n, qint64 i)
{
    LecturaPlanta l;
    l.instrumento = n;
    l.titulo = QStringLiteral("Horno %1").arg(n);
    l.unidad = QStringLiteral("ºC");
    l.instanteUtc = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC).addSecs(i);
    l.textos = {QString::number(i), QStringLiteral("100.0"), QStringLiteral("N.I."), QStringLiteral("0"),
                QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")};
    for (int k = 0; k < 7; ++k)
        l.numeros[k] = numeroDeTexto(l.textos[k]);
    return l;
}

inline sockaddr_in direccionLocal(quint16 puerto)
{
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(puerto);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

inline quint16 puertoLibre()
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = direccionLocal(0);
    socklen_t largo = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &largo);
    ::close(s);
    return ntohs(a.sin_port);
}

inline bool escucha(quint16 puerto)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in a = direccionLocal(puerto);
    const bool ok = ::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

// A server that takes connections and never says a word.
struct ServidorMudo {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    quint16 puerto = 0;
    ServidorMudo()
    {
        sockaddr_in a = direccionLocal(0);
        socklen_t largo = sizeof a;
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, 8);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &largo);
        puerto = ntohs(a.sin_port);
    }
    ~ServidorMudo() { ::close(fd); }
};

// Runs a program and returns its exit code (-1 when it does not start).
inline int ejecutar(const QString& programa, const QStringList& args, QByteArray* salida = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(programa, args);
    if (!p.waitForStarted(5000) || !p.waitForFinished(30000))
        return -1;
    if (salida)
        *salida = p.readAll();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

class BrokerPrueba {
public:
    QTemporaryDir dir;
    quint16 puerto = puertoLibre();
    quint16 puertoTls = 0;     // a second listener with TLS, when certificados() was given
    QProcess proceso;
    QByteArray extra;          // further lines of the configuration

    ~BrokerPrueba() { parar(); }

    QString ruta(const QString& nombre) const { return dir.path() + QLatin1Char('/') + nombre; }

    // Users and passwords the broker accepts (no anonymous connections then).
    bool usuarios(const QList<QPair<QString, QString>>& lista)
    {
        for (const auto& [u, c] : lista) {
            QStringList args{QStringLiteral("-b"), ruta(QStringLiteral("claves")), u, c};
            if (!QFile::exists(ruta(QStringLiteral("claves"))))
                args.prepend(QStringLiteral("-c"));
            if (ejecutar(QStringLiteral("mosquitto_passwd"), args) != 0)
                return false;
        }
        extra += "allow_anonymous false\npassword_file " + ruta(QStringLiteral("claves")).toUtf8() + "\n";
        return true;
    }

    // A CA, and a certificate it signs for localhost, made with openssl; a
    // TLS listener on a second port.
    bool certificados()
    {
        const QString d = dir.path();
        auto ssl = [&](const QStringList& a) { return ejecutar(QStringLiteral("openssl"), a) == 0; };
        QFile ext(d + QStringLiteral("/ext.cnf"));
        if (!ext.open(QIODevice::WriteOnly))
            return false;
        ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n");
        ext.close();
        const bool ok = ssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Ombrix CA de prueba",
                             "-keyout", d + "/ca.key", "-out", d + "/ca.crt"})
            && ssl({"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-keyout", d + "/broker.key", "-out",
                    d + "/broker.csr"})
            && ssl({"x509", "-req", "-in", d + "/broker.csr", "-CA", d + "/ca.crt", "-CAkey", d + "/ca.key",
                    "-CAcreateserial", "-days", "2", "-extfile", d + "/ext.cnf", "-out", d + "/broker.crt"});
        if (!ok)
            return false;
        puertoTls = puertoLibre();
        extra += "listener " + QByteArray::number(puertoTls) + " 127.0.0.1\n";
        extra += "cafile " + (d + "/ca.crt").toUtf8() + "\ncertfile " + (d + "/broker.crt").toUtf8() + "\nkeyfile "
            + (d + "/broker.key").toUtf8() + "\n";
        return true;
    }

    bool iniciar()
    {
        QFile conf(ruta(QStringLiteral("mosquitto.conf")));
        if (!conf.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        const passwd* pw = ::getpwuid(::getuid());
        QByteArray t = "per_listener_settings false\n";
        t += "user " + QByteArray(pw ? pw->pw_name : "root") + "\n";
        t += "persistence true\npersistence_location " + dir.path().toUtf8() + "/\n";
        t += "max_queued_messages 0\nmax_inflight_messages 0\nlog_dest stderr\nlog_type error\n";
        t += "listener " + QByteArray::number(puerto) + " 127.0.0.1\n";
        if (!extra.contains("allow_anonymous"))
            t += "allow_anonymous true\n";
        t += extra;
        conf.write(t);
        conf.close();
        const QString programa = QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {"/usr/sbin", "/usr/bin"});
        proceso.setStandardOutputFile(ruta(QStringLiteral("mosquitto.log")), QIODevice::Append);
        proceso.setStandardErrorFile(ruta(QStringLiteral("mosquitto.log")), QIODevice::Append);
        proceso.start(programa, {QStringLiteral("-c"), conf.fileName()});
        if (!proceso.waitForStarted(5000))
            return false;
        QElapsedTimer reloj;
        reloj.start();
        while (reloj.elapsed() < 5000) {
            if (escucha(puerto))
                return true;
            QTest::qWait(50);
        }
        return false;
    }

    // Stops the broker as a service stop would (it saves its sessions).
    void parar()
    {
        if (proceso.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(proceso.processId()), SIGTERM);
        if (!proceso.waitForFinished(5000))
            proceso.kill();
        proceso.waitForFinished(2000);
    }
};

struct MensajeRecibido {
    QByteArray tema, carga;
    bool retenido = false;
    qint64 ns = 0;   // CLOCK_MONOTONIC when it arrived
};

// A subscriber with a session the broker keeps (clean session off), QoS 1,
// reconnecting by itself.
class Suscriptor {
public:
    Suscriptor(quint16 puerto, const QByteArray& filtro, const QByteArray& id = {}, bool sesionLimpia = false,
               const QByteArray& usuario = {}, const QByteArray& clave = {})
        : filtro_(filtro)
    {
        mosquitto_lib_init();
        const QByteArray nombre = id.isEmpty() ? QByteArray("prueba-") + QByteArray::number(quintptr(this)) : id;
        mosq_ = mosquitto_new(nombre.constData(), sesionLimpia, this);
        mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void* yo, int rc) {
            auto* s = static_cast<Suscriptor*>(yo);
            if (rc == 0)
                mosquitto_subscribe(m, nullptr, s->filtro_.constData(), 1);
            std::lock_guard l(s->m_);
            ++s->conexiones_;
        });
        mosquitto_message_callback_set(mosq_, [](mosquitto*, void* yo, const mosquitto_message* msg) {
            auto* s = static_cast<Suscriptor*>(yo);
            timespec ts;
            clock_gettime(CLOCK_MONOTONIC, &ts);
            MensajeRecibido r;
            r.tema = QByteArray(msg->topic);
            r.carga = QByteArray(static_cast<const char*>(msg->payload), msg->payloadlen);
            r.retenido = msg->retain;
            r.ns = qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
            std::lock_guard l(s->m_);
            s->recibidos_ << r;
        });
        if (!usuario.isEmpty())
            mosquitto_username_pw_set(mosq_, usuario.constData(), clave.constData());
        mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
        mosquitto_connect(mosq_, "127.0.0.1", puerto, 30);
        mosquitto_loop_start(mosq_);
    }
    ~Suscriptor()
    {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, true);
        mosquitto_destroy(mosq_);
    }

    QList<MensajeRecibido> recibidos() const
    {
        std::lock_guard l(m_);
        return recibidos_;
    }
    QList<MensajeRecibido> en(const QByteArray& tema) const
    {
        QList<MensajeRecibido> r;
        for (const auto& m : recibidos())
            if (m.tema == tema)
                r << m;
        return r;
    }
    QByteArray ultimo(const QByteArray& tema) const
    {
        const auto l = en(tema);
        return l.isEmpty() ? QByteArray() : l.last().carga;
    }
    int conexiones() const
    {
        std::lock_guard l(m_);
        return conexiones_;
    }
    // Subscribed: its first connection made (the subscription goes right after).
    bool esperarConexion(int ms = 5000)
    {
        QElapsedTimer r;
        r.start();
        while (conexiones() == 0 && r.elapsed() < ms)
            QTest::qWait(20);
        QTest::qWait(100);
        return conexiones() > 0;
    }

private:
    QByteArray filtro_;
    mosquitto* mosq_ = nullptr;
    mutable std::mutex m_;
    QList<MensajeRecibido> recibidos_;
    int conexiones_ = 0;
};

} // namespace ombrix::test
