#include "central/servidor_central.h"


#include <libpq-fe.h>

#include <vector>

namespace ombrix::central {

void CerrarPg::operator()(PGconn* c) const
{
    if (c)
        PQfinish(c);
}

namespace {

QString mensaje(PGconn* c)
{
    return QString::fromUtf8(PQerrorMessage(c)).trimmed();
}

bool fallo(QString* error, const QString& t)
{
    if (error)
        *error = t;
    return false;
}

const char* const kColumnas[7] = {"valor_medido", "set_point", "potencia", "alarma_1", "alarma_2", "alarma_3", "alarma_4"};

QByteArray tablas()
{
    QByteArray valores, textos;
    for (const char* c : kColumnas) {
        valores += QByteArray("    ") + c + " numeric,\n";
        textos += QByteArray("    ") + c + "_texto text,\n";
    }
    return "CREATE SCHEMA IF NOT EXISTS ombrix;\n"
           "CREATE TABLE IF NOT EXISTS ombrix.lineas (\n"
           "    linea text PRIMARY KEY,\n"
           "    zona text NOT NULL,\n"
           "    alta timestamptz NOT NULL DEFAULT now()\n"
           ");\n"
           "CREATE TABLE IF NOT EXISTS ombrix.lecturas (\n"
           "    linea text NOT NULL,\n"
           "    instrumento smallint NOT NULL,\n"
           "    id bigint NOT NULL,\n"
           "    instante timestamptz,\n"
           "    fecha text,\n"
           "    hora text,\n"
           + valores + textos
           + "    partida text,\n"
             "    PRIMARY KEY (linea, instrumento, id)\n"
             ");\n"
             "CREATE INDEX IF NOT EXISTS lecturas_instante ON ombrix.lecturas (linea, instrumento, instante);\n"
             "CREATE INDEX IF NOT EXISTS lecturas_partida ON ombrix.lecturas (linea, partida, instrumento, id)\n"
             "    WHERE partida IS NOT NULL;\n"
             "CREATE TABLE IF NOT EXISTS ombrix.combinadas (\n"
             "    linea text NOT NULL,\n"
             "    id bigint NOT NULL,\n"
             "    instante timestamptz,\n"
             "    fecha text,\n"
             "    hora text,\n"
             "    valores text[],\n"
             "    PRIMARY KEY (linea, id)\n"
             ");\n"
             "CREATE INDEX IF NOT EXISTS combinadas_instante ON ombrix.combinadas (linea, instante);\n"
             "CREATE TABLE IF NOT EXISTS ombrix.eventos (\n"
             "    linea text NOT NULL,\n"
             "    id bigint NOT NULL,\n"
             "    instante timestamptz,\n"
             "    fecha text,\n"
             "    hora text,\n"
             "    instrumento integer,\n"
             "    tipo text,\n"
             "    texto text,\n"
             "    anterior text,\n"
             "    nuevo text,\n"
             "    nivel integer,\n"
             "    equipo text,\n"
             "    usuario text,\n"
             "    origen text,\n"
             "    hash text,\n"
             "    PRIMARY KEY (linea, id)\n"
             ");\n"
             "CREATE INDEX IF NOT EXISTS eventos_instante ON ombrix.eventos (linea, instante);\n";
}

// The key of the advisory lock held while the schema or a line's views are made.
constexpr const char* kCandado = "SELECT pg_advisory_xact_lock(7420281)";

// A name or a text quoted for SQL by libpq.
QByteArray escapar(PGconn* c, const QString& texto, bool identificador)
{
    const QByteArray u = texto.toUtf8();
    char* e = identificador ? PQescapeIdentifier(c, u.constData(), size_t(u.size()))
                            : PQescapeLiteral(c, u.constData(), size_t(u.size()));
    QByteArray r(e ? e : "");
    PQfreemem(e);
    return r;
}

QByteArray identificador(PGconn* c, const QString& nombre) { return escapar(c, nombre, true); }
QByteArray literal(PGconn* c, const QString& texto) { return escapar(c, texto, false); }

QByteArray vistas(PGconn* c, const QString& linea)
{
    const QByteArray esquema = identificador(c, esquemaDeLinea(linea));
    const QByteArray l = literal(c, linea);
    QByteArray sql = "CREATE SCHEMA IF NOT EXISTS " + esquema + ";\n";
    QByteArray columnas = "id AS \"Id\", fecha AS \"Fecha\", hora AS \"Hora\"";
    for (int k = 0; k < 7; ++k)
        columnas += QByteArray(", COALESCE(") + kColumnas[k] + "_texto, " + kColumnas[k] + "::text) AS \""
            + columnasLectura()[k].toLatin1() + "\"";
    columnas += ", partida AS \"Partida\"";
    for (int n = 1; n <= kInstrumentos; ++n)
        sql += "CREATE OR REPLACE VIEW " + esquema + ".\"Instrumento" + QByteArray::number(n) + "\" AS SELECT "
            + columnas + " FROM ombrix.lecturas WHERE linea = " + l + " AND instrumento = " + QByteArray::number(n)
            + ";\n";
    static const char* const kComb[7] = {"V_medido", "SP", "Pot", "AL1", "AL2", "AL3", "AL4"};
    QByteArray comb = "id AS \"Id\", fecha AS \"Fecha\", hora AS \"Hora\"";
    int i = 1;
    for (int n = 1; n <= kInstrumentos; ++n)
        for (const char* p : kComb)
            comb += ", valores[" + QByteArray::number(i++) + "] AS \"" + p + "(Ins" + QByteArray::number(n) + ")\"";
    sql += "CREATE OR REPLACE VIEW " + esquema + ".\"Combinada\" AS SELECT " + comb
        + " FROM ombrix.combinadas WHERE linea = " + l + ";\n";
    sql += "CREATE OR REPLACE VIEW " + esquema
        + ".\"Eventos\" AS SELECT id AS \"Id\", "
          "to_char(instante AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"') AS \"Instante\", "
          "fecha AS \"Fecha\", hora AS \"Hora\", instrumento AS \"Instrumento\", tipo AS \"Tipo\", texto AS \"Texto\", "
          "anterior AS \"Anterior\", nuevo AS \"Nuevo\", nivel AS \"Nivel\", equipo AS \"Equipo\", usuario AS \"Usuario\", "
          "origen AS \"Origen\", hash AS \"Hash\" FROM ombrix.eventos WHERE linea = "
        + l + ";\n";
    return sql;
}

bool transaccion(PGconn* c, const QByteArray& cuerpo, QString* error)
{
    if (ejecutar(c, QByteArray("BEGIN;\n") + kCandado + ";\n" + cuerpo + "COMMIT;", error))
        return true;
    PQclear(PQexec(c, "ROLLBACK"));
    return false;
}

} // namespace

const QStringList& columnasLectura()
{
    static const QStringList c{QStringLiteral("Valor_medido"), QStringLiteral("Set_point"), QStringLiteral("Potencia"),
                               QStringLiteral("Alarma_1"),     QStringLiteral("Alarma_2"),  QStringLiteral("Alarma_3"),
                               QStringLiteral("Alarma_4")};
    return c;
}

QString esquemaDeLinea(const QString& linea)
{
    return QStringLiteral("ombrix_") + linea;
}

QString problemaDeUrl(const QString& url)
{
    if (url.trimmed().isEmpty())
        return QStringLiteral("falta la dirección del servidor (postgresql://usuario@servidor[:puerto]/base)");
    char* err = nullptr;
    PQconninfoOption* opciones = PQconninfoParse(url.toUtf8().constData(), &err);
    if (!opciones) {
        const QString t = err ? QString::fromUtf8(err).trimmed() : QStringLiteral("dirección no válida");
        PQfreemem(err);
        return QStringLiteral("dirección no válida: ") + t;
    }
    QString problema;
    for (PQconninfoOption* o = opciones; o->keyword; ++o)
        if (qstrcmp(o->keyword, "password") == 0 && o->val && *o->val)
            problema = QStringLiteral("la clave no va en la dirección: póngala en los ajustes, en la variable "
                                      "OMBRIX_CENTRAL_CLAVE o en el archivo PGPASSFILE");
    PQconninfoFree(opciones);
    return problema;
}

Conexion conectar(const QString& url, const QString& clave, int segundos, QString* error)
{
    const QByteArray dir = url.toUtf8();
    const QByteArray espera = QByteArray::number(qMax(1, segundos));
    const QByteArray c = clave.toUtf8();
    // Defaults before the address (which may override them): a cut network
    // is noticed within about 20 s instead of TCP's many minutes, so the
    // forwarder reconnects and a stop is not held for long.
    std::vector<const char*> claves{"connect_timeout", "keepalives", "keepalives_idle", "keepalives_interval",
                                    "keepalives_count", "tcp_user_timeout", "application_name", "dbname",
                                    "client_encoding"};
    std::vector<const char*> valores{espera.constData(), "1", "10", "5", "2", "20000", "ombrix", dir.constData(), "UTF8"};
    if (!clave.isEmpty()) {
        claves.push_back("password");
        valores.push_back(c.constData());
    }
    claves.push_back(nullptr);
    valores.push_back(nullptr);
    // expand_dbname: "dbname" is the whole URL; its values override the keys before it.
    Conexion con(PQconnectdbParams(claves.data(), valores.data(), 1));
    if (!con || PQstatus(con.get()) != CONNECTION_OK) {
        fallo(error, con ? mensaje(con.get()) : QStringLiteral("sin memoria"));
        return {};
    }
    // The server's notices ("already exists, skipping") are no news here.
    PQsetNoticeProcessor(con.get(), [](void*, const char*) {}, nullptr);
    PQclear(PQexec(con.get(), "SET TIME ZONE 'UTC'"));
    return con;
}

bool ejecutar(PGconn* c, const QByteArray& sql, QString* error)
{
    PGresult* r = PQexec(c, sql.constData());
    const bool ok = r && (PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK);
    if (!ok)
        fallo(error, r ? QString::fromUtf8(PQresultErrorMessage(r)).trimmed() : mensaje(c));
    PQclear(r);
    return ok;
}

bool consultar(PGconn* c, const QByteArray& sql, const QStringList& parametros, QList<QStringList>& filas,
               QString* error)
{
    QList<QByteArray> bytes;
    std::vector<const char*> valores;
    for (const QString& p : parametros)
        bytes << p.toUtf8();
    for (int i = 0; i < bytes.size(); ++i)
        valores.push_back(parametros[i].isNull() ? nullptr : bytes[i].constData());
    PGresult* r = PQexecParams(c, sql.constData(), int(valores.size()), nullptr, valores.data(), nullptr, nullptr, 0);
    if (!r || PQresultStatus(r) != PGRES_TUPLES_OK) {
        fallo(error, r ? QString::fromUtf8(PQresultErrorMessage(r)).trimmed() : mensaje(c));
        PQclear(r);
        return false;
    }
    filas.clear();
    const int columnas = PQnfields(r);
    for (int i = 0; i < PQntuples(r); ++i) {
        QStringList fila;
        for (int k = 0; k < columnas; ++k)
            fila << (PQgetisnull(r, i, k) ? QString() : QString::fromUtf8(PQgetvalue(r, i, k), PQgetlength(r, i, k)));
        filas << fila;
    }
    PQclear(r);
    return true;
}

bool hayEsquema(PGconn* c, QString* error)
{
    QList<QStringList> f;
    if (!consultar(c, "SELECT to_regclass('ombrix.lecturas') IS NOT NULL AND to_regclass('ombrix.combinadas') IS NOT NULL"
                      " AND to_regclass('ombrix.eventos') IS NOT NULL AND to_regclass('ombrix.lineas') IS NOT NULL",
                   {}, f, error))
        return false;
    return !f.isEmpty() && f[0].value(0) == QLatin1String("t");
}

bool prepararEsquema(PGconn* c, QString* error)
{
    QString e;
    if (hayEsquema(c, &e))
        return true;
    if (!e.isEmpty())
        return fallo(error, e);
    if (!transaccion(c, tablas(), &e))
        return fallo(error, QStringLiteral("no se pudo crear el esquema: ") + e);
    return true;
}

bool prepararLinea(PGconn* c, const QString& linea, const QString& zona, QString* error)
{
    QList<QStringList> f;
    if (!consultar(c, "SELECT zona FROM ombrix.lineas WHERE linea = $1", {linea}, f, error))
        return false;
    if (!f.isEmpty())
        return true;
    const QByteArray alta = "INSERT INTO ombrix.lineas (linea, zona) VALUES (" + literal(c, linea) + ", "
        + literal(c, zona) + ") ON CONFLICT (linea) DO NOTHING;\n";
    QString e;
    if (!transaccion(c, alta + vistas(c, linea), &e))
        return fallo(error, QStringLiteral("no se pudo dar de alta la línea %1: %2").arg(linea, e));
    return true;
}

bool esNumeroExacto(const QByteArray& t)
{
    // What numeric's text output gives back unchanged: digits with an
    // optional "-" and decimals; no "+", no leading zeros, no exponent, no
    // negative zero.
    if (t.isEmpty() || t.size() > 60)
        return false;
    int i = t[0] == '-' ? 1 : 0;
    const int inicio = i;
    bool noCero = false, punto = false;
    int cifrasEnteras = 0, decimales = 0;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (c == '.') {
            if (punto || cifrasEnteras == 0)
                return false;
            punto = true;
        } else if (c >= '0' && c <= '9') {
            (punto ? decimales : cifrasEnteras) += 1;
            noCero = noCero || c != '0';
        } else {
            return false;
        }
    }
    if (cifrasEnteras == 0 || (punto && decimales == 0))
        return false;
    if (cifrasEnteras > 1 && t[inicio] == '0')
        return false;
    return inicio == 0 || noCero;
}

void agregarCopia(QByteArray& linea, const QByteArray& u, bool nulo)
{
    if (nulo) {
        linea += "\\N";
        return;
    }
    for (char ch : u) {
        switch (ch) {
        case '\\': linea += "\\\\"; break;
        case '\t': linea += "\\t"; break;
        case '\n': linea += "\\n"; break;
        case '\r': linea += "\\r"; break;
        default: linea += ch;
        }
    }
}

void agregarCopia(QByteArray& linea, const QString& texto)
{
    agregarCopia(linea, texto.toUtf8(), texto.isNull());
}

QString literalArreglo(const QStringList& textos)
{
    QString r = QStringLiteral("{");
    for (int i = 0; i < textos.size(); ++i) {
        if (i)
            r += QLatin1Char(',');
        if (textos[i].isNull()) {
            r += QStringLiteral("NULL");
            continue;
        }
        QString t = textos[i];
        t.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
        r += QLatin1Char('"') + t + QLatin1Char('"');
    }
    return r + QLatin1Char('}');
}

} // namespace ombrix::central
