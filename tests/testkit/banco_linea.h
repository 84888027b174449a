#pragma once
// A line for tests: the simulator on a real pseudo-terminal (reached through a
// link, as a udev name would be), a database copied from the template, the
// model with n instruments, the acquisition and the recording wired as the
// program wires them.

#include "acquisition/adquisicion.h"
#include "acquisition/base_datos.h"
#include "acquisition/registro.h"
#include "contenido_tabla.h"
#include "raiz_temporal.h"
#include "sim/simulador.h"

#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <memory>

namespace ombrix::test {

struct Banco {
    RaizTemporal raiz;
    sim::Simulador simulador;
    QString pty;
    QString enlaceLinea;   // the path the program opens: a link to the pty, as a udev name would be
    Modelo modelo;
    EnlaceModbus enlace;
    BaseDatos base;
    std::unique_ptr<Registrador> registrador;
    std::unique_ptr<Adquisicion> adq;

    explicit Banco(int instrumentos)
    {
        for (int n = 1; n <= instrumentos; ++n)
            simulador.agregarInstrumento(quint8(n), n % 2 == 0);
        simulador.setRitmo(false);
        simulador.setDinamica(false);
        QString error;
        if (!simulador.abrirPty(&pty, &error))
            qFatal("no pseudo-terminal: %s", qPrintable(error));
        simulador.iniciar();
        enlaceLinea = raiz.datos() + QStringLiteral("/ttyOMBRIX");
        QFile::link(pty, enlaceLinea);

        const QString ruta = raiz.datos() + QStringLiteral("/Prueba.mdb");
        QFile::copy(RaizTemporal::modeloConstruido(), ruta);
        if (!base.abrir(ruta, &error))
            qFatal("no database: %s", qPrintable(error));

        modelo.CantidadAparatos = quint8(instrumentos + 1);
        modelo.ActualizarMemoria();
        for (int n = 1; n <= instrumentos; ++n) {
            modelo.granini(n, QString());
            modelo.ArrayConfig[n].Habilitado = true;
            modelo.ArrayConfig[n].SalvarTabla = true;
            auto& st = modelo.Estados[n];
            st.Vivo = true;
            st.Habilitado = true;
            st.Direccion = quint8(n);
        }
        modelo.Config.Puerto = enlaceLinea;
        modelo.Config.BaudRate = 19200;
        modelo.Config.TiempoScan = 0;
        enlace.setRetries(0);
        enlace.setTimeOuts(60);

        registrador = std::make_unique<Registrador>(base, modelo);
        adq = std::make_unique<Adquisicion>(modelo, enlace);
        adq->pausaLecturaMs = 0;
        adq->reintentoPuertoMs = 200;
        adq->registrar = [this](int n, const std::array<QString, 7>& l, const QString& f, const QString& h, QString* e) {
            return registrador->ActualizarTabla(n, l, modelo.Estados[n].Partida, f, h, e);
        };
        QObject::connect(adq.get(), &Adquisicion::nuevaRonda, registrador.get(), &Registrador::marcarNuevaRonda);
        QObject::connect(adq.get(), &Adquisicion::enLinea, registrador.get(), [this](bool on) {
            if (on)
                registrador->iniciarAdquisicion();
        });
    }

    ~Banco()
    {
        adq->TerminarExecute();
        adq->esperarHilo(10000);
        adq.reset();
    }

    // Starts and waits for the answer of the port.
    bool comenzar()
    {
        adq->Timer1Timer();   // the tick before the start marks every recording instrument
        QSignalSpy enLinea(adq.get(), &Adquisicion::enLinea);
        adq->ComenzarExecute();
        if (enLinea.isEmpty() && !enLinea.wait(5000))
            return false;
        return enLinea.last().first().toBool();
    }

    // The adapter pulled out (the pty and its name gone) and plugged back.
    void desenchufar()
    {
        simulador.cerrarLinea();
        QFile::remove(enlaceLinea);
    }
    void enchufar()
    {
        QString error;
        if (!simulador.abrirPty(&pty, &error))
            qFatal("no pseudo-terminal: %s", qPrintable(error));
        simulador.iniciar();
        QFile::link(pty, enlaceLinea);
    }

    // One tick of the clock, then at least one whole pass after it.
    void tic()
    {
        adq->Timer1Timer();
        pasadas(2);
    }

    void pasadas(int cuantas)
    {
        const int objetivo = adq->pasadas() + cuantas;
        QTRY_VERIFY_WITH_TIMEOUT(adq->pasadas() >= objetivo, 20000);
    }

    int filas(const QString& tabla)
    {
        QSqlQuery q(base.db());
        q.exec(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(tabla));
        return q.next() ? q.value(0).toInt() : -1;
    }

    QList<QStringList> contenido(const QString& tabla, const QString& columnas)
    {
        return contenidoTabla(base.db(), tabla, columnas);
    }
};

} // namespace ombrix::test
