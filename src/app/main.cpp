#include "aplicacion.h"
#include "dialogos_qt.h"
#include "main_form.h"

#include <QFontDatabase>

int main(int argc, char** argv)
{
    ombrix::Aplicacion app(argc, argv);
    ombrix::DialogosQt dialogos;
    ombrix::instalarDialogos(&dialogos);

    ombrix::TMainForm principal;
    const bool seguir = principal.arrancar();
    int codigo = 0;
    if (seguir) {
        principal.showMaximized();
        codigo = app.exec();
    }
    ombrix::instalarDialogos(nullptr);
    return codigo;
}
