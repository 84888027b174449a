// Holds a database open for writing in another process until its standard
// input closes: prints "LISTO" once it holds the file, or "FALLO <why>".
// Meanwhile each line "FILA <n> <dd/MM/yyyy> <hh:mm:ss> <value>" stores a row
// of instrument n, as the recorder does, and answers "OK" or "FALLO <why>".
#include "acquisition/base_datos.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    ombrix::BaseDatos base;
    QString error;
    if (!base.abrir(QString::fromLocal8Bit(argv[1]), &error)) {
        std::printf("FALLO %s\n", qPrintable(error));
        std::fflush(stdout);
        return 1;
    }
    std::printf("LISTO\n");
    std::fflush(stdout);
    std::string linea;
    while (std::getline(std::cin, linea)) {
        const QStringList p = QString::fromStdString(linea).split(QLatin1Char(' '));
        if (p.size() != 5 || p[0] != QLatin1String("FILA"))
            continue;
        QSqlQuery q(base.db());
        q.prepare(QStringLiteral("INSERT INTO \"Instrumento%1\" (Fecha,Hora,Valor_medido) VALUES (?,?,?)").arg(p[1].toInt()));
        q.addBindValue(p[2]);
        q.addBindValue(p[3]);
        q.addBindValue(p[4]);
        if (q.exec())
            std::printf("OK\n");
        else
            std::printf("FALLO %s\n", qPrintable(q.lastError().text()));
        std::fflush(stdout);
    }
    return 0;
}
