#pragma once
// A database of this system with readings, for the view tests.

#include "acquisition/base_datos.h"
#include "config/modelo.h"
#include "views/consultas.h"
#include "raiz_temporal.h"

#include <QDateTime>
#include <QFile>
#include <QSqlDatabase>
#include <QtTest>

#include <sqlite3.h>

namespace ombrix::test {

struct FilaPrueba {
    QString fecha, hora;
    std::array<QString, 7> valores;
    QString partida;
};

// Appends rows to Instrumento<n> in one transaction through SQLite itself.
inline void insertarFilas(BaseDatos& base, int n, const QVector<FilaPrueba>& filas)
{
    sqlite3* h = manejadorSqlite(base.db());
    QVERIFY(h);
    QCOMPARE(sqlite3_exec(h, "BEGIN", nullptr, nullptr, nullptr), SQLITE_OK);
    const QByteArray sql = QStringLiteral("INSERT INTO \"Instrumento%1\" (Fecha,Hora,Valor_medido,Set_point,Potencia,"
                                          "Alarma_1,Alarma_2,Alarma_3,Alarma_4,Partida) VALUES (?,?,?,?,?,?,?,?,?,?)")
                               .arg(n)
                               .toUtf8();
    sqlite3_stmt* st = nullptr;
    QCOMPARE(sqlite3_prepare_v2(h, sql.constData(), -1, &st, nullptr), SQLITE_OK);
    for (const FilaPrueba& f : filas) {
        QByteArray t[10] = {f.fecha.toUtf8(), f.hora.toUtf8()};
        for (int k = 0; k < 7; ++k)
            t[2 + k] = f.valores[k].toUtf8();
        t[9] = f.partida.toUtf8();
        for (int k = 0; k < 10; ++k)
            sqlite3_bind_text(st, k + 1, t[k].constData(), int(t[k].size()), SQLITE_TRANSIENT);
        QCOMPARE(sqlite3_step(st), SQLITE_DONE);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    QCOMPARE(sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
}

// `cuantas` readings every `paso` seconds from `inicio`.
inline QVector<FilaPrueba> serie(const QDateTime& inicio, int cuantas, int paso)
{
    QVector<FilaPrueba> v;
    for (int i = 0; i < cuantas; ++i) {
        const QDateTime t = inicio.addSecs(qint64(i) * paso);
        v.append({t.toString(QStringLiteral("dd/MM/yyyy")), t.toString(QStringLiteral("hh:mm:ss")),
                  {QString::number(100 + i % 50) + QStringLiteral(".5"), QStringLiteral("150"), QString::number(i % 100),
                   i % 10 == 0 ? QStringLiteral("100") : QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("N.I."),
                   QStringLiteral("Err")},
                  QString()});
    }
    return v;
}

// A fresh database (copy of the template) under a throw-away root, with a
// model of `instrumentos` instruments.
struct BancoVistas {
    RaizTemporal raiz;
    Modelo modelo;
    BaseDatos base;
    QString ruta;

    explicit BancoVistas(int instrumentos = 2)
    {
        ruta = raiz.datos() + QStringLiteral("/prueba.mdb");
        QFile::copy(RaizTemporal::modeloConstruido(), ruta);
        QFile(ruta).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        modelo.CantidadAparatos = quint8(instrumentos + 1);
        modelo.ActualizarMemoria();
        for (int n = 1; n <= instrumentos; ++n) {
            modelo.granini(n, QString());
            modelo.Estados[n].Titulo = QStringLiteral("Horno %1").arg(n);
            modelo.Estados[n].Unidad = QStringLiteral("°C");
        }
        QString error;
        if (!base.abrir(ruta, &error))
            qFatal("no se abrió la base: %s", qPrintable(error));
    }
};

} // namespace ombrix::test
