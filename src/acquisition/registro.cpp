#include "registro.h"

#include <QSqlError>
#include <QStringList>

namespace ombrix {

namespace {

constexpr int kMaximoTablas = 20;

// The seven columns of an instrument table, in stored order.
const char* const kColumnas[7] = {"Valor_medido", "Set_point", "Potencia", "Alarma_1",
                                  "Alarma_2",     "Alarma_3",  "Alarma_4"};
// The seven columns of instrument k in the combined table: prefix + "(Ins" + k + ")".
const char* const kColumnasCombinada[7] = {"V_medido", "SP", "Pot", "AL1", "AL2", "AL3", "AL4"};

QString sqlFilaInstrumento(int n)
{
    QStringList columnas{QStringLiteral("\"Fecha\""), QStringLiteral("\"Hora\"")};
    for (const char* c : kColumnas)
        columnas << QStringLiteral("\"%1\"").arg(QLatin1String(c));
    columnas << QStringLiteral("\"Partida\"");
    QStringList marcas;
    for (int i = 0; i < columnas.size(); ++i)
        marcas << QStringLiteral("?");
    return QStringLiteral("INSERT INTO \"Instrumento%1\" (%2) VALUES (%3)")
        .arg(n)
        .arg(columnas.join(QLatin1Char(',')), marcas.join(QLatin1Char(',')));
}

QString sqlFilaCombinada()
{
    QStringList columnas{QStringLiteral("\"Fecha\""), QStringLiteral("\"Hora\"")};
    for (int k = 1; k <= kMaximoTablas; ++k)
        for (const char* c : kColumnasCombinada)
            columnas << QStringLiteral("\"%1(Ins%2)\"").arg(QLatin1String(c)).arg(k);
    QStringList marcas;
    for (int i = 0; i < columnas.size(); ++i)
        marcas << QStringLiteral("?");
    return QStringLiteral("INSERT INTO \"Combinada\" (%1) VALUES (%2)")
        .arg(columnas.join(QLatin1Char(',')), marcas.join(QLatin1Char(',')));
}

QVariant textoNulo() { return QVariant(QMetaType::fromType<QString>()); }

// An instrument that was not recorded leaves empty texts, not missing ones.
QVariant textoVacioSiFalta(const QString& t) { return t.isNull() ? QVariant(QStringLiteral("")) : QVariant(t); }

void poner(QString* destino, const QString& texto)
{
    if (destino)
        *destino = texto;
}

} // namespace

Registrador::Registrador(BaseDatos& base, Modelo& modelo, QObject* parent)
    : QObject(parent), base_(base), modelo_(modelo)
{
}

Registrador::~Registrador() { olvidarSentencias(); }

QString Registrador::textoFecha(const QDate& d) { return d.toString(QStringLiteral("dd/MM/yyyy")); }
QString Registrador::textoHora(const QTime& t) { return t.toString(QStringLiteral("hh:mm:ss")); }

void Registrador::olvidarSentencias()
{
    sentencias_.clear();
    rutaSentencias_.clear();
    driverSentencias_.clear();
}

void Registrador::iniciarAdquisicion()
{
    PrimeraRonda = true;
    NuevaRonda = true;
    for (auto& valores : modelo_.UltimosValores)
        valores.fill(QString());
}

QSqlQuery* Registrador::sentencia(const QString& clave, const QString& sql, QString* error)
{
    if (!base_.abierta()) {
        olvidarSentencias();
        poner(error, QStringLiteral("la base de datos no está abierta"));
        return nullptr;
    }
    // Statements prepared on another file or an earlier connection to it are useless.
    const QSqlDatabase db = base_.db();
    if (rutaSentencias_ != base_.ruta() || driverSentencias_.isNull() || driverSentencias_ != db.driver()) {
        olvidarSentencias();
        rutaSentencias_ = base_.ruta();
        driverSentencias_ = db.driver();
    }
    if (auto it = sentencias_.constFind(clave); it != sentencias_.constEnd())
        return it->get();
    auto q = std::make_shared<QSqlQuery>(db);
    if (!q->prepare(sql)) {
        poner(error, q->lastError().text());
        return nullptr;
    }
    sentencias_.insert(clave, q);
    return q.get();
}

bool Registrador::ActualizarTabla(int n, const TextosLectura& lecturas, const QString& partida,
                                  const QString& fechaLectura, const QString& horaLectura, QString* error)
{
    if (n < 1 || n > kMaximoTablas) {
        poner(error, QStringLiteral("no hay tabla para el instrumento %1").arg(n));
        return false;
    }
    const bool sincronismo = modelo_.Config.Sincronismo;
    if (sincronismo && n >= modelo_.UltimosValores.size()) {
        poner(error, QStringLiteral("el instrumento %1 no está configurado").arg(n));
        return false;
    }

    // Every row of one synchronised recording carries the date and time of its first row.
    const bool fresca = !sincronismo || NuevaRonda;
    const QString fecha = fresca ? fechaLectura : FechaRegistro;
    const QString hora = fresca ? horaLectura : HoraRegistro;

    const QString clave = QStringLiteral("Instrumento%1").arg(n);
    QSqlQuery* q = sentencia(clave, sqlFilaInstrumento(n), error);
    if (!q)
        return false;
    q->bindValue(0, fecha);
    q->bindValue(1, hora);
    for (int i = 0; i < 7; ++i)
        q->bindValue(2 + i, lecturas[i]);
    q->bindValue(9, partida.isEmpty() ? textoNulo() : QVariant(partida));
    if (!q->exec()) {
        poner(error, QStringLiteral("Instrumento%1: %2").arg(n).arg(q->lastError().text()));
        // A statement that failed is prepared anew next time.
        sentencias_.remove(clave);
        return false;
    }
    q->finish();

    TablaActual = quint8(n);
    FechaRegistro = fecha;
    HoraRegistro = hora;
    emit filaGuardada(n, fecha, hora, lecturas);

    if (!sincronismo)
        return true;

    bool ok = true;
    if (!PrimeraRonda && NuevaRonda) {
        ok = escribirCombinada(error);
    } else {
        // The first row since the start: nothing of an earlier run belongs to this recording.
        if (PrimeraRonda)
            for (auto& valores : modelo_.UltimosValores)
                valores.fill(QString());
        PrimeraRonda = false;
    }
    NuevaRonda = false;
    FechaAnterior = FechaRegistro;
    HoraAnterior = HoraRegistro;
    modelo_.UltimosValores[n] = lecturas;
    return ok;
}

bool Registrador::escribirCombinada(QString* error)
{
    // Every configured instrument gives its last values of the previous
    // recording (empty when it was not recorded), which are then emptied.
    const int instrumentos =
        std::min({modelo_.cantidadInstrumentos(), kMaximoTablas, int(modelo_.UltimosValores.size()) - 1});
    const QString clave = QStringLiteral("Combinada");
    QSqlQuery* q = sentencia(clave, sqlFilaCombinada(), error);
    bool ok = q != nullptr;
    if (q) {
        q->bindValue(0, FechaAnterior);
        q->bindValue(1, HoraAnterior);
        for (int k = 1; k <= kMaximoTablas; ++k)
            for (int i = 0; i < 7; ++i)
                q->bindValue(2 + (k - 1) * 7 + i,
                             k <= instrumentos ? textoVacioSiFalta(modelo_.UltimosValores[k][i]) : textoNulo());
        if (q->exec()) {
            q->finish();
        } else {
            poner(error, QStringLiteral("Combinada: %1").arg(q->lastError().text()));
            sentencias_.remove(clave);
            ok = false;
        }
    } else if (error) {
        *error = QStringLiteral("Combinada: ") + *error;
    }
    // A combined row that could not be stored is lost: its values must not
    // leak into the next recording's row.
    for (int k = 1; k <= instrumentos; ++k)
        modelo_.UltimosValores[k].fill(QString());
    if (ok)
        emit filaCombinadaGuardada();
    return ok;
}

} // namespace ombrix
