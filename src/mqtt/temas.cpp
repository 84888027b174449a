#include "mqtt/temas.h"

#include "integration/lectura_planta.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace ombrix {

namespace {

// A topic level made of any text: separators and wildcards become "_".
QString nivelSeguro(QString t)
{
    for (QChar& c : t)
        if (c == QLatin1Char('/') || c == QLatin1Char('+') || c == QLatin1Char('#') || c.unicode() < 0x20)
            c = QLatin1Char('_');
    while (t.startsWith(QLatin1Char('$')))
        t.remove(0, 1);
    return t;
}

// Topics are UTF-8 strings of at most 65535 bytes; the prefix leaves room
// for the levels after it.
constexpr int kLargoMaximoPrefijo = 60000;

} // namespace

QString prefijoPorDefecto(const QString& equipo, const QString& puerto)
{
    QString linea = puerto.trimmed();
    if (linea.contains(QLatin1Char('/')))
        linea = QFileInfo(linea).fileName();
    linea = nivelSeguro(linea);
    QString maquina = nivelSeguro(equipo.trimmed());
    return QStringLiteral("ombrix/%1/%2")
        .arg(maquina.isEmpty() ? QStringLiteral("equipo") : maquina, linea.isEmpty() ? QStringLiteral("linea") : linea);
}

QString problemaDePrefijo(const QString& prefijo)
{
    if (prefijo.isEmpty())
        return QStringLiteral("el prefijo de los temas está vacío");
    if (prefijo.contains(QLatin1Char('#')) || prefijo.contains(QLatin1Char('+')))
        return QStringLiteral("el prefijo \"%1\" contiene un comodín (# o +), que no puede ir en un tema donde se publica")
            .arg(prefijo);
    if (prefijo.split(QLatin1Char('/')).contains(QString()))
        return QStringLiteral("el prefijo \"%1\" tiene un nivel vacío (una / al principio, al final o dos seguidas)")
            .arg(prefijo);
    if (prefijo.startsWith(QLatin1Char('$')))
        return QStringLiteral("el prefijo \"%1\" empieza con $, reservado para los temas del propio broker").arg(prefijo);
    for (const QChar c : prefijo)
        if (c.unicode() < 0x20)
            return QStringLiteral("el prefijo contiene caracteres de control");
    if (prefijo.toUtf8().size() > kLargoMaximoPrefijo)
        return QStringLiteral("el prefijo es demasiado largo");
    return {};
}

QString problemaDeAjustesMqtt(const AjustesMqtt& a)
{
    if (a.servidor.trimmed().isEmpty())
        return QStringLiteral("falta el servidor");
    if (!a.prefijo.isEmpty())
        if (QString p = problemaDePrefijo(a.prefijo); !p.isEmpty())
            return p;
    if (!a.archivoCA.isEmpty()) {
        const QFileInfo ca(a.archivoCA);
        if (!ca.isFile() || !ca.isReadable())
            return QStringLiteral("no se puede leer el archivo de CA %1").arg(a.archivoCA);
    }
    return {};
}

QByteArray temaEstado(const QString& prefijo) { return (prefijo + QStringLiteral("/estado")).toUtf8(); }

QByteArray temaLectura(const QString& prefijo, int n)
{
    return (prefijo + QLatin1Char('/') + QString::number(n) + QStringLiteral("/lectura")).toUtf8();
}

QByteArray temaDisponible(const QString& prefijo, int n)
{
    return (prefijo + QLatin1Char('/') + QString::number(n) + QStringLiteral("/disponible")).toUtf8();
}

namespace {
// Home Assistant's ids hold letters, digits, "_" and "-" only.
QString idDescubrimiento(const QString& prefijo, int n)
{
    QString id;
    for (const QChar c : prefijo)
        id += (c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('-') ? c : QLatin1Char('_');
    return id + QLatin1Char('_') + QString::number(n);
}
} // namespace

QByteArray temaDescubrimiento(const QString& prefijo, int n)
{
    return (QStringLiteral("homeassistant/sensor/") + idDescubrimiento(prefijo, n) + QStringLiteral("/valor/config")).toUtf8();
}

QByteArray jsonDescubrimiento(const QString& prefijo, int n, const QString& titulo, const QString& unidad)
{
    const QString id = idDescubrimiento(prefijo, n);
    const QString nombre = titulo.trimmed().isEmpty() ? QStringLiteral("Instrumento %1").arg(n) : titulo.trimmed();
    QJsonObject o;
    o.insert(QStringLiteral("name"), nombre);
    o.insert(QStringLiteral("unique_id"), id + QStringLiteral("_valor"));
    o.insert(QStringLiteral("state_topic"), QString::fromUtf8(temaLectura(prefijo, n)));
    o.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.valor }}"));
    if (!unidad.isEmpty())
        o.insert(QStringLiteral("unit_of_measurement"), unidad);
    o.insert(QStringLiteral("availability_mode"), QStringLiteral("all"));
    o.insert(QStringLiteral("availability"),
             QJsonArray {QJsonObject {{QStringLiteral("topic"), QString::fromUtf8(temaEstado(prefijo))},
                                      {QStringLiteral("payload_available"), QStringLiteral("online")},
                                      {QStringLiteral("payload_not_available"), QStringLiteral("offline")}},
                         QJsonObject {{QStringLiteral("topic"), QString::fromUtf8(temaDisponible(prefijo, n))},
                                      {QStringLiteral("payload_available"), QStringLiteral("1")},
                                      {QStringLiteral("payload_not_available"), QStringLiteral("0")}}});
    o.insert(QStringLiteral("device"), QJsonObject {{QStringLiteral("identifiers"), QJsonArray {id}},
                                                    {QStringLiteral("name"), nombre},
                                                    {QStringLiteral("manufacturer"), QStringLiteral("Ombrix")}});
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray jsonLectura(const LecturaPlanta& l)
{
    return QJsonDocument(objetoJson(l)).toJson(QJsonDocument::Compact);
}

bool aplicarDireccionMqtt(const QString& direccion, AjustesMqtt& a, QString* error)
{
    auto falla = [error](const QString& m) {
        if (error)
            *error = m;
        return false;
    };
    QString resto;
    bool tls = false;
    if (direccion.startsWith(QStringLiteral("mqtt://"))) {
        resto = direccion.mid(7);
    } else if (direccion.startsWith(QStringLiteral("mqtts://"))) {
        resto = direccion.mid(8);
        tls = true;
    } else {
        return falla(QStringLiteral("la dirección del broker debe ser mqtt://[usuario@]servidor[:puerto][/prefijo]: %1")
                         .arg(direccion));
    }
    const qsizetype barra = resto.indexOf(QLatin1Char('/'));
    QString autoridad = barra < 0 ? resto : resto.left(barra);
    const QString prefijo = barra < 0 ? QString() : resto.mid(barra + 1);
    QString usuario;
    if (const qsizetype arroba = autoridad.lastIndexOf(QLatin1Char('@')); arroba >= 0) {
        usuario = autoridad.left(arroba);
        autoridad = autoridad.mid(arroba + 1);
        if (usuario.contains(QLatin1Char(':')))
            return falla(QStringLiteral("la contraseña no se escribe en la línea de órdenes: póngala en la clave \"Clave\" "
                                        "de la sección [MQTT] de los ajustes o en la variable OMBRIX_MQTT_CLAVE"));
        if (usuario.isEmpty())
            return falla(QStringLiteral("falta el usuario antes de la @ en %1").arg(direccion));
    }
    QString servidor = autoridad;
    QString puertoTexto;
    if (autoridad.startsWith(QLatin1Char('['))) {   // [IPv6]:port
        const qsizetype cierre = autoridad.indexOf(QLatin1Char(']'));
        if (cierre < 0)
            return falla(QStringLiteral("falta el ] de la dirección IPv6 en %1").arg(direccion));
        servidor = autoridad.mid(1, cierre - 1);
        const QString tras = autoridad.mid(cierre + 1);
        if (!tras.isEmpty()) {
            if (!tras.startsWith(QLatin1Char(':')))
                return falla(QStringLiteral("dirección del broker no válida: %1").arg(direccion));
            puertoTexto = tras.mid(1);
        }
    } else if (const qsizetype dosPuntos = autoridad.lastIndexOf(QLatin1Char(':')); dosPuntos >= 0) {
        servidor = autoridad.left(dosPuntos);
        puertoTexto = autoridad.mid(dosPuntos + 1);
    }
    if (servidor.isEmpty())
        return falla(QStringLiteral("falta el servidor en %1").arg(direccion));
    int puerto = 0;
    if (!puertoTexto.isNull()) {
        bool ok = false;
        puerto = puertoTexto.toInt(&ok);
        if (!ok || puerto < 1 || puerto > 65535)
            return falla(QStringLiteral("el puerto del broker debe ser un número de 1 a 65535: %1").arg(puertoTexto));
    }
    if (!prefijo.isEmpty())
        if (const QString p = problemaDePrefijo(prefijo); !p.isEmpty())
            return falla(p);
    if (tls && a.archivoCA.isEmpty())
        return falla(QStringLiteral("mqtts:// necesita el archivo de la autoridad certificadora en la clave \"ArchivoCA\" "
                                    "de la sección [MQTT] de los ajustes"));
    if (!tls)
        a.archivoCA.clear();
    a.activo = true;
    a.servidor = servidor;
    a.puerto = puerto;
    if (!usuario.isEmpty())
        a.usuario = usuario;
    if (!prefijo.isEmpty())
        a.prefijo = prefijo;
    return true;
}

} // namespace ombrix
