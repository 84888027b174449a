#include "web/clave_web.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QStringList>

namespace ombrix::web {

namespace {

constexpr int kIteraciones = 20000;
constexpr int kLargo = 32;

struct Partes {
    int iteraciones = 0;
    QByteArray sal, resumen;
};

bool partir(const QString& texto, Partes& p)
{
    const QStringList t = texto.split(QLatin1Char('$'));
    if (t.size() != 4 || t[0] != QLatin1String("pbkdf2-sha256"))
        return false;
    bool ok = false;
    p.iteraciones = t[1].toInt(&ok);
    if (!ok || p.iteraciones < 1000 || p.iteraciones > 10000000)
        return false;
    const auto sal = QByteArray::fromBase64Encoding(t[2].toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    const auto res = QByteArray::fromBase64Encoding(t[3].toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!sal || !res || sal.decoded.size() < 8 || res.decoded.size() != kLargo)
        return false;
    p.sal = sal.decoded;
    p.resumen = res.decoded;
    return true;
}

QByteArray derivar(const QString& clave, const QByteArray& sal, int iteraciones)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, clave.toUtf8(), sal, iteraciones, kLargo);
}

} // namespace

QString resumenClave(const QString& clave)
{
    QByteArray sal(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(sal.data()), sal.size() / 4);
    return QStringLiteral("pbkdf2-sha256$%1$%2$%3")
        .arg(kIteraciones)
        .arg(QString::fromLatin1(sal.toBase64()), QString::fromLatin1(derivar(clave, sal, kIteraciones).toBase64()));
}

bool claveCorrecta(const QString& clave, const QString& resumen)
{
    Partes p;
    if (!partir(resumen, p))
        return false;
    const QByteArray r = derivar(clave, p.sal, p.iteraciones);
    // Compared in constant time.
    unsigned char dif = 0;
    for (int i = 0; i < kLargo; ++i)
        dif |= static_cast<unsigned char>(r[i] ^ p.resumen[i]);
    return dif == 0;
}

bool esResumenClave(const QString& resumen)
{
    Partes p;
    return partir(resumen, p);
}

} // namespace ombrix::web
