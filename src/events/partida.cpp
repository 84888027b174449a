#include "events/partida.h"

#include "events/almacen_eventos.h"
#include "events/sellos.h"
#include "integration/lectura_planta.h"
#include "views/consultas.h"

#include <QHash>

#include <sqlite3.h>

#include "events/sql_texto.h"

namespace ombrix {

namespace {
QString texto(sqlite3_stmt* s, int c) { return sqlTexto::columna(s, c); }
QString comillas(const QString& t) { return sqlTexto::identificador(t); }


QDateTime instante(const QString& fecha, const QString& hora)
{
    return QDateTime(QDate::fromString(fecha, QStringLiteral("dd/MM/yyyy")), QTime::fromString(hora, QStringLiteral("hh:mm:ss")));
}

bool fallo(QString* error, sqlite3* h)
{
    if (error)
        *error = QString::fromUtf8(sqlite3_errmsg(h));
    return false;
}
} // namespace

QString textoDuracion(qint64 s)
{
    if (s < 0)
        s = 0;
    const qint64 d = s / 86400;
    const QString hms = QStringLiteral("%1:%2:%3")
                            .arg((s % 86400) / 3600, 2, 10, QLatin1Char('0'))
                            .arg((s % 3600) / 60, 2, 10, QLatin1Char('0'))
                            .arg(s % 60, 2, 10, QLatin1Char('0'));
    return d > 0 ? QStringLiteral("%1 d %2").arg(d).arg(hms) : hms;
}

QVector<PartidaListada> listarPartidas(const QSqlDatabase& db, const QString& tabla, QString* error)
{
    QVector<PartidaListada> r;
    sqlite3* h = manejadorSqlite(db);
    if (!h) {
        if (error)
            *error = QStringLiteral("la conexión no es de SQLite");
        return r;
    }
    // One pass in Id order: the first row of each code opens its entry.
    const QByteArray sql = QStringLiteral("SELECT \"Partida\",\"Fecha\",\"Hora\" FROM %1 "
                                          "WHERE \"Partida\" IS NOT NULL AND \"Partida\" <> '' ORDER BY \"Id\"")
                               .arg(comillas(tabla))
                               .toUtf8();
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(h, sql.constData(), -1, &s, nullptr) != SQLITE_OK) {
        fallo(error, h);
        return r;
    }
    QHash<QString, int> indice;
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        const QString codigo = texto(s, 0);
        auto it = indice.find(codigo);
        if (it == indice.end()) {
            it = indice.insert(codigo, int(r.size()));
            PartidaListada p;
            p.codigo = codigo;
            p.fechaInicio = texto(s, 1);
            p.horaInicio = texto(s, 2);
            r.append(p);
        }
        PartidaListada& p = r[*it];
        p.fechaFin = texto(s, 1);
        p.horaFin = texto(s, 2);
        ++p.filas;
    }
    if (rc != SQLITE_DONE)
        fallo(error, h);
    sqlite3_finalize(s);
    return r;
}

bool leerPartida(const QSqlDatabase& db, int n, const QString& codigo, DatosPartida& d, QString* error)
{
    d = DatosPartida();
    d.instrumento = n;
    d.codigo = codigo;
    sqlite3* h = manejadorSqlite(db);
    if (!h) {
        if (error)
            *error = QStringLiteral("la conexión no es de SQLite");
        return false;
    }
    const QString tabla = QStringLiteral("Instrumento%1").arg(n);
    const QByteArray sql = QStringLiteral("SELECT \"Id\",\"Fecha\",\"Hora\",\"Valor_medido\",\"Set_point\",\"Alarma_1\","
                                          "\"Alarma_2\",\"Alarma_3\",\"Alarma_4\" FROM %1 WHERE \"Partida\" = ?1 ORDER BY \"Id\"")
                               .arg(comillas(tabla))
                               .toUtf8();
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(h, sql.constData(), -1, &s, nullptr) != SQLITE_OK)
        return fallo(error, h);
    const QByteArray c = codigo.toUtf8();
    sqlite3_bind_text(s, 1, c.constData(), int(c.size()), SQLITE_TRANSIENT);
    double suma = 0;
    qint64 numericas = 0;
    QDateTime anterior;
    std::array<bool, 4> encendida{};
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        const qint64 id = sqlite3_column_int64(s, 0);
        const QString fecha = texto(s, 1), hora = texto(s, 2);
        const QDateTime t = instante(fecha, hora);
        if (d.filas == 0) {
            d.primerId = id;
            d.fechaInicio = fecha;
            d.horaInicio = hora;
            d.inicio = t;
        }
        // The time since the row before counts for each alarm on in that row.
        if (anterior.isValid() && t.isValid()) {
            const qint64 paso = anterior.secsTo(t);
            for (int i = 0; i < 4; ++i)
                if (encendida[i] && paso > 0)
                    d.segundosAlarma[i] += paso;
        }
        ++d.filas;
        d.ultimoId = id;
        d.fechaFin = fecha;
        d.horaFin = hora;
        d.fin = t;
        anterior = t;
        const double x = d.inicio.isValid() && t.isValid() ? double(d.inicio.secsTo(t)) : double(d.filas - 1);
        if (const auto v = numeroDeTexto(texto(s, 3))) {
            ++numericas;
            suma += *v;
            d.minimo = d.minimo ? std::min(*d.minimo, *v) : *v;
            d.maximo = d.maximo ? std::max(*d.maximo, *v) : *v;
            d.valor.append({x, *v});
        } else {
            ++d.sinValor;
        }
        if (const auto sp = numeroDeTexto(texto(s, 4))) {
            d.spMinimo = d.spMinimo ? std::min(*d.spMinimo, *sp) : *sp;
            d.spMaximo = d.spMaximo ? std::max(*d.spMaximo, *sp) : *sp;
            d.consigna.append({x, *sp});
        }
        for (int i = 0; i < 4; ++i) {
            const auto a = numeroDeTexto(texto(s, 5 + i));
            encendida[i] = a && *a >= 100.0;
            d.alarmaLeida[i] = d.alarmaLeida[i] || a.has_value();
        }
    }
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE)
        return fallo(error, h);
    if (numericas > 0)
        d.media = suma / double(numericas);
    if (d.inicio.isValid() && d.fin.isValid())
        d.duracionS = d.inicio.secsTo(d.fin);
    if (d.filas == 0)
        return true;

    d.sello = sellos::resumenPartida(db, tabla, codigo, nullptr, error);
    if (d.sello.isEmpty())
        return false;
    d.hayEventos = almacenEventos::tieneTablas(db);
    if (d.hayEventos && d.inicio.isValid() && d.fin.isValid()) {
        almacenEventos::Filtro f;
        f.instrumento = n;
        f.desde = d.inicio;
        f.hasta = d.fin.addSecs(1);
        QString e;
        d.eventos = almacenEventos::leer(db, f, &e);
        if (!e.isEmpty()) {
            if (error)
                *error = e;
            return false;
        }
    }
    return true;
}

} // namespace ombrix
