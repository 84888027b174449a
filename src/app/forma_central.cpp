#include "app/forma_central.h"

#include "central/servidor_central.h"
#include "app/pagina_ajustes.h"
#include "config/dialogos.h"
#include "config/modelo.h"
#include "config/perfil.h"
#include "integration/integraciones.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QSysInfo>
#include <QVBoxLayout>

namespace ombrix {

TFormaCentral::TFormaCentral(Modelo& modelo, Integraciones& integraciones, QWidget* parent)
    : QDialog(parent), modelo_(modelo), integraciones_(integraciones)
{
    setWindowTitle(QStringLiteral("Base de datos central"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    casillaEnviar = new QCheckBox(QStringLiteral("Enviar cada fila registrada a la base central PostgreSQL"), this);
    editorUrl = new QLineEdit(this);
    editorUrl->setPlaceholderText(QStringLiteral("postgresql://usuario@servidor[:puerto]/base"));
    editorLinea = new QLineEdit(this);
    editorClave = new QLineEdit(this);
    editorClave->setEchoMode(QLineEdit::Password);
    editorClave->setPlaceholderText(QStringLiteral("vacía: PGPASSWORD o PGPASSFILE"));

    auto* formulario = new QFormLayout;
    formulario->addRow(QStringLiteral("Servidor:"), editorUrl);
    formulario->addRow(QStringLiteral("Nombre de la línea:"), editorLinea);
    formulario->addRow(QStringLiteral("Clave:"), editorClave);
    armarPaginaAjustes(*this, casillaEnviar, formulario, nullptr, botonAceptar, botonCancelar,
                       [this] { return botonAceptarClick(); });
    FormShow();
}

void TFormaCentral::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    FormShow();
}

void TFormaCentral::FormShow()
{
    const AjustesCentral a = leerAjustesCentral(Perfil(modelo_.RutaIni));
    casillaEnviar->setChecked(a.activo);
    editorUrl->setText(a.url);
    editorLinea->setText(a.linea);
    editorLinea->setPlaceholderText(lineaPorDefecto(QSysInfo::machineHostName(), modelo_.Config.Puerto));
    editorClave->setText(a.clave);
}

AjustesCentral TFormaCentral::ajustes() const
{
    AjustesCentral a;
    a.activo = casillaEnviar->isChecked();
    a.url = editorUrl->text().trimmed();
    a.linea = editorLinea->text().trimmed();
    a.clave = editorClave->text();
    return a;
}

bool TFormaCentral::botonAceptarClick()
{
    const AjustesCentral a = ajustes();
    if (a.activo) {
        QString problema = central::problemaDeUrl(a.url);
        if (problema.isEmpty() && !a.linea.isEmpty())
            problema = problemaDeLinea(a.linea);
        if (!problema.isEmpty()) {
            dialogos().mensaje(kTituloError, QStringLiteral("No se puede enviar: ") + problema + QLatin1Char('.'),
                               Icono::Error);
            return false;
        }
    }
    try {
        Perfil perfil(modelo_.RutaIni);
        escribirAjustesCentral(perfil, a);
        perfil.guardar();
    } catch (const std::exception& e) {
        mostrarError(e);
        return false;
    }
    integraciones_.configurarCentral(a);
    return true;
}

} // namespace ombrix
