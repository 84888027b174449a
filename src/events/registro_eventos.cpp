#include "events/registro_eventos.h"

#include "acquisition/base_datos.h"
#include "config/modelo.h"
#include "events/almacen_eventos.h"
#include "events/sellos.h"

#include <QDateTime>
#include <QFileInfo>
#include <QPointer>
#include <QSqlQuery>
#include <QSysInfo>

#include <pwd.h>
#include <unistd.h>

namespace ombrix {

namespace {
QPointer<RegistroEventos> actual;

const QString kActivada = QStringLiteral("activada");
const QString kDesactivada = QStringLiteral("desactivada");

// An alarm value as stored: on when it reads 100 % or more.
std::optional<bool> alarmaEncendida(const std::optional<double>& v)
{
    if (!v)
        return std::nullopt;
    return *v >= 100.0;
}
} // namespace

RegistroEventos* registroEventos() { return actual.data(); }

void anotarEvento(const QString& tipo, int instrumento, const QString& texto)
{
    if (RegistroEventos* r = registroEventos())
        r->anotar(tipo, instrumento, texto);
}

void anotarCambio(const QString& tipo, int instrumento, const QString& texto, const QString& anterior, const QString& nuevo)
{
    if (RegistroEventos* r = registroEventos())
        r->anotarCambio(tipo, instrumento, texto, anterior, nuevo);
}

void anotarFilaEditada(int n, qint64 id, const QString& columna, const QString& anterior, const QString& nuevoValor)
{
    if (RegistroEventos* r = registroEventos())
        r->filaEditada(QStringLiteral("Instrumento%1").arg(n), n, id, columna, anterior, nuevoValor);
}

bool vaciarTablaRegistrada(BaseDatos& base, const QString& tabla, int instrumento, QString* error)
{
    qint64 filas = -1;
    {
        QSqlQuery q(base.db());
        if (q.exec(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(QString(tabla).replace(QLatin1Char('"'), QStringLiteral("\"\"")))) && q.next())
            filas = q.value(0).toLongLong();
    }
    if (!base.vaciarTabla(tabla, error))
        return false;
    if (RegistroEventos* r = registroEventos(); r && r->base() == &base)
        r->tablaVaciada(tabla, instrumento, filas);
    return true;
}

void anotarComando(int n, const QString& que, const QString& anterior, const QString& nuevoValor, bool aceptado)
{
    anotarCambio(tipoEvento::Comando, n,
                 QStringLiteral("%1 enviado al instrumento %2: %3")
                     .arg(que)
                     .arg(n)
                     .arg(aceptado ? QStringLiteral("aceptado") : QStringLiteral("sin respuesta válida del instrumento")),
                 anterior, nuevoValor);
}

VigiaInstrumento::VigiaInstrumento(Modelo& modelo, int n, const QString& tipo)
    : modelo_(modelo), n_(n), tipo_(tipo), antes_(modelo.valoresInstrumento(n))
{
}

VigiaInstrumento::~VigiaInstrumento()
{
    if (!registroEventos() || n_ < 1 || n_ >= modelo_.ArrayConfig.size())
        return;
    const auto despues = modelo_.valoresInstrumento(n_);
    for (qsizetype i = 0; i < despues.size() && i < antes_.size(); ++i)
        if (despues[i].second != antes_[i].second)
            anotarCambio(tipo_, n_, QStringLiteral("%1 del instrumento %2 cambiado: %3").arg(tipo_).arg(n_).arg(despues[i].first),
                         antes_[i].second, despues[i].second);
}

RegistroEventos::RegistroEventos(Modelo& modelo, Origen origen, QObject* parent)
    : QObject(parent), modelo_(modelo), origen_(origen)
{
    qRegisterMetaType<ombrix::Evento>();
    actual = this;
}

RegistroEventos::~RegistroEventos() = default;

QString RegistroEventos::equipo()
{
    static const QString e = QSysInfo::machineHostName();
    return e;
}

QString RegistroEventos::usuario()
{
    static const QString u = [] {
        if (const passwd* p = ::getpwuid(::geteuid()); p && p->pw_name)
            return QString::fromLocal8Bit(p->pw_name);
        return qEnvironmentVariable("USER");
    }();
    return u;
}

void RegistroEventos::usarBase(BaseDatos* base)
{
    base_ = base;
    rutaPreparada_.clear();
}

bool RegistroEventos::listo()
{
    // A database opened for consultation is never written, events included.
    if (!activo || !base_ || !base_->abierta() || base_->soloLectura())
        return false;
    if (rutaPreparada_ == base_->ruta())
        return true;
    QString error;
    if (!almacenEventos::prepararTablas(base_->db(), &error) || !almacenEventos::ultimo(base_->db(), ultimoId_, ultimoHash_, &error)) {
        if (!fallando_) {
            fallando_ = true;
            emit aviso(QStringLiteral("No se pueden guardar los eventos: ") + error);
        }
        return false;
    }
    rutaPreparada_ = base_->ruta();
    return true;
}

bool RegistroEventos::baseAbierta(QString* error)
{
    rutaPreparada_.clear();
    if (!base_ || !base_->abierta()) {
        if (error)
            *error = QStringLiteral("No hay ninguna base de datos abierta");
        return false;
    }
    const bool bien = listo();
    anotar(tipoEvento::Base, 0, QStringLiteral("Base de datos abierta: ") + QFileInfo(base_->ruta()).fileName());
    if (!bien && error)
        *error = QStringLiteral("No se pudieron crear las tablas de eventos");
    return bien;
}

QString RegistroEventos::nombre(int n) const
{
    if (n > 0 && n < modelo_.ArrayConfig.size() && !modelo_.ArrayConfig[n].Titulo.trimmed().isEmpty())
        return QStringLiteral("instrumento %1 (%2)").arg(n).arg(modelo_.ArrayConfig[n].Titulo.trimmed());
    return QStringLiteral("instrumento %1").arg(n);
}

Evento RegistroEventos::nuevo(const QString& tipo, int instrumento, const QString& texto) const
{
    Evento e;
    const QDateTime ahora = QDateTime::currentDateTime();
    e.instante = ahora.toUTC().toString(Qt::ISODate);
    e.fecha = ahora.toString(QStringLiteral("dd/MM/yyyy"));
    e.hora = ahora.toString(QStringLiteral("hh:mm:ss"));
    e.instrumento = instrumento;
    e.tipo = tipo;
    e.texto = texto;
    e.nivel = modelo_.Config.Nivel;
    e.equipo = equipo();
    e.usuario = usuario();
    e.origen = origen_ == Origen::Ventana ? QStringLiteral("Ventana") : QStringLiteral("Registrador");
    return e;
}

Evento RegistroEventos::escribir(Evento e)
{
    if (listo()) {
        e.id = ultimoId_ + 1;
        e.hash = e.calcularHash(ultimoHash_);
        QString error;
        if (almacenEventos::insertar(base_->db(), e, &error)) {
            ultimoId_ = e.id;
            ultimoHash_ = e.hash;
            if (fallando_) {
                fallando_ = false;
                emit aviso(QStringLiteral("Los eventos se guardan de nuevo"));
            }
        } else {
            e.id = 0;
            e.hash.clear();
            // The chain is read again before the next event.
            rutaPreparada_.clear();
            if (!fallando_) {
                fallando_ = true;
                emit aviso(QStringLiteral("No se pudo guardar el evento: ") + error);
            }
        }
    }
    if (!activo)
        return e;
    if (repartir)
        repartir(e);
    emit anotado(e);
    return e;
}

Evento RegistroEventos::anotar(const QString& tipo, int instrumento, const QString& texto)
{
    return escribir(nuevo(tipo, instrumento, texto));
}

Evento RegistroEventos::anotarCambio(const QString& tipo, int instrumento, const QString& texto, const QString& anterior,
                                     const QString& nuevoValor)
{
    Evento e = nuevo(tipo, instrumento, texto);
    e.conValores = true;
    e.anterior = anterior;
    e.nuevo = nuevoValor;
    return escribir(e);
}

void RegistroEventos::filaEditada(const QString& tabla, int instrumento, qint64 id, const QString& columna,
                                  const QString& anterior, const QString& nuevoValor)
{
    const Evento e = anotarCambio(tipoEvento::Edicion, instrumento,
                                  QStringLiteral("Fila Id %1 de %2 editada: %3").arg(id).arg(tabla, columna), anterior, nuevoValor);
    if (e.id > 0)
        sellos::resellar(base_->db(), tabla, id, e.id);
}

void RegistroEventos::tablaVaciada(const QString& tabla, int instrumento, qint64 filas)
{
    const Evento e = anotarCambio(tipoEvento::Borrado, instrumento,
                                  QStringLiteral("Tabla %1 borrada (%2 filas)").arg(tabla).arg(filas), QString::number(filas),
                                  QStringLiteral("0"));
    if (e.id > 0)
        sellos::sellarVaciado(base_->db(), tabla, e.id);
}

void RegistroEventos::filaGuardada(int n)
{
    if (!activo)
        return;
    if (++sinSellar_[n] < sellos::kFilasPorSello)
        return;
    sinSellar_[n] = 0;
    if (!listo())
        return;
    sellos::sellarPendientes(base_->db(), QStringLiteral("Instrumento%1").arg(n), sellos::kMaxFilasSello);
    // The combined table grows with them.
    sellos::sellarPendientes(base_->db(), QStringLiteral("Combinada"), sellos::kMaxFilasSello);
}

void RegistroEventos::sellarPendientes()
{
    sinSellar_.clear();
    if (!listo())
        return;
    for (const QString& t : sellos::tablasSelladas())
        sellos::sellarPendientes(base_->db(), t, sellos::kMaxFilasSello);
}

void RegistroEventos::lectura(const LecturaPlanta& l)
{
    auto& estado = alarmas_[l.instrumento];
    for (int i = 0; i < 4; ++i) {
        const std::optional<bool> ahora = alarmaEncendida(l.numeros[3 + i]);
        if (!ahora)
            continue;
        const std::optional<bool> antes = estado[i];
        estado[i] = ahora;
        if (antes == ahora || (!antes && !*ahora))
            continue;
        anotarCambio(tipoEvento::Alarma, l.instrumento,
                     QStringLiteral("Alarma %1 de %2 %3").arg(i + 1).arg(nombre(l.instrumento), *ahora ? kActivada : kDesactivada),
                     antes ? (*antes ? kActivada : kDesactivada) : QString(), *ahora ? kActivada : kDesactivada);
    }
}

void RegistroEventos::alarmaComRestablecida(int n)
{
    enganchadas_.remove(n);
    anotar(tipoEvento::AlarmaCom, n, QStringLiteral("Alarma de comunicación de %1 restablecida por el operador").arg(nombre(n)));
}

void RegistroEventos::disponibilidad(int n, bool disponible)
{
    // Each latch is told once, and a reset only of a latch that was told.
    if (disponible) {
        if (!enganchadas_.remove(n))
            return;
    } else {
        if (enganchadas_.contains(n))
            return;
        enganchadas_.insert(n);
    }
    anotar(tipoEvento::AlarmaCom, n,
           disponible ? QStringLiteral("Alarma de comunicación de %1 restablecida por el sondeo: responde de nuevo").arg(nombre(n))
                      : QStringLiteral("Alarma de comunicación de %1: no responde").arg(nombre(n)));
}

void RegistroEventos::enLinea(bool activa)
{
    if (activa)
        alarmas_.clear();
    anotar(tipoEvento::Adquisicion, 0, activa ? QStringLiteral("Adquisición iniciada") : QStringLiteral("Adquisición detenida"));
    if (!activa)
        sellarPendientes();
}

void RegistroEventos::puerto(bool disponible, const QString& texto)
{
    anotar(tipoEvento::Puerto, 0,
           disponible ? QStringLiteral("Puerto %1 disponible de nuevo").arg(modelo_.Config.Puerto)
                      : QStringLiteral("Puerto %1 perdido: %2").arg(modelo_.Config.Puerto, texto));
}

void RegistroEventos::registro(bool funciona, const QString& texto)
{
    anotar(tipoEvento::Registro, 0,
           funciona ? QStringLiteral("El registro de lecturas funciona de nuevo")
                    : QStringLiteral("No se pueden guardar las lecturas: ") + texto);
}

void RegistroEventos::detener()
{
    sellarPendientes();
}

} // namespace ombrix
