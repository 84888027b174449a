#pragma once
// The rows a printed report reads: one table in Id order, a few columns as
// text, read a page at a time by position. No widgets: shared by the report
// preview and ombrix-report.

#include <QAbstractItemModel>
#include <QPointer>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <map>
#include <memory>

struct sqlite3_stmt;

namespace ombrix {

class FilasInforme {
public:
    virtual ~FilasInforme() = default;
    // Rows of the report.
    virtual qint64 contar() = 0;
    // Up to `cuantas` rows from the `desde`-th one (counted from 0), each as
    // the texts of its columns. False with `error` when the read failed.
    virtual bool leer(qint64 desde, int cuantas, QVector<QStringList>& filas, QString* error = nullptr) = 0;
    // The last failure ("" when none).
    virtual QString error() const { return QString(); }
};

// Rows of `tabla` (its "Id" ascending) through SQLite's own interface on the
// program's connection: the named columns, only rows with Id <= hastaId (all
// when 0) and, when given, with a "Fecha" from `desde` to `hasta` (yyyymmdd,
// inclusive). A page is found from the last Id of the page before it, so
// reading on from where the previous read stopped costs the same at any
// depth; a jump counts rows from the nearest page start already seen.
// Finalizes its statement when destroyed, so it must go before the connection.
class FilasInformeSqlite : public FilasInforme {
public:
    FilasInformeSqlite(const QSqlDatabase& db, const QString& tabla, const QStringList& columnas, qint64 hastaId = 0,
                 int desde = 0, int hasta = 0);
    ~FilasInformeSqlite() override;
    FilasInformeSqlite(const FilasInformeSqlite&) = delete;
    FilasInformeSqlite& operator=(const FilasInformeSqlite&) = delete;

    qint64 contar() override;
    bool leer(qint64 desde, int cuantas, QVector<QStringList>& filas, QString* error = nullptr) override;
    QString error() const override { return error_; }
    // Largest Id of the table now (0 when empty or unreadable).
    static qint64 ultimoId(const QSqlDatabase& db, const QString& tabla);

private:
    QString condicion() const;   // the WHERE clause after the Id bound
    void ligarFiltros(sqlite3_stmt* st, int primero) const;
    QSqlDatabase db_;
    QString tabla_;   // quoted
    QStringList columnas_;
    qint64 hastaId_;
    int desde_, hasta_;
    sqlite3_stmt* pagina_ = nullptr;
    qint64 cuenta_ = -1;
    std::map<qint64, qint64> anclas_;   // row position -> Id of the row before it
    QString error_;
};

// The same rows read on a worker thread with a reader connection of its own
// to the database file at `ruta`: the window thread asks with pedir() and gets
// the answer back later, and nothing it draws waits on a long read. contar()
// and leer() still answer in place (they wait for the worker), for printing.
class FilasInformeHilo : public FilasInforme {
public:
    FilasInformeHilo(const QString& ruta, const QString& tabla, const QStringList& columnas, qint64 hastaId = 0,
                     int desde = 0, int hasta = 0);
    ~FilasInformeHilo() override;   // stops the worker and waits for it
    FilasInformeHilo(const FilasInformeHilo&) = delete;
    FilasInformeHilo& operator=(const FilasInformeHilo&) = delete;

    // Runs `trabajo` on the worker, after whatever was asked before it; its
    // source is null when the database could not be opened (see error()).
    using Trabajo = std::function<void(FilasInformeSqlite* fuente)>;
    void pedir(Trabajo trabajo);

    qint64 contar() override;
    bool leer(qint64 desde, int cuantas, QVector<QStringList>& filas, QString* error = nullptr) override;
    QString error() const override;

private:
    void esperar(const Trabajo& trabajo);   // runs it and waits for its end
    struct Hilo;
    std::unique_ptr<Hilo> h_;
    qint64 cuenta_ = -1;
};

// The rows a grid shows, in its order, as they stand when the report starts
// (the count is taken then; rows the grid gains later are left out). The
// model must outlive the report: the preview is a window of the grid's window.
class FilasModelo : public FilasInforme {
public:
    explicit FilasModelo(const QAbstractItemModel* modelo);
    qint64 contar() override { return cuenta_; }
    bool leer(qint64 desde, int cuantas, QVector<QStringList>& filas, QString* error = nullptr) override;

private:
    QPointer<const QAbstractItemModel> modelo_;
    qint64 cuenta_;
};

// The rows of instrument n's report and of the combined report.
QStringList columnasInformeInstrumento();   // Fecha, Hora, Partida, Valor_medido, Set_point, Alarma_1..4

} // namespace ombrix
