#include "aplicacion.h"

#include "config/dialogos.h"

namespace ombrix {

Aplicacion::Aplicacion(int& argc, char** argv) : QApplication(argc, argv)
{
    // No display name: with one, the toolkit appends it to every window's and
    // every box's caption, and the captions are the program's own.
    setApplicationName(QStringLiteral("Ombrix"));
}

bool Aplicacion::notify(QObject* receptor, QEvent* evento)
{
    try {
        return QApplication::notify(receptor, evento);
    } catch (const std::exception& e) {
        mostrarError(e);
    } catch (...) {
        mostrarError(std::runtime_error("Error"));
    }
    return false;
}

} // namespace ombrix
