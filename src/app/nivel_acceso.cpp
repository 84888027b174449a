#include "nivel_acceso.h"

#include "config/dialogos.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

namespace ombrix {

TNiveldeacceso1::TNiveldeacceso1(Tconfig& config, QWidget* parent) : QDialog(parent), config_(config)
{
    setWindowTitle(QStringLiteral("Nivel de Acceso"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    listaNiveles = new QComboBox(this);
    listaNiveles->setEditable(true);
    listaNiveles->addItems({QStringLiteral("Operador"), QStringLiteral("Avanzado"), QStringLiteral("Ingenieria")});
    editorContrasena = new QLineEdit(this);
    editorContrasena->setEchoMode(QLineEdit::Password);
    botonCambiarContrasena = new QPushButton(QStringLiteral("Cambiar contraseña"), this);
    botonAceptar = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("&Aceptar"), this);
    botonCancelar = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("&Cancelar"), this);
    botonAceptar->setDefault(true);

    auto* rejilla = new QGridLayout;
    rejilla->addWidget(new QLabel(QStringLiteral("Nivel:"), this), 0, 0);
    rejilla->addWidget(listaNiveles, 0, 1);
    rejilla->addWidget(new QLabel(QStringLiteral("Contraseña:"), this), 1, 0);
    rejilla->addWidget(editorContrasena, 1, 1);
    rejilla->addWidget(botonCambiarContrasena, 2, 1, Qt::AlignRight);
    auto* botones = new QHBoxLayout;
    botones->addStretch();
    botones->addWidget(botonAceptar);
    botones->addWidget(botonCancelar);
    auto* capa = new QVBoxLayout(this);
    capa->addLayout(rejilla);
    capa->addLayout(botones);
    capa->setSizeConstraint(QLayout::SetFixedSize);

    connect(listaNiveles, &QComboBox::currentIndexChanged, this, [this] { listaNivelesChange(); });
    connect(listaNiveles, &QComboBox::editTextChanged, this, [this] { listaNivelesChange(); });
    connect(botonCambiarContrasena, &QPushButton::clicked, this, &TNiveldeacceso1::botonCambiarContrasenaClick);
    connect(botonAceptar, &QPushButton::clicked, this, [this] {
        botonAceptarClick();
        accept();
    });
    connect(botonCancelar, &QPushButton::clicked, this, &QDialog::reject);
    FormCreate();
}

void TNiveldeacceso1::FormCreate()
{
    listaNiveles->setCurrentIndex(0);
    listaNivelesChange();
}

namespace {
// The list position the text names; −1 for a text typed that names no level.
int elegido(const QComboBox* lista)
{
    return lista->findText(lista->currentText(), Qt::MatchExactly);
}
} // namespace

void TNiveldeacceso1::listaNivelesChange()
{
    editorContrasena->clear();
    const bool conClave = elegido(listaNiveles) != 0;
    editorContrasena->setVisible(conClave);
    botonCambiarContrasena->setVisible(conClave);
}

void TNiveldeacceso1::botonAceptarClick()
{
    const int i = elegido(listaNiveles);
    const QString clave = editorContrasena->text();
    if (i == 0) {
        config_.Nivel = kNiveles[0];
    } else if (i == 1 && clave == config_.Password_Avanzado) {
        config_.Nivel = kNiveles[1];
    } else if (i == 2 && clave == config_.Password_Ingenieria) {
        config_.Nivel = kNiveles[2];
    } else {
        avisar(QStringLiteral("Contraseña incorrecta"));
        editorContrasena->clear();
    }
}

void TNiveldeacceso1::botonCambiarContrasenaClick()
{
    const int i = elegido(listaNiveles);
    QString* clave = i == 1 ? &config_.Password_Avanzado : i == 2 ? &config_.Password_Ingenieria : nullptr;
    if (!clave || editorContrasena->text() != *clave) {
        avisar(QStringLiteral("Debe ingresar la contraseña actual en el cuadro para poder luego cambiarla"));
        return;
    }
    const QString titulo = i == 1 ? QStringLiteral("Ingrese nueva contraseña para Avanzado")
                                  : QStringLiteral("Ingrese nueva contraseña para Ingenieria");
    QString nueva;
    // A cancelled box keeps the password as it was: an empty one would open
    // the level to anybody.
    if (!dialogos().entrada(titulo, QString(), nueva))
        return;
    *clave = nueva;
    editorContrasena->setText(nueva);
}

} // namespace ombrix
