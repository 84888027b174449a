#pragma once
// Dialogs of the start-up appear in the middle of the screen.

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace ombrix {

inline void centrarEnPantalla(QWidget* w)
{
    if (const QScreen* pantalla = QGuiApplication::primaryScreen())
        w->move(pantalla->availableGeometry().center() - w->rect().center());
}

} // namespace ombrix
