#pragma once
// The program's message and input boxes, on the toolkit's dialogs.

#include "config/dialogos.h"

namespace ombrix {

class DialogosQt : public Dialogos {
public:
    Respuesta mensaje(const QString& titulo, const QString& texto, Icono icono, Botones botones) override;
    bool entrada(const QString& titulo, const QString& indicacion, QString& texto) override;
    void aviso(const QString& titulo, const QString& texto) override;
};

} // namespace ombrix
