#include "views/columnas_comb.h"

namespace ombrix {

namespace {

const char* const kPrefijos[kTiposValor] = {"V_medido", "SP", "Pot", "AL1", "AL2", "AL3", "AL4"};

} // namespace

QString campoCombinada(TipoValor t, int n)
{
    return QStringLiteral("%1(Ins%2)").arg(QLatin1String(kPrefijos[int(t)])).arg(n);
}

bool leerCampoCombinada(const QString& campo, int& n, TipoValor& t)
{
    for (int k = 0; k < kTiposValor; ++k) {
        const QString prefijo = QLatin1String(kPrefijos[k]) + QStringLiteral("(Ins");
        if (!campo.startsWith(prefijo) || !campo.endsWith(QLatin1Char(')')))
            continue;
        bool ok = false;
        const int v = campo.mid(prefijo.size(), campo.size() - prefijo.size() - 1).toInt(&ok);
        if (!ok || v < 1)
            return false;
        n = v;
        t = TipoValor(k);
        return true;
    }
    return false;
}

bool columnaElegida(const TInstGrafico& g, TipoValor t)
{
    const bool f[kTiposValor] = {g.ValorMedidoT, g.SetPointT, g.PotenciaT, g.Alarma1T,
                                 g.Alarma2T,     g.Alarma3T,  g.Alarma4T};
    return f[int(t)];
}

bool serieElegida(const TInstGrafico& g, TipoValor t)
{
    const bool f[kTiposValor] = {g.ValorMedidoG, g.SetPointG, g.PotenciaG, g.Alarma1G,
                                 g.Alarma2G,     g.Alarma3G,  g.Alarma4G};
    return f[int(t)];
}

bool valorMostrado(const Configuracion& c, int n, TipoValor t)
{
    if (n < 0 || n >= c.Avanzadas1.size())
        return false;
    const TAvanzadas1& a = c.Avanzadas1[n];
    const bool f[kTiposValor] = {a.PCheckVA, a.PCheckSPRd, a.PCheckPOT, a.PCheckAl1,
                                 a.PCheckAl2, a.PCheckAl3, a.PCheckAl4};
    return f[int(t)];
}

QString nombreValor(const Configuracion& c, int n, TipoValor t)
{
    QString nombre;
    if (n >= 0 && n < c.Avanzadas1.size()) {
        const TAvanzadas1& a = c.Avanzadas1[n];
        const QString* f[kTiposValor] = {&a.NombreVA,  &a.NombreSP,  &a.NombrePot, &a.NombreAl1,
                                         &a.NombreAl2, &a.NombreAl3, &a.NombreAl4};
        nombre = *f[int(t)];
    }
    return nombre.isEmpty() ? QLatin1String(kPrefijos[int(t)]) : nombre;
}

QString tituloColumnaComb(const Configuracion& c, int n, TipoValor t)
{
    const QString titulo = n >= 0 && n < c.ArrayConfig.size() ? c.ArrayConfig[n].Titulo : QString();
    return nombreValor(c, n, t) + QLatin1Char('(') + titulo + QLatin1Char(')');
}

QVector<ColumnaComb> columnasCombinada(const Configuracion& c, bool todas)
{
    QVector<ColumnaComb> r;
    const int cantidad = c.cantidadInstrumentos();
    if (todas) {
        for (int n = 1; n <= cantidad; ++n)
            for (int k = 0; k < kTiposValor; ++k)
                r.append({n, TipoValor(k), campoCombinada(TipoValor(k), n), tituloColumnaComb(c, n, TipoValor(k))});
        return r;
    }
    for (int k = 0; k < kTiposValor; ++k) {
        const auto t = TipoValor(k);
        for (int n = 1; n <= cantidad; ++n) {
            if (n >= c.InstGrafico.size() || !columnaElegida(c.InstGrafico[n], t) || !valorMostrado(c, n, t))
                continue;
            r.append({n, t, campoCombinada(t, n), tituloColumnaComb(c, n, t)});
        }
    }
    return r;
}

} // namespace ombrix
