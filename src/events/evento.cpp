#include "events/evento.h"

#include <QCryptographicHash>

namespace ombrix {

QStringList tiposEvento()
{
    using namespace tipoEvento;
    return {Adquisicion, AlarmaCom, Alarma, Comando, Propiedad, Parametro, Instrumento,
            Nivel,       Base,      Puerto, Registro, Partida,  Edicion,   Borrado};
}

void agregarCampoHash(QByteArray& b, const QString& texto, bool nulo)
{
    if (nulo) {
        b.append('N');
        return;
    }
    const QByteArray u = texto.toUtf8();
    b.append('T');
    b.append(QByteArray::number(u.size()));
    b.append(':');
    b.append(u);
}

namespace {
void campo(QByteArray& b, const QString& texto, bool nulo = false) { agregarCampoHash(b, texto, nulo); }
} // namespace

QString Evento::calcularHash(const QString& anteriorHash) const
{
    QByteArray b;
    b.reserve(256);
    campo(b, anteriorHash);
    campo(b, QString::number(id));
    campo(b, instante);
    campo(b, fecha);
    campo(b, hora);
    campo(b, QString::number(instrumento), instrumento <= 0);
    campo(b, tipo);
    campo(b, texto);
    campo(b, anterior, !conValores);
    campo(b, nuevo, !conValores);
    campo(b, QString::number(nivel));
    campo(b, equipo);
    campo(b, usuario);
    campo(b, origen);
    return QString::fromLatin1(QCryptographicHash::hash(b, QCryptographicHash::Sha256).toHex());
}

} // namespace ombrix
