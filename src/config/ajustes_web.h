#pragma once
// The settings of the read-only web view of the line: section "Web" of the
// settings file. A file without the section leaves the view off.

#include <QString>

namespace ombrix {

class Perfil;

struct AjustesWeb {
    static constexpr int kPuertoPorDefecto = 8080;
    static constexpr int kClientesPorDefecto = 200;   // a live page and a few kept connections each
    static constexpr int kPeticionesPorDefecto = 600;

    bool activo = false;          // "Activo"
    QString direccion;            // "Direccion": the address listened on; empty: 127.0.0.1
    int puerto = kPuertoPorDefecto;   // "Puerto"
    QString usuario;              // "Usuario": empty, no password is asked
    QString clave;                // "Clave": the password's salted hash (never the password itself)
    int clientes = kClientesPorDefecto;        // "Clientes": connections at once, at most
    int peticiones = kPeticionesPorDefecto;    // "PeticionesPorMinuto": per client address

    QString direccionEfectiva() const { return direccion.trimmed().isEmpty() ? QStringLiteral("127.0.0.1") : direccion.trimmed(); }

    bool operator==(const AjustesWeb&) const = default;
};

QString seccionWeb();

// Reads the section; missing or invalid values take their defaults.
AjustesWeb leerAjustesWeb(const Perfil& perfil);
// Writes every key of the section.
void escribirAjustesWeb(Perfil& perfil, const AjustesWeb& ajustes);

} // namespace ombrix
