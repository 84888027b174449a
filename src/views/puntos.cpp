#include "views/puntos.h"

#include <QTime>

#include <charconv>
#include <cmath>
#include <limits>

namespace ombrix {

namespace {

bool dosDigitos(const char* p, int& v)
{
    if (p[0] < '0' || p[0] > '9' || p[1] < '0' || p[1] > '9')
        return false;
    v = (p[0] - '0') * 10 + (p[1] - '0');
    return true;
}

// Days from 1970-01-01 for a civil date (proleptic Gregorian).
qint64 diasCiviles(int y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + qint64(doe) - 719468;
}

bool esBisiesto(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

std::string_view recortar(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace

bool leerFechaHora(std::string_view fecha, std::string_view hora, double& x)
{
    fecha = recortar(fecha);
    hora = recortar(hora);
    if (fecha.size() != 10 || fecha[2] != '/' || fecha[5] != '/')
        return false;
    int d, m, c, a;
    if (!dosDigitos(fecha.data(), d) || !dosDigitos(fecha.data() + 3, m) || !dosDigitos(fecha.data() + 6, c)
        || !dosDigitos(fecha.data() + 8, a))
        return false;
    const int y = c * 100 + a;
    static const int largoMes[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12 || d < 1 || d > largoMes[m - 1] + (m == 2 && esBisiesto(y) ? 1 : 0))
        return false;
    int hh, mm, ss;
    if (hora.size() != 8 || hora[2] != ':' || hora[5] != ':' || !dosDigitos(hora.data(), hh)
        || !dosDigitos(hora.data() + 3, mm) || !dosDigitos(hora.data() + 6, ss) || hh > 23 || mm > 59 || ss > 59)
        return false;
    x = double(diasCiviles(y, unsigned(m), unsigned(d))) * 86400.0 + hh * 3600 + mm * 60 + ss;
    return true;
}

bool leerNumero(std::string_view texto, double& y)
{
    texto = recortar(texto);
    if (texto.empty())
        return false;
    if (texto.front() == '+')
        texto.remove_prefix(1);
    const auto r = std::from_chars(texto.data(), texto.data() + texto.size(), y, std::chars_format::fixed);
    return r.ec == std::errc() && r.ptr == texto.data() + texto.size() && std::isfinite(y);
}

PuntosFila filaAPuntos(const TGindividual& g, std::string_view fecha, std::string_view hora,
                       const std::array<std::string_view, kSeries>& v)
{
    PuntosFila p;
    if (!leerFechaHora(fecha, hora, p.x)) {
        p.error = true;
        return p;
    }
    const bool mostrar[kSeries] = {g.ValorM, g.SetP, g.Pot, g.Al11, g.Al22, g.Al33, g.Al44};
    const quint8 niveles[4] = {g.NivelAl1, g.NivelAl2, g.NivelAl3, g.NivelAl4};
    for (int k = 0; k < kSeries; ++k) {
        if (!mostrar[k] || v[k] == "Err" || v[k] == "N.I.")
            continue;
        if (k == 0 && (v[k] == " oF " || v[k] == " uF "))
            continue;
        if (k >= 3) {
            p.y[k] = v[k] == "100" ? niveles[k - 3] : 0;
        } else if (!leerNumero(v[k], p.y[k])) {
            p.error = true;
            return p;
        }
        p.presentes |= quint8(1u << k);
    }
    return p;
}

double segundosTiempo(const QString& tiempo)
{
    const QTime t = QTime::fromString(tiempo.trimmed(), QStringLiteral("hh:mm:ss"));
    if (!t.isValid()) {
        // Hours beyond 23 are not a time.
        return -1;
    }
    return t.msecsSinceStartOfDay() / 1000.0;
}

double longitudPagina(const QString& tiempo, const QString& dias)
{
    double t = segundosTiempo(tiempo);
    bool ok = false;
    const qint64 d = dias.trimmed().toLongLong(&ok);
    if (t < 0 || !ok || d < 0 || d > 36500) {
        t = 600;
        return t + 86400;
    }
    const double l = t + double(d) * 86400.0;
    return l > 0 ? l : 600 + 86400;
}

double inicioDatos(double xMinimo) { return std::floor(xMinimo / 10.0) * 10.0; }

qint64 paginasCompletas(double xMaximo, double inicio, double largo)
{
    if (!(largo > 0))
        return 0;
    const double e = std::trunc((xMaximo - inicio) / largo);
    if (!(e > 0))
        return 0;
    if (e >= double(std::numeric_limits<qint64>::max() / 2))
        return std::numeric_limits<qint64>::max() / 2;
    return qint64(e);
}

void Paginas::ultima()
{
    const qint64 e = paginasCompletas(xMax, inicio, largo);
    hasta = inicio + largo * double(e + 1);
    desde = hasta - largo;
    total = e + 1;
    pagina = e + 1;
    proxima = false;
    anterior = pagina > 1;
}

void Paginas::primera()
{
    desde = inicio;
    hasta = desde + largo;
    pagina = 1;
    anterior = false;
    proxima = total > 1;
}

void Paginas::siguiente()
{
    if (pagina >= total)
        return;
    desde = hasta;
    hasta = desde + largo;
    ++pagina;
    proxima = pagina < total && xMax >= hasta;
    anterior = true;
}

void Paginas::irA(qint64 p)
{
    pagina = qBound<qint64>(1, p, qMax<qint64>(total, 1));
    desde = inicio + largo * double(pagina - 1);
    hasta = desde + largo;
    anterior = pagina > 1;
    proxima = pagina < total;
}

void Paginas::previa()
{
    if (pagina <= 1)
        return;
    hasta = desde;
    desde = hasta - largo;
    --pagina;
    anterior = pagina > 1 && xMin < desde;
    proxima = true;
}

} // namespace ombrix
