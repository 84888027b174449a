#include "views/consultas_comb.h"

#include "views/puntos.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <limits>
#include <vector>

namespace ombrix {

QString tablaCombinada() { return QStringLiteral("Combinada"); }

namespace {

const QString kId = QStringLiteral("Id");

QString q(const QString& campo) { return identificadorSql(campo); }

void enlazar(sqlite3_stmt* st, int i, const QVariant& v)
{
    if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int) {
        sqlite3_bind_int64(st, i, v.toLongLong());
    } else {
        const QByteArray u = v.toString().toUtf8();
        sqlite3_bind_text(st, i, u.constData(), int(u.size()), SQLITE_TRANSIENT);
    }
}

sqlite3_stmt* preparar(sqlite3* h, const QString& sql, QString& error)
{
    sqlite3_stmt* st = nullptr;
    const QByteArray u = sql.toUtf8();
    if (sqlite3_prepare_v2(h, u.constData(), int(u.size()), &st, nullptr) != SQLITE_OK) {
        error = QString::fromUtf8(sqlite3_errmsg(h));
        return nullptr;
    }
    return st;
}

} // namespace

QStringList ConsultaComb::columnas() const
{
    return QStringList{kId, QStringLiteral("Fecha"), QStringLiteral("Hora")} + campos;
}

QString clausulaFiltro(const ConsultaComb& c, QVariantList& valores)
{
    if (!c.filtrado || c.campoFiltro.isEmpty())
        return QString();
    const QString col = q(c.campoFiltro);
    if (c.valorFiltro.isEmpty())
        return QStringLiteral(" WHERE (") + col + QStringLiteral(" IS NULL OR ") + col + QStringLiteral(" = '')");
    if (c.campoFiltro == kId) {
        bool ok = false;
        const qint64 id = c.valorFiltro.trimmed().toLongLong(&ok);
        valores << (ok ? QVariant(id) : QVariant(c.valorFiltro));
    } else {
        valores << c.valorFiltro;
    }
    return QStringLiteral(" WHERE ") + col + QStringLiteral(" = ?");
}

QString clausulaOrden(const ConsultaComb& c)
{
    const QString id = q(kId);
    if (c.campoOrden.isEmpty() || c.campoOrden == kId)
        return QStringLiteral(" ORDER BY ") + id;
    if (c.campoOrden == QLatin1String("Fecha"))
        return QStringLiteral(" ORDER BY substr(\"Fecha\",7,4), substr(\"Fecha\",4,2), substr(\"Fecha\",1,2), \"Hora\", ") + id;
    if (c.campoOrden == QLatin1String("Hora"))
        return QStringLiteral(" ORDER BY \"Hora\", ") + id;
    const QString col = q(c.campoOrden);
    const QString t = QStringLiteral("trim(") + col + QLatin1Char(')');
    return QStringLiteral(" ORDER BY CASE WHEN ") + t + QStringLiteral(" GLOB '*[0-9]*' AND NOT ") + t
           + QStringLiteral(" GLOB '*[^0-9.+-]*' THEN 0 ELSE 1 END, CAST(") + t + QStringLiteral(" AS REAL), ") + col
           + QStringLiteral(", ") + id;
}

// One row of an ordered list: the sort key of its clicked column and its Id.
// A value column orders by (numeric text first, number, text, Id), a date by
// (year, month, day, time, Id) as text, a time by (time, Id); nulls first.
struct ClaveOrden {
    qint64 id = 0;
    double num = 0;
    quint32 texto = 0;   // offset in the text pool
    qint32 largo = -1;   // -1: null
    quint8 clase = 0;    // 0: a plain number, 1: anything else
    bool numNulo = true;
};

namespace {

constexpr qint64 kIdsPorBloque = 4096;
constexpr qint64 kIdsEnHilo = 65536;   // a list of more Ids is read on the worker when asked to
constexpr size_t kTramoOrden = 16384;

struct MenorClave {
    const char* textos = nullptr;
    bool operator()(const ClaveOrden& a, const ClaveOrden& b) const
    {
        if (a.clase != b.clase)
            return a.clase < b.clase;
        if (a.numNulo != b.numNulo)
            return a.numNulo;
        if (!a.numNulo && a.num != b.num)
            return a.num < b.num;
        if ((a.largo < 0) != (b.largo < 0))
            return a.largo < 0;
        if (a.largo >= 0) {
            const int c = std::memcmp(textos + a.texto, textos + b.texto, size_t(qMin(a.largo, b.largo)));
            if (c != 0)
                return c < 0;
            if (a.largo != b.largo)
                return a.largo < b.largo;
        }
        return a.id < b.id;
    }
};

// A merge sort that runs in slices: sorted runs first, then merge passes,
// each resumable after any number of moved elements.
class OrdenPorPasos {
public:
    void empezar(std::vector<ClaveOrden>&& v, const char* textos)
    {
        a_ = std::move(v);
        b_.resize(a_.size());
        n_ = a_.size();
        menor_.textos = textos;
        pos_ = 0;
        ancho_ = kTramoOrden;
        tramos_ = true;
        enPar_ = false;
    }
    // True once sorted.
    bool paso(const QElapsedTimer& reloj, int ms)
    {
        while (tramos_) {
            if (pos_ >= n_) {
                tramos_ = false;
                pos_ = 0;
                break;
            }
            const size_t fin = qMin(n_, pos_ + kTramoOrden);
            std::sort(a_.begin() + qptrdiff(pos_), a_.begin() + qptrdiff(fin), menor_);
            pos_ = fin;
            if (reloj.elapsed() >= ms)
                return false;
        }
        while (ancho_ < n_) {
            if (!enPar_) {
                if (pos_ >= n_) {
                    std::swap(a_, b_);
                    ancho_ *= 2;
                    pos_ = 0;
                    continue;
                }
                medio_ = qMin(n_, pos_ + ancho_);
                fin_ = qMin(n_, pos_ + 2 * ancho_);
                i_ = pos_;
                j_ = medio_;
                k_ = pos_;
                enPar_ = true;
            }
            for (int cuota = 8192; k_ < fin_ && cuota > 0; --cuota)
                b_[k_++] = (j_ >= fin_ || (i_ < medio_ && !menor_(a_[j_], a_[i_]))) ? a_[i_++] : a_[j_++];
            if (k_ == fin_) {
                enPar_ = false;
                pos_ = fin_;
            }
            if (reloj.elapsed() >= ms && ancho_ < n_)
                return false;
        }
        return true;
    }
    const std::vector<ClaveOrden>& resultado() const { return a_; }

private:
    std::vector<ClaveOrden> a_, b_;
    MenorClave menor_;
    size_t n_ = 0, pos_ = 0, ancho_ = 0, medio_ = 0, fin_ = 0, i_ = 0, j_ = 0, k_ = 0;
    bool tramos_ = true, enPar_ = false;
};

} // namespace

// The list of rows being read: Ids from `desde` to `tope` in blocks (so that
// no step of the statement runs long however few rows pass the filter), then
// the sort when ordered.
// What a worker reading a list hands over to the window thread.
struct FondoLista {
    std::thread hilo;
    std::mutex m;
    std::condition_variable hecho;
    QVector<qint64> ids;   // read since the last look (all at the end when ordered)
    bool fin = false;
    QString error;
    std::atomic<bool> parar{false};
    ~FondoLista()
    {
        parar = true;
        if (hilo.joinable())
            hilo.join();
    }
};

struct ConsultasCombinada::Lectura {
    std::unique_ptr<FondoLista> fondo;   // set when read on a worker
    sqlite3_stmt* st = nullptr;
    QVariantList valores;   // of the filter, after the two Ids
    qint64 desde = 0, tope = 0, primero = 0;
    bool ordenado = false, ordenando = false;
    std::vector<ClaveOrden> claves;
    QByteArray textos;
    OrdenPorPasos orden;
    ~Lectura()
    {
        fondo.reset();
        if (st)
            sqlite3_finalize(st);
    }
    // Reads on for about `ms` milliseconds, Ids into `ids`; true once the
    // list is complete (sorted when ordered).
    bool avanzar(int ms, QVector<qint64>& ids, QString& error);
};

ConsultasCombinada::ConsultasCombinada(QSqlDatabase db, ConsultaComb c) : db_(db), c_(std::move(c))
{
    QStringList l;
    for (const QString& col : c_.columnas())
        l << q(col);
    lista_ = l.join(QLatin1Char(','));
}

ConsultasCombinada::~ConsultasCombinada() = default;

static qint64 escalarComb(const QSqlDatabase& db, const QString& sql)
{
    QSqlQuery s(db);
    s.setForwardOnly(true);
    if (!s.exec(sql) || !s.next())
        return 0;
    return s.value(0).toLongLong();
}

void ConsultasCombinada::empezarLectura()
{
    sqlite3* h = manejadorSqlite(db_);
    if (!h)
        return;
    const QString tabla = q(tablaCombinada());
    auto L = std::make_unique<Lectura>();
    L->primero = escalarComb(db_, QStringLiteral("SELECT min(\"Id\") FROM ") + tabla);
    L->tope = escalarComb(db_, QStringLiteral("SELECT max(\"Id\") FROM ") + tabla);
    if (L->tope <= 0)
        return;   // empty: nothing to read
    L->desde = L->primero;
    // The key of the clicked column, when ordered by other than Id.
    QString clase = QStringLiteral("0"), num = QStringLiteral("NULL"), texto = QStringLiteral("NULL");
    const QString& o = c_.campoOrden;
    if (!o.isEmpty() && o != kId) {
        L->ordenado = true;
        if (o == QLatin1String("Fecha")) {
            texto = QStringLiteral("ifnull(substr(\"Fecha\",7,4),'')||char(1)||ifnull(substr(\"Fecha\",4,2),'')||char(1)||"
                                   "ifnull(substr(\"Fecha\",1,2),'')||char(1)||ifnull(\"Hora\",'')");
        } else if (o == QLatin1String("Hora")) {
            texto = q(o);
        } else {
            const QString col = q(o);
            const QString t = QStringLiteral("trim(") + col + QLatin1Char(')');
            clase = QStringLiteral("CASE WHEN ") + t + QStringLiteral(" GLOB '*[0-9]*' AND NOT ") + t
                    + QStringLiteral(" GLOB '*[^0-9.+-]*' THEN 0 ELSE 1 END");
            num = QStringLiteral("CAST(") + t + QStringLiteral(" AS REAL)");
            texto = col;
        }
    }
    QString filtro = clausulaFiltro(c_, L->valores);
    filtro = filtro.isEmpty() ? QStringLiteral(" WHERE ") : filtro + QStringLiteral(" AND ");
    const QString sql = QStringLiteral("SELECT \"Id\",") + clase + QLatin1Char(',') + num + QLatin1Char(',') + texto
                        + QStringLiteral(" FROM ") + tabla + filtro + QStringLiteral("\"Id\" BETWEEN ? AND ? ORDER BY \"Id\"");
    // A small table is read here, in a few short slices at most.
    if (rutaHilo_.isEmpty() || L->tope - L->primero < kIdsEnHilo) {
        L->st = preparar(h, sql, error_);
        if (!L->st)
            return;
        lectura_ = std::move(L);
        return;
    }
    // On a worker with a reader connection of its own: the window thread only
    // takes the Ids it has read.
    L->fondo = std::make_unique<FondoLista>();
    FondoLista* f = L->fondo.get();
    auto w = std::make_unique<Lectura>();
    w->valores = L->valores;
    w->desde = L->desde;
    w->tope = L->tope;
    w->primero = L->primero;
    w->ordenado = L->ordenado;
    f->hilo = std::thread([f, w = std::move(w), ruta = rutaHilo_, sql]() mutable {
        QString error;
        bool fin = false;
        {
            BaseDatos base;
            if (base.abrirLectura(ruta, &error, false)) {
                w->st = preparar(manejadorSqlite(base.db()), sql, error);
                QVector<qint64> ids;
                // (The statement goes once the rows are read, before the sort.)
                fin = !w->st;
                while (!fin && !f->parar) {
                    fin = w->avanzar(50, ids, error);
                    std::lock_guard<std::mutex> l(f->m);
                    f->ids += ids;
                    ids.clear();
                }
            }
            w.reset();   // its statement goes before the connection
        }
        std::lock_guard<std::mutex> l(f->m);
        f->error = error;
        f->fin = true;
        f->hecho.notify_all();
    });
    lectura_ = std::move(L);
}

bool ConsultasCombinada::paso(int ms)
{
    bool primero = false;
    if (!empezada_) {
        empezada_ = true;
        primero = true;
        empezarLectura();
    }
    if (!lectura_)
        return true;
    if (FondoLista* f = lectura_->fondo.get()) {
        std::unique_lock<std::mutex> l(f->m);
        // A small table is read whole before the first step returns.
        if (primero)
            f->hecho.wait_for(l, std::chrono::milliseconds(ms), [f] { return f->fin; });
        ids_ += f->ids;
        f->ids.clear();
        if (!f->fin)
            return false;
        if (error_.isEmpty())
            error_ = f->error;
    } else if (!lectura_->avanzar(ms, ids_, error_)) {
        return false;
    }
    terminarLectura();
    return true;
}

bool ConsultasCombinada::Lectura::avanzar(int ms, QVector<qint64>& ids, QString& error)
{
    QElapsedTimer reloj;
    reloj.start();
    Lectura& L = *this;
    while (!L.ordenando) {
        if (L.desde > L.tope) {
            sqlite3_finalize(L.st);
            L.st = nullptr;
            if (!L.ordenado)
                break;
            L.orden.empezar(std::move(L.claves), L.textos.constData());
            L.ordenando = true;
            break;
        }
        const qint64 hasta = qMin(L.tope, L.desde + kIdsPorBloque - 1);
        for (int i = 0; i < L.valores.size(); ++i)
            enlazar(L.st, i + 1, L.valores[i]);
        sqlite3_bind_int64(L.st, int(L.valores.size()) + 1, L.desde);
        sqlite3_bind_int64(L.st, int(L.valores.size()) + 2, hasta);
        int rc;
        while ((rc = sqlite3_step(L.st)) == SQLITE_ROW) {
            const qint64 id = sqlite3_column_int64(L.st, 0);
            if (!L.ordenado) {
                ids.append(id);
                continue;
            }
            ClaveOrden k;
            k.id = id;
            k.clase = quint8(sqlite3_column_int(L.st, 1));
            k.numNulo = sqlite3_column_type(L.st, 2) == SQLITE_NULL;
            k.num = k.numNulo ? 0 : sqlite3_column_double(L.st, 2);
            if (sqlite3_column_type(L.st, 3) != SQLITE_NULL) {
                const char* t = reinterpret_cast<const char*>(sqlite3_column_text(L.st, 3));
                k.largo = sqlite3_column_bytes(L.st, 3);
                k.texto = quint32(L.textos.size());
                L.textos.append(t, k.largo);
            }
            L.claves.push_back(k);
        }
        // No read stays open between slices.
        sqlite3_reset(L.st);
        if (rc != SQLITE_DONE) {
            error = QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(L.st)));
            L.desde = L.tope + 1;
            continue;
        }
        L.desde = hasta + 1;
        if (reloj.elapsed() >= ms)
            return false;
    }
    if (L.ordenando) {
        if (!L.orden.paso(reloj, ms))
            return false;
        const std::vector<ClaveOrden>& r = L.orden.resultado();
        ids.reserve(ids.size() + qsizetype(r.size()));
        for (const ClaveOrden& k : r)
            ids.append(k.id);
    }
    return true;
}

void ConsultasCombinada::terminarLectura()
{
    const Lectura& L = *lectura_;
    if (c_.simple()) {
        if (ids_.size() == L.tope - L.primero + 1 || !error_.isEmpty()) {
            ids_ = QVector<qint64>();   // no gap: pages by Id
        } else {
            // A gap: from now on the pages come from the list, with the rows
            // stored since the reading began.
            QSqlQuery s(db_);
            s.setForwardOnly(true);
            s.prepare(QStringLiteral("SELECT \"Id\" FROM ") + q(tablaCombinada()) + QStringLiteral(" WHERE \"Id\" > ? ORDER BY \"Id\""));
            s.addBindValue(L.tope);
            if (s.exec())
                while (s.next())
                    ids_.append(s.value(0).toLongLong());
            enLista_ = true;
            cambio_ = true;
        }
    }
    lectura_.reset();
}

void ConsultasCombinada::completar()
{
    while (!paso(1000)) {
    }
}

bool ConsultasCombinada::cambioModo()
{
    const bool c = cambio_;
    cambio_ = false;
    return c;
}

qint64 ConsultasCombinada::contar() const
{
    if (c_.simple() && !enLista_) {
        const qint64 primero = primerId();
        return primero > 0 ? ultimoId() - primero + 1 : 0;
    }
    if (lectura_ && lectura_->ordenado)
        return 0;   // known once sorted
    return ids_.size();
}

qint64 ConsultasCombinada::primerId() const
{
    if (!c_.simple() || enLista_)
        return ids_.isEmpty() ? 0 : ids_.first();
    return escalarComb(db_, QStringLiteral("SELECT min(\"Id\") FROM ") + q(tablaCombinada()));
}

qint64 ConsultasCombinada::ultimoId() const
{
    const QString sql = QStringLiteral("SELECT max(\"Id\") FROM ") + q(tablaCombinada());
    if (!ultimo_) {
        ultimo_ = std::make_shared<QSqlQuery>(db_);
        ultimo_->setForwardOnly(true);
        if (!ultimo_->prepare(sql)) {
            ultimo_.reset();
            return escalarComb(db_, sql);
        }
    }
    const qint64 id = ultimo_->exec() && ultimo_->next() ? ultimo_->value(0).toLongLong() : 0;
    ultimo_->finish();
    // A row stored since joins the list of an unfiltered table with gaps.
    if (enLista_ && id > 0 && (ids_.isEmpty() || id > ids_.last()))
        ids_.append(id);
    return id;
}

QVector<FilaDatos> ConsultasCombinada::leer(const QString& sql, const QVariantList& valores) const
{
    return leerFilas(db_, sql, valores, columnas());
}

QVector<FilaDatos> ConsultasCombinada::desdeId(qint64 desde, int limite) const
{
    return leer(QStringLiteral("SELECT ") + lista_ + QStringLiteral(" FROM ") + q(tablaCombinada())
                    + QStringLiteral(" WHERE \"Id\" >= ? ORDER BY \"Id\" LIMIT ?"),
                {desde, limite});
}

QVector<FilaDatos> ConsultasCombinada::desdeFila(qint64 salto, int limite) const
{
    if (c_.simple() && !enLista_)
        return leer(QStringLiteral("SELECT ") + lista_ + QStringLiteral(" FROM ") + q(tablaCombinada())
                        + QStringLiteral(" ORDER BY \"Id\" LIMIT ? OFFSET ?"),
                    {limite, salto});
    QVector<FilaDatos> filas;
    for (qint64 i = salto; i < ids_.size() && i < salto + limite; ++i) {
        FilaDatos f;
        if (fila(ids_[i], f))
            filas.append(std::move(f));
        else
            filas.append(FilaDatos{ids_[i], QVector<QString>(columnas() - 1)});   // deleted since
    }
    return filas;
}

bool ConsultasCombinada::fila(qint64 id, FilaDatos& f) const
{
    if (!porId_) {
        QVariantList valores;
        QString filtro = clausulaFiltro(c_, valores);
        filtro = filtro.isEmpty() ? QStringLiteral(" WHERE \"Id\" = ?")
                                  : filtro + QStringLiteral(" AND \"Id\" = ?");
        porId_ = std::make_shared<QSqlQuery>(db_);
        porId_->setForwardOnly(true);
        if (!porId_->prepare(QStringLiteral("SELECT ") + lista_ + QStringLiteral(" FROM ") + q(tablaCombinada()) + filtro)) {
            porId_.reset();
            return false;
        }
        for (int i = 0; i < valores.size(); ++i)
            porId_->bindValue(i, valores[i]);
    }
    QVariantList valores;
    clausulaFiltro(c_, valores);
    for (int i = 0; i < valores.size(); ++i)
        porId_->bindValue(i, valores[i]);
    porId_->bindValue(int(valores.size()), id);
    bool hay = false;
    if (porId_->exec() && porId_->next()) {
        const int n = columnas();
        f.id = porId_->value(0).toLongLong();
        f.textos.resize(n - 1);
        for (int k = 1; k < n; ++k)
            f.textos[k - 1] = porId_->value(k).toString();
        hay = true;
    }
    porId_->finish();
    return hay;
}

bool borrarCombinada(BaseDatos& base, QString* error) { return base.vaciarTabla(tablaCombinada(), error); }

LectorCombinada::LectorCombinada(const QSqlDatabase& db, const ConsultaComb& c, bool ordenado, qint64 hastaId, int desde,
                                 int hasta, qint64 desdeId)
{
    sqlite3* h = manejadorSqlite(db);
    if (!h) {
        error_ = QStringLiteral("No hay ninguna base de datos abierta");
        return;
    }
    const QStringList cols = c.columnas();
    QStringList l;
    for (const QString& col : cols)
        l << q(col);
    columnas_ = int(cols.size());
    QVariantList valores;
    QString filtro = clausulaFiltro(c, valores);
    // In Id order the rows are read in blocks of Ids, so that no step runs
    // long however few rows pass the filter.
    porBloques_ = !ordenado || c.campoOrden.isEmpty() || c.campoOrden == kId;
    QString sql = QStringLiteral("SELECT ") + l.join(QLatin1Char(',')) + QStringLiteral(" FROM ") + q(tablaCombinada())
                  + (filtro.isEmpty() ? QStringLiteral(" WHERE ") : filtro + QStringLiteral(" AND "))
                  + (porBloques_ ? QStringLiteral("\"Id\" BETWEEN ? AND ?") : QStringLiteral("\"Id\" <= ?"));
    if (porBloques_) {
        desdeId_ = desdeId > 0 ? desdeId : escalarComb(db, QStringLiteral("SELECT min(\"Id\") FROM ") + q(tablaCombinada()));
        topeId_ = hastaId > 0 ? hastaId : escalarComb(db, QStringLiteral("SELECT max(\"Id\") FROM ") + q(tablaCombinada()));
        primerLimite_ = int(valores.size()) + 1;
        finBloque_ = qMin(topeId_, desdeId_ + kIdsPorBloque - 1);
        valores << QVariant(desdeId_) << QVariant(finBloque_);
        desdeId_ += kIdsPorBloque;
    } else {
        valores << QVariant(hastaId > 0 ? hastaId : std::numeric_limits<qint64>::max());
    }
    if (desde > 0 || hasta > 0) {
        sql += QStringLiteral(" AND CAST(substr(\"Fecha\",7,4)||substr(\"Fecha\",4,2)||substr(\"Fecha\",1,2) AS INTEGER)"
                              " BETWEEN ? AND ?");
        valores << QVariant(qint64(desde > 0 ? desde : 0)) << QVariant(qint64(hasta > 0 ? hasta : 99999999));
    }
    ConsultaComb enId = c;
    if (!ordenado)
        enId.campoOrden.clear();
    sql += clausulaOrden(enId);
    stmt_ = preparar(h, sql, error_);
    if (!stmt_)
        return;
    for (int i = 0; i < valores.size(); ++i)
        enlazar(stmt_, i + 1, valores[i]);
    textos_.resize(size_t(columnas_));
    largos_.resize(size_t(columnas_));
}

LectorCombinada::~LectorCombinada() { cerrar(); }

void LectorCombinada::cerrar() { finalizar(stmt_); }

int LectorCombinada::leer(int maximo, const Visita& visita)
{
    if (!stmt_)
        return 0;
    int k = 0;
    while (k < maximo) {
        const int rc = pasoFila(stmt_, columnas_, textos_.data(), largos_.data());
        if (rc == SQLITE_ROW) {
            ultimoId_ = sqlite3_column_int64(stmt_, 0);
            visita(textos_.data(), largos_.data());
            ++k;
            ++leidas_;
            continue;
        }
        if (rc == SQLITE_DONE && porBloques_ && desdeId_ <= topeId_) {
            sqlite3_reset(stmt_);
            finBloque_ = qMin(topeId_, desdeId_ + kIdsPorBloque - 1);
            sqlite3_bind_int64(stmt_, primerLimite_, desdeId_);
            sqlite3_bind_int64(stmt_, primerLimite_ + 1, finBloque_);
            desdeId_ += kIdsPorBloque;
            continue;
        }
        if (rc != SQLITE_DONE)
            error_ = QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(stmt_)));
        terminado_ = true;
        cerrar();
        break;
    }
    // In Id order each slice is a read transaction of its own (the writer's
    // checkpoints are not held back): the block goes on after the last Id read.
    if (stmt_ && porBloques_ && k > 0) {
        sqlite3_reset(stmt_);
        sqlite3_bind_int64(stmt_, primerLimite_, ultimoId_ + 1);
        sqlite3_bind_int64(stmt_, primerLimite_ + 1, finBloque_);
    }
    return k;
}

qint64 escribirCsvComb(const QSqlDatabase& db, const ConsultaComb& c, const QStringList& titulos, std::FILE* salida,
                       char separador, int desde, int hasta, QString* error)
{
    LectorCombinada lector(db, c, true, 0, desde, hasta);
    if (!lector.valido()) {
        if (error)
            *error = lector.error();
        return -1;
    }
    QByteArray buf;
    buf.reserve(1 << 20);
    agregarLineaCsv(buf, titulos, separador);
    // The columns the header names: the last `titulos.size()` of the row.
    const int primera = qMax(0, lector.columnas() - int(titulos.size()));
    return volcarCsv(lector, buf, primera, lector.columnas(), salida, separador, error);
}

qint64 escribirCsvComb(const QSqlDatabase& db, const ConsultaComb& c, const QStringList& titulos, const QString& ruta,
                       char separador, int desde, int hasta, QString* error)
{
    return escribirEnArchivo(
        ruta, [&](std::FILE* f) { return escribirCsvComb(db, c, titulos, f, separador, desde, hasta, error); }, error);
}

double nivelAlarmaComb(TipoValor t)
{
    switch (t) {
    case TipoValor::Alarma1: return 100;
    case TipoValor::Alarma2: return 10;
    case TipoValor::Alarma3: return 20;
    case TipoValor::Alarma4: return 30;
    default: return 0;
    }
}

ValorComb valorComb(TipoValor t, std::string_view texto, double& y)
{
    if (texto.empty() || texto == "Err" || texto == "N.I." || texto == " oF " || texto == " uF ")
        return ValorComb::Nada;
    if (t == TipoValor::Alarma1) {
        // An integer, blanks around it allowed; anything else draws nothing.
        while (!texto.empty() && texto.front() == ' ')
            texto.remove_prefix(1);
        while (!texto.empty() && texto.back() == ' ')
            texto.remove_suffix(1);
        std::size_t i = (!texto.empty() && (texto[0] == '-' || texto[0] == '+')) ? 1 : 0;
        if (i == texto.size() || texto.size() - i > 9)
            return ValorComb::Nada;
        long v = 0;
        for (std::size_t k = i; k < texto.size(); ++k) {
            if (texto[k] < '0' || texto[k] > '9')
                return ValorComb::Nada;
            v = v * 10 + (texto[k] - '0');
        }
        y = double(texto[0] == '-' ? -v : v);
        return ValorComb::Punto;
    }
    if (int(t) > int(TipoValor::Alarma1)) {
        y = texto == "100" ? nivelAlarmaComb(t) : 0;
        return ValorComb::Punto;
    }
    return leerNumero(texto, y) ? ValorComb::Punto : ValorComb::Ilegible;
}

} // namespace ombrix
