#include "views/consultas.h"

#include "config/archivo_seguro.h"

#include <thread>
#include <vector>

#include <QDate>
#include <QFile>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>

#include <cstring>

namespace ombrix {

const std::array<const char*, kColumnasInstrumento> kNombresColumnas = {
    "Id", "Fecha", "Hora", "Valor_medido", "Set_point", "Potencia",
    "Alarma_1", "Alarma_2", "Alarma_3", "Alarma_4", "Partida"};

QString tablaInstrumento(int n) { return QStringLiteral("Instrumento%1").arg(n); }

static QString comillas(const QString& nombre)
{
    QString s = nombre;
    s.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

QString identificadorSql(const QString& nombre) { return comillas(nombre); }

static QString listaColumnas()
{
    QStringList c;
    for (const char* nombre : kNombresColumnas)
        c << comillas(QString::fromLatin1(nombre));
    return c.join(QLatin1Char(','));
}

QStringList titulosColumnas(const Configuracion& c, int n)
{
    QStringList t;
    for (const char* nombre : kNombresColumnas)
        t << QString::fromLatin1(nombre);
    if (n >= 0 && n < c.Avanzadas1.size()) {
        const TAvanzadas1& a = c.Avanzadas1[n];
        const QString nombres[7] = {a.NombreVA, a.NombreSP, a.NombrePot, a.NombreAl1, a.NombreAl2, a.NombreAl3, a.NombreAl4};
        for (int k = 0; k < 7; ++k)
            if (!nombres[k].isEmpty())
                t[3 + k] = nombres[k];
    }
    return t;
}

sqlite3* manejadorSqlite(const QSqlDatabase& db)
{
    if (!db.isValid() || !db.driver())
        return nullptr;
    QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3**>(v.data());
}

ConsultasInstrumento::ConsultasInstrumento(QSqlDatabase db, int n)
    : db_(db), n_(n), tabla_(comillas(tablaInstrumento(n)))
{
}

static qint64 escalar(const QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(sql) || !q.next())
        return 0;
    return q.value(0).toLongLong();
}

qint64 ConsultasInstrumento::contar() const { return escalar(db_, QStringLiteral("SELECT count(*) FROM ") + tabla_); }
qint64 ConsultasInstrumento::primerId() const { return escalar(db_, QStringLiteral("SELECT min(\"Id\") FROM ") + tabla_); }
qint64 ConsultasInstrumento::ultimoId() const
{
    if (!ultimo_) {
        ultimo_ = std::make_shared<QSqlQuery>(db_);
        ultimo_->setForwardOnly(true);
        if (!ultimo_->prepare(QStringLiteral("SELECT max(\"Id\") FROM ") + tabla_)) {
            ultimo_.reset();
            return escalar(db_, QStringLiteral("SELECT max(\"Id\") FROM ") + tabla_);
        }
    }
    const qint64 id = ultimo_->exec() && ultimo_->next() ? ultimo_->value(0).toLongLong() : 0;
    ultimo_->finish();
    return id;
}

QVector<FilaDatos> leerFilas(const QSqlDatabase& db, const QString& sql, const QVariantList& valores, int columnas)
{
    QVector<FilaDatos> filas;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant& v : valores)
        q.addBindValue(v);
    if (!q.exec())
        return filas;
    while (q.next()) {
        FilaDatos f;
        f.id = q.value(0).toLongLong();
        f.textos.resize(columnas - 1);
        for (int k = 1; k < columnas; ++k)
            f.textos[k - 1] = q.value(k).toString();
        filas.append(std::move(f));
    }
    return filas;
}

QVector<FilaDatos> ConsultasInstrumento::leer(const QString& sql, const QVariant& primero, const QVariant& segundo) const
{
    return leerFilas(db_, sql, {primero, segundo}, kColumnasInstrumento);
}

QVector<FilaDatos> ConsultasInstrumento::desdeId(qint64 desde, int limite) const
{
    return leer(QStringLiteral("SELECT ") + listaColumnas() + QStringLiteral(" FROM ") + tabla_
                    + QStringLiteral(" WHERE \"Id\" >= ? ORDER BY \"Id\" LIMIT ?"),
                desde, limite);
}

QVector<FilaDatos> ConsultasInstrumento::desdeFila(qint64 salto, int limite) const
{
    // SQLite binds LIMIT before OFFSET.
    return leer(QStringLiteral("SELECT ") + listaColumnas() + QStringLiteral(" FROM ") + tabla_
                    + QStringLiteral(" ORDER BY \"Id\" LIMIT ? OFFSET ?"),
                limite, salto);
}

bool ConsultasInstrumento::actualizar(qint64 id, int columna, const QString& valor, QString* error) const
{
    if (columna < 1 || columna >= kColumnasInstrumento) {
        if (error)
            *error = QStringLiteral("Columna no modificable");
        return false;
    }
    QSqlQuery q(db_);
    q.prepare(QStringLiteral("UPDATE ") + tabla_ + QStringLiteral(" SET ")
              + comillas(QString::fromLatin1(kNombresColumnas[columna])) + QStringLiteral(" = ? WHERE \"Id\" = ?"));
    q.addBindValue(valor);
    q.addBindValue(id);
    if (!q.exec()) {
        if (error)
            *error = q.lastError().text();
        return false;
    }
    return true;
}

bool borrarLecturas(BaseDatos& base, int n, QString* error) { return base.vaciarTabla(tablaInstrumento(n), error); }

int fechaOrdenable(const QString& fecha)
{
    const QDate d = QDate::fromString(fecha, QStringLiteral("dd/MM/yyyy"));
    // Years before 1 (a "-2026") are no dates of a reading.
    if (!d.isValid() || d.year() < 1)
        return 0;
    return d.year() * 10000 + d.month() * 100 + d.day();
}

QString enParalelo(int n, const std::function<QString(int)>& parte)
{
    QVector<QString> errores(qMax(1, n));
    std::vector<std::thread> hilos;
    for (int i = 1; i < n; ++i)
        hilos.emplace_back([&, i] { errores[i] = parte(i); });
    errores[0] = parte(0);
    for (std::thread& h : hilos)
        h.join();
    for (const QString& e : std::as_const(errores))
        if (!e.isEmpty())
            return e;
    return QString();
}

LectorFilas::LectorFilas(const QSqlDatabase& db, int n, qint64 hastaId, int desde, int hasta, qint64 desdeId)
{
    sqlite3* h = manejadorSqlite(db);
    if (!h) {
        error_ = QStringLiteral("No hay ninguna base de datos abierta");
        return;
    }
    QString sql = QStringLiteral("SELECT ") + listaColumnas() + QStringLiteral(" FROM ") + comillas(tablaInstrumento(n))
                  + QStringLiteral(" WHERE \"Id\" <= ?1 AND \"Id\" > ?4");
    if (desde > 0 || hasta > 0)
        sql += QStringLiteral(" AND CAST(substr(\"Fecha\",7,4)||substr(\"Fecha\",4,2)||substr(\"Fecha\",1,2) AS INTEGER)"
                              " BETWEEN ?2 AND ?3");
    sql += QStringLiteral(" ORDER BY \"Id\"");
    const QByteArray u = sql.toUtf8();
    if (sqlite3_prepare_v2(h, u.constData(), int(u.size()), &stmt_, nullptr) != SQLITE_OK) {
        error_ = QString::fromUtf8(sqlite3_errmsg(h));
        stmt_ = nullptr;
        return;
    }
    sqlite3_bind_int64(stmt_, 1, hastaId > 0 ? hastaId : std::numeric_limits<qint64>::max());
    sqlite3_bind_int64(stmt_, 4, desdeId > 0 ? desdeId - 1 : std::numeric_limits<qint64>::min());
    if (desde > 0 || hasta > 0) {
        sqlite3_bind_int(stmt_, 2, desde > 0 ? desde : 0);
        sqlite3_bind_int(stmt_, 3, hasta > 0 ? hasta : 99999999);
    }
}

LectorFilas::~LectorFilas() { cerrar(); }

int pasoFila(sqlite3_stmt* st, int columnas, const char** textos, int* largos)
{
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
        for (int c = 0; c < columnas; ++c) {
            const unsigned char* t = sqlite3_column_text(st, c);
            textos[c] = t ? reinterpret_cast<const char*>(t) : "";
            largos[c] = t ? sqlite3_column_bytes(st, c) : 0;
        }
    }
    return rc;
}

void finalizar(sqlite3_stmt*& st)
{
    if (st) {
        sqlite3_finalize(st);
        st = nullptr;
    }
}

void LectorFilas::cerrar() { finalizar(stmt_); }

int LectorFilas::leer(int maximo, const Visita& visita)
{
    if (!stmt_)
        return 0;
    const char* textos[kColumnasInstrumento];
    int largos[kColumnasInstrumento];
    int k = 0;
    while (k < maximo) {
        const int rc = pasoFila(stmt_, kColumnasInstrumento, textos, largos);
        if (rc == SQLITE_ROW) {
            ultimoId_ = sqlite3_column_int64(stmt_, 0);
            visita(textos, largos);
            ++k;
            ++leidas_;
            continue;
        }
        if (rc != SQLITE_DONE)
            error_ = QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(stmt_)));
        terminado_ = true;
        cerrar();
        break;
    }
    // Each slice is a read transaction of its own, so that the writer's
    // checkpoints are not held back by a long reading: the next one goes on
    // after the last Id read.
    if (stmt_ && k > 0) {
        sqlite3_reset(stmt_);
        sqlite3_bind_int64(stmt_, 4, ultimoId_);
    }
    return k;
}

namespace {

// The characters a spreadsheet takes as the start of a formula.
bool empiezaFormula(char c) { return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r'; }

// A number as a spreadsheet reads one ("-20.0", "+5", "1e-3"): it stays a number.
bool esNumero(const char* t, int n)
{
    int i = 0;
    if (i < n && (t[i] == '+' || t[i] == '-'))
        ++i;
    int cifras = 0;
    bool punto = false;
    for (; i < n; ++i) {
        if (t[i] >= '0' && t[i] <= '9')
            ++cifras;
        else if (t[i] == '.' && !punto)
            punto = true;
        else
            break;
    }
    if (cifras == 0)
        return false;
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < n && (t[i] == '+' || t[i] == '-'))
            ++i;
        const int inicio = i;
        while (i < n && t[i] >= '0' && t[i] <= '9')
            ++i;
        if (i == inicio)
            return false;
    }
    return i == n;
}

} // namespace

void agregarCampoCsv(QByteArray& salida, const char* texto, int largo, char separador)
{
    // Always valid UTF-8: invalid sequences in a stored text become U+FFFD, NUL bytes go.
    QByteArray limpio;
    if (std::memchr(texto, 0, size_t(largo)) || !QByteArrayView(texto, largo).isValidUtf8()) {
        limpio = QString::fromUtf8(texto, largo).remove(QChar(0)).toUtf8();
        texto = limpio.constData();
        largo = int(limpio.size());
    }
    // A text a spreadsheet would run as a formula is written as text: quoted,
    // after an apostrophe.
    const bool formula = largo > 0 && empiezaFormula(texto[0]) && !esNumero(texto, largo);
    bool comillar = formula;
    for (int i = 0; i < largo && !comillar; ++i) {
        const char c = texto[i];
        if (c == separador || c == '"' || c == '\r' || c == '\n')
            comillar = true;
    }
    if (!comillar) {
        salida.append(texto, largo);
        return;
    }
    salida.append('"');
    if (formula)
        salida.append('\'');
    for (int i = 0; i < largo; ++i) {
        if (texto[i] == '"')
            salida.append('"');
        salida.append(texto[i]);
    }
    salida.append('"');
}

void agregarLineaCsv(QByteArray& salida, const QStringList& campos, char separador)
{
    for (int i = 0; i < campos.size(); ++i) {
        if (i)
            salida.append(separador);
        const QByteArray u = campos[i].toUtf8();
        agregarCampoCsv(salida, u.constData(), int(u.size()), separador);
    }
    salida.append("\r\n");
}

qint64 escribirCsv(const QSqlDatabase& db, int n, const QStringList& titulos, std::FILE* salida, char separador,
                   int desde, int hasta, QString* error)
{
    LectorFilas lector(db, n, 0, desde, hasta);
    if (!lector.valido()) {
        if (error)
            *error = lector.error();
        return -1;
    }
    QByteArray buf;
    buf.reserve(1 << 20);
    agregarLineaCsv(buf, titulos, separador);
    return volcarCsv(lector, buf, 0, kColumnasInstrumento, salida, separador, error);
}

qint64 escribirEnArchivo(const QString& ruta, const std::function<qint64(std::FILE*)>& escribir, QString* error)
{
    // Whole or nothing: a failure leaves the old file as it was.
    ArchivoSeguro archivo(ruta, true);
    if (!archivo.abrir(error))
        return -1;
    std::FILE* f = archivo.flujo();
    if (!f) {
        if (error)
            *error = QStringLiteral("No se pudo crear el archivo ") + ruta;
        return -1;
    }
    const qint64 r = escribir(f);
    if (r < 0)
        return r;
    return archivo.confirmar(error) ? r : -1;
}

qint64 escribirCsv(const QSqlDatabase& db, int n, const QStringList& titulos, const QString& ruta, char separador,
                   int desde, int hasta, QString* error)
{
    return escribirEnArchivo(
        ruta, [&](std::FILE* f) { return escribirCsv(db, n, titulos, f, separador, desde, hasta, error); }, error);
}

} // namespace ombrix
