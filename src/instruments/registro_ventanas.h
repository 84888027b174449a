#pragma once
// The windows open for each instrument, and where the next instrument panel
// goes: what the main window and its windows keep of one another. Indexed by
// instrument number like the model's arrays.

#include <QObject>
#include <QPointer>
#include <QVector>

namespace ombrix {

// The instrument's data table window while it is open.
struct TVentanaTabla {
    QObject* Ventana = nullptr;
    bool Abierta = false;

    bool operator==(const TVentanaTabla&) const = default;
};

struct RegistroVentanas {
    QVector<QObject*> Paneles;
    QVector<TVentanaTabla> VentanasTabla;
    QVector<bool> GraficoAbierto;
    // The combined table window and the combined chart window while open.
    QPointer<QObject> FormaTablaComb;
    QPointer<QObject> FormaGrafTabCom;

    // Top-left corner of the next panel, and the width of the last full row.
    qint32 PosX = 0;
    qint32 PosY = 0;
    qint32 PosXFila = 0;

    // Every array to length `largo`; existing entries keep their values.
    void ajustar(int largo)
    {
        Paneles.resize(largo);
        VentanasTabla.resize(largo);
        GraficoAbierto.resize(largo);
    }
};

} // namespace ombrix
