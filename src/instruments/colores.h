#pragma once
// Colours as the configuration stores them: 24-bit values with red in the low
// byte (0x00BBGGRR), or system colour codes (0xFF0000nn, nn the system colour
// index: 2 the active caption, 15 the button face...).

#include <QColor>
#include <QtGlobal>

namespace ombrix {

namespace color {
constexpr qint32 kNegro = 0x000000;
constexpr qint32 kGranate = 0x000080;      // dark red (128, 0, 0)
constexpr qint32 kVerde = 0x008000;
constexpr qint32 kLima = 0x00FF00;
constexpr qint32 kRojo = 0x0000FF;
constexpr qint32 kAmarillo = 0x00FFFF;
constexpr qint32 kBlanco = 0xFFFFFF;
constexpr qint32 kGris = 0x808080;
constexpr qint32 kPlata = 0xC0C0C0;
constexpr qint32 kGrisDisplay = 0x3F3F3F;   // background of the digital displays
constexpr qint32 kSistema = static_cast<qint32>(0xFF000000);
constexpr qint32 kActiveCaption = kSistema | 2;
constexpr qint32 kBtnFace = kSistema | 15;
} // namespace color

// The colour a stored value stands for. System codes map to fixed colours so
// that every terminal shows the panels alike.
QColor aQColor(qint32 valor);
// The stored form of an opaque colour (0x00BBGGRR).
qint32 deQColor(const QColor& c);

} // namespace ombrix
