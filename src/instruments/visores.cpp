#include "instruments/visores.h"

#include "instruments/colores.h"

#include <QFontDatabase>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace ombrix {

QString familiaDisplay()
{
    static const QString familia = [] {
        const QString dseg = QStringLiteral("DSEG7 Classic");
        if (QFontDatabase::families().contains(dseg))
            return dseg;
        return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    }();
    return familia;
}

// ---------------------------------------------------------------- VisorDigital

VisorDigital::VisorDigital(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
}

void VisorDigital::setText(const QString& t)
{
    if (t == texto_)
        return;
    texto_ = t;
    update();
}

void VisorDigital::setAlignment(Qt::Alignment a)
{
    alineacion_ = a;
    update();
}

void VisorDigital::setColorFuente(qint32 c)
{
    if (c == color_)
        return;
    color_ = c;
    update();
}

void VisorDigital::setTamanoPixeles(int px)
{
    pixeles_ = px;
    update();
}

void VisorDigital::paintEvent(QPaintEvent* e)
{
    QPainter g(this);
    const QRect caja = contentsRect();
    g.fillRect(caja, aQColor(color::kGrisDisplay));
    g.setRenderHint(QPainter::TextAntialiasing);

    const bool dseg = familiaDisplay().startsWith(QStringLiteral("DSEG"));
    QFont f(familiaDisplay());
    f.setBold(true);
    f.setPixelSize(pixeles_);
    // The unlit segments: every position an "8" with its point.
    QString fantasma;
    for (const QChar c : texto_) {
        if (c == QLatin1Char('.') || c == QLatin1Char(':'))
            continue;
        fantasma += dseg ? QStringLiteral("8.") : QStringLiteral("8");
    }
    const QRect area = caja.adjusted(3, 1, -3, -1);
    for (int px = pixeles_; px > 6; --px) {
        f.setPixelSize(px);
        const QFontMetrics m(f);
        if (m.horizontalAdvance(texto_) <= area.width() && m.height() <= area.height() + 6)
            break;
    }
    g.setFont(f);

    QColor tinta = aQColor(color_);
    const QColor fondo = aQColor(color::kGrisDisplay);
    if (dseg) {
        QColor apagado = tinta;
        apagado.setAlpha(28);
        g.setPen(apagado);
        g.drawText(area, int(alineacion_), fantasma);
    }
    if (!isEnabled() || atenuado_) {
        tinta = QColor((tinta.red() + 2 * fondo.red()) / 3, (tinta.green() + 2 * fondo.green()) / 3,
                       (tinta.blue() + 2 * fondo.blue()) / 3);
    }
    g.setPen(tinta);
    g.drawText(area, int(alineacion_), texto_);
    g.end();
    QFrame::paintEvent(e);
}

void VisorDigital::setAtenuado(bool a)
{
    if (atenuado_ == a)
        return;
    atenuado_ = a;
    update();
}

void VisorDigital::mouseDoubleClickEvent(QMouseEvent* e)
{
    emit dobleClic();
    e->accept();
}

// --------------------------------------------------------------------- Medidor

Medidor::Medidor(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
}

void Medidor::setMaximo(int m)
{
    maximo_ = m;
    update();
}

void Medidor::setProgreso(int p)
{
    progreso_ = p;
    update();
}

void Medidor::setColorBarra(qint32 c)
{
    color_ = c;
    update();
}

void Medidor::paintEvent(QPaintEvent* e)
{
    QPainter g(this);
    const QRect caja = contentsRect();
    g.fillRect(caja, QColor(128, 128, 128));
    if (maximo_ > 0 && progreso_ > 0) {
        const double parte = qMin(1.0, double(progreso_) / double(maximo_));
        const int ancho = int(caja.width() * parte + 0.5);
        if (ancho > 0) {
            const QRect barra(caja.left(), caja.top(), ancho, caja.height());
            QColor c = isEnabled() ? aQColor(color_) : aQColor(color::kPlata);
            if (atenuado_)
                c = QColor((c.red() + 2 * 128) / 3, (c.green() + 2 * 128) / 3, (c.blue() + 2 * 128) / 3);
            QLinearGradient grad(barra.topLeft(), barra.bottomLeft());
            grad.setColorAt(0.0, c.lighter(135));
            grad.setColorAt(0.5, c);
            grad.setColorAt(1.0, c.darker(125));
            g.fillRect(barra, grad);
        }
    }
    g.end();
    QFrame::paintEvent(e);
}

void Medidor::setAtenuado(bool a)
{
    if (atenuado_ == a)
        return;
    atenuado_ = a;
    update();
}

// ---------------------------------------------------------------- MarcoTitulo

MarcoTitulo::MarcoTitulo(QWidget* parent) : QFrame(parent), color_(color::kActiveCaption) {}

void MarcoTitulo::setTitulo(const QString& t)
{
    titulo_ = t;
    update();
}

void MarcoTitulo::setColorTitulo(qint32 c)
{
    color_ = c;
    update();
}

void MarcoTitulo::paintEvent(QPaintEvent*)
{
    QPainter g(this);
    g.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);

    // Silver face with a soft light from above.
    QLinearGradient cara(r.topLeft(), r.bottomLeft());
    cara.setColorAt(0.0, QColor(214, 214, 214));
    cara.setColorAt(1.0, QColor(188, 188, 188));
    g.fillRect(rect(), cara);

    QFont f = font();
    f.setPixelSize(12);
    f.setBold(true);
    const QFontMetrics m(f);
    const int altoTitulo = m.height();

    // Etched frame below the title's middle line.
    const qreal y0 = altoTitulo / 2.0;
    const QRectF marco(3.5, y0, r.width() - 6, r.height() - y0 - 2);
    g.setPen(QPen(QColor(255, 255, 255), 1));
    g.drawRoundedRect(marco.translated(1, 1), 4, 4);
    g.setPen(QPen(QColor(128, 128, 128), 1));
    g.drawRoundedRect(marco, 4, 4);

    // Title on its own patch so that the frame line does not cross it.
    const QString t = m.elidedText(titulo_, Qt::ElideRight, width() - 24);
    const int ancho = m.horizontalAdvance(t);
    const QRect caja(10, 0, ancho + 6, altoTitulo);
    g.fillRect(caja, QColor(212, 212, 212));
    g.setFont(f);
    g.setPen(aQColor(color_));
    g.drawText(caja, Qt::AlignCenter, t);
}

void MarcoTitulo::mouseDoubleClickEvent(QMouseEvent* e)
{
    emit dobleClic();
    e->accept();
}

void EtiquetaClic::mouseDoubleClickEvent(QMouseEvent* e)
{
    emit dobleClic();
    e->accept();
}

// ---------------------------------------------------------------------- Glyphs

namespace {

QPixmap lienzo()
{
    QPixmap p(20, 20);
    p.fill(Qt::transparent);
    return p;
}

} // namespace

QIcon glifoTabla()
{
    QPixmap p = lienzo();
    QPainter g(&p);
    g.fillRect(QRect(2, 3, 16, 14), Qt::white);
    g.fillRect(QRect(2, 3, 16, 4), QColor(38, 88, 172));
    g.setPen(QColor(90, 90, 90));
    g.drawRect(QRect(2, 3, 15, 13));
    for (int y : {7, 10, 13})
        g.drawLine(3, y, 16, y);
    for (int x : {7, 12})
        g.drawLine(x, 7, x, 15);
    return QIcon(p);
}

QIcon glifoReset()
{
    QPixmap p = lienzo();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    // A bell with a stroke through it: the alarm is acknowledged.
    QPainterPath campana;
    campana.moveTo(4, 15);
    campana.cubicTo(6, 13, 5, 5, 10, 4);
    campana.cubicTo(15, 5, 14, 13, 16, 15);
    campana.closeSubpath();
    g.setPen(QPen(QColor(110, 0, 0), 1.2));
    g.setBrush(QColor(230, 40, 30));
    g.drawPath(campana);
    g.drawEllipse(QPointF(10, 16.5), 1.6, 1.6);
    g.setPen(QPen(Qt::white, 1.6));
    g.drawLine(QPointF(3, 3), QPointF(17, 17));
    return QIcon(p);
}

QIcon glifoConfig()
{
    QPixmap p = lienzo();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.translate(10, 10);
    g.setPen(Qt::NoPen);
    g.setBrush(QColor(80, 80, 80));
    for (int i = 0; i < 8; ++i) {
        g.drawRect(QRectF(-1.5, -8, 3, 4));
        g.rotate(45);
    }
    g.drawEllipse(QPointF(0, 0), 5.5, 5.5);
    g.setBrush(QColor(230, 230, 230));
    g.drawEllipse(QPointF(0, 0), 2.2, 2.2);
    return QIcon(p);
}

} // namespace ombrix
