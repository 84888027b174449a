#pragma once
// Recording of readings: one row per recorded reading into the instrument's
// table "Instrumento<n>", and in synchronised mode one row per synchronised
// recording into "Combinada", written when the first row of the next
// synchronised recording is stored. Nothing here needs a window.
//
// Every row is one prepared INSERT, prepared once per table and committed on
// its own, so the cost of a row does not depend on the size of the table.

#include "acquisition/base_datos.h"
#include "config/modelo.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QString>

#include <array>
#include <memory>

namespace ombrix {

using TextosLectura = std::array<QString, 7>;   // Valor_medido, Set_point, Potencia, Alarma_1..4

class Registrador : public QObject {
    Q_OBJECT
public:
    Registrador(BaseDatos& base, Modelo& modelo, QObject* parent = nullptr);
    ~Registrador() override;

    // Date and time texts of a row: always "dd/MM/yyyy" and "hh:mm:ss".
    static QString textoFecha(const QDate& d);
    static QString textoHora(const QTime& t);

    // Appends the row of instrument n (1..20) with the reading texts, the batch
    // code (not written when empty) and the date and time stamped before the
    // instrument was read. In synchronised mode (Config.Sincronismo) it also
    // keeps UltimosValores and writes the combined row of the previous
    // synchronised recording when this is the first row of a new one.
    // Returns false with the reason in `error` when the instrument row could
    // not be stored (the state is then left as it was, so the next row of this
    // synchronised recording takes its place), or when the combined row could
    // not be stored (the instrument row is stored; the combined row is lost).
    // Never throws.
    bool ActualizarTabla(int n, const TextosLectura& lecturas, const QString& partida, const QString& fechaLectura,
                         const QString& horaLectura, QString* error = nullptr);

    // Start of acquisition: the first synchronised recording writes no
    // combined row, and values left from before the stop are forgotten.
    void iniciarAdquisicion();
    // A synchronised period fell due: its first row takes fresh date and time.
    void marcarNuevaRonda() { NuevaRonda = true; }

    // Drops the prepared statements. Call it before the database is closed or
    // another one is opened.
    void olvidarSentencias();

    // State of the recording, readable by the views.
    quint8 TablaActual = 0;
    QString FechaRegistro, HoraRegistro;
    QString FechaAnterior, HoraAnterior;
    bool NuevaRonda = true;     // set at creation and by each synchronised period
    bool PrimeraRonda = true;   // set by every start of acquisition

signals:
    // A row of instrument n was stored (open charts append it).
    void filaGuardada(int n, const QString& fecha, const QString& hora, const ombrix::TextosLectura& lecturas);
    // A combined row was stored (the open combined table refreshes).
    void filaCombinadaGuardada();

private:
    QSqlQuery* sentencia(const QString& clave, const QString& sql, QString* error);
    bool escribirCombinada(QString* error);

    BaseDatos& base_;
    Modelo& modelo_;
    QString rutaSentencias_;                // database the statements were prepared on
    QPointer<QSqlDriver> driverSentencias_; // and its connection
    QHash<QString, std::shared_ptr<QSqlQuery>> sentencias_;
};

} // namespace ombrix
