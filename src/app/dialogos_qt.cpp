#include "dialogos_qt.h"

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace ombrix {

Respuesta DialogosQt::mensaje(const QString& titulo, const QString& texto, Icono icono, Botones botones)
{
    QMessageBox caja(QApplication::activeWindow());
    // A box without a caption of its own carries the program's name.
    caja.setWindowTitle(titulo.isEmpty() ? QApplication::applicationName() : titulo);
    caja.setText(texto);
    switch (icono) {
    case Icono::Ninguno: caja.setIcon(QMessageBox::NoIcon); break;
    case Icono::Pregunta: caja.setIcon(QMessageBox::Question); break;
    case Icono::Error: caja.setIcon(QMessageBox::Critical); break;
    case Icono::Advertencia: caja.setIcon(QMessageBox::Warning); break;
    case Icono::Informacion: caja.setIcon(QMessageBox::Information); break;
    }
    switch (botones) {
    case Botones::Ok: caja.setStandardButtons(QMessageBox::Ok); break;
    case Botones::SiNo:
        caja.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        caja.button(QMessageBox::Yes)->setText(QStringLiteral("&Sí"));
        caja.button(QMessageBox::No)->setText(QStringLiteral("&No"));
        break;
    case Botones::OkCancelar:
        caja.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        caja.button(QMessageBox::Cancel)->setText(QStringLiteral("&Cancelar"));
        break;
    }
    caja.setWindowModality(Qt::ApplicationModal);
    switch (caja.exec()) {
    case QMessageBox::Yes: return Respuesta::Si;
    case QMessageBox::No: return Respuesta::No;
    case QMessageBox::Cancel: return Respuesta::Cancelar;
    default: return botones == Botones::SiNo ? Respuesta::No : Respuesta::Ok;
    }
}

bool DialogosQt::entrada(const QString& titulo, const QString& indicacion, QString& texto)
{
    QInputDialog caja(QApplication::activeWindow());
    caja.setWindowTitle(titulo);
    caja.setLabelText(indicacion);
    caja.setInputMode(QInputDialog::TextInput);
    caja.setTextValue(texto);
    caja.setOkButtonText(QStringLiteral("&Aceptar"));
    caja.setCancelButtonText(QStringLiteral("&Cancelar"));
    caja.setWindowModality(Qt::ApplicationModal);
    if (caja.exec() != QDialog::Accepted)
        return false;
    texto = caja.textValue();
    return true;
}

void DialogosQt::aviso(const QString& titulo, const QString& texto)
{
    auto* caja = new QMessageBox(QMessageBox::Warning, titulo.isEmpty() ? QApplication::applicationName() : titulo, texto,
                                 QMessageBox::Ok, QApplication::activeWindow());
    caja->setAttribute(Qt::WA_DeleteOnClose);
    caja->setWindowModality(Qt::NonModal);
    caja->show();
}

} // namespace ombrix
