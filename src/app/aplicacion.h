#pragma once
// The application object: its handler of errors that no window handles shows the
// error's message in a plain box and lets the program go on.

#include <QApplication>

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

} // namespace ombrix
