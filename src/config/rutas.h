#pragma once
// Where the program finds its files: the data root is the directory of the
// executable, or $OMBRIX_HOME when it is set.

#include <QString>

namespace ombrix {

QString raizDatos();              // without trailing separator
QString carpetaDatos();           // <root>/RIvariv
QString rutaIniPorDefecto();      // <root>/RIvariv/Ombrix.ini
QString rutaListaBases();         // <root>/Bases.lst
QString rutaModelo();             // <root>/Modelo.mod

} // namespace ombrix
