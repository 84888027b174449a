#pragma once
// The small part of HTTP/1.1 the web view speaks: reading one request head
// (GET and HEAD only, no body), and writing a response head. No sockets
// here: the server feeds the bytes and writes what these give back.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrlQuery>

#include <limits>
#include <optional>

namespace ombrix::web {

// A request head larger than this is refused (413) before it is read whole.
constexpr int kCabeceraMaxima = 8192;

struct Peticion {
    QByteArray metodo;        // "GET", "HEAD", anything else is refused with 405
    QString ruta;             // the decoded path, "/api/instrumentos"
    QUrlQuery consulta;       // the query, decoded
    QList<QPair<QByteArray, QByteArray>> cabeceras;   // names in lower case
    bool http10 = false;
    bool mantener = true;     // keep the connection after the answer

    QByteArray cabecera(const QByteArray& nombre) const;   // "" when absent
};

// What reading the bytes gave: a whole head, more bytes needed, or an
// answer to give at once (400, 405, 413) and close.
struct Analisis {
    enum Estado { Incompleta, Lista, Rechazada } estado = Incompleta;
    Peticion peticion;
    int usados = 0;           // bytes of `buf` the head took (Lista)
    int codigo = 0;           // Rechazada: 400, 405, 413
    QString motivo;           // Rechazada: a short Spanish text
};
Analisis analizar(const QByteArray& buf);

// "HTTP/1.1 <codigo> <reason>" and the headers, with the end of the head.
QByteArray cabeceraRespuesta(int codigo, const QList<QPair<QByteArray, QByteArray>>& cabeceras);
QByteArray razon(int codigo);

// An instant from a query: "2026-12-11", "2026-12-11T08:00", with seconds,
// milliseconds, "Z" or an offset; without zone it is local time. A date
// alone is its day's start.
std::optional<QDateTime> leerInstante(const QString& texto);
// Local time of `t` as seconds on the stored rows' axis (date and time as
// written, taken without zone).
qint64 segundosLocales(const QDateTime& t);
// The other way: seconds on that axis as ISO 8601 with the local offset.
QString isoDeSegundosLocales(qint64 s);

// The same for many instants in a row: the local offset is looked up once an hour.
class IsoLocal {
public:
    QString operator()(qint64 s);

private:
    qint64 hora_ = std::numeric_limits<qint64>::min();
    int desfase_ = 0;
};

// The user and password of an "Authorization: Basic ..." header.
bool leerBasica(const QByteArray& valor, QString& usuario, QString& clave);

} // namespace ombrix::web
