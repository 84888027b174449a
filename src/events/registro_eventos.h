#pragma once
// The event log: a listener of the acquisition's stream (acquisition on and
// off, communication alarms, alarms 1–4 coming and going, port and recording
// lost and back) and the entry point the windows call for what the operator
// does (commands, properties, access level, batch code, rows edited, tables
// emptied). Every event is written at once to the writer's database,
// chained by hash to the one before, and handed to the other listeners
// (MQTT...) and to the open events window.
//
// It also keeps the seals over the readings: a table is sealed every
// sellos::kFilasPorSello rows and at every stop of the acquisition.

#include "events/evento.h"
#include "integration/integraciones.h"

#include <QHash>
#include <QObject>
#include <QSet>

#include <array>
#include <functional>
#include <optional>

namespace ombrix {

class BaseDatos;
class Modelo;

class RegistroEventos : public QObject, public Oyente {
    Q_OBJECT
public:
    RegistroEventos(Modelo& modelo, Origen origen, QObject* parent = nullptr);
    ~RegistroEventos() override;

    // The writer's database (nullptr: none open; events are then only handed on).
    void usarBase(BaseDatos* base);
    BaseDatos* base() const { return base_; }
    // A database was opened: the events and seals tables are created when the
    // file lacks them, the chain is read, and "database opened" is logged.
    bool baseAbierta(QString* error = nullptr);

    // Events switched off write nothing (for measuring their cost).
    bool activo = true;

    // Logs one event; returns it as stored (Id 0 when it could not be stored).
    Evento anotar(const QString& tipo, int instrumento, const QString& texto);
    // The same with the old and the new value.
    Evento anotarCambio(const QString& tipo, int instrumento, const QString& texto, const QString& anterior,
                        const QString& nuevo);

    // The program changed readings: the event with the old value, and the
    // range sealed again so that verification does not take it for tampering.
    void filaEditada(const QString& tabla, int instrumento, qint64 id, const QString& columna, const QString& anterior,
                     const QString& nuevo);
    void tablaVaciada(const QString& tabla, int instrumento, qint64 filas);
    // The operator reset the communication alarm of instrument n.
    void alarmaComRestablecida(int n);

    // A row of instrument n was stored.
    void filaGuardada(int n);
    // Seals every table's unsealed rows (at most sellos::kMaxFilasSello a table per call).
    void sellarPendientes();

    // Called with every event, stored or not (the stream hands it to the other listeners).
    std::function<void(const Evento&)> repartir;

    // Oyente
    void lectura(const LecturaPlanta& l) override;
    void disponibilidad(int n, bool disponible) override;
    void enLinea(bool activa) override;
    void puerto(bool disponible, const QString& texto) override;
    void registro(bool funciona, const QString& texto) override;
    void detener() override;

    // The computer's name and the system user, as events store them.
    static QString equipo();
    static QString usuario();

signals:
    // An event was logged (the events window follows them).
    void anotado(const ombrix::Evento& e);
    // Events cannot be stored / are stored again (once per episode).
    void aviso(const QString& texto);

private:
    Evento nuevo(const QString& tipo, int instrumento, const QString& texto) const;
    Evento escribir(Evento e);
    bool listo();
    QString nombre(int n) const;

    Modelo& modelo_;
    Origen origen_;
    BaseDatos* base_ = nullptr;
    QString rutaPreparada_;     // the database whose tables and chain are known
    qint64 ultimoId_ = 0;
    QString ultimoHash_;
    bool fallando_ = false;
    QHash<int, int> sinSellar_; // rows stored since the last seal, by instrument
    QHash<int, std::array<std::optional<bool>, 4>> alarmas_;
    QSet<int> enganchadas_;     // communication alarms latched (told once)
};

// Put at the start of a window's "accept": when it goes, every setting of
// instrument n that changed meanwhile is logged (field, old, new) as `tipo`.
class VigiaInstrumento {
public:
    VigiaInstrumento(Modelo& modelo, int n, const QString& tipo);
    ~VigiaInstrumento();
    VigiaInstrumento(const VigiaInstrumento&) = delete;
    VigiaInstrumento& operator=(const VigiaInstrumento&) = delete;

private:
    Modelo& modelo_;
    int n_;
    QString tipo_;
    QVector<QPair<QString, QString>> antes_;
};

// A command sent to instrument n from its panel: what, the old and new value,
// and whether the instrument answered it.
void anotarComando(int n, const QString& que, const QString& anterior, const QString& nuevo, bool aceptado);

// Empties `tabla` (BaseDatos::vaciarTabla) and logs it with the number of
// rows it held; the seals then take the table as emptied by the program.
bool vaciarTablaRegistrada(BaseDatos& base, const QString& tabla, int instrumento, QString* error = nullptr);

// Row `id` of instrument n's table was edited in its window (column as titled there).
void anotarFilaEditada(int n, qint64 id, const QString& columna, const QString& anterior, const QString& nuevo);

// The event log of this process (the windows write to it), or nullptr.
RegistroEventos* registroEventos();
// Shorthands for the windows: nothing happens when there is no log.
void anotarEvento(const QString& tipo, int instrumento, const QString& texto);
void anotarCambio(const QString& tipo, int instrumento, const QString& texto, const QString& anterior,
                  const QString& nuevo);

} // namespace ombrix
