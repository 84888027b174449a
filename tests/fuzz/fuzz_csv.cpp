// Fuzz target: the quoting of the CSV export. The first byte picks the
// separator; the rest is split at NUL bytes into the fields of one line. Each
// field is written alone (agregarCampoCsv, raw bytes) and the whole line as
// text (agregarLineaCsv); read back the RFC 4180 way, both give the fields
// written (as valid UTF-8, and after an apostrophe when a spreadsheet would
// take them for a formula), and only the fields that need it are quoted.

#include "views/consultas.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

using namespace ombrix;

namespace {

void exigir(bool condicion)
{
    if (!condicion)
        std::abort();
}

// Reads one CSV line (its CRLF included) back into fields; false when the
// text is not well-formed CSV.
bool leerLinea(const QByteArray& texto, char sep, std::vector<std::string>& campos)
{
    if (!texto.endsWith("\r\n"))
        return false;
    const char* linea = texto.constData();
    const qsizetype fin = texto.size() - 2;
    qsizetype i = 0;
    for (;;) {
        std::string campo;
        if (i < fin && linea[i] == '"') {
            ++i;
            for (;;) {
                if (i >= fin)
                    return false;   // the quote never closes
                if (linea[i] == '"') {
                    if (i + 1 < fin && linea[i + 1] == '"') {
                        campo += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                campo += linea[i++];
            }
            if (i < fin && linea[i] != sep)
                return false;       // text after the closing quote
        } else {
            while (i < fin && linea[i] != sep) {
                const char c = linea[i];
                if (c == '"' || c == '\r' || c == '\n')
                    return false;   // should have been quoted
                campo += linea[i++];
            }
        }
        campos.push_back(std::move(campo));
        if (i >= fin)
            return true;
        ++i;                        // the separator
    }
}

bool empiezaFormula(const QByteArray& t)
{
    return !t.isEmpty() && (t[0] == '=' || t[0] == '+' || t[0] == '-' || t[0] == '@' || t[0] == '\t' || t[0] == '\r');
}

bool necesitaComillas(const QByteArray& campo, char sep)
{
    for (const char c : std::as_const(campo))
        if (c == sep || c == '"' || c == '\r' || c == '\n')
            return true;
    return false;
}

// What a field read back must be for `texto` as written: valid UTF-8 of the
// same text, after an apostrophe when it would otherwise run as a formula; a
// field left to begin with a formula character is a number.
bool comoSeEscribio(const std::string& leido, const QByteArray& texto)
{
    const QByteArray limpio = QString::fromUtf8(texto).toUtf8();
    const QByteArray l(leido.data(), qsizetype(leido.size()));
    if (!QByteArrayView(l).isValidUtf8())
        return false;
    if (l == limpio) {
        bool numero = false;
        limpio.toDouble(&numero);
        return !empiezaFormula(limpio) || numero;
    }
    return empiezaFormula(limpio) && l == "'" + limpio;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t largo)
{
    if (largo < 1)
        return 0;
    // The exporter refuses a quote or a line end as separator, and NUL splits the fields here.
    char sep = char(datos[0]);
    if (sep == '"' || sep == '\r' || sep == '\n' || sep == '\0')
        sep = ',';
    const QByteArray resto(reinterpret_cast<const char*>(datos + 1), qsizetype(largo - 1));
    const QList<QByteArray> crudos = resto.split('\0');

    // Field by field, raw bytes.
    QByteArray linea;
    for (qsizetype i = 0; i < crudos.size(); ++i) {
        if (i)
            linea += sep;
        QByteArray solo;
        agregarCampoCsv(solo, crudos[i].constData(), int(crudos[i].size()), sep);
        const QByteArray limpio = QString::fromUtf8(crudos[i]).toUtf8();
        exigir(necesitaComillas(limpio, sep) || empiezaFormula(limpio) ? solo.startsWith('"') || solo == limpio
                                                                        : solo == limpio);
        linea += solo;
    }
    linea += "\r\n";
    std::vector<std::string> leidos;
    exigir(leerLinea(linea, sep, leidos));
    exigir(leidos.size() == size_t(crudos.size()));
    for (size_t i = 0; i < leidos.size(); ++i)
        exigir(comoSeEscribio(leidos[i], crudos[qsizetype(i)]));

    // The whole line, from text as the table holds it.
    QStringList campos;
    for (const QByteArray& c : crudos)
        campos << QString::fromUtf8(c);
    QByteArray texto;
    agregarLineaCsv(texto, campos, sep);
    leidos.clear();
    exigir(leerLinea(texto, sep, leidos));
    exigir(leidos.size() == size_t(campos.size()));
    for (size_t i = 0; i < leidos.size(); ++i)
        exigir(comoSeEscribio(leidos[i], campos[qsizetype(i)].toUtf8()));
    return 0;
}
