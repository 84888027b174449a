#include "ombrix_comm.h"

#include <QPainter>

namespace ombrix {

namespace {

constexpr int kAncho = 96;
constexpr int kAlto = 36;

// Rectangles are given as (left, top, right, bottom) with right and bottom
// excluded. A 2-pixel outline is centred on the integer edge; a 1-pixel one
// on the centres of the edge pixels.
QRectF rectanguloGrueso(int l, int t, int r, int b) { return QRectF(l, t, r - l - 1, b - t - 1); }
QRectF rectanguloFino(int l, int t, int r, int b) { return QRectF(l + 0.5, t + 0.5, r - l - 1, b - t - 1); }

const QColor kGris(128, 128, 128);
const QColor kAzulCara(38, 88, 172);
const QColor kAguamarina(0, 255, 255);
const QColor kLima(0, 255, 0);
const QColor kVerde(0, 128, 0);
const QColor kRojo(255, 0, 0);
const QColor kAzul(0, 0, 255);
const QColor kAmarillo(255, 255, 0);

} // namespace

TOmbrixComm::TOmbrixComm(QWidget* parent) : QWidget(parent), enlace_(new EnlaceModbus(this))
{
    conectar();
}

TOmbrixComm::TOmbrixComm(EnlaceModbus* enlace, QWidget* parent) : QWidget(parent), enlace_(enlace)
{
    conectar();
}

void TOmbrixComm::conectar()
{
    setFixedSize(kAncho, kAlto);
    // The line runs on its own thread: each lamp step arrives here queued and
    // is painted with the next frame.
    connect(enlace_, &EnlaceModbus::lamparasCambiaron, this, [this] { update(); });
    connect(enlace_, &EnlaceModbus::propiedadesCambiaron, this, [this] { update(); });
}

void TOmbrixComm::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);

    const int x0 = 1;
    const int y0 = 1;
    const qreal radio = 10.0;  // corner ellipse 20 × 20

    // Shadow.
    p.setPen(QPen(kGris, 2));
    p.setBrush(kGris);
    p.drawRoundedRect(rectanguloGrueso(x0 + 3, y0 + 3, 99, 39), radio, radio);

    // Face: first in grey, then outlined in black on blue.
    const QRectF cara = rectanguloGrueso(x0, y0, kAncho, kAlto);
    p.drawRoundedRect(cara, radio, radio);
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(kAzulCara);
    p.drawRoundedRect(cara, radio, radio);

    // Lamp rings.
    p.setPen(QPen(kAguamarina, 1));
    p.setBrush(Qt::black);
    for (int dx : {5, 35, 65})
        p.drawEllipse(rectanguloFino(x0 + dx, y0 + 5, x0 + dx + 25, y0 + 30));

    // Lamps with their labels written on the lamp colour.
    QFont letra = font();
    letra.setPixelSize(11);
    letra.setBold(true);
    p.setFont(letra);
    struct Lampara {
        int dx;
        bool encendida;
        QColor encendido;
        QColor apagado;
        const char* texto;
    };
    const Lampara lamparas[] = {
        {7, enlace_->TxLamp(), kLima, kVerde, "Tx"},
        {37, enlace_->RxLamp(), kLima, kVerde, "Rx"},
        {67, enlace_->AlLamp(), kRojo, kAzul, "Al"},
    };
    for (const auto& l : lamparas) {
        const QColor color = l.encendida ? l.encendido : l.apagado;
        p.setPen(QPen(kAguamarina, 1));
        p.setBrush(color);
        p.drawEllipse(rectanguloFino(x0 + l.dx, y0 + 7, x0 + l.dx + 21, y0 + 28));

        const QString texto = QString::fromLatin1(l.texto);
        const QPointF origen(x0 + l.dx + 3, y0 + 10);
        const QRectF celda(origen, QSizeF(p.fontMetrics().horizontalAdvance(texto), p.fontMetrics().height()));
        p.fillRect(celda, color);
        if (l.dx == 67)
            colorLetra_ = kAmarillo;   // set just before "Al" and kept
        p.setPen(colorLetra_);
        p.drawText(celda, Qt::AlignLeft | Qt::AlignTop, texto);
    }
}

} // namespace ombrix
