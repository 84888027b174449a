#pragma once
// The database file of the readings: an SQLite file (it keeps the ".mdb" name)
// opened for exclusive use, so that a second program, or a second connection in
// this one, cannot open it while it is held.

#include <QSqlDatabase>
#include <QString>

namespace ombrix {

class BaseDatos {
public:
    BaseDatos();
    ~BaseDatos();
    BaseDatos(const BaseDatos&) = delete;
    BaseDatos& operator=(const BaseDatos&) = delete;

    // Opens an existing file; false with a reason when it does not exist, is not
    // a database of this system, cannot be written, or another program holds it.
    bool abrir(const QString& ruta, QString* error = nullptr);
    void cerrar();
    bool abierta() const { return abierta_; }
    QString ruta() const { return ruta_; }
    QSqlDatabase db() const;

private:
    QString prepararConexion(const QString& ruta);   // "" when ready
    QString conexion_;
    QString ruta_;
    int candado_ = -1;   // descriptor holding the exclusive flock
    bool abierta_ = false;
};

} // namespace ombrix
