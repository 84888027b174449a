#include "elegir_equipo.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace ombrix {

TFormaElegir::TFormaElegir(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Equipo"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    Controlador = new QCheckBox(QStringLiteral("Controlador"), this);
    Controlador->setChecked(true);
    Programador = new QCheckBox(QStringLiteral("Programmer"), this);
    botonAceptar = new QPushButton(QStringLiteral("&Aceptar"), this);
    botonCancelar = new QPushButton(QStringLiteral("&Cancelar"), this);
    botonAceptar->setDefault(true);

    auto* botones = new QHBoxLayout;
    botones->addWidget(botonAceptar);
    botones->addWidget(botonCancelar);
    auto* capa = new QVBoxLayout(this);
    capa->addWidget(Controlador);
    capa->addWidget(Programador);
    capa->addLayout(botones);
    capa->setSizeConstraint(QLayout::SetFixedSize);

    connect(Controlador, &QCheckBox::clicked, this, [this] { ProgramadorClick(Controlador); });
    connect(Programador, &QCheckBox::clicked, this, [this] { ProgramadorClick(Programador); });
    connect(botonAceptar, &QPushButton::clicked, this, &QDialog::accept);
    connect(botonCancelar, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormaElegir::ProgramadorClick(QCheckBox* pulsada)
{
    QCheckBox* otra = pulsada == Controlador ? Programador : Controlador;
    if (pulsada->isChecked())
        otra->setChecked(false);
}

quint8 TFormaElegir::tipo() const { return Programador->isChecked() ? 1 : 0; }

} // namespace ombrix
