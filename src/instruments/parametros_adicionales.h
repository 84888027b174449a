#pragma once
// The sixteen additional parameters of an instrument (set points, alarm
// values, the RS, IN, DR, AB and ABA pairs and the switches ST1/ST2): where
// the configuration keeps each one, how the "Parámetros adicionales" page
// lays them out, how a typed value becomes the word the instrument stores,
// and the reading and writing of all of them as one piece of work for the
// thread that owns the port. Nothing here needs a window.

#include "config/configuracion.h"
#include "link/modbus.h"

#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

namespace ombrix::parametros {

// In the order of the page (and of the settings file).
enum Parametro : int { SP1, SP2, AL1, AL2, RS1, RS2, IN1, IN2, DR1, DR2, AB1, AB2, ABA1, ABA2, ST1, ST2 };
constexpr int kCantidad = 16;

enum class Clase {
    Numero,       // a number; with its decimal box ticked, in the loop's decimal places
    Entero,       // an integer 0..3000 (IN, DR); with its decimal box ticked, times the loop's factor
    Conmutador,   // a three-way switch: 0 "OFF", 1 "ON", 2 "AUT"; read and written as a coil
};

struct Definicion {
    const char* nombre;   // "SP1"; also the default display name
    int lazo;             // control loop 1 or 2; 0 for the switches
    Clase clase;
    // The parameter's fields in the instrument's configuration. The switches
    // have no decimal box: `decimal` is null for them.
    qint32 Tavanzadas2::*registro;
    QString Tavanzadas2::*nombreConfig;
    bool Tavanzadas2::*decimal;
    bool Tavanzadas2::*habilitado;
};

const Definicion& definicion(int p);

// The order the writes go out in: the numbers, then IN and DR, then the switches.
extern const std::array<Parametro, kCantidad> kOrdenEscritura;

// The range of IN and DR, and the entries of the switch lists.
constexpr int kEnteroMinimo = 0;
constexpr int kEnteroMaximo = 3000;
QStringList opcionesConmutador();

// Highest slave address a Modbus line allows, and the register range.
constexpr int kEsclavoMaximo = 247;
constexpr int kRegistroMaximo = 65535;

// ------------------------------------------------------------------ Layout

// Value boxes 49 × 21; the first column's boxes at x = 36, every further
// column 82 to the right; the first row at y = 16.
constexpr int kAnchoCaja = 49;
constexpr int kAltoCaja = 21;

struct Lugar {
    bool visible = false;
    int x = 0;   // left edge of the value box (its label ends one pixel before it)
    int y = 0;
};

// Where each parameter's box goes when only the `visibles` ones are shown:
// one after another downwards; from IN1 on a parameter that would go below
// y = 122 starts a new column. With SP1 hidden the first shown one sits at 15.
std::array<Lugar, kCantidad> disponer(const std::array<bool, kCantidad>& visibles);

// ----------------------------------------------------------- Typed values

enum class Escala { Ok, NoEsNumero, NoCabe };

// The word a typed decimal text stands for with `decimales` decimal places:
// the digits themselves, shifted, with further decimals dropped (toward
// zero), so "0.29" with two decimals is 29 exactly. Accepts blanks around,
// a sign, and '.' as the decimal separator; no exponent. NoCabe when the
// word would not fit the instrument's signed 16-bit register.
Escala escalar(const QString& texto, int decimales, qint32& palabra);

// A whole number in [minimo, maximo] as typed (blanks around allowed).
std::optional<qint32> enteroEnRango(const QString& texto, qint32 minimo, qint32 maximo);

// How a word read from the instrument is shown in its box.
QString textoLeido(Clase clase, qint32 valor, bool conDecimales, qint32 divisor, quint8 decimales);

// ----------------------------------------------------- Transfers on the line

// What a transfer needs, copied from the window before it starts; every
// field has been checked by then.
struct ParametroEnLinea {
    bool habilitado = false;
    qint32 registro = 0;
    bool decimal = false;
    QString texto;        // value box (writing)
    int opcion = 0;       // switch item (writing)
};

struct Pedido {
    quint8 esclavo = 1;
    bool crc = true;
    std::array<qint32, 2> sensor{};   // decimals registers of loops 1 and 2
    std::array<ParametroEnLinea, kCantidad> p{};

    // A loop's decimals are needed for writing when one of its enabled
    // parameters has its decimal box ticked; for reading ("Refrescar") when
    // any of its parameters has, enabled or not.
    bool necesitaDecimales(int lazo, bool alLeer = false) const;
    // Number of transactions of a writing, or of a reading (for the progress bar).
    int transacciones(bool lectura = false) const;
};

// After each transaction: how many are done (of Pedido::transacciones()).
using Avance = std::function<void(int hechas)>;

struct Decimales {
    qint32 divisor = 1;
    quint8 decimales = 0;
};

struct Lectura {
    bool ok = false;
    std::array<std::optional<qint32>, kCantidad> valores{};   // words read (enabled parameters)
    std::array<Decimales, 2> lazos{};
};

// Reads every enabled parameter in page order, then the decimals of the
// loops that need them. Stops at the first failed transaction: a refresh is
// shown whole or not at all.
Lectura leer(const Pedido& pedido, EnlaceModbus& enlace, int handle, const Avance& avance = {});

enum class FalloEscritura {
    Ninguno,
    Decimales,      // a loop's decimals could not be read: nothing was written
    NoCabe,         // a value does not fit with its loop's decimals: nothing was written
    Comunicacion,   // some writes failed (the others went out)
};

struct Escritura {
    FalloEscritura fallo = FalloEscritura::Ninguno;
    int parametro = -1;        // NoCabe: the parameter refused
    int decimales = 0;         // NoCabe: its loop's decimal places
    std::array<std::optional<qint32>, kCantidad> palabras{};   // words sent
};

// Reads the decimals of the loops that need them, scales every enabled
// value, and only when all of them fit writes them in kOrdenEscritura. A
// failed write does not stop the others; a lost port does.
Escritura escribir(const Pedido& pedido, EnlaceModbus& enlace, int handle, const Avance& avance = {});

} // namespace ombrix::parametros
