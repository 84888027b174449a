#include "instruments/colores.h"

namespace ombrix {

namespace {

QColor colorDeSistema(int indice)
{
    switch (indice) {
    case 0: return QColor(200, 200, 200);    // scroll bar
    case 1: return QColor(58, 110, 165);     // desktop
    case 2: return QColor(38, 88, 172);      // active caption
    case 3: return QColor(128, 128, 128);    // inactive caption
    case 4: return QColor(240, 240, 240);    // menu
    case 5: return QColor(255, 255, 255);    // window
    case 6: return QColor(0, 0, 0);          // window frame
    case 7: return QColor(0, 0, 0);          // menu text
    case 8: return QColor(0, 0, 0);          // window text
    case 9: return QColor(255, 255, 255);    // caption text
    case 10: return QColor(212, 208, 200);   // active border
    case 11: return QColor(212, 208, 200);   // inactive border
    case 12: return QColor(128, 128, 128);   // application workspace
    case 13: return QColor(49, 106, 197);    // highlight
    case 14: return QColor(255, 255, 255);   // highlight text
    case 15: return QColor(212, 208, 200);   // button face
    case 16: return QColor(128, 128, 128);   // button shadow
    case 17: return QColor(128, 128, 128);   // grey text
    case 18: return QColor(0, 0, 0);         // button text
    case 19: return QColor(212, 208, 200);   // inactive caption text
    case 20: return QColor(255, 255, 255);   // button highlight
    case 21: return QColor(64, 64, 64);      // 3-D dark shadow
    case 22: return QColor(212, 208, 200);   // 3-D light
    case 23: return QColor(0, 0, 0);         // info text
    case 24: return QColor(255, 255, 225);   // info background
    default: return QColor(0, 0, 0);
    }
}

} // namespace

QColor aQColor(qint32 valor)
{
    const quint32 v = static_cast<quint32>(valor);
    if ((v & 0xFF000000u) != 0)
        return colorDeSistema(int(v & 0xFFu));
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

qint32 deQColor(const QColor& c)
{
    return qint32(c.red()) | (qint32(c.green()) << 8) | (qint32(c.blue()) << 16);
}

} // namespace ombrix
