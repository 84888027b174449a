#pragma once
// A plain HTTP client for tests: sends the bytes given as they are (so a
// test can send what no library would) and reads one response, whole.

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTcpSocket>

namespace ombrix::test {

struct RespuestaHttp {
    int codigo = 0;                  // 0: no answer
    QMap<QByteArray, QByteArray> cabeceras;   // names in lower case
    QByteArray cuerpo;
    QJsonObject json() const { return QJsonDocument::fromJson(cuerpo).object(); }
};

// Reads one response from `s` (Content-Length, chunked, or until closed).
inline RespuestaHttp leerRespuesta(QTcpSocket& s, bool cabeza = false, int plazoMs = 10000)
{
    RespuestaHttp r;
    QByteArray buf;
    QElapsedTimer reloj;
    reloj.start();
    auto esperar = [&] {
        if (s.bytesAvailable() == 0 && !s.waitForReadyRead(int(qMax<qint64>(1, plazoMs - reloj.elapsed()))))
            return false;
        buf += s.readAll();
        return true;
    };
    qsizetype fin;
    while ((fin = buf.indexOf("\r\n\r\n")) < 0)
        if (!esperar())
            return r;
    const QList<QByteArray> lineas = buf.left(fin).split('\n');
    r.codigo = lineas.first().split(' ').value(1).toInt();
    for (int i = 1; i < lineas.size(); ++i) {
        const QByteArray l = lineas[i].trimmed();
        const qsizetype dos = l.indexOf(':');
        r.cabeceras.insert(l.left(dos).toLower(), l.mid(dos + 1).trimmed());
    }
    buf.remove(0, fin + 4);
    if (cabeza)
        return r;
    if (r.cabeceras.value("transfer-encoding") == "chunked") {
        for (;;) {
            qsizetype eol;
            while ((eol = buf.indexOf("\r\n")) < 0)
                if (!esperar())
                    return r;
            const int largo = buf.left(eol).toInt(nullptr, 16);
            while (buf.size() < eol + 2 + largo + 2)
                if (!esperar())
                    return r;
            if (largo == 0)
                return r;
            r.cuerpo += buf.mid(eol + 2, largo);
            buf.remove(0, eol + 2 + largo + 2);
        }
    }
    if (r.cabeceras.contains("content-length")) {
        const int largo = r.cabeceras.value("content-length").toInt();
        while (buf.size() < largo)
            if (!esperar())
                break;
        r.cuerpo = buf.left(largo);
        return r;
    }
    while (esperar()) {
    }
    r.cuerpo = buf;
    return r;
}

// Sends `crudo` on a new connection to 127.0.0.1:puerto and reads the answer.
inline RespuestaHttp pedirCrudo(quint16 puerto, const QByteArray& crudo, bool cabeza = false)
{
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), puerto);
    if (!s.waitForConnected(5000))
        return {};
    s.write(crudo);
    s.waitForBytesWritten(5000);
    return leerRespuesta(s, cabeza);
}

// GET `ruta` (with `extra` header lines, each ending in CRLF).
inline RespuestaHttp pedir(quint16 puerto, const QByteArray& ruta, const QByteArray& extra = {})
{
    return pedirCrudo(puerto, "GET " + ruta + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(puerto) + "\r\n"
                                  + extra + "Connection: close\r\n\r\n");
}

} // namespace ombrix::test
