#pragma once
// The command buttons of the views' tool bars.

#include <QString>
#include <QStyle>

class QToolBar;
class QToolButton;

namespace ombrix {

// A button named `nombre` at the end of `barra`, with the style's standard
// icon and its caption under or beside it; each window gives it its size.
QToolButton* botonBarra(QToolBar* barra, const QString& texto, QStyle::StandardPixmap icono, const QString& nombre,
                        Qt::ToolButtonStyle estilo);

// Why "Borrar Tabla" is off when the settings make the tables read-only.
inline const QString kBorrarSoloLectura = QStringLiteral(
    "Las tablas se abren sólo para lectura (TableReadOnly=1 en la sección [General] de Ombrix.ini): "
    "no se pueden borrar.");

} // namespace ombrix
