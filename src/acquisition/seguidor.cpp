#include "acquisition/seguidor.h"

#include <QSqlQuery>
#include <QVariant>

namespace ombrix {

namespace {
// At most this many rows of a table are announced per look; the rest follow
// at the next one.
constexpr int kFilasPorVistazo = 2000;

QString tabla(int n) { return QStringLiteral("\"Instrumento%1\"").arg(n); }
} // namespace

SeguidorBase::SeguidorBase(BaseDatos& base, QObject* parent) : QObject(parent), base_(base)
{
    connect(&reloj_, &QTimer::timeout, this, &SeguidorBase::revisar);
}

qint64 SeguidorBase::version()
{
    QSqlQuery q(base_.db());
    return q.exec(QStringLiteral("PRAGMA data_version")) && q.next() ? q.value(0).toLongLong() : -1;
}

qint64 SeguidorBase::ultimo(const QString& t)
{
    QSqlQuery q(base_.db());
    return q.exec(QStringLiteral("SELECT max(\"Id\") FROM ") + t) && q.next() ? q.value(0).toLongLong() : 0;
}

void SeguidorBase::empezar(int ms)
{
    version_ = version();
    for (int n = 1; n < int(ultimos_.size()); ++n)
        ultimos_[n] = ultimo(tabla(n));
    ultimoComb_ = ultimo(QStringLiteral("\"Combinada\""));
    reloj_.start(ms);
}

void SeguidorBase::detener() { reloj_.stop(); }

bool SeguidorBase::revisar()
{
    if (!base_.abierta())
        return false;
    const qint64 v = version();
    if (v == version_ && v >= 0)
        return false;
    version_ = v;
    bool hubo = false, quedan = false;
    for (int n = 1; n < int(ultimos_.size()); ++n) {
        // A table emptied meanwhile numbers its rows from the start again.
        if (ultimo(tabla(n)) < ultimos_[n])
            ultimos_[n] = 0;
        QSqlQuery q(base_.db());
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT \"Id\",\"Fecha\",\"Hora\",\"Valor_medido\",\"Set_point\",\"Potencia\","
                                 "\"Alarma_1\",\"Alarma_2\",\"Alarma_3\",\"Alarma_4\" FROM ")
                  + tabla(n) + QStringLiteral(" WHERE \"Id\" > ? ORDER BY \"Id\" LIMIT ?"));
        q.addBindValue(ultimos_[n]);
        q.addBindValue(kFilasPorVistazo);
        if (!q.exec())
            continue;
        int leidas = 0;
        while (q.next()) {
            ++leidas;
            ultimos_[n] = q.value(0).toLongLong();
            TextosLectura t;
            for (int k = 0; k < int(t.size()); ++k)
                t[k] = q.value(3 + k).toString();
            hubo = true;
            emit filaGuardada(n, q.value(1).toString(), q.value(2).toString(), t);
        }
        quedan = quedan || leidas == kFilasPorVistazo;
    }
    const qint64 comb = ultimo(QStringLiteral("\"Combinada\""));
    if (comb != ultimoComb_) {
        ultimoComb_ = comb;
        hubo = true;
        emit filaCombinadaGuardada();
    }
    // Rows left for the next look: the version alone would not tell.
    if (quedan)
        version_ = -2;
    return hubo;
}

} // namespace ombrix
