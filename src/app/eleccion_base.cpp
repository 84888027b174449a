#include "eleccion_base.h"

#include "abre_archivos.h"
#include "centrar.h"
#include "config/dialogos.h"
#include "config/rutas.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QVBoxLayout>

namespace ombrix {

const QString TFormaEleccionBase::kMasArchivos = QStringLiteral("<Mas archivos>");

QStringList leerListaBases(const QString& ruta)
{
    QFile f(ruta);
    if (!f.open(QIODevice::ReadOnly))
        return {TFormaEleccionBase::kMasArchivos};
    QStringList lista;
    const QByteArray datos = f.readAll();
    for (QByteArray linea : datos.split('\n')) {
        if (linea.endsWith('\r'))
            linea.chop(1);
        if (!linea.isEmpty())
            lista << QString::fromUtf8(linea);
    }
    // The first entry always stands for browsing.
    if (lista.isEmpty() || lista.first() != TFormaEleccionBase::kMasArchivos) {
        lista.removeAll(TFormaEleccionBase::kMasArchivos);
        lista.prepend(TFormaEleccionBase::kMasArchivos);
    }
    return lista;
}

bool escribirListaBases(const QString& ruta, const QStringList& lista)
{
    QSaveFile f(ruta);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    for (const QString& s : lista)
        f.write(s.toUtf8() + "\r\n");
    return f.commit();
}

TFormaEleccionBase::TFormaEleccionBase(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("FormaEleccionBase"));
    setWindowTitle(QStringLiteral("Elección de la base de datos"));
    setModal(true);

    marcoBases = new QGroupBox(QStringLiteral("Abrir y cargar base de datos:"), this);
    RadioNueva = new QRadioButton(QStringLiteral("Base de datos nueva"), marcoBases);
    RadioExistente = new QRadioButton(QStringLiteral("Base de datos existente"), marcoBases);
    RadioExistente->setChecked(true);
    listaBases = new QListWidget(marcoBases);
    listaBases->setMinimumSize(420, 160);
    auto* g = new QVBoxLayout(marcoBases);
    g->addWidget(RadioNueva);
    g->addWidget(RadioExistente);
    g->addWidget(listaBases);
    // Read only, beside the program or service that records into it.
    casillaConsulta = new QCheckBox(QStringLiteral("Abrir para consulta"), marcoBases);
    casillaConsulta->setObjectName(QStringLiteral("casillaConsulta"));
    g->addWidget(casillaConsulta);

    BotonAceptar = new QPushButton(QStringLiteral("&Aceptar"), this);
    BotonAceptar->setDefault(true);
    BotonCancelar = new QPushButton(QStringLiteral("&Cancelar"), this);
    BotonLimpiar = new QPushButton(QStringLiteral("Limpiar lista"), this);
    BotonLimpiar->setToolTip(QStringLiteral("Este botón borra toda la lista de bases. NO BORRA LAS BASES!!!!!"));
    auto* botones = new QHBoxLayout;
    botones->addWidget(BotonLimpiar);
    botones->addStretch();
    botones->addWidget(BotonAceptar);
    botones->addWidget(BotonCancelar);
    auto* capa = new QVBoxLayout(this);
    capa->addWidget(marcoBases);
    capa->addLayout(botones);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connect(RadioNueva, &QRadioButton::clicked, this, &TFormaEleccionBase::RadioNuevaClick);
    connect(RadioExistente, &QRadioButton::clicked, this, &TFormaEleccionBase::RadioExistenteClick);
    connect(listaBases, &QListWidget::itemDoubleClicked, this, &TFormaEleccionBase::listaBasesDblClick);
    connect(BotonLimpiar, &QPushButton::clicked, this, &TFormaEleccionBase::BotonLimpiarClick);
    connect(BotonAceptar, &QPushButton::clicked, this, [this] {
        if (BotonAceptarClick())
            accept();
    });
    connect(BotonCancelar, &QPushButton::clicked, this, &TFormaEleccionBase::BotonCancelarClick);

    examinar = [this](bool nueva) {
        TFormaAbreBases abre(this);
        abre.Nueva = nueva;
        // Only OK gives a database; Escape and the close box give none.
        return abre.exec() == QDialog::Accepted ? abre.BaseElegida : QString();
    };
}

void TFormaEleccionBase::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    centrarEnPantalla(this);
    FormActivate();
}

void TFormaEleccionBase::FormActivate()
{
    listaBases->clear();
    listaBases->addItems(leerListaBases(rutaListaBases()));
    listaBases->setCurrentRow(0);
}

void TFormaEleccionBase::RadioNuevaClick()
{
    if (RadioNueva->isChecked())
        listaBases->setCurrentRow(0);
    listaBases->setEnabled(false);
    casillaConsulta->setChecked(false);
    casillaConsulta->setEnabled(false);
}

void TFormaEleccionBase::RadioExistenteClick()
{
    listaBases->setEnabled(true);
    casillaConsulta->setEnabled(true);
}

void TFormaEleccionBase::listaBasesDblClick()
{
    if (BotonAceptarClick())
        accept();
}

void TFormaEleccionBase::BotonLimpiarClick()
{
    if (dialogos().mensaje(QStringLiteral("ATENCION!!"),
                           QStringLiteral("¿Está seguro de limpiar la lista de últimos programas?"),
                           Icono::Pregunta, Botones::SiNo) != Respuesta::Si)
        return;
    listaBases->clear();
    listaBases->addItem(kMasArchivos);
    listaBases->setCurrentRow(0);
}

bool TFormaEleccionBase::BotonAceptarClick()
{
    QString elegida;
    const int fila = listaBases->currentRow();
    if (fila > 0) {
        elegida = listaBases->item(fila)->text();
    } else {
        elegida = examinar ? examinar(RadioNueva->isChecked()) : QString();
        // Browsing gave nothing: the choice, the list and its file stay as they were.
        if (elegida.isEmpty())
            return false;
        bool yaEsta = false;
        for (int i = 0; i < listaBases->count(); ++i)
            if (listaBases->item(i)->text().compare(elegida, Qt::CaseInsensitive) == 0)
                yaEsta = true;
        // Only databases kept in a data folder are remembered.
        if (!yaEsta && elegida.toUpper().contains(QStringLiteral("RIVARIV")))
            listaBases->addItem(elegida);
    }
    RutaBase = elegida;
    SoloConsulta = casillaConsulta->isChecked() && !RadioNueva->isChecked();
    QStringList lista;
    for (int i = 0; i < listaBases->count(); ++i)
        lista << listaBases->item(i)->text();
    // The database is used all the same; only the list is not kept.
    if (!escribirListaBases(rutaListaBases(), lista))
        dialogos().mensaje(kTituloError,
                           QStringLiteral("No se pudo guardar la lista de bases de datos en ")
                               + QDir::toNativeSeparators(rutaListaBases()) + QStringLiteral(". La lista queda como estaba."),
                           Icono::Error, Botones::Ok);
    return true;
}

void TFormaEleccionBase::BotonCancelarClick()
{
    RutaBase.clear();
    PidioTerminar = true;
    QDialog::reject();
}

void TFormaEleccionBase::reject()
{
    // Escape has the effect of the cancel button: the dialog has no close button.
    BotonCancelarClick();
}

void TFormaEleccionBase::closeEvent(QCloseEvent* e)
{
    if (result() == QDialog::Accepted || PidioTerminar)
        e->accept();
    else
        e->ignore();
}

} // namespace ombrix
