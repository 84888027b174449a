#include "events/almacen_eventos.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QSqlError>
#include <QUrl>
#include <QSqlQuery>
#include <QVariant>

namespace ombrix::almacenEventos {

namespace {
const char* const kColumnas =
    "\"Id\",\"Instante\",\"Fecha\",\"Hora\",\"Instrumento\",\"Tipo\",\"Texto\",\"Anterior\",\"Nuevo\","
    "\"Nivel\",\"Equipo\",\"Usuario\",\"Origen\",\"Hash\"";

bool fallo(QString* error, const QSqlError& e)
{
    if (error)
        *error = e.text();
    return false;
}

QString tablaEventos()
{
    return QStringLiteral(
        "CREATE TABLE IF NOT EXISTS \"Eventos\" (\n"
        "    \"Id\" INTEGER PRIMARY KEY AUTOINCREMENT,\n"
        "    \"Instante\" TEXT,\n"
        "    \"Fecha\" TEXT,\n"
        "    \"Hora\" TEXT,\n"
        "    \"Instrumento\" INTEGER,\n"
        "    \"Tipo\" TEXT,\n"
        "    \"Texto\" TEXT,\n"
        "    \"Anterior\" TEXT,\n"
        "    \"Nuevo\" TEXT,\n"
        "    \"Nivel\" INTEGER,\n"
        "    \"Equipo\" TEXT,\n"
        "    \"Usuario\" TEXT,\n"
        "    \"Origen\" TEXT,\n"
        "    \"Hash\" TEXT\n"
        ")");
}

QString tablaSellos()
{
    return QStringLiteral(
        "CREATE TABLE IF NOT EXISTS \"Sellos\" (\n"
        "    \"Id\" INTEGER PRIMARY KEY AUTOINCREMENT,\n"
        "    \"Instante\" TEXT,\n"
        "    \"Tabla\" TEXT,\n"
        "    \"Desde\" INTEGER,\n"
        "    \"Hasta\" INTEGER,\n"
        "    \"Filas\" INTEGER,\n"
        "    \"Resumen\" TEXT,\n"
        "    \"Huellas\" BLOB,\n"
        "    \"Evento\" INTEGER,\n"
        "    \"UltimoEvento\" INTEGER,\n"
        "    \"Hash\" TEXT\n"
        ")");
}

QString disparador(const char* tabla, const char* accion, const char* mensaje)
{
    return QStringLiteral("CREATE TRIGGER IF NOT EXISTS \"%1_sin_%2\" BEFORE %3 ON \"%1\"\n"
                          "BEGIN SELECT RAISE(ABORT, '%4'); END")
        .arg(QLatin1String(tabla), QString::fromLatin1(accion).toLower(), QLatin1String(accion), QString::fromUtf8(mensaje));
}
} // namespace

QSqlDatabase abrirLectura(const QString& ruta, const QString& nombre, QString* error)
{
    const QFileInfo info(ruta);
    if (!info.isFile()) {
        if (error)
            *error = QStringLiteral("El archivo no existe");
        return {};
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nombre);
    db.setDatabaseName(QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded) + QStringLiteral("?mode=ro"));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000"));
    QString porque;
    if (!db.open())
        porque = db.lastError().text();
    else {
        // A file that is not SQLite opens; its first read tells.
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
            porque = q.lastError().nativeErrorCode() == QLatin1String("26")
                         ? QStringLiteral("no es un archivo SQLite válido")
                         : (q.lastError().nativeErrorCode().toInt() & 0xff) == 5 ? QStringLiteral("El archivo está en uso por otro programa")
                                                                                : q.lastError().text();
    }
    if (!porque.isEmpty()) {
        if (error)
            *error = porque;
        db.close();
        return {};
    }
    return db;
}

QStringList sentenciasTablas()
{
    return {tablaEventos(),
            disparador("Eventos", "UPDATE", "Los eventos no se modifican"),
            disparador("Eventos", "DELETE", "Los eventos no se borran"),
            tablaSellos(),
            disparador("Sellos", "UPDATE", "Los sellos no se modifican"),
            disparador("Sellos", "DELETE", "Los sellos no se borran")};
}

bool tieneTablas(const QSqlDatabase& db)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='table' AND name IN ('Eventos','Sellos')"));
    return q.exec() && q.next() && q.value(0).toInt() == 2;
}

bool prepararTablas(QSqlDatabase db, QString* error)
{
    QSqlQuery q(db);
    // All or nothing: a file never keeps a log without its triggers.
    if (!q.exec(QStringLiteral("SAVEPOINT tablas_eventos")))
        return fallo(error, q.lastError());
    for (const QString& s : sentenciasTablas())
        if (!q.exec(s)) {
            const QSqlError e = q.lastError();
            q.exec(QStringLiteral("ROLLBACK TO tablas_eventos"));
            q.exec(QStringLiteral("RELEASE tablas_eventos"));
            return fallo(error, e);
        }
    if (!q.exec(QStringLiteral("RELEASE tablas_eventos")))
        return fallo(error, q.lastError());
    return true;
}

bool ultimo(const QSqlDatabase& db, qint64& id, QString& hash, QString* error)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT \"Id\",\"Hash\" FROM \"Eventos\" ORDER BY \"Id\" DESC LIMIT 1")))
        return fallo(error, q.lastError());
    id = 0;
    hash.clear();
    if (q.next()) {
        id = q.value(0).toLongLong();
        hash = q.value(1).toString();
    }
    return true;
}

bool insertar(QSqlDatabase db, const Evento& e, QString* error)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO \"Eventos\" (%1) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)")
                  .arg(QLatin1String(kColumnas)));
    const QVariant nulo(QMetaType::fromType<QString>());
    q.addBindValue(e.id);
    q.addBindValue(e.instante);
    q.addBindValue(e.fecha);
    q.addBindValue(e.hora);
    q.addBindValue(e.instrumento > 0 ? QVariant(e.instrumento) : QVariant(QMetaType::fromType<int>()));
    q.addBindValue(e.tipo);
    q.addBindValue(e.texto);
    q.addBindValue(e.conValores ? QVariant(e.anterior) : nulo);
    q.addBindValue(e.conValores ? QVariant(e.nuevo) : nulo);
    q.addBindValue(e.nivel);
    q.addBindValue(e.equipo);
    q.addBindValue(e.usuario);
    q.addBindValue(e.origen);
    q.addBindValue(e.hash);
    if (!q.exec())
        return fallo(error, q.lastError());
    return true;
}

bool coincide(const Filtro& f, const Evento& e)
{
    if (f.instrumento >= 0 && e.instrumento != f.instrumento)
        return false;
    if (!f.tipo.isEmpty() && e.tipo != f.tipo)
        return false;
    if (f.desde.isValid() && e.instante < f.desde.toUTC().toString(Qt::ISODate))
        return false;
    if (f.hasta.isValid() && e.instante >= f.hasta.toUTC().toString(Qt::ISODate))
        return false;
    return e.id == 0 || e.id > f.despuesDeId;
}

QStringList titulosColumnas()
{
    return {QStringLiteral("Id"),     QStringLiteral("Fecha"),    QStringLiteral("Hora"),  QStringLiteral("Instrumento"),
            QStringLiteral("Tipo"),   QStringLiteral("Descripción"), QStringLiteral("Anterior"), QStringLiteral("Nuevo"),
            QStringLiteral("Nivel"),  QStringLiteral("Equipo"),   QStringLiteral("Usuario"), QStringLiteral("Origen"),
            QStringLiteral("Instante (UTC)")};
}

QStringList textos(const Evento& e)
{
    return {e.id > 0 ? QString::number(e.id) : QString(),
            e.fecha,
            e.hora,
            e.instrumento > 0 ? QString::number(e.instrumento) : QString(),
            e.tipo,
            e.texto,
            e.anterior,
            e.nuevo,
            QString::number(e.nivel),
            e.equipo,
            e.usuario,
            e.origen,
            e.instante};
}

bool escribirCsv(const QVector<Evento>& eventos, const QString& ruta, QString* error)
{
    QSaveFile f(ruta);
    if (!f.open(QIODevice::WriteOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    auto linea = [&f](const QStringList& campos) {
        QStringList salida;
        for (QString c : campos) {
            if (c.contains(QLatin1Char(',')) || c.contains(QLatin1Char('"')) || c.contains(QLatin1Char('\n'))
                || c.contains(QLatin1Char('\r')))
                c = QLatin1Char('"') + c.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
            salida << c;
        }
        f.write((salida.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8());
    };
    linea(titulosColumnas());
    for (const Evento& e : eventos)
        linea(textos(e));
    if (!f.commit()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

QVector<Evento> leer(const QSqlDatabase& db, const Filtro& f, QString* error)
{
    QVector<Evento> r;
    QStringList donde;
    QVariantList valores;
    if (f.instrumento == 0)
        donde << QStringLiteral("\"Instrumento\" IS NULL");
    else if (f.instrumento > 0) {
        donde << QStringLiteral("\"Instrumento\" = ?");
        valores << f.instrumento;
    }
    if (!f.tipo.isEmpty()) {
        donde << QStringLiteral("\"Tipo\" = ?");
        valores << f.tipo;
    }
    // The instant is stored in UTC as ISO 8601: its text sorts as time does.
    if (f.desde.isValid()) {
        donde << QStringLiteral("\"Instante\" >= ?");
        valores << f.desde.toUTC().toString(Qt::ISODate);
    }
    if (f.hasta.isValid()) {
        donde << QStringLiteral("\"Instante\" < ?");
        valores << f.hasta.toUTC().toString(Qt::ISODate);
    }
    if (f.despuesDeId > 0) {
        donde << QStringLiteral("\"Id\" > ?");
        valores << f.despuesDeId;
    }
    QString sql = QStringLiteral("SELECT %1 FROM \"Eventos\"").arg(QLatin1String(kColumnas));
    if (!donde.isEmpty())
        sql += QStringLiteral(" WHERE ") + donde.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY \"Id\"");
    if (f.limite > 0)
        sql += QStringLiteral(" LIMIT %1").arg(f.limite);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant& v : std::as_const(valores))
        q.addBindValue(v);
    if (!q.exec()) {
        fallo(error, q.lastError());
        return r;
    }
    while (q.next()) {
        Evento e;
        e.id = q.value(0).toLongLong();
        e.instante = q.value(1).toString();
        e.fecha = q.value(2).toString();
        e.hora = q.value(3).toString();
        e.instrumento = q.value(4).isNull() ? 0 : q.value(4).toInt();
        e.tipo = q.value(5).toString();
        e.texto = q.value(6).toString();
        e.conValores = !q.value(7).isNull() || !q.value(8).isNull();
        e.anterior = q.value(7).toString();
        e.nuevo = q.value(8).toString();
        e.nivel = q.value(9).toInt();
        e.equipo = q.value(10).toString();
        e.usuario = q.value(11).toString();
        e.origen = q.value(12).toString();
        e.hash = q.value(13).toString();
        r.append(e);
    }
    return r;
}

} // namespace ombrix::almacenEventos
