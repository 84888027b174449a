#include "web/servidor_web.h"

#include "acquisition/base_datos.h"
#include "views/consultas.h"
#include "web/clave_web.h"
#include "web/datos_web.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>

namespace ombrix::web {

namespace {

constexpr int kPlazoCabeceraMs = 10000;
constexpr int kInactividadMs = 30000;
constexpr int kLatidoMs = 15000;
constexpr qint64 kPendienteMaximo = 1 << 20;   // a live page with more waiting is dropped
constexpr qint64 kPendienteCsv = 512 * 1024;   // the CSV worker waits while more is waiting
constexpr int kTrozosEnVuelo = 8;
constexpr int kPuntosMaximos = 4000;
constexpr int kLimiteLecturas = 10000;
constexpr int kLimiteEventos = 1000;
// The DSEG7 font of the Debian package fonts-dseg, at a fixed place.
const char* const kRutaFuente = "/usr/share/fonts/truetype/dseg/DSEG7Classic-Bold.ttf";

struct Estatico {
    const char* ruta;
    const char* recurso;
    const char* tipo;
};
const Estatico kEstaticos[] = {
    {"/", ":/web/index.html", "text/html; charset=utf-8"},
    {"/index.html", ":/web/index.html", "text/html; charset=utf-8"},
    {"/vista.js", ":/web/vista.js", "text/javascript; charset=utf-8"},
    {"/vista.css", ":/web/vista.css", "text/css; charset=utf-8"},
    {"/favicon.svg", ":/web/favicon.svg", "image/svg+xml"},
};

QByteArray json(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

QByteArray marco(const char* evento, const QJsonObject& o)
{
    return QByteArray("event: ") + evento + "\ndata: " + json(o) + "\n\n";
}

} // namespace

// What a CSV worker and the server share: chunks in flight and a stop.
struct Flujo {
    QSemaphore creditos {kTrozosEnVuelo};
    std::atomic<bool> cancelado {false};
    void cancelar()
    {
        cancelado = true;
        creditos.release(kTrozosEnVuelo * 4);
    }
};

struct Servidor::Conexion {
    quint64 id = 0;
    QTcpSocket* s = nullptr;
    QString ip;
    QByteArray buf;
    QTimer* plazo = nullptr;
    bool ocupada = false;     // an answer is being prepared (a worker) or streamed
    bool vivo = false;        // a live page (server-sent events)
    bool cerrarAlFinal = false;
    bool cabeza = false;      // HEAD: headers only
    std::shared_ptr<Flujo> flujo;
    int creditosDebidos = 0;
};

Servidor::Servidor(const AjustesWeb& ajustes, std::shared_ptr<EstadoWeb> estado)
    : ajustes_(ajustes), estado_(std::move(estado))
{
    trabajadores_.setMaxThreadCount(2);
    trabajadores_.setExpiryTimeout(30000);
}

Servidor::~Servidor() = default;

QString Servidor::escuchar()
{
    reloj_.start();
    const QHostAddress direccion(ajustes_.direccionEfectiva());
    if (direccion.isNull())
        return QStringLiteral("la dirección %1 no es válida").arg(ajustes_.direccionEfectiva());
    loopback_ = direccion.isLoopback();
    tcp_ = new QTcpServer(this);
    tcp_->setMaxPendingConnections(ajustes_.clientes + 16);
    if (!tcp_->listen(direccion, quint16(ajustes_.puerto))) {
        const QString e = tcp_->errorString();
        delete tcp_;
        tcp_ = nullptr;
        return QStringLiteral("no se puede escuchar en %1:%2 (%3)").arg(direccion.toString()).arg(ajustes_.puerto).arg(e);
    }
    puerto_ = tcp_->serverPort();
    connect(tcp_, &QTcpServer::newConnection, this, &Servidor::nueva);
    latido_ = new QTimer(this);
    latido_->setInterval(kLatidoMs);
    connect(latido_, &QTimer::timeout, this, [this] {
        aVivos(QByteArrayLiteral(": latido\n\n"));
        // Addresses that have not asked for a while are forgotten.
        const qint64 ahora = reloj_.elapsed();
        for (auto it = cubetas_.begin(); it != cubetas_.end();)
            it = ahora - it->ms > 120000 ? cubetas_.erase(it) : std::next(it);
    });
    latido_->start();
    QFile f(QString::fromLatin1(kRutaFuente));
    if (f.open(QIODevice::ReadOnly) && f.size() < 1 << 20)
        fuente_ = f.readAll();
    return {};
}

void Servidor::cerrar()
{
    if (tcp_)
        tcp_->close();
    const auto todas = conexiones_.values();
    for (Conexion* c : todas) {
        if (c->flujo)
            c->flujo->cancelar();
        c->s->abort();
    }
    trabajadores_.waitForDone(5000);
    for (Conexion* c : conexiones_) {
        delete c->s;
        delete c;
    }
    conexiones_.clear();
    clientes_ = 0;
    vivos_ = 0;
}

void Servidor::nueva()
{
    while (QTcpSocket* s = tcp_->nextPendingConnection()) {
        if (conexiones_.size() >= ajustes_.clientes) {
            const QByteArray cuerpo = "Demasiados clientes conectados; pruebe más tarde\n";
            s->write(cabeceraRespuesta(429, {{"Content-Type", "text/plain; charset=utf-8"},
                                             {"Content-Length", QByteArray::number(cuerpo.size())},
                                             {"Retry-After", "10"},
                                             {"Connection", "close"}})
                     + cuerpo);
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            s->disconnectFromHost();
            continue;
        }
        auto* c = new Conexion;
        c->id = siguienteId_++;
        c->s = s;
        c->ip = s->peerAddress().toString();
        c->plazo = new QTimer(s);
        c->plazo->setSingleShot(true);
        c->plazo->start(kPlazoCabeceraMs);
        conexiones_.insert(c->id, c);
        clientes_ = int(conexiones_.size());
        connect(c->plazo, &QTimer::timeout, this, [this, c] {
            if (!c->ocupada && !c->vivo)
                c->s->abort();
        });
        connect(s, &QTcpSocket::readyRead, this, [this, c] { leer(c); });
        connect(s, &QTcpSocket::bytesWritten, this, [this, c] {
            soltarCreditos(c);
            if (c->cerrarAlFinal && !c->ocupada && !c->vivo && c->s->bytesToWrite() == 0)
                c->s->disconnectFromHost();
        });
        connect(s, &QTcpSocket::disconnected, this, [this, c] { quitar(c); });
        connect(s, &QTcpSocket::errorOccurred, this, [this, c](QAbstractSocket::SocketError) {
            if (c->s->state() == QAbstractSocket::UnconnectedState)
                quitar(c);
        });
    }
}

void Servidor::quitar(Conexion* c)
{
    if (!conexiones_.remove(c->id))
        return;
    // Nothing of the socket reaches this connection any more (an error and
    // the disconnection both come, in either order).
    c->s->disconnect(this);
    c->plazo->disconnect(this);
    if (c->flujo)
        c->flujo->cancelar();
    if (c->vivo)
        --vivos_;
    clientes_ = int(conexiones_.size());
    c->s->deleteLater();
    delete c;
}

void Servidor::leer(Conexion* c)
{
    if (c->vivo || c->cerrarAlFinal) {
        c->s->readAll();   // a live page says nothing more
        return;
    }
    c->buf += c->s->read(kCabeceraMaxima + 1 - c->buf.size());
    while (!c->ocupada && !c->cerrarAlFinal && !c->buf.isEmpty()) {
        const Analisis a = analizar(c->buf);
        if (a.estado == Analisis::Incompleta) {
            if (c->s->bytesAvailable() > 0)
                c->buf += c->s->read(kCabeceraMaxima + 1 - c->buf.size());
            return;
        }
        if (a.estado == Analisis::Rechazada) {
            c->buf.clear();
            c->cerrarAlFinal = true;
            if (!permitido(c))
                return;
            enviarError(c, a.codigo, a.motivo,
                        a.codigo == 405 ? QList<QPair<QByteArray, QByteArray>> {{"Allow", "GET, HEAD"}}
                                        : QList<QPair<QByteArray, QByteArray>> {});
            return;
        }
        c->buf.remove(0, a.usados);
        c->cerrarAlFinal = !a.peticion.mantener;
        c->cabeza = a.peticion.metodo == "HEAD";
        c->plazo->start(kInactividadMs);
        if (!permitido(c))
            return;
        atender(c, a.peticion);
        if (c->s->bytesAvailable() > 0 && c->buf.size() <= kCabeceraMaxima)
            c->buf += c->s->read(kCabeceraMaxima + 1 - c->buf.size());
    }
}

bool Servidor::permitido(Conexion* c)
{
    const double porSegundo = ajustes_.peticiones / 60.0;
    const double capacidad = std::max(3.0, ajustes_.peticiones / 6.0);
    const qint64 ahora = reloj_.elapsed();
    auto it = cubetas_.find(c->ip);
    if (it == cubetas_.end())
        it = cubetas_.insert(c->ip, Cubeta {capacidad, ahora});
    it->fichas = std::min(capacidad, it->fichas + (ahora - it->ms) / 1000.0 * porSegundo);
    it->ms = ahora;
    if (it->fichas >= 1) {
        it->fichas -= 1;
        return true;
    }
    const int espera = int(std::ceil((1 - it->fichas) / porSegundo));
    c->cerrarAlFinal = true;
    enviarError(c, 429, QStringLiteral("Demasiadas peticiones; espere %1 s").arg(espera),
                {{"Retry-After", QByteArray::number(espera)}});
    return false;
}

bool Servidor::autorizado(const Peticion& p)
{
    if (ajustes_.usuario.isEmpty())
        return true;
    const QByteArray valor = p.cabecera("authorization");
    if (valor.isEmpty())
        return false;
    if (credencialesBuenas_.contains(valor))
        return true;
    QString usuario, clave;
    if (!leerBasica(valor, usuario, clave) || usuario != ajustes_.usuario || !claveCorrecta(clave, ajustes_.clave))
        return false;
    if (credencialesBuenas_.size() > 64)
        credencialesBuenas_.clear();
    credencialesBuenas_.insert(valor);
    return true;
}

bool Servidor::hostValido(const Peticion& p) const
{
    // Bound to this computer only, a page of another site must not read the
    // view through a name it points at 127.0.0.1.
    if (!loopback_)
        return true;
    QByteArray h = p.cabecera("host").toLower();
    if (h.isEmpty())
        return p.http10;
    if (h.startsWith('[')) {
        h = h.left(h.indexOf(']') + 1);
    } else if (const qsizetype dos = h.lastIndexOf(':'); dos >= 0) {
        h = h.left(dos);
    }
    return h == "127.0.0.1" || h == "localhost" || h == "[::1]" || h.endsWith(".localhost");
}

QByteArray Servidor::cabecerasComunes(bool api) const
{
    QByteArray r = "X-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\n"
                   "Content-Security-Policy: default-src 'self'; img-src 'self' data:; frame-ancestors 'none'\r\n";
    r += api ? "Cache-Control: no-store\r\n" : "Cache-Control: no-cache\r\n";
    return r;
}

void Servidor::enviar(Conexion* c, int codigo, const QByteArray& tipo, const QByteArray& cuerpo,
                      QList<QPair<QByteArray, QByteArray>> extra)
{
    extra.prepend(qMakePair(QByteArray("Content-Length"), QByteArray::number(cuerpo.size())));
    extra.prepend(qMakePair(QByteArray("Content-Type"), tipo));
    if (c->cerrarAlFinal)
        extra.append(qMakePair(QByteArray("Connection"), QByteArray("close")));
    QByteArray cabeza = cabeceraRespuesta(codigo, extra);
    cabeza.insert(cabeza.size() - 2, cabecerasComunes(true));
    c->s->write(cabeza);
    if (!c->cabeza)
        c->s->write(cuerpo);
    terminada(c);
}

void Servidor::enviarError(Conexion* c, int codigo, const QString& motivo, QList<QPair<QByteArray, QByteArray>> extra)
{
    enviar(c, codigo, "application/json; charset=utf-8", json({{QStringLiteral("error"), motivo}}) + '\n', std::move(extra));
}

void Servidor::terminada(Conexion* c)
{
    c->ocupada = false;
    if (c->cerrarAlFinal) {
        if (c->s->bytesToWrite() == 0)
            c->s->disconnectFromHost();
        return;
    }
    c->plazo->start(kInactividadMs);
    if (!c->buf.isEmpty() || c->s->bytesAvailable() > 0) {
        const quint64 id = c->id;
        QMetaObject::invokeMethod(this, [this, id] {
            if (Conexion* v = conexiones_.value(id))
                leer(v);
        }, Qt::QueuedConnection);
    }
}

void Servidor::atender(Conexion* c, const Peticion& p)
{
    c->ocupada = true;
    if (!hostValido(p)) {
        enviarError(c, 400, QStringLiteral("Nombre de servidor no válido"));
        return;
    }
    if (!autorizado(p)) {
        enviarError(c, 401, QStringLiteral("Se requieren usuario y clave"),
                    {{"WWW-Authenticate", "Basic realm=\"Ombrix\", charset=\"UTF-8\""}});
        return;
    }
    for (const Estatico& e : kEstaticos)
        if (p.ruta == QLatin1String(e.ruta)) {
            QFile f(QString::fromLatin1(e.recurso));
            f.open(QIODevice::ReadOnly);
            enviar(c, 200, e.tipo, f.readAll());
            return;
        }
    if (p.ruta == QLatin1String("/dseg7.ttf")) {
        if (fuente_.isEmpty())
            enviarError(c, 404, QStringLiteral("No existe"));
        else
            enviar(c, 200, "font/ttf", fuente_, {{"Cache-Control", "max-age=86400"}});
        return;
    }
    if (p.ruta.startsWith(QLatin1String("/api/"))) {
        rutaApi(c, p);
        return;
    }
    enviarError(c, 404, QStringLiteral("No existe"));
}

void Servidor::rutaApi(Conexion* c, const Peticion& p)
{
    const QStringList partes = p.ruta.mid(5).split(QLatin1Char('/'));
    auto valor = [&p](const char* k) { return p.consulta.queryItemValue(QString::fromLatin1(k), QUrl::FullyDecoded); };
    auto tiene = [&p](const char* k) { return p.consulta.hasQueryItem(QString::fromLatin1(k)); };
    auto entero = [&](const char* k, int porDefecto, int minimo, int maximo, bool& ok) {
        if (!tiene(k))
            return porDefecto;
        bool bien = false;
        const int v = valor(k).toInt(&bien);
        if (!bien || v < minimo || v > maximo)
            ok = false;
        return v;
    };

    if (partes == QStringList {QStringLiteral("vivo")}) {
        c->vivo = true;
        ++vivos_;
        c->plazo->stop();
        QByteArray cabeza = cabeceraRespuesta(200, {{"Content-Type", "text/event-stream; charset=utf-8"}});
        cabeza.insert(cabeza.size() - 2, cabecerasComunes(true));
        c->s->write(cabeza);
        if (c->cabeza) {
            c->cerrarAlFinal = true;
            terminada(c);
            return;
        }
        QJsonObject todo;
        {
            std::lock_guard g(estado_->m);
            todo = estado_->json();
        }
        c->s->write("retry: 2000\n\n" + marco("estado", todo));
        return;
    }
    if (partes == QStringList {QStringLiteral("instrumentos")}) {
        std::lock_guard g(estado_->m);
        const QByteArray cuerpo = json(estado_->json());
        enviar(c, 200, "application/json; charset=utf-8", cuerpo);
        return;
    }
    if (partes == QStringList {QStringLiteral("eventos")}) {
        bool ok = true;
        const int limite = entero("limite", 50, 1, kLimiteEventos, ok);
        const int instrumento = entero("instrumento", -1, 0, 20, ok);
        std::optional<QDateTime> desde, hasta;
        if (tiene("desde") && !(desde = leerInstante(valor("desde"))))
            ok = false;
        if (tiene("hasta") && !(hasta = leerInstante(valor("hasta"))))
            ok = false;
        if (!ok) {
            enviarError(c, 400, QStringLiteral("Parámetros no válidos (limite 1..1000, instrumento 0..20, fechas ISO 8601)"));
            return;
        }
        trabajo(c, [=](const QSqlDatabase& db, const QString&, QString* error) {
            return eventos(db, desde.value_or(QDateTime()), hasta.value_or(QDateTime()), instrumento, limite, error);
        });
        return;
    }
    if (partes.size() >= 2 && partes.size() <= 3 && partes[0] == QLatin1String("instrumentos")) {
        bool esNumero = false;
        const int n = partes[1].toInt(&esNumero);
        InstrumentoWeb info;
        {
            std::lock_guard g(estado_->m);
            if (esNumero && estado_->instrumentos.count(n))
                info = estado_->instrumentos.at(n);
        }
        if (info.n == 0) {
            enviarError(c, 404, QStringLiteral("No hay instrumento %1").arg(partes[1]));
            return;
        }
        if (partes.size() == 2) {
            enviar(c, 200, "application/json; charset=utf-8", json(EstadoWeb::jsonInstrumento(info)));
            return;
        }
        const QString que = partes[2];
        if (que == QLatin1String("csv")) {
            const QDate d = QDate::fromString(valor("desde"), Qt::ISODate);
            const QDate h = QDate::fromString(valor("hasta"), Qt::ISODate);
            if (!d.isValid() || !h.isValid() || d > h) {
                enviarError(c, 400, QStringLiteral("Indique desde y hasta como fechas AAAA-MM-DD, desde no posterior a hasta"));
                return;
            }
            csv(c, n, d.year() * 10000 + d.month() * 100 + d.day(), h.year() * 10000 + h.month() * 100 + h.day(),
                QStringLiteral("instrumento%1_%2_%3.csv").arg(n).arg(d.toString(Qt::ISODate), h.toString(Qt::ISODate)));
            return;
        }
        if (que != QLatin1String("tendencia") && que != QLatin1String("lecturas")) {
            enviarError(c, 404, QStringLiteral("No existe"));
            return;
        }
        const QDateTime ahora = QDateTime::currentDateTime();
        std::optional<QDateTime> desde = tiene("desde") ? leerInstante(valor("desde")) : ahora.addSecs(-3600);
        std::optional<QDateTime> hasta = tiene("hasta") ? leerInstante(valor("hasta")) : ahora;
        bool ok = desde && hasta && *desde <= *hasta;
        if (!ok) {
            enviarError(c, 400, QStringLiteral("Indique desde y hasta en ISO 8601 (2026-01-31T08:00:00Z), desde no posterior a hasta"));
            return;
        }
        const qint64 d = segundosLocales(*desde), h = segundosLocales(*hasta);
        if (que == QLatin1String("tendencia")) {
            const int puntos = entero("puntos", 800, 10, kPuntosMaximos, ok);
            if (!ok) {
                enviarError(c, 400, QStringLiteral("puntos debe ir de 10 a %1").arg(kPuntosMaximos));
                return;
            }
            const std::shared_ptr<Resumenes> resumenes = estado_->resumenes;
            trabajo(c, [=](const QSqlDatabase& db, const QString& ruta, QString* error) {
                return tendencia(db, ruta, n, d, h, puntos, error, 200000, resumenes.get());
            });
        } else {
            const int limite = entero("limite", 1000, 1, kLimiteLecturas, ok);
            bool bien = true;
            const qint64 despues = tiene("despues") ? valor("despues").toLongLong(&bien) : 0;
            if (!ok || !bien || despues < 0) {
                enviarError(c, 400, QStringLiteral("limite debe ir de 1 a %1 y despues ser un Id").arg(kLimiteLecturas));
                return;
            }
            trabajo(c, [=](const QSqlDatabase& db, const QString&, QString* error) {
                return lecturas(db, n, d, h, despues, limite, error);
            });
        }
        return;
    }
    enviarError(c, 404, QStringLiteral("No existe"));
}

bool Servidor::puedeLeer(Conexion* c, QString& ruta)
{
    {
        std::lock_guard g(estado_->m);
        ruta = estado_->rutaBase;
    }
    if (ruta.isEmpty()) {
        enviarError(c, 503, QStringLiteral("No hay base de datos abierta"));
        return false;
    }
    if (trabajando_ >= kTrabajosMaximos) {
        enviarError(c, 503, QStringLiteral("Servidor ocupado; pruebe en unos segundos"), {{"Retry-After", "2"}});
        return false;
    }
    return true;
}

void Servidor::trabajo(Conexion* c, Lectura f)
{
    QString ruta;
    if (!puedeLeer(c, ruta))
        return;
    ++trabajando_;
    const quint64 id = c->id;
    trabajadores_.start([this, id, f = std::move(f), ruta] {
        BaseDatos base;
        QString error;
        int codigo = 503;
        QByteArray cuerpo;
        if (base.abrirLectura(ruta, &error, false)) {
            const std::optional<QJsonObject> r = f(base.db(), ruta, &error);
            codigo = r ? 200 : 500;
            cuerpo = r ? json(*r) : QByteArray();
        }
        if (codigo != 200)
            cuerpo = json({{QStringLiteral("error"), error}});
        QMetaObject::invokeMethod(this, [this, id, codigo = codigo, cuerpo = cuerpo] {
            --trabajando_;
            if (Conexion* c = conexiones_.value(id))
                enviar(c, codigo, "application/json; charset=utf-8", cuerpo);
        }, Qt::QueuedConnection);
    });
}

namespace {

struct Galleta {
    Servidor* servidor;
    quint64 id;
    std::shared_ptr<Flujo> flujo;
    std::function<void(const QByteArray&)> entregar;
};

ssize_t escribirGalleta(void* g, const char* datos, size_t largo)
{
    auto* gal = static_cast<Galleta*>(g);
    while (!gal->flujo->creditos.tryAcquire(1, 1000))
        if (gal->flujo->cancelado)
            return -1;
    if (gal->flujo->cancelado)
        return -1;
    gal->entregar(QByteArray(datos, qsizetype(largo)));
    return ssize_t(largo);
}

} // namespace

void Servidor::csv(Conexion* c, int n, int desde, int hasta, const QString& nombre)
{
    QString ruta;
    QStringList titulos;
    {
        std::lock_guard g(estado_->m);
        titulos = estado_->instrumentos.at(n).titulosCsv;
    }
    if (!puedeLeer(c, ruta))
        return;
    QByteArray cabeza = cabeceraRespuesta(200, {{"Content-Type", "text/csv; charset=utf-8"},
                                                {"Content-Disposition", "attachment; filename=\"" + nombre.toUtf8() + '"'},
                                                {"Transfer-Encoding", "chunked"}});
    cabeza.insert(cabeza.size() - 2, cabecerasComunes(true));
    c->s->write(cabeza);
    if (c->cabeza) {
        c->s->write("0\r\n\r\n");
        terminada(c);
        return;
    }
    ++trabajando_;
    c->flujo = std::make_shared<Flujo>();
    const quint64 id = c->id;
    auto flujo = c->flujo;
    trabajadores_.start([this, id, flujo, ruta, titulos, n, desde, hasta] {
        Galleta g {this, id, flujo, [this, id](const QByteArray& t) {
                       QMetaObject::invokeMethod(this, [this, id, t] { alTrozo(id, t); }, Qt::QueuedConnection);
                   }};
        bool bien = false;
        BaseDatos base;
        QString error;
        if (base.abrirLectura(ruta, &error, false)) {
            cookie_io_functions_t funciones {nullptr, &escribirGalleta, nullptr, nullptr};
            if (std::FILE* f = fopencookie(&g, "w", funciones)) {
                std::setvbuf(f, nullptr, _IOFBF, 64 * 1024);
                bien = escribirCsv(base.db(), n, titulos, f, ',', desde, hasta, &error) >= 0;
                bien = std::fclose(f) == 0 && bien;
            }
        }
        QMetaObject::invokeMethod(this, [this, id, bien] {
            --trabajando_;
            alFinFlujo(id, bien);
        }, Qt::QueuedConnection);
    });
}

void Servidor::alTrozo(quint64 id, const QByteArray& trozo)
{
    Conexion* c = conexiones_.value(id);
    if (!c)
        return;
    c->s->write(QByteArray::number(trozo.size(), 16) + "\r\n" + trozo + "\r\n");
    ++c->creditosDebidos;
    soltarCreditos(c);
}

void Servidor::soltarCreditos(Conexion* c)
{
    while (c->flujo && c->creditosDebidos > 0 && c->s->bytesToWrite() < kPendienteCsv) {
        --c->creditosDebidos;
        c->flujo->creditos.release();
    }
}

void Servidor::alFinFlujo(quint64 id, bool bien)
{
    Conexion* c = conexiones_.value(id);
    if (!c)
        return;
    c->flujo.reset();
    c->creditosDebidos = 0;
    if (!bien) {
        // Cut short: the client sees an unfinished transfer, never a short file that looks whole.
        c->s->abort();
        return;
    }
    c->s->write("0\r\n\r\n");
    terminada(c);
}

void Servidor::aVivos(const QByteArray& m)
{
    QList<Conexion*> lentos;
    for (Conexion* c : std::as_const(conexiones_)) {
        if (!c->vivo)
            continue;
        if (c->s->bytesToWrite() > kPendienteMaximo) {
            lentos << c;
            continue;
        }
        c->s->write(m);
    }
    for (Conexion* c : lentos) {
        ++lentos_;
        c->s->abort();
    }
}

void Servidor::repartir()
{
    std::deque<Cambio> cambios;
    qint64 descartadas = 0;
    {
        std::lock_guard g(estado_->m);
        cambios.swap(estado_->cola);
        estado_->despertado = false;
        if (estado_->descartadasEpisodio > 0) {
            descartadas = estado_->descartadasEpisodio;
            estado_->descartadasEpisodio = 0;
        }
    }
    if (descartadas > 0 && estado_->avisar)
        estado_->avisar(QStringLiteral("Web: la cola se vació de nuevo; %1 avisos descartados mientras estuvo llena").arg(descartadas));
    if (vivos_ == 0)
        return;
    bool estado = false;
    for (const Cambio& c : cambios) {
        switch (c.tipo) {
        case Cambio::Lectura: {
            aVivos(marco("lectura", jsonLecturaWeb(c.lectura)));
            break;
        }
        case Cambio::Evento:
            aVivos(marco("evento", jsonEvento(c.evento)));
            break;
        case Cambio::Estado:
            estado = true;
            break;
        }
    }
    if (estado) {
        QJsonObject linea;
        {
            std::lock_guard g(estado_->m);
            linea = estado_->json();
        }
        aVivos(marco("estado", linea));
    }
}

bool aplicarDireccionWeb(const QString& texto, AjustesWeb& a, QString* error)
{
    auto falla = [&](const QString& m) {
        if (error)
            *error = m;
        return false;
    };
    const QString t = texto.trimmed();
    QString host, puerto;
    if (t.startsWith(QLatin1Char('['))) {
        const qsizetype cierre = t.indexOf(QStringLiteral("]:"));
        if (cierre < 0)
            return falla(QStringLiteral("se espera [dirección IPv6]:PUERTO: %1").arg(t));
        host = t.mid(1, cierre - 1);
        puerto = t.mid(cierre + 2);
    } else if (const qsizetype dos = t.lastIndexOf(QLatin1Char(':')); dos >= 0) {
        host = t.left(dos);
        puerto = t.mid(dos + 1);
    } else {
        puerto = t;
    }
    bool ok = false;
    const int p = puerto.toInt(&ok);
    if (!ok || p < 0 || p > 65535)
        return falla(QStringLiteral("el puerto debe ser un número de 1 a 65535 (0: uno libre): %1").arg(t));
    if (!host.isEmpty() && QHostAddress(host).isNull())
        return falla(QStringLiteral("se espera una dirección IP de este equipo (127.0.0.1, 0.0.0.0, ::1...): %1").arg(host));
    a.activo = true;
    a.direccion = host;
    a.puerto = p;
    return true;
}

} // namespace ombrix::web
