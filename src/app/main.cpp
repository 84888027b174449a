#include "aplicacion.h"
#include "dialogos_qt.h"
#include "main_form.h"

#include <QGuiApplication>
#include <QScreen>

int main(int argc, char** argv)
{
    ombrix::Aplicacion app(argc, argv);
    ombrix::DialogosQt dialogos;
    ombrix::instalarDialogos(&dialogos);

    ombrix::TMainForm principal;
    const bool seguir = principal.arrancar();
    int codigo = 0;
    if (seguir) {
        // Maximised also where no window manager does it.
        if (const QScreen* pantalla = QGuiApplication::primaryScreen())
            principal.setGeometry(pantalla->availableGeometry());
        principal.showMaximized();
        principal.alMostrarse();
        codigo = app.exec();
    }
    ombrix::instalarDialogos(nullptr);
    return codigo;
}
