#pragma once
// One reading as everything that leaves the program sees it: made once from
// the acquisition's result, then handed unchanged to every listener (event
// log, MQTT, central database, web view), so they all say the same thing.

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <array>
#include <optional>

namespace ombrix {

class Modelo;
struct ResultadoLectura;

struct LecturaPlanta {
    int instrumento = 0;              // n, 1..20
    QString titulo, unidad;
    bool programador = false;
    QDateTime instanteUtc;            // the moment the reading was stamped, in UTC
    QString fecha, hora;              // the same moment as the tables store it ("dd/MM/yyyy", "hh:mm:ss")
    // Valor_medido, Set_point, Potencia, Alarma_1..4 as stored: numbers, or
    // the markers "Err", "N.I.", " oF ", " uF ".
    std::array<QString, 7> textos;
    // The same values where they are numbers.
    std::array<std::optional<double>, 7> numeros;
    // Programmers: program, segment and segment time as shown, when read.
    std::optional<QString> programa, segmento, tiempoSegmento;
    QString partida;                  // batch code in force ("" none)
    bool alarmaCom = false;           // the communication alarm is latched after this reading

    // ISO 8601 text of the instant, with a "Z".
    QString instanteIso() const;
};

// The names of the seven values in JSON: "valor", "consigna", "potencia", "alarma1".."alarma4".
extern const std::array<const char*, 7> kCamposJson;

// The reading as one JSON object (what the MQTT publisher sends and the web
// view serves). Quantities that are numbers go as numbers; a marker ("Err",
// "N.I.", " oF ", " uF ") goes as null, and the object "estado" keeps its
// text under the same name.
QJsonObject objetoJson(const LecturaPlanta& l);

// A stored value as a number: plain decimal text with "." (what the reading
// writes); anything else (the markers, empty) gives nothing.
std::optional<double> numeroDeTexto(const QString& texto);

// The plain value of reading `r` of instrument n, stamped `fecha` `hora`
// (local time, as stored), with the title, unit and batch code the model
// holds for n now.
LecturaPlanta lecturaPlanta(const Modelo& modelo, int n, const ResultadoLectura& r, const QString& fecha,
                            const QString& hora);

} // namespace ombrix
