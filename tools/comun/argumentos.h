#pragma once
// What ombrix-export and ombrix-report share: reading --db, --instrument,
// --combinada, --from and --to, and opening the settings under $OMBRIX_HOME
// and the database as the program opens them. Each tool keeps its own name,
// usage line and options.

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace ombrix {

class BaseDatos;
class Modelo;

// How a tool speaks on stderr.
struct Herramienta {
    const char* nombre;   // "ombrix-export"
    const char* uso;      // the usage line, "uso: ..." and its end of line
    const char* ayuda;    // what --help says after the usage line: what it does, the options

    // "nombre: motivo" and the usage line; returns 2, the exit code of a wrong call.
    int error(const char* motivo) const;
};

struct ArgumentosConsulta {
    QString db;
    QString central, linea;   // --central URL --linea NAME: the line's rows on the central database
    int instrumento = 0;   // 1..20, or 0
    bool combinada = false;
    QString desdeTxt, hastaTxt;
    int desde = 0, hasta = 0;   // yyyymmdd from the two texts, 0 when not given
};

// Takes the argument after the option into `v`; false when there is none.
using LeerValor = std::function<bool(QString& v)>;
// A tool's own option: true when `op` is one of them, with the reason in
// `motivo` when its value is wrong.
using OpcionPropia = std::function<bool(const QString& op, const LeerValor& valor, const char*& motivo)>;

// Reads the command line (without the program's name). Returns the exit code
// when the tool must end now: 0 after --help or --version, 2 after a wrong
// option or value.
std::optional<int> leerArgumentos(const Herramienta& h, const QStringList& args, ArgumentosConsulta& a,
                                  const OpcionPropia& propias);

// The dates of --from and --to; the exit code (2) when one is not a date or
// --from comes after --to.
std::optional<int> leerFechas(const Herramienta& h, ArgumentosConsulta& a);

// The exit code (2) when the output file `salida` is the database itself,
// which a finished output would replace.
std::optional<int> revisarSalida(const Herramienta& h, const ArgumentosConsulta& a, const QString& salida);

// Loads the settings under $OMBRIX_HOME and opens the database `a.db` to read
// it only; it is refused while the program or the recorder holds it. With
// --central the rows the tool reads (instrument a.instrumento, or the combined
// table) are first copied from the server into a temporary file shaped like
// the line's, which `a.db` then names. False after saying why.
bool abrirDatos(const Herramienta& h, Modelo& modelo, BaseDatos& base, ArgumentosConsulta& a);

} // namespace ombrix
