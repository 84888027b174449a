#include "views/filas_informe.h"

#include "acquisition/base_datos.h"
#include "views/consultas.h"

#include <sqlite3.h>

#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>

namespace ombrix {

namespace {

QString comillas(const QString& nombre)
{
    QString s = nombre;
    s.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

const char* const kFechaOrdenable = "CAST(substr(\"Fecha\",7,4)||substr(\"Fecha\",4,2)||substr(\"Fecha\",1,2) AS INTEGER)";

} // namespace

struct FilasInformeHilo::Hilo {
    std::thread hilo;
    std::mutex m;
    std::condition_variable cambio;
    std::deque<Trabajo> cola;
    bool parar = false;
    QString error;   // of the opening
};

FilasInformeHilo::FilasInformeHilo(const QString& ruta, const QString& tabla, const QStringList& columnas,
                                   qint64 hastaId, int desde, int hasta)
    : h_(std::make_unique<Hilo>())
{
    Hilo* h = h_.get();
    h->hilo = std::thread([h, ruta, tabla, columnas, hastaId, desde, hasta] {
        BaseDatos base;
        QString error;
        std::unique_ptr<FilasInformeSqlite> fuente;
        if (base.abrirLectura(ruta, &error, false))
            fuente = std::make_unique<FilasInformeSqlite>(base.db(), tabla, columnas, hastaId, desde, hasta);
        {
            std::lock_guard<std::mutex> l(h->m);
            h->error = error;
        }
        for (;;) {
            Trabajo t;
            {
                std::unique_lock<std::mutex> l(h->m);
                h->cambio.wait(l, [h] { return h->parar || !h->cola.empty(); });
                if (h->parar)
                    break;
                t = std::move(h->cola.front());
                h->cola.pop_front();
            }
            t(fuente.get());
        }
        fuente.reset();   // its statement goes before the connection
    });
}

FilasInformeHilo::~FilasInformeHilo()
{
    {
        std::lock_guard<std::mutex> l(h_->m);
        h_->parar = true;
        h_->cola.clear();
    }
    h_->cambio.notify_all();
    h_->hilo.join();
}

void FilasInformeHilo::pedir(Trabajo trabajo)
{
    {
        std::lock_guard<std::mutex> l(h_->m);
        h_->cola.push_back(std::move(trabajo));
    }
    h_->cambio.notify_all();
}

void FilasInformeHilo::esperar(const Trabajo& trabajo)
{
    std::mutex m;
    std::condition_variable hecho;
    bool fin = false;
    pedir([&](FilasInformeSqlite* f) {
        trabajo(f);
        std::lock_guard<std::mutex> l(m);
        fin = true;
        hecho.notify_all();
    });
    std::unique_lock<std::mutex> l(m);
    hecho.wait(l, [&] { return fin; });
}

qint64 FilasInformeHilo::contar()
{
    if (cuenta_ < 0)
        esperar([this](FilasInformeSqlite* f) { cuenta_ = f ? f->contar() : 0; });
    return cuenta_;
}

bool FilasInformeHilo::leer(qint64 desde, int cuantas, QVector<QStringList>& filas, QString* error)
{
    bool bien = false;
    esperar([&](FilasInformeSqlite* f) {
        bien = f && f->leer(desde, cuantas, filas, error);
        if (!f && error)
            *error = h_->error;
    });
    return bien;
}

QString FilasInformeHilo::error() const
{
    QString e;
    const_cast<FilasInformeHilo*>(this)->esperar([&](FilasInformeSqlite* f) {
        std::lock_guard<std::mutex> l(h_->m);
        e = f ? f->error() : h_->error;
    });
    return e;
}

QStringList columnasInformeInstrumento()
{
    return {QStringLiteral("Fecha"),    QStringLiteral("Hora"),     QStringLiteral("Partida"),
            QStringLiteral("Valor_medido"), QStringLiteral("Set_point"), QStringLiteral("Alarma_1"),
            QStringLiteral("Alarma_2"), QStringLiteral("Alarma_3"), QStringLiteral("Alarma_4")};
}

FilasInformeSqlite::FilasInformeSqlite(const QSqlDatabase& db, const QString& tabla, const QStringList& columnas, qint64 hastaId,
                           int desde, int hasta)
    : db_(db), tabla_(comillas(tabla)), columnas_(columnas), hastaId_(hastaId > 0 ? hastaId : std::numeric_limits<qint64>::max()),
      desde_(desde), hasta_(hasta)
{
    anclas_[0] = std::numeric_limits<qint64>::min();
}

FilasInformeSqlite::~FilasInformeSqlite()
{
    if (pagina_)
        sqlite3_finalize(pagina_);
}

QString FilasInformeSqlite::condicion() const
{
    QString c = QStringLiteral("\"Id\" <= ?2");
    if (desde_ > 0 || hasta_ > 0)
        c += QStringLiteral(" AND ") + QLatin1String(kFechaOrdenable) + QStringLiteral(" BETWEEN ?3 AND ?4");
    return c;
}

void FilasInformeSqlite::ligarFiltros(sqlite3_stmt* st, int) const
{
    sqlite3_bind_int64(st, 2, hastaId_);
    if (desde_ > 0 || hasta_ > 0) {
        sqlite3_bind_int(st, 3, desde_ > 0 ? desde_ : 0);
        sqlite3_bind_int(st, 4, hasta_ > 0 ? hasta_ : 99999999);
    }
}

qint64 FilasInformeSqlite::ultimoId(const QSqlDatabase& db, const QString& tabla)
{
    sqlite3* h = manejadorSqlite(db);
    if (!h)
        return 0;
    const QByteArray sql = (QStringLiteral("SELECT max(\"Id\") FROM ") + comillas(tabla)).toUtf8();
    sqlite3_stmt* st = nullptr;
    qint64 id = 0;
    if (sqlite3_prepare_v2(h, sql.constData(), int(sql.size()), &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        id = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return id;
}

qint64 FilasInformeSqlite::contar()
{
    if (cuenta_ >= 0)
        return cuenta_;
    sqlite3* h = manejadorSqlite(db_);
    if (!h) {
        error_ = QStringLiteral("No hay ninguna base de datos abierta");
        return 0;
    }
    const QByteArray sql = (QStringLiteral("SELECT count(*) FROM ") + tabla_ + QStringLiteral(" WHERE \"Id\" > ?1 AND ")
                            + condicion())
                               .toUtf8();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(h, sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK) {
        error_ = QString::fromUtf8(sqlite3_errmsg(h));
        return 0;
    }
    sqlite3_bind_int64(st, 1, std::numeric_limits<qint64>::min());
    ligarFiltros(st, 2);
    if (sqlite3_step(st) == SQLITE_ROW)
        cuenta_ = sqlite3_column_int64(st, 0);
    else
        error_ = QString::fromUtf8(sqlite3_errmsg(h));
    sqlite3_finalize(st);
    return qMax<qint64>(cuenta_, 0);
}

bool FilasInformeSqlite::leer(qint64 desde, int cuantas, QVector<QStringList>& filas, QString* error)
{
    filas.clear();
    auto falla = [&](const QString& e) {
        error_ = e;
        if (error)
            *error = e;
        return false;
    };
    if (desde < 0 || cuantas <= 0)
        return true;
    sqlite3* h = manejadorSqlite(db_);
    if (!h)
        return falla(QStringLiteral("No hay ninguna base de datos abierta"));
    if (!pagina_) {
        QStringList cols{QStringLiteral("\"Id\"")};
        for (const QString& c : columnas_)
            cols << comillas(c);
        const QByteArray sql = (QStringLiteral("SELECT ") + cols.join(QLatin1Char(',')) + QStringLiteral(" FROM ") + tabla_
                                + QStringLiteral(" WHERE \"Id\" > ?1 AND ") + condicion()
                                + QStringLiteral(" ORDER BY \"Id\" LIMIT ?5 OFFSET ?6"))
                                   .toUtf8();
        if (sqlite3_prepare_v2(h, sql.constData(), int(sql.size()), &pagina_, nullptr) != SQLITE_OK) {
            pagina_ = nullptr;
            return falla(QString::fromUtf8(sqlite3_errmsg(h)));
        }
    }
    // The nearest known row position at or before `desde`.
    auto ancla = anclas_.upper_bound(desde);
    --ancla;
    sqlite3_reset(pagina_);
    sqlite3_clear_bindings(pagina_);
    sqlite3_bind_int64(pagina_, 1, ancla->second);
    ligarFiltros(pagina_, 2);
    sqlite3_bind_int(pagina_, 5, cuantas);
    sqlite3_bind_int64(pagina_, 6, desde - ancla->first);
    const int ncol = columnas_.size();
    qint64 ultimo = 0;
    int rc;
    while ((rc = sqlite3_step(pagina_)) == SQLITE_ROW) {
        ultimo = sqlite3_column_int64(pagina_, 0);
        QStringList f;
        f.reserve(ncol);
        for (int c = 0; c < ncol; ++c) {
            const unsigned char* t = sqlite3_column_text(pagina_, c + 1);
            f << (t ? QString::fromUtf8(reinterpret_cast<const char*>(t), sqlite3_column_bytes(pagina_, c + 1)) : QString());
        }
        filas.append(std::move(f));
    }
    if (rc != SQLITE_DONE) {
        const QString e = QString::fromUtf8(sqlite3_errmsg(h));
        sqlite3_reset(pagina_);
        filas.clear();
        return falla(e);
    }
    sqlite3_reset(pagina_);
    if (!filas.isEmpty())
        anclas_[desde + filas.size()] = ultimo;
    return true;
}

FilasModelo::FilasModelo(const QAbstractItemModel* modelo)
    : modelo_(modelo)
    , cuenta_(modelo ? modelo->rowCount() : 0)
{
}

bool FilasModelo::leer(qint64 desde, int cuantas, QVector<QStringList>& filas, QString* error)
{
    filas.clear();
    if (!modelo_) {
        if (error)
            *error = QStringLiteral("La tabla ya no está abierta");
        return false;
    }
    const qint64 hasta = qMin<qint64>(qMin<qint64>(cuenta_, modelo_->rowCount()), desde + cuantas);
    const int columnas = modelo_->columnCount();
    for (qint64 r = qMax<qint64>(desde, 0); r < hasta; ++r) {
        QStringList fila;
        fila.reserve(columnas);
        for (int c = 0; c < columnas; ++c)
            fila << modelo_->data(modelo_->index(int(r), c)).toString();
        filas << fila;
    }
    return true;
}

} // namespace ombrix
