#include "aplicacion.h"
#include "config/rutas.h"
#include "dialogos_qt.h"
#include "main_form.h"
#include "ombrix_version.h"

#include <QGuiApplication>
#include <QScreen>

#include <cstdio>
#include <cstring>

namespace {

// Options answered before any window (or display connection) exists.
bool opcionDeConsola(int argc, char** argv, int* codigo)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("ombrix %s\n", OMBRIX_VERSION);
            *codigo = 0;
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("Uso: ombrix [--version] [--help]\n"
                        "Supervisa y registra los instrumentos de proceso de una línea RS-485.\n"
                        "\n"
                        "La raíz de datos es $OMBRIX_HOME si está definida; si no, la carpeta del\n"
                        "ejecutable cuando contiene RIvariv; si no, $XDG_DATA_HOME/ombrix\n"
                        "(~/.local/share/ombrix).\n"
                        "\n"
                        "Opciones:\n"
                        "  -h, --help   Muestra esta ayuda y termina.\n"
                        "  --version    Muestra la versión y termina.\n"
                        "\n"
                        "Códigos de salida:\n"
                        "  0   terminó bien (se cerró la ventana principal)\n"
                        "  1   falló\n");
            *codigo = 0;
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (int codigo = 0; opcionDeConsola(argc, argv, &codigo))
        return codigo;

    ombrix::Aplicacion app(argc, argv);
    ombrix::DialogosQt dialogos;
    ombrix::instalarDialogos(&dialogos);

    // The first start in a new data root makes its folder and says where.
    const ombrix::RaizPreparada raiz = ombrix::prepararRaizDatos();
    if (const QString aviso = ombrix::avisoRaizPreparada(raiz); !aviso.isEmpty())
        ombrix::dialogos().mensaje(QStringLiteral("Ombrix"), aviso,
                                   raiz.error.isEmpty() ? ombrix::Icono::Informacion : ombrix::Icono::Error);

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
