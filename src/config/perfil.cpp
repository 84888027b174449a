#include "perfil.h"

#include "dialogos.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <charconv>
#include <cmath>

namespace ombrix {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F. The five codes it
// leaves undefined keep their C1 control value, as Windows itself does.
constexpr char16_t kCp1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString desdeWindows1252(const QByteArray& bytes)
{
    QString s;
    s.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        s.append(QChar(b >= 0x80 && b <= 0x9F ? kCp1252[b - 0x80] : char16_t(b)));
    }
    return s;
}

// The name as the index holds it: trimmed, lower case. Names are nearly
// always plain ASCII, already trimmed; those are lowered here without Qt's
// Unicode tables (a settings load looks up thousands of names).
QString minusculas(const QString& nombre)
{
    const qsizetype n = nombre.size();
    const QChar* d = nombre.constData();
    bool mayusculas = false;
    if (n == 0 || d[0].isSpace() || d[n - 1].isSpace())
        return nombre.trimmed().toLower();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = d[i].unicode();
        if (u >= 0x80)
            return nombre.toLower();
        mayusculas |= u >= 'A' && u <= 'Z';
    }
    if (!mayusculas)
        return nombre;
    QString r(n, Qt::Uninitialized);
    QChar* w = r.data();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = d[i].unicode();
        w[i] = QChar(char16_t(u >= 'A' && u <= 'Z' ? u + 32 : u));
    }
    return r;
}

// A value must stay on its own line.
QString enUnaLinea(QString valor)
{
    valor.replace(QLatin1String("\r\n"), QLatin1String(" "));
    valor.replace(QLatin1Char('\r'), QLatin1Char(' '));
    valor.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return valor;
}

int valorHex(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

} // namespace

Perfil::Perfil(QString ruta)
    : ruta_(std::move(ruta))
{
    secciones_.append(Seccion{});
    leerArchivo();
}

QString Perfil::decodificar(const QByteArray& bytes)
{
    QByteArray datos = bytes;
    if (datos.startsWith("\xEF\xBB\xBF"))
        datos.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString texto = utf8.decode(datos);
    if (!utf8.hasError())
        return texto;
    return desdeWindows1252(datos);
}

void Perfil::leerArchivo()
{
    if (ruta_.isEmpty())
        return;
    QFile f(ruta_);
    if (!QFileInfo(ruta_).isFile() || !f.open(QIODevice::ReadOnly))
        return;
    analizar(f.readAll());
}

Perfil Perfil::deBytes(const QByteArray& bytes)
{
    Perfil p{QString()};
    p.analizar(bytes);
    return p;
}

void Perfil::analizar(const QByteArray& bytes)
{
    const QString texto = decodificar(bytes);
    QStringList lineas = texto.split(QLatin1Char('\n'));
    if (!lineas.isEmpty() && lineas.last().isEmpty())
        lineas.removeLast();   // the final line end
    for (QString& l : lineas) {
        if (l.endsWith(QLatin1Char('\r')))
            l.chop(1);
        const QString t = l.trimmed();
        const int cierre = t.startsWith(QLatin1Char('[')) ? t.indexOf(QLatin1Char(']')) : -1;
        if (cierre > 0) {
            const QString nombre = minusculas(t.mid(1, cierre - 1));
            secciones_.append(Seccion{l, {}, {}});
            if (!indiceSecciones_.contains(nombre))
                indiceSecciones_.insert(nombre, secciones_.size() - 1);
            continue;
        }
        agregarLinea(secciones_.last(), l);
    }
}

void Perfil::agregarLinea(Seccion& s, const QString& texto)
{
    Linea linea{texto, {}, {}};
    const QString t = texto.trimmed();
    const int igual = t.indexOf(QLatin1Char('='));
    if (!t.startsWith(QLatin1Char(';')) && igual > 0) {
        linea.clave = t.left(igual).trimmed();
        linea.valor = t.mid(igual + 1).trimmed();
    }
    s.lineas.append(linea);
    if (!linea.clave.isEmpty()) {
        const QString k = linea.clave.toLower();
        if (!s.claves.contains(k))
            s.claves.insert(k, s.lineas.size() - 1);
    }
}

const Perfil::Linea* Perfil::buscar(const QString& seccion, const QString& clave) const
{
    const auto is = indiceSecciones_.constFind(minusculas(seccion));
    if (is == indiceSecciones_.cend())
        return nullptr;
    const Seccion& s = secciones_[*is];
    const auto ik = s.claves.constFind(minusculas(clave));
    if (ik == s.claves.cend())
        return nullptr;
    return &s.lineas[*ik];
}

bool Perfil::existeClave(const QString& seccion, const QString& clave) const
{
    return buscar(seccion, clave) != nullptr;
}

QString Perfil::leerTexto(const QString& seccion, const QString& clave, const QString& porDefecto) const
{
    const Linea* l = buscar(seccion, clave);
    const QString& v = l ? l->valor : porDefecto;
    return v.size() > kLargoMaximo ? v.left(kLargoMaximo) : v;
}

bool Perfil::aEntero(const QString& texto, qint32& valor)
{
    const QString t = texto.trimmed();
    if (t.size() > 2 && t[0] == QLatin1Char('0') && (t[1] == QLatin1Char('x') || t[1] == QLatin1Char('X'))) {
        if (t.size() - 2 > 8)
            return false;
        quint32 v = 0;
        for (int i = 2; i < t.size(); ++i) {
            const int d = valorHex(t[i]);
            if (d < 0)
                return false;
            v = (v << 4) | quint32(d);
        }
        valor = static_cast<qint32>(v);
        return true;
    }
    int i = 0;
    bool negativo = false;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+'))) {
        negativo = t[i] == QLatin1Char('-');
        ++i;
    }
    if (i >= t.size())
        return false;
    qint64 v = 0;
    for (; i < t.size(); ++i) {
        const char16_t u = t[i].unicode();
        if (u < '0' || u > '9')
            return false;
        v = v * 10 + (u - '0');
        if (v > qint64(1) << 31)
            return false;
    }
    if (negativo)
        v = -v;
    if (v > std::numeric_limits<qint32>::max() || v < std::numeric_limits<qint32>::min())
        return false;
    valor = static_cast<qint32>(v);
    return true;
}

bool Perfil::aDoble(const QString& texto, double& valor)
{
    QString t = texto.trimmed();
    if (t.startsWith(QLatin1Char('+'))) {
        t.remove(0, 1);
        if (t.startsWith(QLatin1Char('-')))
            return false;
    }
    if (t.isEmpty())
        return false;
    for (QChar c : t)
        if (c.unicode() > 0x7F)
            return false;
    const QByteArray b = t.toLatin1();
    double v = 0;
    const auto r = std::from_chars(b.constData(), b.constData() + b.size(), v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != b.constData() + b.size() || !std::isfinite(v))
        return false;
    valor = v;
    return true;
}

QString Perfil::deDoble(double valor)
{
    return QString::number(valor, 'g', 15);
}

qint32 Perfil::leerEntero(const QString& seccion, const QString& clave, qint32 porDefecto) const
{
    const Linea* l = buscar(seccion, clave);
    qint32 v = 0;
    return l && aEntero(l->valor, v) ? v : porDefecto;
}

bool Perfil::leerBool(const QString& seccion, const QString& clave, bool porDefecto) const
{
    return leerEntero(seccion, clave, porDefecto ? 1 : 0) != 0;
}

double Perfil::leerDoble(const QString& seccion, const QString& clave, double porDefecto) const
{
    const Linea* l = buscar(seccion, clave);
    double v = 0;
    return l && aDoble(l->valor, v) ? v : porDefecto;
}

void Perfil::escribirTexto(const QString& seccion, const QString& clave, const QString& valor)
{
    const QString v = enUnaLinea(valor);
    const QString k = minusculas(clave);
    const QString nombre = minusculas(seccion);
    const QString texto = clave.trimmed() + QLatin1Char('=') + v;

    auto is = indiceSecciones_.constFind(nombre);
    if (is == indiceSecciones_.cend()) {
        secciones_.append(Seccion{QLatin1Char('[') + seccion.trimmed() + QLatin1Char(']'), {}, {}});
        is = indiceSecciones_.insert(nombre, secciones_.size() - 1);
    }
    Seccion& s = secciones_[*is];

    const auto ik = s.claves.constFind(k);
    if (ik != s.claves.cend()) {
        Linea& l = s.lineas[*ik];
        l.texto = texto;
        l.clave = clave.trimmed();
        l.valor = v.trimmed();
        return;
    }

    // After the section's last key; comments and blank lines that close the
    // section usually belong to what follows.
    int pos = -1;
    for (int i = s.lineas.size() - 1; i >= 0 && pos < 0; --i)
        if (!s.lineas[i].clave.isEmpty())
            pos = i + 1;
    if (pos < 0) {
        pos = 0;
        for (int i = s.lineas.size() - 1; i >= 0; --i)
            if (!s.lineas[i].texto.trimmed().isEmpty()) {
                pos = i + 1;
                break;
            }
    }
    if (pos < s.lineas.size()) {
        for (auto it = s.claves.begin(); it != s.claves.end(); ++it)
            if (*it >= pos)
                ++*it;
    }
    s.lineas.insert(pos, Linea{texto, clave.trimmed(), v.trimmed()});
    s.claves.insert(k, pos);
}

void Perfil::escribirEntero(const QString& seccion, const QString& clave, qint32 valor)
{
    escribirTexto(seccion, clave, QString::number(valor));
}

void Perfil::escribirBool(const QString& seccion, const QString& clave, bool valor)
{
    escribirTexto(seccion, clave, valor ? QStringLiteral("1") : QStringLiteral("0"));
}

void Perfil::escribirDoble(const QString& seccion, const QString& clave, double valor)
{
    escribirTexto(seccion, clave, deDoble(valor));
}

QByteArray Perfil::contenido() const
{
    QString texto;
    for (int i = 0; i < secciones_.size(); ++i) {
        const Seccion& s = secciones_[i];
        if (i > 0)
            texto += s.cabecera + QLatin1String("\r\n");
        for (const Linea& l : s.lineas)
            texto += l.texto + QLatin1String("\r\n");
    }
    return texto.toUtf8();
}

void Perfil::guardar() const
{
    const Error fallo(QStringLiteral("Unable to write to ") + ruta_);
    if (ruta_.isEmpty())
        throw fallo;
    const QFileInfo info(ruta_);
    if (!info.absoluteDir().exists())
        throw fallo;
    if (info.exists() && (!info.isFile() || !info.isWritable()))
        throw fallo;

    QSaveFile f(ruta_);
    f.setDirectWriteFallback(false);
    if (!f.open(QIODevice::WriteOnly))
        throw fallo;
    const QByteArray datos = contenido();
    if (f.write(datos) != datos.size()) {
        f.cancelWriting();
        throw fallo;
    }
    if (!f.commit())
        throw fallo;
}

} // namespace ombrix
