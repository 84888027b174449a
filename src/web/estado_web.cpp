#include "web/estado_web.h"

#include <QJsonArray>

namespace ombrix::web {

QJsonObject jsonLecturaWeb(const LecturaPlanta& l)
{
    QJsonObject o = objetoJson(l);
    QJsonObject textos;
    for (size_t k = 0; k < kCamposJson.size(); ++k)
        textos.insert(QString::fromLatin1(kCamposJson[k]), l.textos[k].trimmed());
    o.insert(QStringLiteral("textos"), textos);
    return o;
}

QJsonObject EstadoWeb::jsonInstrumento(const InstrumentoWeb& i)
{
    QJsonObject o {{QStringLiteral("instrumento"), i.n},
                   {QStringLiteral("titulo"), i.ultima ? i.ultima->titulo : i.titulo},
                   {QStringLiteral("unidad"), i.ultima ? i.ultima->unidad : i.unidad},
                   {QStringLiteral("programador"), i.programador},
                   {QStringLiteral("registrando"), i.registrando},
                   {QStringLiteral("disponible"), i.disponible}};
    o.insert(QStringLiteral("lectura"), i.ultima ? QJsonValue(jsonLecturaWeb(*i.ultima)) : QJsonValue());
    return o;
}

QJsonObject EstadoWeb::jsonLinea() const
{
    QJsonObject o {{QStringLiteral("adquisicion"), enLinea},
                   {QStringLiteral("puerto"), puertoDisponible},
                   {QStringLiteral("registro"), registroFunciona}};
    if (!puertoDisponible)
        o.insert(QStringLiteral("textoPuerto"), textoPuerto);
    if (!registroFunciona)
        o.insert(QStringLiteral("textoRegistro"), textoRegistro);
    return o;
}

QJsonObject EstadoWeb::json() const
{
    QJsonArray a;
    for (const auto& [n, i] : instrumentos)
        a.append(jsonInstrumento(i));
    return {{QStringLiteral("linea"), jsonLinea()},
            {QStringLiteral("ahora"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
            {QStringLiteral("instrumentos"), a}};
}

} // namespace ombrix::web
