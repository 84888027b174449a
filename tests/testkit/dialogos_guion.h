#pragma once
// Answers every message box and input box from a script, and records what was
// shown, so that no test ever waits on a real dialog.

#include "config/dialogos.h"

#include <QList>
#include <QQueue>
#include <optional>

namespace ombrix::test {

struct Mostrado {
    QString titulo;
    QString texto;
    Icono icono;
    Botones botones;
    bool esEntrada = false;
};

class DialogosGuion : public Dialogos {
public:
    DialogosGuion() { instalarDialogos(this); }
    ~DialogosGuion() override { instalarDialogos(nullptr); }

    // Queued answers for message boxes; when empty the default button answers
    // (Yes for Yes/No, OK otherwise).
    QQueue<Respuesta> respuestas;
    // Queued answers for input boxes; an empty optional cancels.
    QQueue<std::optional<QString>> entradas;

    QList<Mostrado> mostrados;

    Respuesta mensaje(const QString& titulo, const QString& texto, Icono icono, Botones botones) override
    {
        mostrados.append({titulo, texto, icono, botones, false});
        if (!respuestas.isEmpty())
            return respuestas.dequeue();
        return botones == Botones::SiNo ? Respuesta::Si : Respuesta::Ok;
    }

    bool entrada(const QString& titulo, const QString& indicacion, QString& texto) override
    {
        mostrados.append({titulo, indicacion, Icono::Ninguno, Botones::OkCancelar, true});
        if (entradas.isEmpty())
            return false;
        auto r = entradas.dequeue();
        if (!r)
            return false;
        texto = *r;
        return true;
    }

    // Notices that do not block are recorded too, with the OK button.
    void aviso(const QString& titulo, const QString& texto) override
    {
        mostrados.append({titulo, texto, Icono::Advertencia, Botones::Ok, false});
        ++avisos;
    }
    int avisos = 0;

    QStringList textos() const
    {
        QStringList t;
        for (const auto& m : mostrados)
            t << m.texto;
        return t;
    }
};

} // namespace ombrix::test
