#include "integration/lectura_planta.h"

#include "acquisition/lectura.h"
#include "config/modelo.h"

namespace ombrix {

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

} // namespace ombrix
