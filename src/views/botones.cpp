#include "views/botones.h"

#include <QToolBar>
#include <QToolButton>

namespace ombrix {

QToolButton* botonBarra(QToolBar* barra, const QString& texto, QStyle::StandardPixmap icono, const QString& nombre,
                        Qt::ToolButtonStyle estilo)
{
    auto* b = new QToolButton(barra);
    b->setObjectName(nombre);
    b->setText(texto);
    b->setIcon(barra->style()->standardIcon(icono));
    b->setToolButtonStyle(estilo);
    barra->addWidget(b);
    return b;
}

} // namespace ombrix
