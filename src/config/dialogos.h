#pragma once
// Every message box and input box of the program goes through this interface.
// The program installs a widget implementation; tests install one that answers
// from a script; the headless tools install one that prints to stderr.

#include <QString>
#include <QStringList>
#include <stdexcept>

namespace ombrix {

enum class Icono { Ninguno, Pregunta, Error, Advertencia, Informacion };
enum class Botones { Ok, SiNo, OkCancelar };
enum class Respuesta { Ok, Cancelar, Si, No };

class Dialogos {
public:
    virtual ~Dialogos() = default;
    // A message box. Returns the button the user pressed.
    virtual Respuesta mensaje(const QString& titulo, const QString& texto,
                              Icono icono = Icono::Ninguno, Botones botones = Botones::Ok) = 0;
    // An input box. Returns false when cancelled; `texto` holds the initial text
    // on entry and the answer on return.
    virtual bool entrada(const QString& titulo, const QString& indicacion, QString& texto) = 0;
    // A notice that must not stop the caller (polling goes on behind it).
    virtual void aviso(const QString& titulo, const QString& texto);
};

// The installed implementation (never null: a console one until another is installed).
Dialogos& dialogos();
// Installs `d` (not owned); nullptr restores the console implementation.
void instalarDialogos(Dialogos* d);

// Shortcuts for the fixed captions the program uses.
inline const QString kTituloPregunta = QStringLiteral("ATENCION: PREGUNTA!!!");
inline const QString kTituloError = QStringLiteral("ATENCION: ERROR!!!");
bool preguntar(const QString& texto, const QString& titulo = kTituloPregunta);
void avisar(const QString& texto, const QString& titulo = QString());

// Error raised by operations that stop with a message for the user (a failed
// settings write, a database error). The application-wide handler shows it.
class Error : public std::runtime_error {
public:
    explicit Error(const QString& mensaje) : std::runtime_error(mensaje.toStdString()) {}
    QString mensaje() const { return QString::fromStdString(what()); }
};

// The application-wide handler: shows the error's message in a plain box.
void mostrarError(const std::exception& e);

// Prints every box to stderr and answers with the default button.
class DialogosConsola : public Dialogos {
public:
    Respuesta mensaje(const QString& titulo, const QString& texto, Icono icono, Botones botones) override;
    bool entrada(const QString& titulo, const QString& indicacion, QString& texto) override;
};

} // namespace ombrix
