#include "inicial.h"

#include "centrar.h"
#include "ombrix_version.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace ombrix {

TFormaInicio::TFormaInicio(QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog)
{
    setObjectName(QStringLiteral("FormaInicio"));
    setFixedSize(460, 300);
    relojCierre = new QTimer(this);
    relojCierre->setInterval(3000);
    relojCierre->setSingleShot(false);
    connect(relojCierre, &QTimer::timeout, this, &TFormaInicio::Timer1Timer);

    BotonOk = new QPushButton(QStringLiteral("OK"), this);
    BotonOk->setDefault(true);
    BotonOk->setFixedWidth(90);
    connect(BotonOk, &QPushButton::clicked, this, &TFormaInicio::BotonOkClick);
    auto* capa = new QVBoxLayout(this);
    capa->addStretch();
    capa->addWidget(BotonOk, 0, Qt::AlignHCenter);
    capa->setContentsMargins(16, 16, 16, 18);

    centrarEnPantalla(this);
}

void TFormaInicio::Timer1Timer()
{
    relojCierre->stop();
    accept();
}

void TFormaInicio::BotonOkClick()
{
    relojCierre->stop();
    accept();
}

void TFormaInicio::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fondo(0, 0, 0, height());
    fondo.setColorAt(0, QColor(38, 88, 172));
    fondo.setColorAt(1, QColor(12, 30, 70));
    p.fillRect(rect(), fondo);
    p.setPen(QPen(QColor(0, 255, 255), 2));
    p.drawRect(rect().adjusted(1, 1, -2, -2));

    for (const Renglon& r : renglones()) {
        p.setFont(r.fuente);
        p.setPen(r.color);
        p.drawText(r.caja, Qt::AlignCenter, r.texto);
    }
}

QList<TFormaInicio::Renglon> TFormaInicio::renglones() const
{
    // Each line keeps clear of the frame; where the fonts of the machine are
    // wider than expected the line gets a smaller size rather than being cut.
    const int margen = 16;
    const int ancho = width() - 2 * margen;
    auto renglon = [&](const QString& texto, int puntos, bool negrita, int espacio, const QColor& color, int y, int alto) {
        QFont f = font();
        f.setBold(negrita);
        f.setPointSize(puntos);
        if (espacio)
            f.setLetterSpacing(QFont::AbsoluteSpacing, espacio);
        for (;;) {
            const QFontMetrics m(f, this);
            if ((m.horizontalAdvance(texto) <= ancho && m.height() <= alto) || f.pointSize() <= 6)
                break;
            f.setPointSize(f.pointSize() - 1);
        }
        return Renglon{texto, f, color, QRect(margen, y, ancho, alto)};
    };
    return {
        renglon(QStringLiteral("OMBRIX"), 34, true, 6, Qt::white, 40, 70),
        renglon(QStringLiteral("Sistema de adquisición de datos para instrumentos"), 11, false, 0, QColor(255, 255, 0), 115, 30),
        renglon(QStringLiteral("Controladores y programadores en línea RS-485 / Modbus RTU"), 11, false, 0,
                QColor(200, 220, 255), 145, 30),
        renglon(QStringLiteral("Versión ") + QStringLiteral(OMBRIX_VERSION), 10, false, 0, QColor(200, 220, 255), 185, 26),
    };
}

} // namespace ombrix
