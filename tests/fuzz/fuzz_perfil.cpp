// Fuzz target: the settings file reader. The input is the whole file; it is
// read by Perfil (every section and key it names, as text, integer, double
// and flag), and a key written into it must then read back as written. All
// in memory: the file itself is Perfil's plain read of the bytes (covered by
// the tests). Loading the whole configuration is fuzz_ajustes.

#include "config/perfil.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdlib>

using namespace ombrix;

namespace {

void exigir(bool condicion)
{
    if (!condicion)
        std::abort();
}

// Section and key names the text mentions, a few of each.
void nombresDe(const QString& texto, QStringList& secciones, QStringList& claves)
{
    for (const QString& l : texto.split(QLatin1Char('\n'))) {
        const QString t = l.trimmed();
        if (t.startsWith(QLatin1Char('['))) {
            const int cierre = t.indexOf(QLatin1Char(']'));
            if (cierre > 0 && secciones.size() < 3)
                secciones << t.mid(1, cierre - 1);
        } else if (const int igual = t.indexOf(QLatin1Char('=')); igual > 0 && claves.size() < 4) {
            claves << t.left(igual);
        }
    }
    secciones << QStringLiteral("General") << QStringLiteral("Instrumento1");
    claves << QStringLiteral("cantidad de aparatos") << QStringLiteral("COM1");
}

// Letters and digits of the input, for a section or key name that survives a save.
QString nombreSimple(const uint8_t* d, size_t n, const char* porDefecto)
{
    QString s;
    for (size_t i = 0; i < n && s.size() < 12; ++i)
        if ((d[i] >= 'a' && d[i] <= 'z') || (d[i] >= 'A' && d[i] <= 'Z') || (d[i] >= '0' && d[i] <= '9'))
            s += QLatin1Char(char(d[i]));
    return s.isEmpty() ? QString::fromLatin1(porDefecto) : s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t largo)
{
    const QByteArray bytes(reinterpret_cast<const char*>(datos), qsizetype(largo));
    Perfil p = Perfil::deBytes(bytes);
    QStringList secciones, claves;
    nombresDe(Perfil::decodificar(bytes), secciones, claves);
    for (const QString& s : secciones) {
        for (const QString& k : claves) {
            const QString t = p.leerTexto(s, k, QString());
            exigir(t.size() <= Perfil::kLargoMaximo);
            exigir(p.existeClave(s, k) || t.isEmpty());
            qint32 i = p.leerEntero(s, k, 7);
            qint32 deTexto = 0;
            exigir(Perfil::aEntero(t, deTexto) ? i == deTexto : i == 7);
            (void)p.leerDoble(s, k, 0.5);
            (void)p.leerBool(s, k, true);
        }
    }

    // A value written now reads back as written: on one line, trimmed, cut
    // at the longest text a read returns.
    const size_t mitad = largo / 2;
    const QString s = nombreSimple(datos, mitad, "Seccion");
    const QString k = nombreSimple(datos + mitad, largo - mitad, "Clave");
    QString v = QString::fromUtf8(bytes.right(qMin<qsizetype>(64, bytes.size())));
    p.escribirTexto(s, k, v);
    v.replace(QLatin1String("\r\n"), QLatin1String(" "));
    v.replace(QLatin1Char('\r'), QLatin1Char(' '));
    v.replace(QLatin1Char('\n'), QLatin1Char(' '));
    exigir(p.leerTexto(s, k, QStringLiteral("?")) == v.trimmed().left(Perfil::kLargoMaximo));
    exigir(!p.contenido().isNull() || largo == 0);

    return 0;
}
