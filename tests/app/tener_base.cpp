// Holds a database open in another process until its standard input closes:
// prints "LISTO" once it holds the file, or "FALLO <why>".
#include "acquisition/base_datos.h"

#include <QCoreApplication>
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
    std::getline(std::cin, linea);
    return 0;
}
