#include "app/forma_mqtt.h"

#include "app/pagina_ajustes.h"
#include "config/dialogos.h"
#include "config/modelo.h"
#include "config/perfil.h"
#include "integration/integraciones.h"
#include "mqtt/temas.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QSysInfo>
#include <QVBoxLayout>

namespace ombrix {

TFormaMqtt::TFormaMqtt(Modelo& modelo, Integraciones& integraciones, QWidget* parent)
    : QDialog(parent), modelo_(modelo), integraciones_(integraciones)
{
    setWindowTitle(QStringLiteral("Publicación MQTT"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    casillaPublicar = new QCheckBox(QStringLiteral("Publicar las lecturas en el broker MQTT de la planta"), this);
    editorServidor = new QLineEdit(this);
    editorServidor->setPlaceholderText(QStringLiteral("nombre o dirección del broker"));
    editorPuerto = new QSpinBox(this);
    editorPuerto->setRange(0, 65535);
    editorPuerto->setSpecialValueText(QStringLiteral("por defecto (1883, o 8883 con TLS)"));
    editorPrefijo = new QLineEdit(this);
    editorUsuario = new QLineEdit(this);
    editorClave = new QLineEdit(this);
    editorClave->setEchoMode(QLineEdit::Password);
    editorArchivoCA = new QLineEdit(this);
    editorArchivoCA->setPlaceholderText(QStringLiteral("vacío: sin TLS"));
    editorIdCliente = new QLineEdit(this);
    editorIdCliente->setPlaceholderText(QStringLiteral("automático"));
    listaQoS = new QComboBox(this);
    listaQoS->addItems({QStringLiteral("0 (a lo sumo una vez)"), QStringLiteral("1 (al menos una vez)"),
                        QStringLiteral("2 (exactamente una vez)")});
    listaProtocolo = new QComboBox(this);
    listaProtocolo->addItems({QStringLiteral("MQTT 5"), QStringLiteral("MQTT 3.1.1")});
    editorCola = new QSpinBox(this);
    editorCola->setRange(AjustesMqtt::kColaMinima, AjustesMqtt::kColaMaxima);
    editorCola->setSuffix(QStringLiteral(" lecturas"));
    casillaHomeAssistant = new QCheckBox(QStringLiteral("Anunciar los instrumentos a Home Assistant"), this);

    auto* formulario = new QFormLayout;
    formulario->addRow(QStringLiteral("Servidor:"), editorServidor);
    formulario->addRow(QStringLiteral("Puerto:"), editorPuerto);
    formulario->addRow(QStringLiteral("Prefijo de los temas:"), editorPrefijo);
    formulario->addRow(QStringLiteral("Usuario:"), editorUsuario);
    formulario->addRow(QStringLiteral("Clave:"), editorClave);
    formulario->addRow(QStringLiteral("Archivo de CA (TLS):"), editorArchivoCA);
    formulario->addRow(QStringLiteral("Identificador de cliente:"), editorIdCliente);
    formulario->addRow(QStringLiteral("QoS de las lecturas:"), listaQoS);
    formulario->addRow(QStringLiteral("Protocolo:"), listaProtocolo);
    formulario->addRow(QStringLiteral("Cola sin broker:"), editorCola);
    formulario->addRow(QString(), casillaHomeAssistant);
    armarPaginaAjustes(*this, casillaPublicar, formulario, nullptr, botonAceptar, botonCancelar,
                       [this] { return botonAceptarClick(); });
    FormShow();
}

void TFormaMqtt::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    FormShow();
}

void TFormaMqtt::FormShow()
{
    const AjustesMqtt a = leerAjustesMqtt(Perfil(modelo_.RutaIni));
    casillaPublicar->setChecked(a.activo);
    editorServidor->setText(a.servidor);
    editorPuerto->setValue(a.puerto);
    editorPrefijo->setText(a.prefijo);
    editorPrefijo->setPlaceholderText(prefijoPorDefecto(QSysInfo::machineHostName(), modelo_.Config.Puerto));
    editorUsuario->setText(a.usuario);
    editorClave->setText(a.clave);
    editorArchivoCA->setText(a.archivoCA);
    editorIdCliente->setText(a.idCliente);
    listaQoS->setCurrentIndex(a.qos);
    listaProtocolo->setCurrentIndex(a.protocolo == 311 ? 1 : 0);
    editorCola->setValue(a.cola);
    casillaHomeAssistant->setChecked(a.homeAssistant);
}

AjustesMqtt TFormaMqtt::ajustes() const
{
    AjustesMqtt a;
    a.activo = casillaPublicar->isChecked();
    a.servidor = editorServidor->text().trimmed();
    a.puerto = editorPuerto->value();
    a.prefijo = editorPrefijo->text().trimmed();
    a.usuario = editorUsuario->text().trimmed();
    a.clave = editorClave->text();
    a.archivoCA = editorArchivoCA->text().trimmed();
    a.idCliente = editorIdCliente->text().trimmed();
    a.qos = listaQoS->currentIndex();
    a.protocolo = listaProtocolo->currentIndex() == 1 ? 311 : 5;
    a.cola = editorCola->value();
    a.homeAssistant = casillaHomeAssistant->isChecked();
    return a;
}

bool TFormaMqtt::botonAceptarClick()
{
    const AjustesMqtt a = ajustes();
    if (a.activo)
        if (const QString problema = problemaDeAjustesMqtt(a); !problema.isEmpty()) {
            dialogos().mensaje(kTituloError, QStringLiteral("No se puede publicar: ") + problema + QLatin1Char('.'),
                               Icono::Error);
            return false;
        }
    try {
        Perfil perfil(modelo_.RutaIni);
        escribirAjustesMqtt(perfil, a);
        perfil.guardar();
    } catch (const std::exception& e) {
        mostrarError(e);
        return false;
    }
    integraciones_.configurarMqtt(a);
    return true;
}

} // namespace ombrix
