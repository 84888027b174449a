// Recording rows into a real database file copied from the template.

#include "acquisition/registro.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace ombrix;

namespace {

TextosLectura textos(const QString& base)
{
    TextosLectura t;
    for (int i = 0; i < 7; ++i)
        t[i] = base + QString::number(i);
    return t;
}

struct Fila {
    QString fecha, hora;
    QStringList valores;
};

} // namespace

class TestRegistro : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString ruta;
    std::unique_ptr<BaseDatos> base;
    std::unique_ptr<Modelo> modelo;
    std::unique_ptr<Registrador> reg;

    void abrir()
    {
        QString error;
        base = std::make_unique<BaseDatos>();
        QVERIFY2(base->abrir(ruta, &error), qPrintable(error));
        reg = std::make_unique<Registrador>(*base, *modelo);
    }

    void ejecutar(const QString& sql)
    {
        QSqlQuery q(base->db());
        QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
    }

    int cuenta(const QString& tabla)
    {
        QSqlQuery q(base->db());
        if (!q.exec(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(tabla)) || !q.next())
            return -1;
        return q.value(0).toInt();
    }

    // The rows of the combined table, instruments 1..3, in Id order.
    QList<Fila> combinadas()
    {
        QList<Fila> filas;
        QSqlQuery q(base->db());
        q.exec(QStringLiteral("SELECT * FROM Combinada ORDER BY Id"));
        while (q.next()) {
            Fila f{q.value(QStringLiteral("Fecha")).toString(), q.value(QStringLiteral("Hora")).toString(), {}};
            for (int c = 3; c < 3 + 3 * 7; ++c)
                f.valores << q.value(c).toString();
            filas << f;
        }
        return filas;
    }

    bool grabar(int n, const QString& base, const QString& hora, QString* error = nullptr)
    {
        return reg->ActualizarTabla(n, textos(base), QString(), QStringLiteral("02/03/2024"), hora, error);
    }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        ruta = dir->filePath(QStringLiteral("datos.mdb"));
        const QString modeloMod = qEnvironmentVariable("OMBRIX_BIN_DIR") + QStringLiteral("/Modelo.mod");
        QVERIFY2(QFile::copy(modeloMod, ruta), qPrintable(modeloMod));
        QFile::setPermissions(ruta, QFile::ReadOwner | QFile::WriteOwner);
        modelo = std::make_unique<Modelo>();
        modelo->CantidadAparatos = 4;   // instruments 1..3
        modelo->ActualizarMemoria();
        abrir();
    }

    void cleanup()
    {
        reg.reset();
        base.reset();
        modelo.reset();
        dir.reset();
    }

    void textosDeFechaYHora()
    {
        QCOMPARE(Registrador::textoFecha(QDate(2024, 3, 2)), QStringLiteral("02/03/2024"));
        QCOMPARE(Registrador::textoHora(QTime(7, 5, 9)), QStringLiteral("07:05:09"));
        QCOMPARE(Registrador::textoHora(QTime(23, 59, 59)), QStringLiteral("23:59:59"));
    }

    void filaEnSuTablaYEnOrden()
    {
        int avisos = 0;
        connect(reg.get(), &Registrador::filaGuardada, this,
                [&](int n, const QString& f, const QString& h, const TextosLectura& l) {
                    ++avisos;
                    QCOMPARE(n, 3);
                    QCOMPARE(f, QStringLiteral("05/03/2024"));
                    QCOMPARE(h, QStringLiteral("10:11:12"));
                    QCOMPARE(l[0], QStringLiteral(" oF "));
                });
        const TextosLectura t = {QStringLiteral(" oF "), QStringLiteral(" uF "), QStringLiteral("Err"),
                                 QStringLiteral("N.I."), QStringLiteral("100"), QStringLiteral("391"),
                                 QStringLiteral("0")};
        QString error;
        QVERIFY2(reg->ActualizarTabla(3, t, QString(), QStringLiteral("05/03/2024"), QStringLiteral("10:11:12"), &error),
                 qPrintable(error));
        QCOMPARE(avisos, 1);
        QCOMPARE(reg->TablaActual, quint8(3));
        QCOMPARE(cuenta(QStringLiteral("Instrumento3")), 1);
        QCOMPARE(cuenta(QStringLiteral("Instrumento1")), 0);

        QSqlQuery q(base->db());
        QVERIFY(q.exec(QStringLiteral("SELECT * FROM Instrumento3")));
        QVERIFY(q.next());
        QCOMPARE(q.record().fieldName(1), QStringLiteral("Fecha"));
        QCOMPARE(q.value(1).toString(), QStringLiteral("05/03/2024"));
        QCOMPARE(q.value(2).toString(), QStringLiteral("10:11:12"));
        for (int i = 0; i < 7; ++i)
            QCOMPARE(q.value(3 + i).toString(), t[i]);
        QVERIFY(q.value(QStringLiteral("Partida")).isNull());   // no batch code: not written

        // The batch code goes with the row when there is one.
        QVERIFY(reg->ActualizarTabla(3, t, QStringLiteral("L-17"), QStringLiteral("05/03/2024"),
                                     QStringLiteral("10:11:12")));
        QVERIFY(q.exec(QStringLiteral("SELECT Partida FROM Instrumento3 ORDER BY Id DESC")));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("L-17"));

        // Free mode writes no combined row and keeps no last values.
        QCOMPARE(cuenta(QStringLiteral("Combinada")), 0);
        QVERIFY(modelo->UltimosValores[3][0].isNull());
        QVERIFY(!reg->ActualizarTabla(21, t, QString(), QString(), QString(), &error));
        QVERIFY(!error.isEmpty());
    }

    void modoSincronizado()
    {
        modelo->Config.Sincronismo = true;
        int combinadasAvisadas = 0;
        connect(reg.get(), &Registrador::filaCombinadaGuardada, this, [&] { ++combinadasAvisadas; });
        reg->iniciarAdquisicion();

        // First recording: both rows carry the date and time of the first one; no combined row.
        QVERIFY(grabar(1, QStringLiteral("a"), QStringLiteral("10:00:00")));
        QVERIFY(grabar(2, QStringLiteral("b"), QStringLiteral("10:00:02")));
        QCOMPARE(cuenta(QStringLiteral("Combinada")), 0);
        QSqlQuery q(base->db());
        QVERIFY(q.exec(QStringLiteral("SELECT Hora FROM Instrumento2")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("10:00:00"));

        // Second recording: its first row brings the combined row of the first.
        reg->marcarNuevaRonda();
        QVERIFY(grabar(1, QStringLiteral("c"), QStringLiteral("10:00:10")));
        QList<Fila> filas = combinadas();
        QCOMPARE(filas.size(), 1);
        QCOMPARE(combinadasAvisadas, 1);
        QCOMPARE(filas[0].fecha, QStringLiteral("02/03/2024"));
        QCOMPARE(filas[0].hora, QStringLiteral("10:00:00"));
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(filas[0].valores[i], textos(QStringLiteral("a"))[i]);
            QCOMPARE(filas[0].valores[7 + i], textos(QStringLiteral("b"))[i]);
            QCOMPARE(filas[0].valores[14 + i], QString());   // instrument 3 was not recorded
        }
        // Empty texts for a configured instrument, nothing for the others.
        QVERIFY(q.exec(QStringLiteral("SELECT \"V_medido(Ins3)\", \"V_medido(Ins4)\" FROM Combinada")) && q.next());
        QVERIFY(!q.value(0).isNull());
        QVERIFY(q.value(1).isNull());

        QVERIFY(grabar(3, QStringLiteral("d"), QStringLiteral("10:00:12")));
        QVERIFY(q.exec(QStringLiteral("SELECT Hora FROM Instrumento3")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("10:00:10"));
        QCOMPARE(cuenta(QStringLiteral("Combinada")), 1);

        // Third recording starts with instrument 2 (1 is not recording): the
        // combined row still holds instrument 3, which comes after it.
        reg->marcarNuevaRonda();
        QVERIFY(grabar(2, QStringLiteral("e"), QStringLiteral("10:00:20")));
        filas = combinadas();
        QCOMPARE(filas.size(), 2);
        QCOMPARE(filas[1].hora, QStringLiteral("10:00:10"));
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(filas[1].valores[i], textos(QStringLiteral("c"))[i]);
            QCOMPARE(filas[1].valores[7 + i], QString());
            QCOMPARE(filas[1].valores[14 + i], textos(QStringLiteral("d"))[i]);
        }

        reg->marcarNuevaRonda();
        QVERIFY(grabar(1, QStringLiteral("f"), QStringLiteral("10:00:30")));
        filas = combinadas();
        QCOMPARE(filas.size(), 3);
        QCOMPARE(filas[2].hora, QStringLiteral("10:00:20"));
        QCOMPARE(filas[2].valores[0], QString());
        QCOMPARE(filas[2].valores[7], QStringLiteral("e0"));
        QCOMPARE(filas[2].valores[14], QString());

        // A stop and a new start: the values of the last recording never reach
        // the combined table, and the first recording afterwards writes none.
        reg->iniciarAdquisicion();
        QVERIFY(grabar(2, QStringLiteral("g"), QStringLiteral("11:00:00")));
        QCOMPARE(cuenta(QStringLiteral("Combinada")), 3);
        reg->marcarNuevaRonda();
        QVERIFY(grabar(2, QStringLiteral("h"), QStringLiteral("11:00:10")));
        filas = combinadas();
        QCOMPARE(filas.size(), 4);
        QCOMPARE(filas[3].hora, QStringLiteral("11:00:00"));
        QCOMPARE(filas[3].valores[0], QString());   // "f" was before the stop
        QCOMPARE(filas[3].valores[7], QStringLiteral("g0"));
    }

    void tablaQueFaltaYVuelve()
    {
        ejecutar(QStringLiteral("DROP TABLE Instrumento3"));
        QString error;
        bool ok = true;
        try {
            ok = grabar(3, QStringLiteral("x"), QStringLiteral("09:00:00"), &error);
        } catch (...) {
            QFAIL("threw");
        }
        QVERIFY(!ok);
        QVERIFY(!error.isEmpty());
        QVERIFY(grabar(1, QStringLiteral("x"), QStringLiteral("09:00:01")));
        QCOMPARE(cuenta(QStringLiteral("Instrumento1")), 1);

        // A table that goes away after its statement was prepared.
        QVERIFY(grabar(2, QStringLiteral("x"), QStringLiteral("09:00:02")));
        ejecutar(QStringLiteral("ALTER TABLE Instrumento2 RENAME TO Apartada"));
        error.clear();
        QVERIFY(!grabar(2, QStringLiteral("x"), QStringLiteral("09:00:03"), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!grabar(2, QStringLiteral("x"), QStringLiteral("09:00:03")));

        // Once the tables are back, recording goes on.
        ejecutar(QStringLiteral("ALTER TABLE Apartada RENAME TO Instrumento2"));
        ejecutar(QStringLiteral("CREATE TABLE Instrumento3 (Id INTEGER PRIMARY KEY AUTOINCREMENT, Fecha TEXT, "
                                "Hora TEXT, Valor_medido TEXT, Set_point TEXT, Potencia TEXT, Alarma_1 TEXT, "
                                "Alarma_2 TEXT, Alarma_3 TEXT, Alarma_4 TEXT, Partida TEXT)"));
        QVERIFY(grabar(2, QStringLiteral("x"), QStringLiteral("09:00:04")));
        QVERIFY(grabar(3, QStringLiteral("x"), QStringLiteral("09:00:05")));
        QCOMPARE(cuenta(QStringLiteral("Instrumento2")), 2);
        QCOMPARE(cuenta(QStringLiteral("Instrumento3")), 1);
    }

    void filaFallidaNoAbreLaRonda()
    {
        // A failed first row leaves the synchronised recording open: the next
        // stored row takes fresh time and brings the combined row.
        modelo->Config.Sincronismo = true;
        reg->iniciarAdquisicion();
        QVERIFY(grabar(1, QStringLiteral("a"), QStringLiteral("12:00:00")));
        QVERIFY(grabar(2, QStringLiteral("b"), QStringLiteral("12:00:01")));
        ejecutar(QStringLiteral("ALTER TABLE Instrumento1 RENAME TO Apartada"));
        reg->marcarNuevaRonda();
        QVERIFY(!grabar(1, QStringLiteral("c"), QStringLiteral("12:00:10")));
        QCOMPARE(cuenta(QStringLiteral("Combinada")), 0);
        QVERIFY(grabar(2, QStringLiteral("d"), QStringLiteral("12:00:12")));
        const QList<Fila> filas = combinadas();
        QCOMPARE(filas.size(), 1);
        QCOMPARE(filas[0].hora, QStringLiteral("12:00:00"));
        QCOMPARE(filas[0].valores[0], QStringLiteral("a0"));
        QCOMPARE(filas[0].valores[7], QStringLiteral("b0"));
        QSqlQuery q(base->db());
        QVERIFY(q.exec(QStringLiteral("SELECT Hora FROM Instrumento2 ORDER BY Id DESC")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("12:00:12"));

        // The combined table missing: the instrument row is kept, the failure reported.
        ejecutar(QStringLiteral("ALTER TABLE Combinada RENAME TO Apartada2"));
        reg->marcarNuevaRonda();
        QString error;
        QVERIFY(!grabar(2, QStringLiteral("e"), QStringLiteral("12:00:20"), &error));
        QVERIFY2(error.contains(QStringLiteral("Combinada")), qPrintable(error));
        QCOMPARE(cuenta(QStringLiteral("Instrumento2")), 3);
        ejecutar(QStringLiteral("ALTER TABLE Apartada2 RENAME TO Combinada"));
        reg->marcarNuevaRonda();
        QVERIFY(grabar(2, QStringLiteral("f"), QStringLiteral("12:00:30")));
        QCOMPARE(cuenta(QStringLiteral("Combinada")), 2);
        QCOMPARE(combinadas().last().valores[7], QStringLiteral("e0"));
    }

    void filasSobrevivenAlCierre()
    {
        for (int i = 0; i < 5; ++i)
            QVERIFY(grabar(1, QStringLiteral("v%1-").arg(i), QStringLiteral("13:00:0%1").arg(i)));
        // Closed without notice, then reopened: the recorder prepares anew.
        base->cerrar();
        QString error;
        QVERIFY(!grabar(1, QStringLiteral("w"), QStringLiteral("13:00:10"), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(base->abrir(ruta, &error));
        QVERIFY2(grabar(1, QStringLiteral("w"), QStringLiteral("13:00:11"), &error), qPrintable(error));
        reg->olvidarSentencias();
        reg.reset();
        base.reset();

        abrir();
        QCOMPARE(cuenta(QStringLiteral("Instrumento1")), 6);
        QSqlQuery q(base->db());
        QVERIFY(q.exec(QStringLiteral("SELECT Valor_medido, Hora FROM Instrumento1 ORDER BY Id")));
        QStringList vistos;
        while (q.next())
            vistos << q.value(0).toString() + q.value(1).toString();
        QCOMPARE(vistos.first(), QStringLiteral("v0-013:00:00"));
        QCOMPARE(vistos.last(), QStringLiteral("w013:00:11"));
    }
};

QTEST_GUILESS_MAIN(TestRegistro)
#include "test_registro.moc"
