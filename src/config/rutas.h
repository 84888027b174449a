#pragma once
// Where the program finds its files.
//
// The data root is, in this order:
//   1. $OMBRIX_HOME when it is set (the recorder's service sets it to
//      /var/lib/ombrix/<instance>);
//   2. the executable's folder when it holds "RIvariv" (a copied installation,
//      or a build folder prepared by hand);
//   3. $XDG_DATA_HOME/ombrix, or ~/.local/share/ombrix without it.
//
// A root without "RIvariv" is new: prepararRaizDatos creates the folder and
// copies the template database into it.

#include <QString>

namespace ombrix {

QString raizDatos();              // without trailing separator
QString carpetaDatos();           // <root>/RIvariv
QString rutaIniPorDefecto();      // <root>/RIvariv/Ombrix.ini
QString rutaListaBases();         // <root>/Bases.lst

// n of a port name "COMn" (letters in any case, n from 1), or 0 for any other name.
int numeroCom(const QString& nombre);
// The device "COMn" is when the settings name none: /dev/ttyS<n-1>.
QString dispositivoDeCom(int n);
// <root>/Modelo.mod; a root without one uses the template shipped with the
// programs (see modeloInstalado), and <root>/Modelo.mod again when there is none.
QString rutaModelo();

// What the root is chosen from, so the rules can be tried on any folders.
struct EntornoRaiz {
    QString ombrixHome;        // $OMBRIX_HOME
    QString carpetaPrograma;   // the executable's folder
    QString xdgDataHome;       // $XDG_DATA_HOME
    QString home;              // $HOME
};
EntornoRaiz entornoActual();
QString elegirRaiz(const EntornoRaiz& e);

// The template beside the executable (a build or copied installation), else
// <exe dir>/../share/ombrix/Modelo.mod, else /usr/share/ombrix/Modelo.mod;
// empty when none of them exists.
QString modeloInstalado(const QString& carpetaPrograma);

struct RaizPreparada {
    QString raiz;
    bool creada = false;          // RIvariv was made now
    bool modeloCopiado = false;   // and the template copied into the root
    QString error;                // the root could not be made; empty when fine
};
// Makes <root>/RIvariv when it is missing and copies the template into a root
// that has none. A root that already holds RIvariv is left as it is.
RaizPreparada prepararRaizDatos(const QString& raiz, const QString& carpetaPrograma);
RaizPreparada prepararRaizDatos();
// What the user is told after prepararRaizDatos: empty when nothing was made.
QString avisoRaizPreparada(const RaizPreparada& r);

} // namespace ombrix
