// ombrix-verify: checks a database against its event log and its seals.
//
//   ombrix-verify --db FILE
//   ombrix-verify --db FILE --instrument N --partida CODE
//
// The first form prints every event and every reading that is missing or was
// changed outside the program (by table and Id), and the rows not yet
// sealed; the second prints the seal of a batch's rows, to compare with the
// one printed on its batch report. The file is only read.
//
// Exit status: 0 all is in order; 1 something is missing or changed, or the
// file cannot be read; 2 a wrong call.

#include "argumentos.h"
#include "events/almacen_eventos.h"
#include "events/sellos.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>

#include <cstdio>

using namespace ombrix;

static const Herramienta kVerify{
    "ombrix-verify",
    "uso: ombrix-verify --db ARCHIVO [--instrument N --partida CÓDIGO]\n",
    "Comprueba los eventos y las lecturas de una base de datos contra sus sellos:\n"
    "dice, por tabla e Id, lo que falta o se cambió fuera del programa.\n"
    "\n"
    "Opciones:\n"
    "  --db ARCHIVO          Base de datos a comprobar (solo se lee).\n"
    "  --instrument N        Con --partida: el instrumento N (1 a 20).\n"
    "  --partida CÓDIGO      Imprime el sello de las filas de esa partida.\n"
    "  -h, --help            Muestra esta ayuda y termina.\n"
    "  --version             Muestra la versión y termina.\n"};

static void linea(const QString& t)
{
    std::fputs(qPrintable(t + QLatin1Char('\n')), stdout);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ArgumentosConsulta a;
    QString partida;
    bool conPartida = false;
    const auto fin = leerArgumentos(kVerify, app.arguments(), a, [&](const QString& op, const LeerValor& valor, const char*& motivo) {
        if (op != QLatin1String("--partida"))
            return false;
        conPartida = true;
        if (!valor(partida))
            motivo = "falta el código de --partida";
        return true;
    });
    if (fin)
        return *fin;
    if (a.db.isEmpty())
        return kVerify.error("--db es obligatorio");
    if (a.combinada || !a.desdeTxt.isEmpty() || !a.hastaTxt.isEmpty())
        return kVerify.error("--combinada, --from y --to no se usan aquí");
    if (conPartida != (a.instrumento > 0))
        return kVerify.error("--partida y --instrument van juntos");

    int codigo = 0;
    {
        QString error;
        QSqlDatabase db = almacenEventos::abrirLectura(a.db, QStringLiteral("ombrix-verify"), &error);
        if (!db.isValid()) {
            std::fprintf(stderr, "ombrix-verify: no se pudo abrir la base de datos %s: %s\n", qPrintable(a.db), qPrintable(error));
            codigo = 1;
        } else if (conPartida) {
            qint64 filas = 0;
            const QString resumen =
                sellos::resumenPartida(db, QStringLiteral("Instrumento%1").arg(a.instrumento), partida, &filas, &error);
            if (!error.isEmpty()) {
                std::fprintf(stderr, "ombrix-verify: no se pudieron leer las filas: %s\n", qPrintable(error));
                codigo = 1;
            } else if (filas == 0) {
                linea(QStringLiteral("La partida «%1» no tiene filas en Instrumento%2").arg(partida).arg(a.instrumento));
                codigo = 1;
            } else {
                linea(QStringLiteral("Partida «%1» de Instrumento%2: %3 filas, sello %4").arg(partida).arg(a.instrumento).arg(filas).arg(resumen));
            }
        } else {
            QElapsedTimer reloj;
            reloj.start();
            const sellos::Verificacion v = sellos::verificar(db);
            if (!v.error.isEmpty()) {
                std::fprintf(stderr, "ombrix-verify: %s\n", qPrintable(v.error));
                codigo = 1;
            } else {
                for (const sellos::Hallazgo& h : v.hallazgos)
                    linea(h.texto);
                for (const QString& n : v.notas)
                    linea(n);
                linea(QStringLiteral("%1 eventos, %2 sellos, %3 filas revisadas en %4 s: %5")
                          .arg(v.eventos)
                          .arg(v.sellos)
                          .arg(v.filasRevisadas)
                          .arg(reloj.elapsed() / 1000.0, 0, 'f', 2)
                          .arg(v.bien() ? QStringLiteral("todo en orden")
                                        : QStringLiteral("%1 problemas encontrados").arg(v.hallazgos.size())));
                codigo = v.bien() ? 0 : 1;
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("ombrix-verify"));
    return codigo;
}
