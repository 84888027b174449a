#include "instruments/alarma.h"

#include "instruments/colores.h"

#include <QPainter>
#include <QPolygon>

#include <cmath>

namespace ombrix {

namespace {

// Rounds v / 100 to the nearest integer, halves to the even one.
int redondeo(int v) { return int(std::nearbyint(double(v) / 100.0)); }

// A phase of 0 ms (or less) never ends: the timer is not started, as a
// message timer with no interval does not run (a zero-interval QTimer would
// fire on every pass of the event loop and keep the thread busy).
void arrancar(QTimer& t)
{
    if (t.interval() > 0)
        t.start();
}

} // namespace

TAlarma::TAlarma(QWidget* parent) : QWidget(parent), pen_(Qt::black, 1), brush_(Qt::SolidPattern)
{
    setAttribute(Qt::WA_TranslucentBackground);
    resize(65, 65);
    timerOn_.setInterval(flashOn_);
    timerOff_.setInterval(flashOff_);
    connect(&timerOn_, &QTimer::timeout, this, &TAlarma::TimerOnTimer);
    connect(&timerOff_, &QTimer::timeout, this, &TAlarma::TimerOffTimer);
}

TAlarma::~TAlarma()
{
    timerOn_.stop();
    timerOff_.stop();
}

void TAlarma::setPen(const QPen& p)
{
    pen_ = p;
    StyleChanged();
}

void TAlarma::setAlarmaType(TAlarmType t)
{
    if (t == tipo_)
        return;
    tipo_ = t;
    update();
}

void TAlarma::setBackColor(qint32 c)
{
    if (c == backColor_)
        return;
    backColor_ = c;
    update();
}

void TAlarma::setFlashColor(qint32 c)
{
    if (c == flashColor_)
        return;
    flashColor_ = c;
    update();
}

void TAlarma::setFlashOffColor(qint32 c)
{
    if (c == flashOffColor_)
        return;
    flashOffColor_ = c;
    update();
}

void TAlarma::setForeColor(qint32 c)
{
    if (c == foreColor_)
        return;
    foreColor_ = c;
    reposo_ = c;
    update();
}

void TAlarma::setFlashOn(int ms)
{
    if (ms != flashOn_) {
        flashOn_ = ms;
        timerOn_.setInterval(ms);   // a running phase starts over with it
        if (ms <= 0)
            timerOn_.stop();
    }
    update();
}

void TAlarma::setFlashOff(int ms)
{
    if (ms != flashOff_) {
        flashOff_ = ms;
        timerOff_.setInterval(ms);   // a running phase starts over with it
        if (ms <= 0)
            timerOff_.stop();
    }
    update();
}

void TAlarma::setTag(int t)
{
    if (t == tag_)
        return;
    tag_ = t;
    update();
}

void TAlarma::setFlash(bool f)
{
    if (f == flash_)
        return;
    flash_ = f;
    if (f) {
        reposo_ = foreColor_;
        timerOn_.setInterval(flashOn_);
        timerOff_.setInterval(flashOff_);
        arrancar(timerOn_);
        update();
    } else {
        setForeColor(reposo_);
        timerOn_.stop();
        timerOff_.stop();
        update();
    }
}

void TAlarma::TimerOnTimer()
{
    timerOn_.stop();
    foreColor_ = flashColor_;
    brillo_ = color::kBlanco;
    repaint();
    arrancar(timerOff_);
}

void TAlarma::TimerOffTimer()
{
    timerOff_.stop();
    foreColor_ = flashOffColor_;
    brillo_ = flashOffColor_;
    repaint();
    arrancar(timerOn_);
}

void TAlarma::Changed()
{
    emit OnChange();
}

void TAlarma::paintEvent(QPaintEvent*)
{
    QPainter g(this);
    g.setRenderHint(QPainter::Antialiasing);

    const int p = pen_.width();
    const int X = p / 2;
    const int Y = p / 2;
    int W = width() - p;
    int H = height() - p;
    if (p == 0) {
        --W;
        --H;
    }
    const int R = X + W;
    const int B = Y + H;

    auto elipse = [&g](int x1, int y1, int x2, int y2) { g.drawEllipse(QRect(x1, y1, x2 - x1, y2 - y1)); };

    g.setPen(pen_);
    brush_.setStyle(Qt::SolidPattern);

    // Ring.
    brush_.setColor(aQColor(backColor_));
    g.setBrush(brush_);
    elipse(X, Y, R, B);

    // Lamp; the top offset follows the width, as the lamps were always drawn.
    const int d = redondeo(R * 10);
    const int e = redondeo(B * 10);
    brush_.setColor(aQColor(foreColor_));
    g.setBrush(brush_);
    if (tipo_ == taLed) {
        elipse(X + d, Y + d, R - d, B - e);
    } else {
        // A lamp or a horn: the lamp fills a rounded square.
        g.drawRoundedRect(QRect(X + d, Y + d, R - 2 * d, B - e - d), 3, 3);
    }

    // Glint.
    const QColor brillo = aQColor(brillo_);
    QPen lapiz(pen_);
    lapiz.setColor(brillo);
    g.setPen(lapiz);
    g.setBrush(QBrush(brillo, Qt::BDiagPattern));
    QPolygon tri;
    tri << QPoint(X + redondeo(R * 65), Y + redondeo(B * 25)) << QPoint(X + redondeo(R * 70), Y + redondeo(B * 55))
        << QPoint(X + redondeo(R * 50), Y + redondeo(R * 40));
    g.drawPolygon(tri);

    // Number.
    if (tag_ != 0) {
        QFont f = font();
        f.setBold(true);
        f.setPointSize(10);
        g.setFont(f);
        g.setPen(foreColor_ == flashColor_ ? Qt::black : Qt::white);
        const QPoint base(X + redondeo(R * 35), Y + redondeo(R * 30));
        g.drawText(QRect(base, QSize(width(), height())), Qt::AlignLeft | Qt::AlignTop, QString::number(tag_));
    }

    if (isEnabled() != ultimoHabilitado_) {
        ultimoHabilitado_ = isEnabled();
        Changed();
    }
}

} // namespace ombrix
