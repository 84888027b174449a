// The event log, the seals and the batch report against real files: events
// made by a real line (the simulator on a pseudo-terminal), changes made with
// SQL outside the program found by the verification and by ombrix-verify,
// and the batch report's figures against SQL over the same rows and read
// back from the PDF.
#include "banco_linea.h"
#include "events/almacen_eventos.h"
#include "events/informe_partida.h"
#include "events/registro_eventos.h"
#include "events/sellos.h"
#include "integration/integraciones.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QTest>

using namespace ombrix;
using namespace ombrix::test;

namespace {

struct Oido : Oyente {
    QList<Evento> eventos;
    void evento(const Evento& e) override { eventos << e; }
};

// SQL outside the program, on a connection of its own (the file must not be held).
struct Externa {
    QString nombre;
    QSqlDatabase db;
    explicit Externa(const QString& ruta, const QString& n = QStringLiteral("externa")) : nombre(n)
    {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nombre);
        db.setDatabaseName(ruta);
        if (!db.open())
            qFatal("cannot open %s", qPrintable(ruta));
    }
    ~Externa()
    {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(nombre);
    }
    bool exec(const QString& sql, QString* error = nullptr)
    {
        QSqlQuery q(db);
        const bool ok = q.exec(sql);
        if (error)
            *error = q.lastError().text();
        return ok;
    }
    QVariant valor(const QString& sql)
    {
        QSqlQuery q(db);
        return q.exec(sql) && q.next() ? q.value(0) : QVariant();
    }
};

struct Salida {
    int codigo = -1;
    QString out, err;
};
Salida correr(const QString& programa, const QStringList& args)
{
    QProcess p;
    p.start(RaizTemporal::programa(programa), args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QString nuevaBase(const RaizTemporal& raiz, const QString& nombre)
{
    const QString ruta = raiz.datos() + QLatin1Char('/') + nombre;
    QFile::copy(RaizTemporal::modeloConstruido(), ruta);
    QFile::setPermissions(ruta, QFile::ReadOwner | QFile::WriteOwner);
    return ruta;
}

// A database opened as the program opens it, with its event log.
struct BaseConEventos {
    Modelo modelo;
    BaseDatos base;
    RegistroEventos r{modelo, Origen::Ventana};
    explicit BaseConEventos(const QString& ruta)
    {
        QString error;
        if (!base.abrir(ruta, &error))
            qFatal("cannot open %s: %s", qPrintable(ruta), qPrintable(error));
        r.usarBase(&base);
        if (!r.baseAbierta())
            qFatal("no event log in %s", qPrintable(ruta));
    }
};

int contarTipo(const QList<Evento>& ev, const QString& tipo, const QString& contiene = QString())
{
    int n = 0;
    for (const Evento& e : ev)
        if (e.tipo == tipo && e.texto.contains(contiene))
            ++n;
    return n;
}

} // namespace

class TestEventos : public QObject {
    Q_OBJECT
private slots:
    void archivoViejoRecibeLasTablasYNadaSeReescribe()
    {
        RaizTemporal raiz;
        const QString ruta = nuevaBase(raiz, QStringLiteral("Vieja.mdb"));
        {
            Externa x(ruta);
            // The template keeps the log with its triggers.
            QCOMPARE(x.valor(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='trigger'")).toInt(), 4);
            // A file from before the event log.
            for (const char* s : {"DROP TABLE \"Eventos\"", "DROP TABLE \"Sellos\""})
                QVERIFY(x.exec(QString::fromLatin1(s)));
        }
        // ombrix-verify says the file has no log (and writes nothing into it).
        const Salida sin = correr(QStringLiteral("ombrix-verify"), {QStringLiteral("--db"), ruta});
        QCOMPARE(sin.codigo, 1);
        QVERIFY2(sin.err.contains(QStringLiteral("no tiene registro de eventos")), qPrintable(sin.err));

        Modelo modelo;
        BaseDatos base;
        QVERIFY(base.abrir(ruta));
        RegistroEventos r(modelo, Origen::Ventana);
        r.usarBase(&base);
        QVERIFY(r.baseAbierta());
        QVERIFY(almacenEventos::tieneTablas(base.db()));
        const Evento e = r.anotarCambio(tipoEvento::Nivel, 0, QStringLiteral("Nivel de acceso cambiado"), QStringLiteral("0"),
                                        QStringLiteral("3"));
        QCOMPARE(e.id, 2);   // after "Base de datos abierta"
        QSqlQuery q(base.db());
        QVERIFY(!q.exec(QStringLiteral("UPDATE \"Eventos\" SET \"Texto\" = 'otro' WHERE \"Id\" = 2")));
        QVERIFY2(q.lastError().text().contains(QStringLiteral("no se modifican")), qPrintable(q.lastError().text()));
        QVERIFY(!q.exec(QStringLiteral("DELETE FROM \"Eventos\"")));
        QVERIFY(q.lastError().text().contains(QStringLiteral("no se borran")));
        const QVector<Evento> leidos = almacenEventos::leer(base.db(), {});
        QCOMPARE(leidos.size(), 2);
        QCOMPARE(leidos[0].tipo, tipoEvento::Base);
        QCOMPARE(leidos[1].anterior, QStringLiteral("0"));
        QCOMPARE(leidos[1].nuevo, QStringLiteral("3"));
        QCOMPARE(leidos[1].usuario, RegistroEventos::usuario());
        QCOMPARE(leidos[1].origen, QStringLiteral("Ventana"));
        QVERIFY(leidos[1].instante.endsWith(QLatin1Char('Z')));
        QCOMPARE(leidos[1].hash, leidos[1].calcularHash(leidos[0].hash));
        QVERIFY(sellos::verificar(base.db()).bien());
    }

    void laLineaDejaSusEventos()
    {
        Banco b(2);
        Integraciones integ(b.modelo, Origen::Registrador);
        auto propio = std::make_unique<Oido>();
        Oido* oido = propio.get();
        integ.agregar(std::move(propio));
        integ.usarBase(b.base);
        integ.conectar(*b.adq);
        QVERIFY(integ.eventos().baseAbierta());
        b.adq->reintentoAlarmaS = 1;

        QVERIFY(b.comenzar());
        b.pasadas(2);
        // Alarm 2 of instrument 1 comes and goes.
        b.simulador.setRegistro(1, sim::reg::Alarma2, 1000);
        QTRY_VERIFY_WITH_TIMEOUT(contarTipo(oido->eventos, tipoEvento::Alarma, QStringLiteral("Alarma 2")) == 1, 20000);
        b.simulador.setRegistro(1, sim::reg::Alarma2, 0);
        QTRY_VERIFY_WITH_TIMEOUT(contarTipo(oido->eventos, tipoEvento::Alarma, QStringLiteral("Alarma 2")) == 2, 20000);
        // Instrument 2 falls silent and answers a probe again.
        b.simulador.setFalla(2, sim::Falla::Silencio);
        QTRY_VERIFY_WITH_TIMEOUT(contarTipo(oido->eventos, tipoEvento::AlarmaCom, QStringLiteral("no responde")) == 1, 20000);
        b.simulador.setFalla(2, sim::Falla::Ninguna);
        QTRY_VERIFY_WITH_TIMEOUT(contarTipo(oido->eventos, tipoEvento::AlarmaCom, QStringLiteral("sondeo")) == 1, 20000);
        // The adapter pulled out and plugged back.
        b.desenchufar();
        QTRY_VERIFY_WITH_TIMEOUT(contarTipo(oido->eventos, tipoEvento::Puerto, QStringLiteral("perdido")) == 1, 20000);
        b.enchufar();
        QTRY_VERIFY_WITH_TIMEOUT(contarTipo(oido->eventos, tipoEvento::Puerto, QStringLiteral("de nuevo")) == 1, 20000);
        b.pasadas(2);
        b.adq->TerminarExecute();
        QTRY_VERIFY_WITH_TIMEOUT(contarTipo(oido->eventos, tipoEvento::Adquisicion, QStringLiteral("detenida")) == 1, 10000);
        QCOMPARE(contarTipo(oido->eventos, tipoEvento::Adquisicion, QStringLiteral("iniciada")), 1);

        // What the other listeners got is what the file holds, in order and chained.
        const QVector<Evento> guardados = almacenEventos::leer(b.base.db(), {});
        QCOMPARE(guardados.size(), oido->eventos.size());
        for (qsizetype i = 0; i < oido->eventos.size(); ++i) {
            QCOMPARE(oido->eventos[i].id, guardados[i].id);
            QCOMPARE(oido->eventos[i].hash, guardados[i].hash);
            QCOMPARE(guardados[i].origen, QStringLiteral("Registrador"));
        }
        const Evento& on = *std::find_if(guardados.begin(), guardados.end(), [](const Evento& e) { return e.tipo == tipoEvento::Alarma; });
        QCOMPARE(on.instrumento, 1);
        QCOMPARE(on.nuevo, QStringLiteral("activada"));
        // The stop sealed every stored row: nothing missing, nothing unsealed.
        const sellos::Verificacion v = sellos::verificar(b.base.db());
        QVERIFY2(v.bien(), qPrintable(v.hallazgos.isEmpty() ? v.error : v.hallazgos.first().texto));
        QVERIFY(v.notas.isEmpty());
        QCOMPARE(v.filasRevisadas, qint64(b.filas(QStringLiteral("Instrumento1")) + b.filas(QStringLiteral("Instrumento2"))
                                          + b.filas(QStringLiteral("Combinada"))));
    }

    void cambiosFueraDelProgramaSeEncuentran()
    {
        RaizTemporal raiz;
        const QString ruta = nuevaBase(raiz, QStringLiteral("Sellada.mdb"));
        {
            BaseConEventos b(ruta);
            BaseDatos& base = b.base;
            RegistroEventos& r = b.r;
            QSqlQuery q(base.db());
            QVERIFY(q.exec(QStringLiteral("BEGIN")));
            for (int i = 1; i <= 5000; ++i)
                for (const char* t : {"Instrumento1", "Instrumento2"})
                    QVERIFY(q.exec(QStringLiteral("INSERT INTO \"%1\" (Fecha, Hora, Valor_medido, Partida) VALUES "
                                                  "('01/02/2026', '10:00:00', '%2.5', 'P')").arg(QLatin1String(t)).arg(i)));
            QVERIFY(q.exec(QStringLiteral("COMMIT")));
            r.sellarPendientes();   // 4096 rows a table a call
            r.sellarPendientes();
            // Changes made through the program are events, not tampering.
            QVERIFY(q.exec(QStringLiteral("UPDATE \"Instrumento1\" SET Valor_medido = '7.0' WHERE Id = 10")));
            r.filaEditada(QStringLiteral("Instrumento1"), 1, 10, QStringLiteral("Valor_medido"), QStringLiteral("10.5"),
                          QStringLiteral("7.0"));
            QVERIFY(base.vaciarTabla(QStringLiteral("Instrumento2")));
            r.tablaVaciada(QStringLiteral("Instrumento2"), 2, 5000);
            const sellos::Verificacion v = sellos::verificar(base.db());
            QVERIFY2(v.bien(), qPrintable(v.hallazgos.isEmpty() ? v.error : v.hallazgos.first().texto));
            QCOMPARE(v.filasRevisadas, 5000);
        }
        const QString limpia = raiz.datos() + QStringLiteral("/Limpia.mdb");
        QVERIFY(QFile::copy(ruta, limpia));
        {
            Externa x(ruta);
            QVERIFY(x.exec(QStringLiteral("UPDATE \"Instrumento1\" SET Valor_medido = '99.9' WHERE Id = 20")));
            QVERIFY(x.exec(QStringLiteral("DELETE FROM \"Instrumento1\" WHERE Id = 4500")));
            // Rows emptied by the program stay accounted for: one put back is found.
            QVERIFY(x.exec(QStringLiteral("INSERT INTO \"Instrumento2\" (Id, Fecha) VALUES (3, '01/02/2026')")));
            QVERIFY(x.exec(QStringLiteral("DROP TRIGGER \"Eventos_sin_update\"")));
            QVERIFY(x.exec(QStringLiteral("UPDATE \"Eventos\" SET \"Nuevo\" = '8.0' WHERE \"Id\" = 2")));
        }
        QString error;
        QSqlDatabase db = almacenEventos::abrirLectura(ruta, QStringLiteral("lectura"), &error);
        QVERIFY2(db.isValid(), qPrintable(error));
        QStringList hallados;
        for (const sellos::Hallazgo& h : sellos::verificar(db).hallazgos)
            hallados << QStringLiteral("%1 %2").arg(h.tabla).arg(h.id);
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("lectura"));
        hallados.sort();
        QCOMPARE(hallados, (QStringList{QStringLiteral("Eventos 2"), QStringLiteral("Instrumento1 20"),
                                        QStringLiteral("Instrumento1 4500"), QStringLiteral("Instrumento2 3")}));

        const Salida mal = correr(QStringLiteral("ombrix-verify"), {QStringLiteral("--db"), ruta});
        QCOMPARE(mal.codigo, 1);
        QVERIFY2(mal.out.contains(QStringLiteral("Instrumento1: la fila Id 20 fue modificada")), qPrintable(mal.out));
        QVERIFY(mal.out.contains(QStringLiteral("Instrumento1: falta la fila Id 4500")));
        QVERIFY(mal.out.contains(QStringLiteral("Eventos: el evento Id 2 fue modificado")));
        const Salida bien = correr(QStringLiteral("ombrix-verify"), {QStringLiteral("--db"), limpia});
        QCOMPARE(bien.codigo, 0);
        QVERIFY2(bien.out.contains(QStringLiteral("todo en orden")), qPrintable(bien.out));
        QCOMPARE(correr(QStringLiteral("ombrix-verify"), {}).codigo, 2);
        QCOMPARE(correr(QStringLiteral("ombrix-verify"), {QStringLiteral("--db"), limpia, QStringLiteral("--partida"), QStringLiteral("P")}).codigo, 2);
        QCOMPARE(correr(QStringLiteral("ombrix-verify"), {QStringLiteral("--db"), raiz.datos() + QStringLiteral("/no.mdb")}).codigo, 1);
    }

    void informeDePartidaContraSql()
    {
        RaizTemporal raiz;
        const QString ruta = nuevaBase(raiz, QStringLiteral("Partidas.mdb"));
        const QString codigo = QStringLiteral("L'7 \"A\"");
        {
            BaseConEventos b(ruta);
            BaseDatos& base = b.base;
            RegistroEventos& r = b.r;
            QSqlQuery q(base.db());
            q.prepare(QStringLiteral("INSERT INTO \"Instrumento3\" (Fecha, Hora, Valor_medido, Set_point, Alarma_1, Partida) VALUES (?,?,?,?,?,?)"));
            const QDateTime t0 = QDateTime::currentDateTime().addSecs(-300);   // the load spans now
            // Rows of the load, one every 10 s, with rows of another load in between and rows without a value.
            for (int i = 0; i < 60; ++i) {
                const QDateTime t = t0.addSecs(10 * i);
                const bool otra = i % 5 == 4;
                const QString valor = i == 7 ? QStringLiteral("Err") : i == 8 ? QStringLiteral("N.I.") : QString::number(100 + i * 1.5, 'f', 1);
                q.addBindValue(t.toString(QStringLiteral("dd/MM/yyyy")));
                q.addBindValue(t.toString(QStringLiteral("hh:mm:ss")));
                q.addBindValue(valor);
                q.addBindValue(QString::number(i < 30 ? 150 : 200));
                q.addBindValue(i >= 10 && i < 20 ? QStringLiteral("100") : QStringLiteral("0"));
                q.addBindValue(otra ? QStringLiteral("B") : codigo);
                QVERIFY(q.exec());
            }
            // Only this instrument's events fall in the report.
            r.anotarCambio(tipoEvento::Comando, 3, QStringLiteral("Set point enviado al instrumento 3: aceptado"), QStringLiteral("150"),
                           QStringLiteral("200"));
            r.anotar(tipoEvento::Comando, 4, QStringLiteral("de otro instrumento"));
        }

        Externa x(ruta);
        const QString donde = QStringLiteral(" FROM \"Instrumento3\" WHERE Partida = 'L''7 \"A\"'");
        const QString numerico = QStringLiteral(" AND Valor_medido GLOB '[0-9]*'");
        const qint64 filas = x.valor(QStringLiteral("SELECT count(*)") + donde).toLongLong();
        const qint64 sinValor = filas - x.valor(QStringLiteral("SELECT count(*)") + donde + numerico).toLongLong();
        const double minimo = x.valor(QStringLiteral("SELECT min(CAST(Valor_medido AS REAL))") + donde + numerico).toDouble();
        const double maximo = x.valor(QStringLiteral("SELECT max(CAST(Valor_medido AS REAL))") + donde + numerico).toDouble();
        const double media = x.valor(QStringLiteral("SELECT avg(CAST(Valor_medido AS REAL))") + donde + numerico).toDouble();

        DatosPartida d;
        QString error;
        QVERIFY2(leerPartida(x.db, 3, codigo, d, &error), qPrintable(error));
        QCOMPARE(d.filas, filas);
        QCOMPARE(d.filas, 48);
        QCOMPARE(d.sinValor, sinValor);
        QCOMPARE(d.sinValor, 2);
        QCOMPARE(*d.minimo, minimo);
        QCOMPARE(*d.maximo, maximo);
        QVERIFY(qAbs(*d.media - media) < 1e-9);
        QCOMPARE(*d.spMinimo, 150.0);
        QCOMPARE(*d.spMaximo, 200.0);
        QCOMPARE(d.duracionS, 580);   // first row 0 s, its last row at 58 × 10 s (row 59 is of the other load)
        // Alarm 1 on in rows 10..19 of the load's own rows: from row 10 to row 20 of the code.
        QCOMPARE(d.segundosAlarma[0], 100);
        QCOMPARE(d.eventos.size(), 1);
        QCOMPARE(d.eventos.first().instrumento, 3);

        // Interleaved loads each keep their own rows.
        const QVector<PartidaListada> lista = listarPartidas(x.db, QStringLiteral("Instrumento3"));
        QCOMPARE(lista.size(), 2);
        QCOMPARE(lista[0].codigo, codigo);
        QCOMPARE(lista[1].codigo, QStringLiteral("B"));
        QCOMPARE(lista[1].filas, 12);

        // The same rows through ombrix-report, read back from the PDF.
        x.db.close();
        const QString pdf = raiz.ruta(QStringLiteral("partida.pdf"));
        const QStringList base{QStringLiteral("--db"), ruta, QStringLiteral("--instrument"), QStringLiteral("3")};
        const Salida s = correr(QStringLiteral("ombrix-report"), base + QStringList{QStringLiteral("--partida"), codigo, QStringLiteral("--pdf"), pdf});
        QVERIFY2(s.codigo == 0, qPrintable(s.err));
        QProcess texto;
        texto.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(texto.waitForFinished(30000));
        const QString t = QString::fromUtf8(texto.readAllStandardOutput()).simplified();
        for (const QString& esperado :
             {QStringLiteral("Informe de partida"), QStringLiteral("Partida: ") + codigo, QStringLiteral("Filas: 48"),
              QStringLiteral("Filas sin valor: 2"), QStringLiteral("Valor medido mínimo: ") + QString::number(minimo, 'f', 2),
              QStringLiteral("Valor medido máximo: ") + QString::number(maximo, 'f', 2),
              QStringLiteral("Valor medido medio: ") + QString::number(media, 'f', 2), QStringLiteral("Duración: 00:09:40"),
              QStringLiteral("Tiempo con alarma 1: 00:01:40"), QStringLiteral("Set point enviado al instrumento 3"), d.sello,
              QStringLiteral("Operador"), QStringLiteral("Supervisor")})
            QVERIFY2(t.contains(esperado), qPrintable(esperado + QStringLiteral(" not in: ") + t.left(3000)));
        QVERIFY(!t.contains(QStringLiteral("de otro instrumento")));
        // The printed seal is what ombrix-verify computes from the file.
        const Salida sello = correr(QStringLiteral("ombrix-verify"), {QStringLiteral("--db"), ruta, QStringLiteral("--instrument"),
                                                                       QStringLiteral("3"), QStringLiteral("--partida"), codigo});
        QCOMPARE(sello.codigo, 0);
        QVERIFY2(sello.out.contains(d.sello), qPrintable(sello.out));

        const Salida listado = correr(QStringLiteral("ombrix-report"), base + QStringList{QStringLiteral("--partidas")});
        QCOMPARE(listado.codigo, 0);
        QVERIFY2(listado.out.contains(codigo + QLatin1Char('\t')) && listado.out.contains(QStringLiteral("\t12\n")), qPrintable(listado.out));
        const Salida ninguna = correr(QStringLiteral("ombrix-report"), base + QStringList{QStringLiteral("--partida"), QStringLiteral("NO"), QStringLiteral("--pdf"), pdf + QStringLiteral("2")});
        QCOMPARE(ninguna.codigo, 1);
        QVERIFY(ninguna.err.contains(QStringLiteral("no tiene filas")));
        QVERIFY(!QFile::exists(pdf + QStringLiteral("2")));
        QCOMPARE(correr(QStringLiteral("ombrix-report"), base + QStringList{QStringLiteral("--partida")}).codigo, 2);
    }

    void partidaSinNumerosDiceQueNoLosHay()
    {
        RaizTemporal raiz;
        const QString ruta = nuevaBase(raiz, QStringLiteral("Err.mdb"));
        {
            Externa x(ruta);
            for (int i = 0; i < 3; ++i)
                QVERIFY(x.exec(QStringLiteral("INSERT INTO \"Instrumento1\" (Fecha, Hora, Valor_medido, Set_point, Partida) "
                                              "VALUES ('01/02/2026', '10:00:0%1', 'Err', 'N.I.', 'X')").arg(i)));
        }
        const QString pdf = raiz.ruta(QStringLiteral("x.pdf"));
        const Salida s = correr(QStringLiteral("ombrix-report"), {QStringLiteral("--db"), ruta, QStringLiteral("--instrument"), QStringLiteral("1"),
                                                                  QStringLiteral("--partida"), QStringLiteral("X"), QStringLiteral("--pdf"), pdf});
        QVERIFY2(s.codigo == 0, qPrintable(s.err));
        QProcess texto;
        texto.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        QVERIFY(texto.waitForFinished(30000));
        const QString t = QString::fromUtf8(texto.readAllStandardOutput()).simplified();
        QVERIFY2(t.contains(QStringLiteral("la partida no tiene ningún valor numérico")), qPrintable(t));
        QVERIFY(t.contains(QStringLiteral("Sin valores numéricos que graficar")));
    }
};

QTEST_MAIN(TestEventos)
#include "test_eventos.moc"
