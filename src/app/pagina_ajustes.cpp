#include "app/pagina_ajustes.h"

#include <QCheckBox>
#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace ombrix {

void armarPaginaAjustes(QDialog& d, QCheckBox* casilla, QFormLayout* formulario, QWidget* debajo,
                        QPushButton*& botonAceptar, QPushButton*& botonCancelar, std::function<bool()> aceptar)
{
    botonAceptar = new QPushButton(d.style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("&Aceptar"), &d);
    botonCancelar = new QPushButton(d.style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("&Cancelar"), &d);
    botonAceptar->setDefault(true);
    auto* botones = new QHBoxLayout;
    botones->addStretch();
    botones->addWidget(botonAceptar);
    botones->addWidget(botonCancelar);
    auto* capa = new QVBoxLayout(&d);
    capa->addWidget(casilla);
    capa->addLayout(formulario);
    if (debajo)
        capa->addWidget(debajo);
    capa->addSpacing(8);
    capa->addLayout(botones);
    QDialog* dialogo = &d;
    QObject::connect(botonAceptar, &QPushButton::clicked, dialogo, [dialogo, aceptar = std::move(aceptar)] {
        if (aceptar())
            dialogo->accept();
    });
    QObject::connect(botonCancelar, &QPushButton::clicked, dialogo, &QDialog::reject);
}

} // namespace ombrix
