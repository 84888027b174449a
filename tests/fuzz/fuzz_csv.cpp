// Fuzz target: the quoting of the CSV export. The first byte picks the
// separator; the rest is split at NUL bytes into the fields of one line. Each
// field is written alone (agregarCampoCsv, raw bytes) and the whole line as
// text (agregarLineaCsv); read back the RFC 4180 way, both give exactly the
// fields written, and only the fields that need it are quoted.

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

bool igual(const std::string& a, const QByteArray& b)
{
    return a.size() == size_t(b.size()) && std::equal(a.begin(), a.end(), b.constData());
}

bool necesitaComillas(const QByteArray& campo, char sep)
{
    for (const char c : std::as_const(campo))
        if (c == sep || c == '"' || c == '\r' || c == '\n')
            return true;
    return false;
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
        exigir(necesitaComillas(crudos[i], sep) ? solo.startsWith('"') : solo == crudos[i]);
        linea += solo;
    }
    linea += "\r\n";
    std::vector<std::string> leidos;
    exigir(leerLinea(linea, sep, leidos));
    exigir(leidos.size() == size_t(crudos.size()));
    for (size_t i = 0; i < leidos.size(); ++i)
        exigir(igual(leidos[i], crudos[qsizetype(i)]));

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
        exigir(igual(leidos[i], campos[qsizetype(i)].toUtf8()));
    return 0;
}
