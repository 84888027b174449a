#pragma once
// The database file of the readings: an SQLite file (it keeps the ".mdb" name)
// in WAL mode. One writer at a time: the writer holds a lock of its own on the
// file, so that a second writer (another program, or a second one in this
// program) is refused while it is held. Readers share the file with the writer
// and with each other: they never write into it and never wait for the writer.

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>

#include <functional>

namespace ombrix {

// Runs `trabajo` on a thread of its own and waits for it. Called from the
// application's main thread, that thread keeps handling its events meanwhile
// (paint, timers, but no input), so that a window does not freeze while a
// large file is checked or copied.
void fueraDelHiloPrincipal(const std::function<void()>& trabajo);

class BaseDatos {
public:
    BaseDatos();
    ~BaseDatos();
    BaseDatos(const BaseDatos&) = delete;
    BaseDatos& operator=(const BaseDatos&) = delete;

    // Opens an existing file; false with a reason (in Spanish) when it does not
    // exist, another program holds it, it is not a database of this system, or it
    // cannot be written. A file that is not ours is only read, never written.
    // A file that fails SQLite's quick check is refused too: nothing is
    // recorded into a damaged file.
    bool abrir(const QString& ruta, QString* error = nullptr);
    // Opens an existing file to read it only, beside a writer if there is one.
    // Nothing is written into it; SQLite only creates the -wal and -shm files
    // of a WAL database when they are missing and the folder may be written,
    // and otherwise the reason it cannot be read is given. A file in the old
    // rollback-journal mode that is being written is waited for briefly.
    // `revisar` false skips checking the tables (a second reader of a file
    // already checked).
    bool abrirLectura(const QString& ruta, QString* error = nullptr, bool revisar = true);
    void cerrar();
    bool abierta() const { return abierta_; }
    bool soloLectura() const { return soloLectura_; }
    QString ruta() const { return ruta_; }
    QSqlDatabase db() const;

    // Deletes every row of `tabla` (the table stays) in one transaction.
    // False with the reason when it could not.
    bool vaciarTabla(const QString& tabla, QString* error = nullptr);

private:
    QString revisarArchivo(const QString& ruta, bool escribible);   // "" when it is ours
    QString motivoLectura(const QSqlError& e, const QString& ruta) const;
    QString revisarTablas(const QString& ruta, bool inmutable);
    QString revisarTablasAqui(const QString& ruta, bool inmutable);
    QString prepararConexion(const QString& ruta);    // "" when ready
    QString prepararLectura(const QString& ruta);     // "" when ready
    bool abrirComo(const QString& ruta, QString* error, bool lectura);
    bool lectura_ = false;
    bool inmutable_ = false;     // a WAL file without its log, read as immutable
    QStringList anexosNuevos_;   // left beside the file by the reading connection, removed at close
    QString conexion_;
    QString ruta_;
    int candado_ = -1;   // descriptor holding the exclusive flock
    bool enLista_ = false;   // the file is in the list of those this process holds
    quint64 dispositivo_ = 0, nodo_ = 0;
    bool abierta_ = false;
    bool soloLectura_ = false;
};

} // namespace ombrix
