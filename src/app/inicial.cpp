#include "inicial.h"

#include "centrar.h"

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
    Timer1 = new QTimer(this);
    Timer1->setInterval(3000);
    Timer1->setSingleShot(false);
    connect(Timer1, &QTimer::timeout, this, &TFormaInicio::Timer1Timer);

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
    Timer1->stop();
    accept();
}

void TFormaInicio::BotonOkClick()
{
    Timer1->stop();
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

    QFont marca = font();
    marca.setPointSize(34);
    marca.setBold(true);
    marca.setLetterSpacing(QFont::AbsoluteSpacing, 6);
    p.setFont(marca);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 40, width(), 70), Qt::AlignCenter, QStringLiteral("OMBRIX"));

    QFont producto = font();
    producto.setPointSize(11);
    p.setFont(producto);
    p.setPen(QColor(255, 255, 0));
    p.drawText(QRect(0, 115, width(), 30), Qt::AlignCenter,
               QStringLiteral("Sistema de adquisición de datos para instrumentos"));
    p.setPen(QColor(200, 220, 255));
    p.drawText(QRect(0, 145, width(), 30), Qt::AlignCenter,
               QStringLiteral("Controladores y programadores en línea RS-485 / Modbus RTU"));
}

} // namespace ombrix
