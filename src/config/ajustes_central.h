#pragma once
// The settings of the forwarder to the plant's central PostgreSQL database:
// section "Central" of the settings file. A file without the section leaves
// forwarding off.

#include <QString>

namespace ombrix {

class Perfil;

struct AjustesCentral {
    bool activo = false;   // "Activo"
    QString url;           // "Url": postgresql://usuario@servidor[:puerto]/base (no password in it)
    QString linea;         // "Linea": this line's name on the server; empty: "<computer>-<port name>"
    QString clave;         // "Clave"; else OMBRIX_CENTRAL_CLAVE, PGPASSWORD or the PGPASSFILE file

    bool operator==(const AjustesCentral&) const = default;
};

// The section's name in the settings file.
QString seccionCentral();

AjustesCentral leerAjustesCentral(const Perfil& perfil);
// The password to give the server: OMBRIX_CENTRAL_CLAVE when set, else the
// settings' (empty leaves it to libpq: PGPASSWORD, PGPASSFILE).
QString claveCentral(const AjustesCentral& ajustes);
void escribirAjustesCentral(Perfil& perfil, const AjustesCentral& ajustes);

// What is wrong with a line name, or nothing. A name is 1 to 40 letters,
// digits, "_", "-" or ".", beginning with a letter or digit.
QString problemaDeLinea(const QString& linea);
// The line name used when the settings give none: the computer and the
// port, with every other character turned into "-".
QString lineaPorDefecto(const QString& equipo, const QString& puerto);

} // namespace ombrix
