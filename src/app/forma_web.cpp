#include "app/forma_web.h"

#include "app/pagina_ajustes.h"
#include "config/dialogos.h"
#include "config/modelo.h"
#include "config/perfil.h"
#include "integration/integraciones.h"
#include "web/clave_web.h"
#include "web/servidor_web.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>

namespace ombrix {

TFormaWeb::TFormaWeb(Modelo& modelo, Integraciones& integraciones, QWidget* parent)
    : QDialog(parent), modelo_(modelo), integraciones_(integraciones)
{
    setWindowTitle(QStringLiteral("Vista web"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    casillaServir = new QCheckBox(QStringLiteral("Servir la vista web de la línea (solo lectura)"), this);
    editorDireccion = new QLineEdit(this);
    editorDireccion->setPlaceholderText(QStringLiteral("127.0.0.1 (solo este equipo)"));
    editorPuerto = new QSpinBox(this);
    editorPuerto->setRange(1, 65535);
    editorUsuario = new QLineEdit(this);
    editorUsuario->setPlaceholderText(QStringLiteral("vacío: sin usuario ni clave"));
    editorClave = new QLineEdit(this);
    editorClave->setEchoMode(QLineEdit::Password);
    editorClientes = new QSpinBox(this);
    editorClientes->setRange(1, 1000);
    editorClientes->setSuffix(QStringLiteral(" conexiones"));
    editorPeticiones = new QSpinBox(this);
    editorPeticiones->setRange(10, 100000);
    editorPeticiones->setSuffix(QStringLiteral(" por minuto y equipo"));
    etiquetaDireccion = new QLabel(this);
    etiquetaDireccion->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* formulario = new QFormLayout;
    formulario->addRow(QStringLiteral("Dirección:"), editorDireccion);
    formulario->addRow(QStringLiteral("Puerto:"), editorPuerto);
    formulario->addRow(QStringLiteral("Usuario:"), editorUsuario);
    formulario->addRow(QStringLiteral("Clave:"), editorClave);
    formulario->addRow(QStringLiteral("Clientes a la vez:"), editorClientes);
    formulario->addRow(QStringLiteral("Peticiones:"), editorPeticiones);
    armarPaginaAjustes(*this, casillaServir, formulario, etiquetaDireccion, botonAceptar, botonCancelar,
                       [this] { return botonAceptarClick(); });
    FormShow();
}

void TFormaWeb::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    FormShow();
}

void TFormaWeb::FormShow()
{
    const AjustesWeb a = leerAjustesWeb(Perfil(modelo_.RutaIni));
    casillaServir->setChecked(a.activo);
    editorDireccion->setText(a.direccion);
    editorPuerto->setValue(a.puerto);
    editorUsuario->setText(a.usuario);
    claveGuardada_ = a.clave;
    editorClave->clear();
    editorClave->setPlaceholderText(web::esResumenClave(a.clave) ? QStringLiteral("sin cambios") : QString());
    editorClientes->setValue(a.clientes);
    editorPeticiones->setValue(a.peticiones);
    etiquetaDireccion->setText(a.activo ? QStringLiteral("La página está en http://%1:%2/").arg(a.direccionEfectiva()).arg(a.puerto)
                                        : QStringLiteral("La vista web está apagada."));
}

AjustesWeb TFormaWeb::ajustes() const
{
    AjustesWeb a;
    a.activo = casillaServir->isChecked();
    a.direccion = editorDireccion->text().trimmed();
    a.puerto = editorPuerto->value();
    a.usuario = editorUsuario->text().trimmed();
    a.clave = a.usuario.isEmpty() ? QString()
              : editorClave->text().isEmpty() ? claveGuardada_
                                              : web::resumenClave(editorClave->text());
    a.clientes = editorClientes->value();
    a.peticiones = editorPeticiones->value();
    return a;
}

bool TFormaWeb::botonAceptarClick()
{
    const AjustesWeb a = ajustes();
    auto error = [](const QString& m) {
        dialogos().mensaje(kTituloError, m, Icono::Error);
        return false;
    };
    if (!a.direccion.isEmpty() && QHostAddress(a.direccion).isNull())
        return error(QStringLiteral("La dirección debe ser una dirección IP de este equipo (127.0.0.1, 0.0.0.0...)."));
    if (!a.usuario.isEmpty() && !web::esResumenClave(a.clave))
        return error(QStringLiteral("Escriba la clave del usuario %1.").arg(a.usuario));
    if (const QString problema = integraciones_.configurarWeb(a); !problema.isEmpty())
        return error(problema + QLatin1Char('.'));
    try {
        Perfil perfil(modelo_.RutaIni);
        escribirAjustesWeb(perfil, a);
        perfil.guardar();
    } catch (const std::exception& e) {
        mostrarError(e);
        return false;
    }
    return true;
}

} // namespace ombrix
