#pragma once
// The application object: its handler of errors that no window handles shows the
// error's message in a plain box and lets the program go on.

#include <QApplication>
#include <QIcon>

namespace ombrix {

class Aplicacion : public QApplication {
    Q_OBJECT
public:
    Aplicacion(int& argc, char** argv);
    bool notify(QObject* receptor, QEvent* evento) override;

    // Asks the program to end as soon as control returns to the message loop.
    void Terminate() { terminando_ = true; quit(); }
    bool terminando() const { return terminando_; }

private:
    bool terminando_ = false;
};

// Installs the toolkit's own Spanish texts (standard dialogs and buttons:
// colour, font and file dialogs, "Guardar", "Cancelar"...) from the Qt
// translations installed on the system. False when they are not installed.
bool cargarTraduccionesQt(QCoreApplication& app);

// The program's icon ("88" on a dark rounded square), for every window.
QIcon iconoPrograma();

} // namespace ombrix
