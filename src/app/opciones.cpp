#include "opciones.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace ombrix {

TConf_Opciones::TConf_Opciones(Tconfig& config, QWidget* parent) : QDialog(parent), config_(config)
{
    setWindowTitle(QStringLiteral("Opciones"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    casillaPedirPartida = new QCheckBox(QStringLiteral("Pedir nombre de partida"), this);
    casillaPedirPartida->setToolTip(QStringLiteral("Pedir código de partida al presionar el botón \"Adquirir\""));
    casillaMantenerNivel = new QCheckBox(QStringLiteral("Mantener nivel de acceso"), this);
    casillaMantenerNivel->setToolTip(QStringLiteral("Mantener el nivel de acceso al reiniciar el programa"));
    botonAceptar = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("&Aceptar"), this);
    botonCancelar = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("&Cancelar"), this);
    botonAceptar->setDefault(true);

    auto* botones = new QHBoxLayout;
    botones->addStretch();
    botones->addWidget(botonAceptar);
    botones->addWidget(botonCancelar);
    auto* capa = new QVBoxLayout(this);
    capa->addWidget(casillaPedirPartida);
    capa->addWidget(casillaMantenerNivel);
    capa->addSpacing(8);
    capa->addLayout(botones);
    capa->setSizeConstraint(QLayout::SetFixedSize);

    connect(botonAceptar, &QPushButton::clicked, this, [this] {
        botonAceptarClick();
        accept();
    });
    connect(botonCancelar, &QPushButton::clicked, this, &QDialog::reject);
    FormShow();
}

void TConf_Opciones::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    FormShow();
}

void TConf_Opciones::FormShow()
{
    casillaPedirPartida->setChecked(config_.Pedir_Partida);
    casillaMantenerNivel->setChecked(config_.Mantener_Nivel);
}

void TConf_Opciones::botonAceptarClick()
{
    config_.Mantener_Nivel = casillaMantenerNivel->isChecked();
    config_.Pedir_Partida = casillaPedirPartida->isChecked();
}

} // namespace ombrix
