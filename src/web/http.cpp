#include "web/http.h"

#include <QTimeZone>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

namespace ombrix::web {

QByteArray Peticion::cabecera(const QByteArray& nombre) const
{
    for (const auto& [k, v] : cabeceras)
        if (k == nombre)
            return v;
    return {};
}

namespace {

Analisis rechazo(int codigo, const QString& motivo)
{
    Analisis a;
    a.estado = Analisis::Rechazada;
    a.codigo = codigo;
    a.motivo = motivo;
    return a;
}

bool esToken(const QByteArray& t)
{
    if (t.isEmpty())
        return false;
    for (char c : t)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || QByteArray("!#$%&'*+-.^_`|~").contains(c)))
            return false;
    return true;
}

} // namespace

Analisis analizar(const QByteArray& buf)
{
    const qsizetype fin = buf.indexOf("\r\n\r\n");
    if (fin < 0) {
        if (buf.size() > kCabeceraMaxima)
            return rechazo(413, QStringLiteral("Petición demasiado grande"));
        // A client that sends a bare line feed never gets an answer otherwise.
        if (buf.size() >= 2 && buf.indexOf("\n\n") >= 0)
            return rechazo(400, QStringLiteral("Petición mal formada"));
        return {};
    }
    if (fin + 4 > kCabeceraMaxima)
        return rechazo(413, QStringLiteral("Petición demasiado grande"));
    const QList<QByteArray> lineas = buf.left(fin).split('\n');
    const QByteArray primera = lineas.first().trimmed();
    const QList<QByteArray> partes = primera.split(' ');
    if (partes.size() != 3 || !esToken(partes[0]) || !partes[1].startsWith('/')
        || (partes[2] != "HTTP/1.1" && partes[2] != "HTTP/1.0"))
        return rechazo(400, QStringLiteral("Petición mal formada"));
    Analisis a;
    Peticion& p = a.peticion;
    p.metodo = partes[0];
    p.http10 = partes[2] == "HTTP/1.0";
    for (int i = 1; i < lineas.size(); ++i) {
        QByteArray l = lineas[i];
        if (l.endsWith('\r'))
            l.chop(1);
        if (l.isEmpty() || l.startsWith(' ') || l.startsWith('\t'))
            return rechazo(400, QStringLiteral("Petición mal formada"));
        const qsizetype dos = l.indexOf(':');
        if (dos <= 0 || !esToken(l.left(dos)))
            return rechazo(400, QStringLiteral("Petición mal formada"));
        p.cabeceras.append({l.left(dos).toLower(), l.mid(dos + 1).trimmed()});
    }
    // Nothing the view offers takes a body.
    const QByteArray largo = p.cabecera("content-length");
    if (!p.cabecera("transfer-encoding").isEmpty())
        return rechazo(413, QStringLiteral("Esta vista no acepta contenido en las peticiones"));
    if (!largo.isEmpty()) {
        bool ok = false;
        const qint64 n = largo.toLongLong(&ok);
        if (!ok || n < 0)
            return rechazo(400, QStringLiteral("Petición mal formada"));
        if (n > 0)
            return rechazo(413, QStringLiteral("Esta vista no acepta contenido en las peticiones"));
    }
    if (p.metodo != "GET" && p.metodo != "HEAD") {
        Analisis r = rechazo(405, QStringLiteral("Solo lectura: se aceptan GET y HEAD"));
        r.peticion = p;
        return r;
    }
    const QByteArray destino = partes[1];
    const qsizetype q = destino.indexOf('?');
    const QByteArray camino = q < 0 ? destino : destino.left(q);
    if (camino.contains("%00") || camino.contains('\\'))
        return rechazo(400, QStringLiteral("Ruta no válida"));
    p.ruta = QUrl::fromPercentEncoding(camino);
    if (p.ruta.contains(QStringLiteral("/..")) || p.ruta.contains(QStringLiteral("//")))
        return rechazo(400, QStringLiteral("Ruta no válida"));
    if (q >= 0)
        p.consulta = QUrlQuery(QString::fromUtf8(destino.mid(q + 1)));
    const QByteArray conexion = p.cabecera("connection").toLower();
    p.mantener = p.http10 ? conexion.contains("keep-alive") : !conexion.contains("close");
    a.estado = Analisis::Lista;
    a.usados = int(fin + 4);
    return a;
}

QByteArray razon(int codigo)
{
    switch (codigo) {
    case 200: return "OK";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Content Too Large";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

QByteArray cabeceraRespuesta(int codigo, const QList<QPair<QByteArray, QByteArray>>& cabeceras)
{
    QByteArray r = "HTTP/1.1 " + QByteArray::number(codigo) + ' ' + razon(codigo) + "\r\n";
    for (const auto& [k, v] : cabeceras)
        r += k + ": " + v + "\r\n";
    r += "\r\n";
    return r;
}

std::optional<QDateTime> leerInstante(const QString& texto)
{
    const QString t = texto.trimmed();
    if (t.size() == 10) {
        const QDate d = QDate::fromString(t, Qt::ISODate);
        if (!d.isValid())
            return std::nullopt;
        return d.startOfDay();
    }
    if (t.size() < 16 || t[10] != QLatin1Char('T'))
        return std::nullopt;
    const QDateTime dt = QDateTime::fromString(t, Qt::ISODateWithMs);
    if (!dt.isValid())
        return std::nullopt;
    return dt;
}

qint64 segundosLocales(const QDateTime& t)
{
    const QDateTime l = t.toLocalTime();
    return QDateTime(l.date(), l.time(), Qt::UTC).toSecsSinceEpoch();
}

QString isoDeSegundosLocales(qint64 s)
{
    return IsoLocal()(s);
}

QString IsoLocal::operator()(qint64 s)
{
    const QDateTime u = QDateTime::fromSecsSinceEpoch(s, Qt::UTC);
    if (s / 3600 != hora_) {
        hora_ = s / 3600;
        desfase_ = QDateTime(u.date(), u.time()).offsetFromUtc();
    }
    const QDate d = u.date();
    const QTime t = u.time();
    char b[40];
    if (desfase_ == 0) {
        std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02dZ", d.year(), d.month(), d.day(), t.hour(), t.minute(),
                      t.second());
    } else {
        const int m = std::abs(desfase_) / 60;
        std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", d.year(), d.month(), d.day(), t.hour(),
                      t.minute(), t.second(), desfase_ < 0 ? '-' : '+', m / 60, m % 60);
    }
    return QString::fromLatin1(b);
}

bool leerBasica(const QByteArray& valor, QString& usuario, QString& clave)
{
    if (!valor.startsWith("Basic ") && !valor.startsWith("basic "))
        return false;
    const auto dec = QByteArray::fromBase64Encoding(valor.mid(6).trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!dec)
        return false;
    const qsizetype dos = dec.decoded.indexOf(':');
    if (dos < 0)
        return false;
    usuario = QString::fromUtf8(dec.decoded.left(dos));
    clave = QString::fromUtf8(dec.decoded.mid(dos + 1));
    return true;
}

} // namespace ombrix::web
