#include "adquisicion.h"

#include "config/dialogos.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMetaObject>
#include <QPointer>

#include <chrono>
#include <thread>

namespace ombrix {

namespace {
constexpr auto kPasoEspera = std::chrono::milliseconds(100);
using Reloj = std::chrono::steady_clock;

// Enabled and at an address an instrument can answer at (the settings may
// hold others: they are told at start and never polled).
bool consultable(const EstadoInstrumento& st) { return st.Habilitado && direccionDeBus(st.Direccion); }
} // namespace

const QString Adquisicion::kErrorGuardar = QStringLiteral("Error al guardar en la base de datos");

QString Adquisicion::fechaTexto(const QDateTime& t) { return t.toString(QStringLiteral("dd/MM/yyyy")); }
QString Adquisicion::horaTexto(const QDateTime& t) { return t.toString(QStringLiteral("hh:mm:ss")); }

Adquisicion::Adquisicion(Modelo& modelo, EnlaceModbus& enlace, QObject* parent)
    : QObject(parent), modelo_(modelo), enlace_(enlace), hilo_(*this)
{
    reloj_.start();
    hilo_.start();
}

Adquisicion::~Adquisicion()
{
    modelo_.Adquiriendo = false;
    {
        std::lock_guard l(mutex_);
        salir_ = true;
        activo_ = false;
    }
    cambio_.notify_all();
    // The thread may be handing a turn to this (main) thread: serve it so
    // that the thread can see it is to end. It closes the port on its way out.
    while (!hilo_.wait(10))
        QCoreApplication::processEvents();
    EstadoPuerto = TEstadoPuerto{};
}

template <typename F>
void Adquisicion::alHiloPrincipal(F&& f)
{
    QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::QueuedConnection);
}

// ------------------------------------------------------------ Main thread

void Adquisicion::ComenzarExecute()
{
    if (modelo_.Adquiriendo)
        return;
    modelo_.Adquiriendo = true;

    switch (modelo_.Config.BaudRate) {
    case 4800: enlace_.setBaud(br4800); break;
    case 9600: enlace_.setBaud(br9600); break;
    case 19200: enlace_.setBaud(br19200); break;
    default: break;
    }
    Orden o;
    o.tipo = Orden::Abrir;
    // The device is found here, once: a reopening on the polling thread uses
    // the same path and reads no settings.
    o.puerto = enlace_.rutaDe(modelo_.Config.Puerto);
    o.parametros = enlace_.parametros();
    o.dtr = modelo_.Config.DTR != 0;
    o.rts = modelo_.Config.RTS != 0;
    {
        std::lock_guard l(mutex_);
        o.generacion = ++generacion_;
        ordenes_.push_back(std::move(o));
        ocupado_ = true;
    }
    cambio_.notify_all();
}

void Adquisicion::alAbrir(FalloApertura fallo, quint64 generacion)
{
    if (generacion != generacion_ || !modelo_.Adquiriendo)
        return;   // stopped meanwhile: the stop's own close follows
    if (fallo != FalloApertura::Ninguno) {
        dialogos().mensaje(EnlaceModbus::kTituloAtencion,
                           EnlaceModbus::mensajeDe(fallo, enlace_.rutaDe(modelo_.Config.Puerto)), Icono::Advertencia,
                           Botones::Ok);
        // The permission message already says what to do; "check the port"
        // would send the user the wrong way.
        if (fallo == FalloApertura::SinPermiso) {
            TerminarExecute();
            return;
        }
        dialogos().mensaje(kTituloPregunta,
                           QStringLiteral("No se pudo abrir el puerto de comunicaciones: ") + modelo_.Config.Puerto
                               + QStringLiteral(". ")
                               + QStringLiteral("Verifique que el puerto sea el correcto, o que no este siendo usado por otro programa"),
                           Icono::Error, Botones::Ok);
        TerminarExecute();
        return;
    }
    EstadoPuerto.Abierto = true;
    modelo_.ContadorSinc = 0;
    for (int n = 1; n < modelo_.CantidadAparatos && n < modelo_.ContadorBarrido.size(); ++n)
        modelo_.ContadorBarrido[n] += 1;
    fallandoRegistro_.clear();
    ultimoSondeo_.fill(-1);
    pasadas_ = 0;
    emit estado(QStringLiteral("Sistema en linea"));
    // PrimeraRonda belongs to the recording; it is told through enLinea(true).
    emit enLinea(true);
}

void Adquisicion::TerminarExecute()
{
    if (!modelo_.Adquiriendo)
        return;
    modelo_.Adquiriendo = false;
    DespertarAdquisicion = true;
    {
        std::lock_guard l(mutex_);
        ++generacion_;
        activo_ = false;
        Orden o;
        o.tipo = Orden::Cerrar;
        o.generacion = generacion_;
        ordenes_.push_back(std::move(o));
        ocupado_ = true;
    }
    cambio_.notify_all();
    EstadoPuerto = TEstadoPuerto{};
    emit estado(QStringLiteral("Sistema fuera de linea"));
    emit enLinea(false);
}

bool Adquisicion::encolar(QObject* receptor, TrabajoLinea trabajo)
{
    if (!modelo_.Adquiriendo || !trabajo)
        return false;
    Orden o;
    o.tipo = Orden::Trabajo;
    o.receptor = receptor;
    o.trabajo = std::move(trabajo);
    {
        std::lock_guard l(mutex_);
        ordenes_.push_back(std::move(o));
        ocupado_ = true;
    }
    cambio_.notify_all();
    return true;
}

bool Adquisicion::esperarHilo(int ms)
{
    QDeadlineTimer limite(ms);
    for (;;) {
        QCoreApplication::processEvents();
        if (!ocupado_)
            return true;
        if (limite.hasExpired())
            return false;
        QThread::msleep(2);
    }
}

void Adquisicion::mostrar(const QString& texto)
{
    // While rows cannot be stored, the status bar keeps saying so.
    emit estado(fallandoRegistro_.isEmpty() ? texto : kErrorGuardar);
}

int Adquisicion::periodoSondeo() const
{
    return reintentoAlarmaS >= 0 ? reintentoAlarmaS : qMax(0, modelo_.Config.ReintentoAlarma);
}

Adquisicion::Turno Adquisicion::prepararTurno(int n, quint64 generacion)
{
    Turno t;
    if (!modelo_.Adquiriendo || generacion != generacion_) {
        t.tipo = TipoTurno::Cortar;
        return t;
    }
    if (n >= modelo_.CantidadAparatos || n >= modelo_.Estados.size() || n >= modelo_.Avanzadas1.size()
        || n >= int(decimales_.size())) {
        t.tipo = TipoTurno::Fin;
        return t;
    }
    const EstadoInstrumento& st = modelo_.Estados[n];
    t.tipo = TipoTurno::Nada;
    if (!consultable(st))
        return t;
    if (ultimoSondeo_.size() <= n)
        ultimoSondeo_.resize(n + 1, -1);
    if (st.AlarmaCom) {
        // A latched instrument is left alone, or probed now and then.
        const int periodo = periodoSondeo();
        if (periodo <= 0)
            return t;
        const qint64 ahora = reloj_.elapsed();
        if (ultimoSondeo_[n] < 0) {
            ultimoSondeo_[n] = ahora;
            return t;
        }
        if (ahora - ultimoSondeo_[n] < qint64(periodo) * 1000)
            return t;
        ultimoSondeo_[n] = ahora;
        t.tipo = TipoTurno::Sondeo;
    } else {
        t.tipo = TipoTurno::Leer;
        emit consultando(n);
        mostrar(QStringLiteral("Consultando en linea: ") + QString::number(n));
    }
    t.avanzadas = modelo_.Avanzadas1[n];
    t.direccion = st.Direccion;
    return t;
}

void Adquisicion::aplicarLectura(int n, ResultadoLectura r, const QString& fecha, const QString& hora,
                                 quint64 generacion)
{
    if (!modelo_.Adquiriendo || generacion != generacion_)
        return;
    if (n >= modelo_.CantidadAparatos || n >= modelo_.Estados.size())
        return;
    EstadoInstrumento& st = modelo_.Estados[n];
    // Disabled while it was being read: the panel no longer shows readings.
    if (!st.Habilitado || st.AlarmaCom)
        return;
    engancharAlarma(st, r);
    if (r.alarmaComEnganchada && n < ultimoSondeo_.size())
        ultimoSondeo_[n] = reloj_.elapsed();
    emit lecturaHecha(n, r, fecha, hora);
    if (r.alarmaComEnganchada)
        emit alarmaComEnganchada(n);

    if (!st.RegistroPendiente)
        return;
    QString error;
    const bool ok = registrar ? registrar(n, r.Lecturas, fecha, hora, &error) : true;
    // A failed row is not retried with stale values: the next due recording
    // takes a fresh reading.
    modelo_.Estados[n].RegistroPendiente = false;
    if (ok) {
        const bool fallaba = fallandoRegistro_.remove(n);
        if (fallaba && fallandoRegistro_.isEmpty())
            emit registroRecuperado();
        mostrar(QStringLiteral("Actualizando Tabla: ") + QString::number(n));
        emit filaGuardada(n);
    } else {
        // One notice for each episode: until every failing table stores again.
        const bool primero = fallandoRegistro_.isEmpty();
        fallandoRegistro_.insert(n);
        emit estado(kErrorGuardar);
        if (primero)
            emit falloRegistro(error);
    }
}

bool Adquisicion::restablecerAlarmaCom(Modelo& modelo, int n)
{
    if (n < 1 || n >= modelo.Estados.size() || n >= modelo.ArrayConfig.size())
        return false;
    EstadoInstrumento& st = modelo.Estados[n];
    st.AlarmaCom = false;
    if (modelo.Config.Pedir_Partida && st.Partida.trimmed().isEmpty())
        return false;
    modelo.ArrayConfig[n].SalvarTabla = true;
    return true;
}

void Adquisicion::aplicarSondeo(int n, bool respondio, quint64 generacion)
{
    if (!modelo_.Adquiriendo || generacion != generacion_ || !respondio)
        return;
    if (n >= modelo_.CantidadAparatos || n >= modelo_.Estados.size() || !modelo_.Estados[n].AlarmaCom)
        return;
    restablecerAlarmaCom(modelo_, n);
    emit alarmaComRestablecida(n);
}

qint32 Adquisicion::finDePasada(quint64 generacion)
{
    if (!modelo_.Adquiriendo || generacion != generacion_)
        return 0;
    ++pasadas_;
    // Between passes the status bar says the system is on line again, rather
    // than naming the last instrument read.
    mostrar(QStringLiteral("Sistema en linea"));
    emit pasadaTerminada(pasadas_);
    return modelo_.Config.TiempoScan;
}

void Adquisicion::alPerderPuerto(quint64 generacion)
{
    if (!modelo_.Adquiriendo || generacion != generacion_)
        return;
    EstadoPuerto.Abierto = false;
    // Short enough for the first panel of the status bar.
    const QString texto = QStringLiteral("Puerto ") + modelo_.Config.Puerto + QStringLiteral(" no disponible; reintentando");
    emit estado(texto);
    emit puertoPerdido(texto);
}

void Adquisicion::alRecuperarPuerto(quint64 generacion)
{
    if (!modelo_.Adquiriendo || generacion != generacion_)
        return;
    EstadoPuerto.Abierto = true;
    mostrar(QStringLiteral("Sistema en linea"));
    emit puertoRecuperado();
}

void Adquisicion::Timer1Timer()
{
    const int ultimo = qMin<int>(modelo_.CantidadAparatos, modelo_.Estados.size());
    if (modelo_.Adquiriendo) {
        bool pendiente = false;
        for (int n = 1; n < ultimo; ++n) {
            const EstadoInstrumento& st = modelo_.Estados[n];
            if (st.RegistroPendiente && consultable(st) && !st.AlarmaCom)
                pendiente = true;
        }
        DespertarAdquisicion = pendiente;
        if (pendiente)
            cambio_.notify_all();
        if (modelo_.Config.Sincronismo) {
            modelo_.ContadorSinc += 1;
            if (modelo_.ContadorSinc >= modelo_.Config.TiempoSinc && !pendiente) {
                for (int n = 1; n < ultimo; ++n)
                    if (modelo_.ArrayConfig[n].SalvarTabla && consultable(modelo_.Estados[n]))
                        modelo_.Estados[n].RegistroPendiente = true;
                emit nuevaRonda();
                modelo_.ContadorSinc = 0;
            }
        } else {
            for (int n = 1; n < ultimo && n < modelo_.ContadorBarrido.size(); ++n) {
                modelo_.ContadorBarrido[n] += 1;
                if (modelo_.ContadorBarrido[n] >= modelo_.ArrayConfig[n].Barrido && modelo_.ArrayConfig[n].SalvarTabla) {
                    modelo_.ContadorBarrido[n] = 0;
                    modelo_.Estados[n].RegistroPendiente = true;
                }
            }
        }
    } else {
        for (int n = 1; n < ultimo; ++n)
            modelo_.Estados[n].RegistroPendiente = modelo_.ArrayConfig[n].SalvarTabla;
    }
}

// ---------------------------------------------------------- Polling thread

void TAdquirirThread::Execute()
{
    for (;;) {
        if (!adq_.procesarOrdenes())
            break;
        if (adq_.activo_ && !adq_.perdido_) {
            adq_.pasada();
            continue;
        }
        if (adq_.activo_ && adq_.perdido_) {
            adq_.reabrir();
            continue;
        }
        std::unique_lock l(adq_.mutex_);
        if (adq_.ordenes_.empty() && !adq_.activo_)
            adq_.ocupado_ = false;
        adq_.cambio_.wait(l, [this] { return adq_.salir_ || !adq_.ordenes_.empty() || adq_.activo_; });
    }
    adq_.cerrarPuerto();
    adq_.ocupado_ = false;
}

bool Adquisicion::procesarOrdenes()
{
    for (;;) {
        Orden o;
        {
            std::lock_guard l(mutex_);
            if (salir_)
                return false;
            if (ordenes_.empty())
                return true;
            o = std::move(ordenes_.front());
            ordenes_.pop_front();
        }
        ejecutar(o);
    }
}

void Adquisicion::ejecutar(Orden& o)
{
    switch (o.tipo) {
    case Orden::Abrir: {
        cerrarPuerto();
        perdido_ = false;
        generacionHilo_ = o.generacion;
        TEstadoPuerto p;
        const FalloApertura fallo = enlace_.abrirCon(o.puerto, o.parametros, p);
        if (fallo != FalloApertura::Ninguno) {
            // A refused configuration leaves the handle open: it goes here.
            if (p.Handle >= 0)
                enlace_.ClosePort(p.Handle, p);
        } else {
            puerto_ = p;
            enlace_.setLineas(puerto_.Handle, o.dtr, o.rts);
            apertura_ = o;
            std::lock_guard l(mutex_);
            activo_ = generacion_ == o.generacion;
        }
        alHiloPrincipal([this, fallo, g = o.generacion] { alAbrir(fallo, g); });
        break;
    }
    case Orden::Cerrar:
        cerrarPuerto();
        perdido_ = false;
        break;
    case Orden::Trabajo: {
        std::function<void()> despues = o.trabajo(enlace_, puerto_.Abierto ? puerto_.Handle : -1);
        if (despues) {
            // The receiver is checked on its own thread, where it may be deleted.
            alHiloPrincipal([receptor = std::move(o.receptor), despues = std::move(despues)] {
                if (receptor)
                    despues();
            });
        }
        break;
    }
    }
}

void Adquisicion::pasada()
{
    const quint64 generacion = generacionHilo_;
    const auto cortar = [this] { return !activo_.load(); };
    bool algoLeido = false;
    for (int n = 1;; ++n) {
        // Queued commands run between two readings; a stop ends the pass
        // there, and a pass cut short is not a pass.
        if (!procesarOrdenes() || !activo_ || perdido_)
            return;
        const QDateTime ahora = QDateTime::currentDateTime();
        const QString fecha = fechaTexto(ahora);
        const QString hora = horaTexto(ahora);
        InstrumentoActual = n;
        Turno t;
        QMetaObject::invokeMethod(
            this, [&] { t = prepararTurno(n, generacion); }, Qt::BlockingQueuedConnection);
        if (t.tipo == TipoTurno::Fin)
            break;
        if (t.tipo == TipoTurno::Cortar)
            return;
        if (t.tipo == TipoTurno::Nada)
            continue;
        algoLeido = true;

        if (t.tipo == TipoTurno::Sondeo) {
            // A single request tells whether a latched instrument answers again.
            if (pausaLecturaMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(pausaLecturaMs.load()));
            TModbusResult res;
            enlace_.ReadHoldingRegister(puerto_.Handle, t.direccion, t.avanzadas.VActual, 0, t.avanzadas.CRC, res);
            if (res.PuertoPerdido) {
                perderPuerto();
                return;
            }
            alHiloPrincipal([this, n, ok = res.Ok, generacion] { aplicarSondeo(n, ok, generacion); });
            continue;
        }

        ResultadoLectura r = LeerInstrumento(t.avanzadas, t.direccion, enlace_, puerto_.Handle, decimales_[n],
                                             pausaLecturaMs, cortar);
        if (r.puertoPerdido) {
            perderPuerto();
            return;
        }
        if (r.cortada)
            return;
        alHiloPrincipal([this, n, r = std::move(r), fecha, hora, generacion] {
            aplicarLectura(n, r, fecha, hora, generacion);
        });
    }

    qint32 periodo = 0;
    QMetaObject::invokeMethod(
        this, [&] { periodo = finDePasada(generacion); }, Qt::BlockingQueuedConnection);
    // TiempoScan seconds, counted wide so that long periods are honoured; a
    // pass that polled nothing still waits one step, so nothing spins.
    const qint64 ms = qMax<qint64>(qint64(qMax(0, periodo)) * 1000, algoLeido ? 0 : 100);
    esperar(ms);
    DespertarAdquisicion = false;
}

void Adquisicion::esperar(qint64 ms)
{
    const auto inicio = Reloj::now();
    const auto fin = inicio + std::chrono::milliseconds(ms);
    // The first step of a pass that read nothing is not cut short.
    const auto minimo = inicio + (ms >= 100 ? kPasoEspera : std::chrono::milliseconds(0));
    for (;;) {
        if (!procesarOrdenes())
            return;
        std::unique_lock l(mutex_);
        const auto ahora = Reloj::now();
        const bool despierto = DespertarAdquisicion && ahora >= minimo && !perdido_;
        if (salir_ || !activo_ || despierto || ahora >= fin)
            return;
        cambio_.wait_until(l, std::min(fin, ahora + kPasoEspera), [this] {
            return salir_ || !activo_ || !ordenes_.empty() || (DespertarAdquisicion && !perdido_);
        });
    }
}

void Adquisicion::reabrir()
{
    TEstadoPuerto p;
    if (enlace_.abrirCon(apertura_.puerto, apertura_.parametros, p) == FalloApertura::Ninguno) {
        puerto_ = p;
        enlace_.setLineas(puerto_.Handle, apertura_.dtr, apertura_.rts);
        perdido_ = false;
        alHiloPrincipal([this, g = generacionHilo_] { alRecuperarPuerto(g); });
        return;
    }
    if (p.Handle >= 0)
        enlace_.ClosePort(p.Handle, p);
    esperar(qMax(100, reintentoPuertoMs.load()));
}

void Adquisicion::perderPuerto()
{
    cerrarPuerto();
    perdido_ = true;
    alHiloPrincipal([this, g = generacionHilo_] { alPerderPuerto(g); });
}

void Adquisicion::cerrarPuerto()
{
    if (puerto_.Handle >= 0 || puerto_.Abierto)
        enlace_.ClosePort(puerto_.Handle, puerto_);
    puerto_ = TEstadoPuerto{};
}

} // namespace ombrix
