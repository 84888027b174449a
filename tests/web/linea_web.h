#pragma once
// A line served on the web for tests: the simulator program on a
// pseudo-terminal (commands on its stdin), and the recorder program on it
// with --http on a free port of 127.0.0.1, both children of the test.

#include "cliente_http.h"
#include "raiz_temporal.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <signal.h>

namespace ombrix::test {

class LineaWeb {
public:
    // `web`: lines of the [Web] section ("Usuario=ana\r\n"...).
    explicit LineaWeb(const QByteArray& web = {}) : web_(web) {}
    ~LineaWeb()
    {
        detenerRegistrador();
        if (sim.state() != QProcess::NotRunning) {
            sim.write("quit\n");
            if (!sim.waitForFinished(3000))
                sim.kill(), sim.waitForFinished(3000);
        }
    }

    // Starts both; false when the page is not served.
    bool iniciar()
    {
        enlace_ = raiz.ruta(QStringLiteral("ttyOMBRIX"));
        base = raiz.datos() + QStringLiteral("/Prueba.mdb");
        QFile::copy(RaizTemporal::modeloConstruido(), base);
        QFile ini(raiz.datos() + QStringLiteral("/Ombrix.ini"));
        if (!ini.open(QIODevice::WriteOnly))
            return false;
        ini.write("[Puertos]\r\nPuerto=COM1\r\nCOM1=" + enlace_.toUtf8() + "\r\nBaudRate=19200\r\n"
                  "[General]\r\ncantidad de aparatos=3\r\nTiempoScan=1\r\nSincronismo=0\r\n"
                  "[Instrumento1]\r\nTipo de instrumento=0\r\nHabilitado=1\r\nSalvarTabla=1\r\nBarrido=1\r\nID=1\r\n"
                  "Titulo=Horno 1\r\n"
                  "[Instrumento2]\r\nTipo de instrumento=1\r\nHabilitado=1\r\nSalvarTabla=1\r\nBarrido=1\r\nID=2\r\n"
                  "[Web]\r\n" + web_);
        ini.close();
        sim.setProgram(RaizTemporal::programa(QStringLiteral("ombrix-sim")));
        sim.setArguments({QStringLiteral("--link"), enlace_, QStringLiteral("--no-pace"), QStringLiteral("--static"),
                          QStringLiteral("--inst"), QStringLiteral("1:c"), QStringLiteral("--inst"), QStringLiteral("2:p")});
        sim.start();
        if (!sim.waitForStarted(5000))
            return false;
        QElapsedTimer reloj;
        reloj.start();
        while (!QFileInfo::exists(enlace_) && reloj.elapsed() < 5000)
            QTest::qWait(20);
        return iniciarRegistrador();
    }

    bool iniciarRegistrador(const QStringList& extra = {})
    {
        salida.clear();
        registrador.setProgram(RaizTemporal::programa(QStringLiteral("ombrix-logger")));
        registrador.setArguments(QStringList {QStringLiteral("--db"), base, QStringLiteral("--http"), QStringLiteral("0")} + extra);
        registrador.start();
        if (!registrador.waitForStarted(5000))
            return false;
        static const QRegularExpression direccion(QStringLiteral("Web: vista de la línea en http://127\\.0\\.0\\.1:(\\d+)/"));
        QElapsedTimer reloj;
        reloj.start();
        while (reloj.elapsed() < 10000) {
            registrador.waitForReadyRead(100);
            salida += QString::fromUtf8(registrador.readAllStandardOutput());
            const auto m = direccion.match(salida);
            if (m.hasMatch()) {
                puerto = quint16(m.captured(1).toUInt());
                return true;
            }
            if (registrador.state() == QProcess::NotRunning)
                break;
        }
        qWarning("%s\n%s", qPrintable(salida), registrador.readAllStandardError().constData());
        return false;
    }

    void detenerRegistrador()
    {
        if (registrador.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(registrador.processId()), SIGTERM);
        if (!registrador.waitForFinished(10000))
            registrador.kill(), registrador.waitForFinished(3000);
    }

    // A command to the simulator and its answer line.
    QByteArray orden(const QByteArray& o)
    {
        sim.readAllStandardOutput();
        sim.write(o + '\n');
        QElapsedTimer reloj;
        reloj.start();
        QByteArray r;
        while (!r.contains('\n') && reloj.elapsed() < 5000) {
            sim.waitForReadyRead(50);
            r += sim.readAllStandardOutput();
        }
        return r.trimmed();
    }

    RespuestaHttp get(const QByteArray& ruta, const QByteArray& extra = {}) { return pedir(puerto, ruta, extra); }

    RaizTemporal raiz;
    QProcess sim, registrador;
    QString base, salida;
    quint16 puerto = 0;

private:
    QByteArray web_;
    QString enlace_;
};

} // namespace ombrix::test
