#pragma once
// The web view's password as the settings keep it: never the password, a
// salted PBKDF2-HMAC-SHA256 of it, "pbkdf2-sha256$<iterations>$<salt>$<hash>"
// (salt and hash in base64).

#include <QString>

namespace ombrix::web {

// A new salted hash of `clave`.
QString resumenClave(const QString& clave);
// Whether `clave` is the password `resumen` was made from (false for a
// malformed `resumen`).
bool claveCorrecta(const QString& clave, const QString& resumen);
// Whether `resumen` has the form above (a plain password does not).
bool esResumenClave(const QString& resumen);

} // namespace ombrix::web
