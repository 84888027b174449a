#pragma once
// Reader and writer of initialization files in the Windows profile layout:
// "[Section]" lines open a section, "key=value" lines hold values. Section and
// key names compare without regard to letter case; whitespace around names
// and values is dropped on read. The whole file is kept in memory with an
// index, so thousands of reads and writes cost nothing; `guardar` writes the
// file once. Every line the program does not write (comments, blank lines,
// unknown sections and keys, lines that are neither) survives a save unchanged
// and in its place.
//
// Encoding: files are written as UTF-8 without BOM. On read a UTF-8 BOM is
// skipped, and a file that is not valid UTF-8 is taken as Windows-1252, which
// is what older installations wrote. Line endings: CRLF and LF are both read;
// the file is always written with CRLF.

#include <QHash>
#include <QString>
#include <QVector>

namespace ombrix {

class Perfil {
public:
    // Reads `ruta` if it exists; a missing or unreadable file (or an empty
    // path) gives an empty profile, so every read returns its default.
    explicit Perfil(QString ruta);
    // A profile over file bytes already in memory, bound to no file.
    static Perfil deBytes(const QByteArray& bytes);

    const QString& ruta() const { return ruta_; }

    // Longest text a read returns, as the Windows functions do with our buffer.
    static constexpr int kLargoMaximo = 2047;

    QString leerTexto(const QString& seccion, const QString& clave, const QString& porDefecto) const;
    // Decimal with optional sign, or hexadecimal after "0x"/"0X" when the text
    // is longer than two characters (up to 8 hex digits, taken as a 32-bit
    // pattern). Anything else, or a decimal outside int32, gives the default.
    qint32 leerEntero(const QString& seccion, const QString& clave, qint32 porDefecto) const;
    // An integer; non-zero means true. Not an integer gives the default.
    bool leerBool(const QString& seccion, const QString& clave, bool porDefecto) const;
    // "." as decimal separator, optional exponent; empty or invalid text (a
    // comma, thousands separators, inf, nan) gives the default.
    double leerDoble(const QString& seccion, const QString& clave, double porDefecto) const;

    bool existeClave(const QString& seccion, const QString& clave) const;

    // Replaces the key's line in place, or appends it after the last line of
    // its section, or appends the section at the end of the file. Line breaks
    // inside a value are written as spaces (they would split the line).
    void escribirTexto(const QString& seccion, const QString& clave, const QString& valor);
    void escribirEntero(const QString& seccion, const QString& clave, qint32 valor);
    void escribirBool(const QString& seccion, const QString& clave, bool valor);       // "1" / "0"
    void escribirDoble(const QString& seccion, const QString& clave, double valor);     // 500 -> "500", 0.5 -> "0.5"

    // The whole file as it would be written (UTF-8 text, CRLF line endings).
    QByteArray contenido() const;

    // Writes the file through a temporary file in the same folder that then
    // replaces the old one, so a failed write never leaves half a file.
    // Throws ombrix::Error("Unable to write to <ruta>") when the folder does
    // not exist, the file is not writable, or the write fails.
    void guardar() const;

    // Conversions shared with whoever formats values the same way.
    static bool aEntero(const QString& texto, qint32& valor);
    static bool aDoble(const QString& texto, double& valor);
    static QString deDoble(double valor);
    // Decodes file bytes: UTF-8 (with or without BOM) or else Windows-1252.
    static QString decodificar(const QByteArray& bytes);

private:
    struct Linea {
        QString texto;      // the line as it stands in the file, without line end
        QString clave;      // key name as read (trimmed), empty when not a key line
        QString valor;      // trimmed value of a key line
    };
    struct Seccion {
        QString cabecera;               // the "[...]" line; empty for the lines before any section
        QVector<Linea> lineas;
        QHash<QString, int> claves;     // lower-case key -> index in `lineas` (first occurrence)
    };

    const Linea* buscar(const QString& seccion, const QString& clave) const;
    void leerArchivo();
    void analizar(const QByteArray& bytes);
    void agregarLinea(Seccion& s, const QString& texto);

    QString ruta_;
    QVector<Seccion> secciones_;              // [0] holds the lines before the first section
    QHash<QString, int> indiceSecciones_;     // lower-case section name -> index (first occurrence)
};

} // namespace ombrix
