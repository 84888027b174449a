#pragma once
// The database file of the readings: an SQLite file (it keeps the ".mdb" name)
// opened for exclusive use, so that a second program, or a second connection in
// this one, cannot open it while it is held.

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace ombrix {

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
    // Opens an existing file of this system to read it only: nothing in the
    // file changes (no journal mode switch, no check of its pages; damage is
    // reported by the reads that meet it). Held as abrir holds it.
    bool abrirLectura(const QString& ruta, QString* error = nullptr);
    void cerrar();
    bool abierta() const { return abierta_; }
    QString ruta() const { return ruta_; }
    QSqlDatabase db() const;

    // Deletes every row of `tabla` (the table stays) in one transaction.
    // False with the reason when it could not.
    bool vaciarTabla(const QString& tabla, QString* error = nullptr);

private:
    QString revisarArchivo(const QString& ruta);      // "" when it is ours
    QString revisarTablas(const QString& ruta, bool inmutable);
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
};

} // namespace ombrix
