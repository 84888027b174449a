#pragma once
// Following a database that another program records into: a cheap look at
// SQLite's data version every half second and, only when it moved, the rows
// stored since the last look, announced as the recorder announces its own.

#include "acquisition/base_datos.h"
#include "acquisition/registro.h"

#include <QObject>
#include <QTimer>

#include <array>

namespace ombrix {

class SeguidorBase : public QObject {
    Q_OBJECT
public:
    explicit SeguidorBase(BaseDatos& base, QObject* parent = nullptr);

    // Remembers the last row of every table and looks every `ms` milliseconds.
    void empezar(int ms = 500);
    void detener();
    // One look now: true when rows were announced.
    bool revisar();

signals:
    void filaGuardada(int n, const QString& fecha, const QString& hora, const ombrix::TextosLectura& lecturas);
    void filaCombinadaGuardada();

private:
    qint64 version();
    qint64 ultimo(const QString& tabla);
    BaseDatos& base_;
    QTimer reloj_;
    qint64 version_ = -1;
    std::array<qint64, 21> ultimos_{};
    qint64 ultimoComb_ = 0;
};

} // namespace ombrix
