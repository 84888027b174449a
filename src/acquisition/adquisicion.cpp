#include "adquisicion.h"

#include "config/dialogos.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QMetaObject>

namespace ombrix {

namespace {
constexpr int kPasoEsperaMs = 100;
}

QString Adquisicion::fechaTexto(const QDateTime& t) { return t.toString(QStringLiteral("dd/MM/yyyy")); }
QString Adquisicion::horaTexto(const QDateTime& t) { return t.toString(QStringLiteral("hh:mm:ss")); }

Adquisicion::Adquisicion(Modelo& modelo, EnlaceModbus& enlace, QObject* parent)
    : QObject(parent), modelo_(modelo), enlace_(enlace), hilo_(*this)
{
}

Adquisicion::~Adquisicion()
{
    modelo_.Adquiriendo = false;
    DespertarAdquisicion = true;
    // The thread may be blocked handing a turn to this (main) thread: let the
    // queued call run so that it can finish.
    while (!hilo_.wait(10))
        QCoreApplication::processEvents();
    if (EstadoPuerto.Abierto)
        enlace_.ClosePort(EstadoPuerto.Handle, EstadoPuerto);
}

bool Adquisicion::ComenzarExecute()
{
    const QString textoError = QStringLiteral("No se pudo abrir el puerto de comunicaciones: ") + modelo_.Config.Puerto
        + QStringLiteral(". ") + QStringLiteral("Verifique que el puerto sea el correcto, o que no este siendo usado por otro programa");
    if (modelo_.Adquiriendo)
        return true;
    modelo_.Adquiriendo = true;

    switch (modelo_.Config.BaudRate) {
    case 4800: enlace_.setBaud(br4800); break;
    case 9600: enlace_.setBaud(br9600); break;
    case 19200: enlace_.setBaud(br19200); break;
    default: break;
    }
    enlace_.OpenPort(modelo_.Config.Puerto, EstadoPuerto);
    if (!EstadoPuerto.Abierto) {
        dialogos().mensaje(kTituloPregunta, textoError, Icono::Error, Botones::Ok);
        // The stop command also closes a handle left by a refused configuration.
        TerminarExecute();
        EstadoPuerto.Abierto = false;
        return false;
    }
    enlace_.setLineas(EstadoPuerto.Handle, modelo_.Config.DTR != 0, modelo_.Config.RTS != 0);

    modelo_.ContadorSinc = 0;
    for (int n = 1; n < modelo_.CantidadAparatos && n < modelo_.ContadorBarrido.size(); ++n)
        modelo_.ContadorBarrido[n] += 1;
    decimales_.resize(qMax<int>(decimales_.size(), modelo_.CantidadAparatos + 1));
    falloMostrado_ = false;
    pasadas_ = 0;
    emit estado(QStringLiteral("Sistema en linea"));
    emit enLinea(true);
    // PrimeraRonda belongs to the recording; it is told through enLinea(true).

    // A thread still in its last wait carries on; one that ended is replaced.
    QMutexLocker candado(&mutexHilo_);
    if (!hiloVivo_) {
        candado.unlock();
        hilo_.wait();
        candado.relock();
        hiloVivo_ = true;
        hilo_.start();
    }
    return true;
}

void TAdquirirThread::Execute()
{
    for (;;) {
        bool abierto = false;
        QMetaObject::invokeMethod(
            &adq_, [&] { abierto = adq_.comenzarPasada(); }, Qt::BlockingQueuedConnection);
        if (!abierto)
            break;
        for (int n = 1;; ++n) {
            const QDateTime ahora = QDateTime::currentDateTime();
            const QString fecha = Adquisicion::fechaTexto(ahora);
            const QString hora = Adquisicion::horaTexto(ahora);
            bool seguir = false;
            adq_.InstrumentoActual = n;
            QMetaObject::invokeMethod(
                &adq_, [&] { seguir = adq_.visitar(n, fecha, hora); }, Qt::BlockingQueuedConnection);
            if (!seguir)
                break;
        }
        qint32 periodo = 0;
        QMetaObject::invokeMethod(
            &adq_, [&] { periodo = adq_.finDePasada(); }, Qt::BlockingQueuedConnection);
        if (!adq_.esperaCorta(periodo))
            break;
    }
}

bool Adquisicion::comenzarPasada()
{
    // Read here, on the thread that opens and closes the port. A thread that
    // ends here must say so, or the next start would count on it.
    QMutexLocker candado(&mutexHilo_);
    if (modelo_.Adquiriendo && EstadoPuerto.Abierto)
        return true;
    hiloVivo_ = false;
    return false;
}

bool Adquisicion::esperaCorta(qint32 segundos)
{
    // TiempoScan tenths of seconds, counted wide so that long periods are honoured.
    const qint64 pasos = qint64(qMax(0, segundos)) * 10;
    for (qint64 i = 0; i < pasos; ++i) {
        if (DespertarAdquisicion || !modelo_.Adquiriendo)
            break;
        QThread::msleep(kPasoEsperaMs);
    }
    DespertarAdquisicion = false;
    QMutexLocker candado(&mutexHilo_);
    if (!modelo_.Adquiriendo) {
        hiloVivo_ = false;
        return false;
    }
    return true;
}

qint32 Adquisicion::finDePasada()
{
    ++pasadas_;
    // Between passes the status bar says the system is on line again, rather
    // than naming the last instrument read.
    if (modelo_.Adquiriendo)
        emit estado(QStringLiteral("Sistema en linea"));
    emit pasadaTerminada(pasadas_);
    return modelo_.Config.TiempoScan;
}

bool Adquisicion::visitar(int n, const QString& fecha, const QString& hora)
{
    // A stop may have come between two turns: nothing is read on a closed port.
    if (!modelo_.Adquiriendo || !EstadoPuerto.Abierto)
        return false;
    if (n >= modelo_.CantidadAparatos || n >= modelo_.Estados.size())
        return false;
    EstadoInstrumento& st = modelo_.Estados[n];
    if (!st.Habilitado || st.AlarmaCom)
        return true;
    if (decimales_.size() <= n)
        decimales_.resize(modelo_.CantidadAparatos + 1);

    emit consultando(n);
    emit estado(QStringLiteral("Consultando en linea: ") + QString::number(n));
    const ResultadoLectura r = LeerInstrumento(n, modelo_, enlace_, EstadoPuerto.Handle, decimales_[n], pausaLecturaMs);
    emit lecturaHecha(n, r);

    if (modelo_.Estados[n].RegistroPendiente) {
        QString error;
        const bool ok = registrar ? registrar(n, r.Lecturas, fecha, hora, &error) : true;
        if (ok) {
            emit estado(QStringLiteral("Actualizando Tabla: ") + QString::number(n));
            if (falloMostrado_) {
                falloMostrado_ = false;
                emit registroRecuperado();
            }
            emit filaGuardada(n);
        } else if (!falloMostrado_) {
            falloMostrado_ = true;
            emit falloRegistro(error);
        }
        // A failed row is not retried with stale values: the next due
        // recording takes a fresh reading.
        modelo_.Estados[n].RegistroPendiente = false;
    }
    return true;
}

void Adquisicion::TerminarExecute()
{
    if (!modelo_.Adquiriendo)
        return;
    modelo_.Adquiriendo = false;
    DespertarAdquisicion = true;
    if (esperaTerminarMs > 0)
        QThread::msleep(esperaTerminarMs);
    emit estado(QStringLiteral("Sistema fuera de linea"));
    emit enLinea(false);
    if (EstadoPuerto.Abierto || EstadoPuerto.Handle >= 0)
        enlace_.ClosePort(EstadoPuerto.Handle, EstadoPuerto);
}

bool Adquisicion::esperarHilo(int ms)
{
    QDeadlineTimer limite(ms);
    while (!hilo_.wait(10)) {
        QCoreApplication::processEvents();
        if (limite.hasExpired())
            return false;
    }
    return true;
}

void Adquisicion::Timer1Timer()
{
    const int ultimo = qMin<int>(modelo_.CantidadAparatos, modelo_.Estados.size());
    if (modelo_.Adquiriendo) {
        bool pendiente = false;
        for (int n = 1; n < ultimo; ++n) {
            const EstadoInstrumento& st = modelo_.Estados[n];
            if (st.RegistroPendiente && st.Habilitado && !st.AlarmaCom)
                pendiente = true;
        }
        DespertarAdquisicion = pendiente;
        if (modelo_.Config.Sincronismo) {
            modelo_.ContadorSinc += 1;
            if (modelo_.ContadorSinc >= modelo_.Config.TiempoSinc && !pendiente) {
                for (int n = 1; n < ultimo; ++n)
                    if (modelo_.ArrayConfig[n].SalvarTabla && modelo_.Estados[n].Habilitado)
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

} // namespace ombrix
