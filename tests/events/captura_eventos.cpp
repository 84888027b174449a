// The screenshots of docs/ for the event log: the events window over a
// morning's events (grabbed offscreen) and a database with one batch whose
// report ombrix-report then writes. Not a test.
//
//   captura-eventos FOLDER
// writes FOLDER/registro_eventos.png and FOLDER/Partidas.mdb (batch "L-0457"
// of instrument 1).

#include "acquisition/base_datos.h"
#include "config/modelo.h"
#include "events/registro_eventos.h"
#include "views/forma_eventos.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QHeaderView>
#include <QSqlQuery>
#include <QTableView>

#include <cmath>
#include <cstdio>

using namespace ombrix;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "uso: captura-eventos CARPETA\n");
        return 2;
    }
    const QString carpeta = QString::fromLocal8Bit(argv[1]);
    const QString ruta = carpeta + QStringLiteral("/Partidas.mdb");
    QFile::remove(ruta);
    QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/Modelo.mod"), ruta);
    QFile::setPermissions(ruta, QFile::ReadOwner | QFile::WriteOwner);
    Modelo modelo;
    modelo.CantidadAparatos = 3;
    modelo.ActualizarMemoria();
    modelo.granini(1, QString());
    modelo.granini(2, QString());
    BaseDatos base;
    QString error;
    if (!base.abrir(ruta, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    RegistroEventos r(modelo, Origen::Ventana);
    r.usarBase(&base);
    r.baseAbierta();

    // Two hours of a load on instrument 1: ramp to 850, soak, alarm 1 during the ramp's overshoot.
    const QDateTime t0 = QDateTime::currentDateTime().addSecs(-7000);   // the events below fall inside the load
    QSqlQuery q(base.db());
    q.exec(QStringLiteral("BEGIN"));
    q.prepare(QStringLiteral("INSERT INTO \"Instrumento1\" (Fecha,Hora,Valor_medido,Set_point,Potencia,Alarma_1,Alarma_2,Alarma_3,Alarma_4,Partida) "
                             "VALUES (?,?,?,?,?,?,?,?,?,?)"));
    for (int i = 0; i < 720; ++i) {
        const QDateTime t = t0.addSecs(i * 10);
        const double sp = i < 240 ? 25 + 825.0 * i / 240 : 850;
        const double pv = i < 240 ? sp - 15 : 850 + 12 * std::exp(-(i - 240) / 40.0) * std::cos((i - 240) / 8.0);
        const QString v = i == 300 ? QStringLiteral("Err") : QString::number(pv, 'f', 1);
        for (const QVariant& x : QVariantList{t.toString(QStringLiteral("dd/MM/yyyy")), t.toString(QStringLiteral("hh:mm:ss")), v,
                                               QString::number(sp, 'f', 1), QStringLiteral("45"),
                                               (i >= 240 && i < 260) ? QStringLiteral("100") : QStringLiteral("0"), QStringLiteral("0"),
                                               QStringLiteral("N.I."), QStringLiteral("N.I."), QStringLiteral("L-0457")})
            q.addBindValue(x);
        q.exec();
    }
    q.exec(QStringLiteral("COMMIT"));
    r.anotar(tipoEvento::Adquisicion, 0, QStringLiteral("Adquisición iniciada"));
    r.anotarCambio(tipoEvento::Partida, 1, QStringLiteral("Código de partida ingresado"), QString(), QStringLiteral("L-0457"));
    r.anotarCambio(tipoEvento::Comando, 1, QStringLiteral("Set point enviado al instrumento 1: aceptado"), QStringLiteral("25.0"),
                   QStringLiteral("850.0"));
    r.anotarCambio(tipoEvento::Alarma, 1, QStringLiteral("Alarma 1 de instrumento 1 (Horno 1) activada"), QString(), QStringLiteral("activada"));
    r.anotarCambio(tipoEvento::Alarma, 1, QStringLiteral("Alarma 1 de instrumento 1 (Horno 1) desactivada"), QStringLiteral("activada"),
                   QStringLiteral("desactivada"));
    r.anotar(tipoEvento::AlarmaCom, 2, QStringLiteral("Alarma de comunicación de instrumento 2: no responde"));
    r.anotar(tipoEvento::AlarmaCom, 2, QStringLiteral("Alarma de comunicación de instrumento 2 restablecida por el sondeo: responde de nuevo"));
    r.anotarCambio(tipoEvento::Nivel, 0, QStringLiteral("Nivel de acceso cambiado"), QStringLiteral("0"), QStringLiteral("3"));
    r.anotarCambio(tipoEvento::Propiedad, 1, QStringLiteral("Propiedad del instrumento 1 cambiado: Barrido"), QStringLiteral("60"),
                   QStringLiteral("10"));
    r.anotarCambio(tipoEvento::Edicion, 1, QStringLiteral("Fila Id 301 de Instrumento1 editada: Valor medido"), QStringLiteral("Err"),
                   QStringLiteral("851.2"));
    r.sellarPendientes();

    TFormaEventos f(r);
    f.resize(1100, 380);
    f.show();
    f.rejillaEventos->resizeColumnsToContents();
    f.rejillaEventos->setColumnWidth(5, 380);
    app.processEvents();
    const QString png = carpeta + QStringLiteral("/registro_eventos.png");
    if (!f.grab().save(png)) {
        std::fprintf(stderr, "no se pudo escribir %s\n", qPrintable(png));
        return 1;
    }
    std::printf("%s\n%s\n", qPrintable(png), qPrintable(ruta));
    return 0;
}
