#include "dialogos.h"

#include <cstdio>

namespace ombrix {

namespace {
DialogosConsola consola;
Dialogos* instalado = nullptr;
} // namespace

Dialogos& dialogos() { return instalado ? *instalado : consola; }

void instalarDialogos(Dialogos* d) { instalado = d; }

void Dialogos::aviso(const QString& titulo, const QString& texto)
{
    std::fprintf(stderr, "%s%s%s\n", qPrintable(titulo), titulo.isEmpty() ? "" : ": ", qPrintable(texto));
}

bool preguntar(const QString& texto, const QString& titulo)
{
    return dialogos().mensaje(titulo, texto, Icono::Pregunta, Botones::SiNo) == Respuesta::Si;
}

void avisar(const QString& texto, const QString& titulo)
{
    dialogos().mensaje(titulo, texto, Icono::Ninguno, Botones::Ok);
}

void mostrarError(const std::exception& e)
{
    dialogos().mensaje(QString(), QString::fromUtf8(e.what()), Icono::Ninguno, Botones::Ok);
}

Respuesta DialogosConsola::mensaje(const QString& titulo, const QString& texto, Icono, Botones botones)
{
    std::fprintf(stderr, "%s%s%s\n", qPrintable(titulo), titulo.isEmpty() ? "" : ": ", qPrintable(texto));
    switch (botones) {
    case Botones::SiNo: return Respuesta::No;
    case Botones::OkCancelar: return Respuesta::Cancelar;
    case Botones::Ok: break;
    }
    return Respuesta::Ok;
}

bool DialogosConsola::entrada(const QString& titulo, const QString& indicacion, QString&)
{
    std::fprintf(stderr, "%s: %s (no answer without a screen)\n", qPrintable(titulo), qPrintable(indicacion));
    return false;
}

} // namespace ombrix
