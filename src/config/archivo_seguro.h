#pragma once
// A file written whole or not at all: the bytes go to a temporary file in the
// target's own folder, which is flushed to disk and then renamed over the
// target. A failure at any step leaves the old file as it was and no fragment
// beside it. Every export, report and image the programs and windows write
// goes through here.

#include <QString>

#include <cstdio>

class QIODevice;
class QFile;

namespace ombrix {

// Why `ruta` cannot be written as a file, or "" when it can: an existing target
// must be a regular file or a link to one (a device, a FIFO, a folder or a
// socket is refused, never replaced).
QString motivoDestinoInvalido(const QString& ruta);

class ArchivoSeguro {
public:
    // "-" is standard output when `salidaEstandar` allows it.
    explicit ArchivoSeguro(QString ruta, bool salidaEstandar = false);
    ~ArchivoSeguro();   // an unconfirmed file is discarded
    ArchivoSeguro(const ArchivoSeguro&) = delete;
    ArchivoSeguro& operator=(const ArchivoSeguro&) = delete;

    // Checks the target and creates the temporary file. False with the reason.
    bool abrir(QString* error = nullptr);
    bool esSalidaEstandar() const { return salidaEstandar_; }

    // What to write through (valid after abrir; one of the two, not both).
    std::FILE* flujo();
    QIODevice* dispositivo();
    // The temporary file's name, for writers that only take a name (the
    // bytes written there by name are what confirmar puts in place).
    QString rutaTemporal() const { return temporal_; }

    // Flushes, syncs and renames the file into place. False with the reason
    // (the target is then untouched and the temporary file gone).
    bool confirmar(QString* error = nullptr);
    void descartar();

private:
    QString ruta_;        // as given
    QString destino_;     // the file replaced (a link's target)
    QString temporal_;
    bool permitirSalida_ = false;
    bool salidaEstandar_ = false;
    int fd_ = -1;
    std::FILE* flujo_ = nullptr;
    QFile* archivo_ = nullptr;
};

} // namespace ombrix
