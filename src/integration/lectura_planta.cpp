#include "integration/lectura_planta.h"

#include "acquisition/lectura.h"
#include "config/modelo.h"

#include <QJsonObject>
#include <QJsonValue>

namespace ombrix {

namespace {

QJsonValue numeroOTexto(const QString& t)
{
    if (const auto v = numeroDeTexto(t))
        return *v;
    return t.trimmed();
}

} // namespace

const std::array<const char*, 7> kCamposJson = {"valor", "consigna", "potencia", "alarma1", "alarma2", "alarma3", "alarma4"};


QString LecturaPlanta::instanteIso() const
{
    return instanteUtc.toUTC().toString(Qt::ISODate);
}

std::optional<double> numeroDeTexto(const QString& texto)
{
    const QString t = texto.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    // Only what a reading writes: optional sign, digits, optional "." and digits.
    int i = 0;
    if (t[0] == QLatin1Char('-') || t[0] == QLatin1Char('+'))
        ++i;
    bool digitos = false, punto = false;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digitos = true;
        else if (c == QLatin1Char('.') && !punto)
            punto = true;
        else
            return std::nullopt;
    }
    if (!digitos)
        return std::nullopt;
    bool ok = false;
    const double v = t.toDouble(&ok);   // QString::toDouble is locale-independent (C locale)
    if (!ok)
        return std::nullopt;
    return v;
}

LecturaPlanta lecturaPlanta(const Modelo& modelo, int n, const ResultadoLectura& r, const QString& fecha,
                            const QString& hora)
{
    LecturaPlanta l;
    l.instrumento = n;
    if (n >= 0 && n < modelo.Estados.size()) {
        const EstadoInstrumento& st = modelo.Estados[n];
        l.titulo = st.Titulo;
        l.unidad = st.Unidad;
        l.partida = st.Partida;
        l.alarmaCom = st.AlarmaCom;
    }
    if (n >= 0 && n < modelo.ArrayConfig.size()) {
        l.programador = modelo.ArrayConfig[n].Tipo == 1;
        if (l.titulo.isEmpty())
            l.titulo = modelo.ArrayConfig[n].Titulo;
        if (l.unidad.isEmpty())
            l.unidad = modelo.ArrayConfig[n].Unidad;
    }
    l.alarmaCom = l.alarmaCom || r.alarmaComEnganchada;
    l.fecha = fecha;
    l.hora = hora;
    const QDate d = QDate::fromString(fecha, QStringLiteral("dd/MM/yyyy"));
    const QTime t = QTime::fromString(hora, QStringLiteral("hh:mm:ss"));
    l.instanteUtc = (d.isValid() && t.isValid() ? QDateTime(d, t) : QDateTime::currentDateTime()).toUTC();
    l.textos = r.Lecturas;
    for (int i = 0; i < 7; ++i)
        l.numeros[i] = numeroDeTexto(r.Lecturas[i]);
    l.programa = r.NProg;
    l.segmento = r.NSeg;
    l.tiempoSegmento = r.Temp;
    return l;
}

QJsonObject objetoJson(const LecturaPlanta& l)
{
    QJsonObject o;
    o.insert(QStringLiteral("instrumento"), l.instrumento);
    o.insert(QStringLiteral("titulo"), l.titulo);
    o.insert(QStringLiteral("unidad"), l.unidad);
    o.insert(QStringLiteral("tiempo"), l.instanteIso());
    QJsonObject estado;
    for (int i = 0; i < 7; ++i) {
        const QString campo = QString::fromLatin1(kCamposJson[i]);
        if (l.numeros[i]) {
            o.insert(campo, *l.numeros[i]);
        } else {
            o.insert(campo, QJsonValue::Null);
            estado.insert(campo, l.textos[i]);
        }
    }
    if (!estado.isEmpty())
        o.insert(QStringLiteral("estado"), estado);
    if (l.programador) {
        if (l.programa)
            o.insert(QStringLiteral("programa"), numeroOTexto(*l.programa));
        if (l.segmento)
            o.insert(QStringLiteral("segmento"), numeroOTexto(*l.segmento));
        if (l.tiempoSegmento)
            o.insert(QStringLiteral("tiempoSegmento"), l.tiempoSegmento->trimmed());
    }
    o.insert(QStringLiteral("partida"), l.partida);
    o.insert(QStringLiteral("alarmaCom"), l.alarmaCom);
    return o;
}

} // namespace ombrix
