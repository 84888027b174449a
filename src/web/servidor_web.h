#pragma once
// The web view's server: plain HTTP/1.1 over Qt Network on a thread of its
// own, read-only (GET and HEAD), with the page from the program's resources,
// the JSON API under /api/, live changes as server-sent events and the
// database read by workers, each on a reader connection of its own.
//
// Limits: connections at once (AjustesWeb::clientes; one more gets 429),
// requests per minute per client address (429 with Retry-After), a request
// head of 8 KiB (413), no body (413), a head not finished in 10 s or a
// connection idle for 30 s is closed, and at most kTrabajosMaximos reads of
// the database at once (503). A live page that does not take what is sent
// (more than 1 MiB waiting) is dropped; the browser reconnects and gets the
// whole state again.

#include "config/ajustes_web.h"
#include "web/estado_web.h"
#include "web/http.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSqlDatabase>
#include <QSet>
#include <QThreadPool>

#include <atomic>
#include <memory>

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace ombrix::web {

struct Flujo;

class Servidor : public QObject {
    Q_OBJECT
public:
    static constexpr int kTrabajosMaximos = 8;

    Servidor(const AjustesWeb& ajustes, std::shared_ptr<EstadoWeb> estado);
    ~Servidor() override;

    // On the server's thread: listens; "" or the reason it cannot.
    QString escuchar();
    quint16 puerto() const { return puerto_.load(); }
    // On the server's thread: closes every connection and waits for the workers.
    void cerrar();
    // On the server's thread: sends the changes waiting in the state's queue.
    void repartir();

    int clientes() const { return clientes_.load(); }
    int vivos() const { return vivos_.load(); }
    qint64 lentosCortados() const { return lentos_.load(); }

private:
    struct Conexion;
    void nueva();
    void leer(Conexion* c);
    void atender(Conexion* c, const Peticion& p);
    void rutaApi(Conexion* c, const Peticion& p);
    void enviar(Conexion* c, int codigo, const QByteArray& tipo, const QByteArray& cuerpo,
                QList<QPair<QByteArray, QByteArray>> extra = {});
    void enviarError(Conexion* c, int codigo, const QString& motivo, QList<QPair<QByteArray, QByteArray>> extra = {});
    void terminada(Conexion* c);
    void quitar(Conexion* c);
    bool permitido(Conexion* c);
    bool autorizado(const Peticion& p);
    bool hostValido(const Peticion& p) const;
    // A read of the database on a worker, on a reader connection of its own;
    // its JSON (or the reason it failed) is the answer.
    using Lectura = std::function<std::optional<QJsonObject>(const QSqlDatabase& db, const QString& ruta, QString* error)>;
    void trabajo(Conexion* c, Lectura f);
    // The file to read, when one is open and a worker may take another read; else answered 503.
    bool puedeLeer(Conexion* c, QString& ruta);
    void csv(Conexion* c, int n, int desde, int hasta, const QString& nombre);
    void alTrozo(quint64 id, const QByteArray& trozo);
    void alFinFlujo(quint64 id, bool bien);
    void soltarCreditos(Conexion* c);
    void aVivos(const QByteArray& marco);
    QByteArray cabecerasComunes(bool api) const;

    AjustesWeb ajustes_;
    std::shared_ptr<EstadoWeb> estado_;
    QTcpServer* tcp_ = nullptr;
    QTimer* latido_ = nullptr;
    QHash<quint64, Conexion*> conexiones_;
    quint64 siguienteId_ = 1;
    struct Cubeta {
        double fichas = 0;
        qint64 ms = 0;
    };
    QHash<QString, Cubeta> cubetas_;
    QElapsedTimer reloj_;
    QSet<QByteArray> credencialesBuenas_;
    QThreadPool trabajadores_;
    int trabajando_ = 0;
    bool loopback_ = true;
    QByteArray fuente_;   // the DSEG7 font, read once
    std::atomic<quint16> puerto_ {0};
    std::atomic<int> clientes_ {0}, vivos_ {0};
    std::atomic<qint64> lentos_ {0};
};

// "ADDRESS:PORT", "[v6]:PORT" or "PORT" (then 127.0.0.1) into `ajustes`,
// switching the view on. False with the reason in `error`.
bool aplicarDireccionWeb(const QString& texto, AjustesWeb& ajustes, QString* error);

} // namespace ombrix::web
