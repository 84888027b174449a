#pragma once
// What the view benchmarks measure with: the process's memory, a paint
// awaited on a widget, the longest stall of the event loop, medians of
// samples; and what they measure on: a copy of the template database and
// instrument tables of simulator-like readings.

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace bench {

// A line of /proc/self/status ("VmRSS:", "VmHWM:") in KiB, or -1.
inline long memoriaKb(const char* clave)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& l : f.readAll().split('\n'))
        if (l.startsWith(clave))
            return l.mid(qstrlen(clave)).trimmed().split(' ').first().toLong();
    return -1;
}

// Installed on a widget: whether it was painted since.
struct Pintura : QObject {
    bool pintado = false;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            pintado = true;
        return false;
    }
};

// The longest gap between ticks of a 1 ms timer while it runs.
struct Vigia {
    QElapsedTimer latido;
    qint64 ultimo = 0, peor = 0;
    QTimer reloj;
    Vigia()
    {
        reloj.setInterval(1);
        QObject::connect(&reloj, &QTimer::timeout, [this] {
            const qint64 ahora = latido.nsecsElapsed();
            peor = qMax(peor, ahora - ultimo);
            ultimo = ahora;
        });
    }
    void empezar()
    {
        peor = 0;
        ultimo = 0;
        latido.start();
        reloj.start();
    }
    // Stops; the longest gap in ms, the one since the last tick counted.
    double terminar()
    {
        reloj.stop();
        peor = qMax(peor, latido.nsecsElapsed() - ultimo);
        return peor / 1e6;
    }
    // Stops; the longest gap between two ticks in ms.
    double detener()
    {
        reloj.stop();
        return peor / 1e6;
    }
};

struct Muestras {
    QVector<double> v;
    double media() const { return std::accumulate(v.begin(), v.end(), 0.0) / qMax<qsizetype>(1, v.size()); }
    double mediana() const
    {
        QVector<double> o = v;
        std::sort(o.begin(), o.end());
        return o.isEmpty() ? 0 : o[o.size() / 2];
    }
};

// A copy at `ruta` of the template database beside the program, writable by
// its owner; false after saying why.
inline bool copiarPlantilla(const QString& ruta)
{
    const QString binarios = QCoreApplication::applicationDirPath();
    if (!QFile::copy(binarios + QStringLiteral("/Modelo.mod"), ruta)) {
        std::fprintf(stderr, "no template database in %s\n", qPrintable(binarios));
        return false;
    }
    QFile(ruta).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

// Simulator-like readings of instrument n every 10 s from 01/01/2025, in one
// transaction, each with `partida` as its batch.
inline void generarLecturas(sqlite3* h, int n, qint64 filas, const char* partida)
{
    sqlite3_exec(h, "BEGIN", nullptr, nullptr, nullptr);
    const QByteArray sql = QStringLiteral("INSERT INTO \"Instrumento%1\" (Fecha,Hora,Valor_medido,Set_point,Potencia,"
                                          "Alarma_1,Alarma_2,Alarma_3,Alarma_4,Partida) VALUES (?,?,?,?,?,?,?,?,?,?)")
                               .arg(n)
                               .toUtf8();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(h, sql.constData(), -1, &st, nullptr);
    const QDate inicio(2025, 1, 1);
    char fecha[16], hora[16], va[16], pot[16];
    QDate dia;
    for (qint64 i = 0; i < filas; ++i) {
        const qint64 s = i * 10;
        const QDate d = inicio.addDays(s / 86400);
        if (d != dia) {
            dia = d;
            std::snprintf(fecha, sizeof fecha, "%02d/%02d/%04d", d.day(), d.month(), d.year());
        }
        const int t = int(s % 86400);
        std::snprintf(hora, sizeof hora, "%02d:%02d:%02d", t / 3600, t / 60 % 60, t % 60);
        std::snprintf(va, sizeof va, "%.1f", 200.0 + 50.0 * std::sin(double(i) / 500.0));
        std::snprintf(pot, sizeof pot, "%d", int(50 + 40 * std::cos(double(i) / 300.0)));
        const char* v[10] = {fecha, hora, va, "250", pot, (i / 100) % 7 == 0 ? "100" : "0", "0", "N.I.", "N.I.", partida};
        for (int k = 0; k < 10; ++k)
            sqlite3_bind_text(st, k + 1, v[k], -1, SQLITE_STATIC);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr);
}

} // namespace bench
