#pragma once
// The small widgets the instrument panel is made of: the seven-segment
// displays, the gauge bars, the title frame and labels that answer a
// double-click, and the glyphs of the button bar.

#include <QFrame>
#include <QIcon>
#include <QLabel>

namespace ombrix {

// The family of the display font ("DSEG7 Classic", or a monospace font when
// it is not installed).
QString familiaDisplay();

// A seven-segment display: dark grey, sunken, the unlit segments faintly
// visible behind the text. The text shrinks when it does not fit.
class VisorDigital : public QFrame {
    Q_OBJECT
public:
    explicit VisorDigital(QWidget* parent = nullptr);

    QString text() const { return texto_; }
    void setText(const QString& t);
    Qt::Alignment alignment() const { return alineacion_; }
    void setAlignment(Qt::Alignment a);
    // Font colour (0x00BBGGRR or a system code).
    qint32 colorFuente() const { return color_; }
    void setColorFuente(qint32 c);
    int tamanoPixeles() const { return pixeles_; }
    void setTamanoPixeles(int px);
    // A value that is not current (no reading since, or none coming): the
    // text keeps its place, drawn dim.
    bool atenuado() const { return atenuado_; }
    void setAtenuado(bool a);

signals:
    void dobleClic();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    bool atenuado_ = false;
    QString texto_;
    Qt::Alignment alineacion_ = Qt::AlignRight | Qt::AlignVCenter;
    qint32 color_ = 0x00FF00;
    int pixeles_ = 21;
};

// A horizontal gauge bar without text on a grey background.
class Medidor : public QFrame {
    Q_OBJECT
public:
    explicit Medidor(QWidget* parent = nullptr);

    int maximo() const { return maximo_; }
    void setMaximo(int m);
    int progreso() const { return progreso_; }
    void setProgreso(int p);
    qint32 colorBarra() const { return color_; }
    void setColorBarra(qint32 c);
    // The text the gauge keeps (the percentage); it is not drawn.
    QString texto() const { return texto_; }
    void setTexto(const QString& t) { texto_ = t; }
    // As the display's: the bar of a value that is not current, drawn dim.
    bool atenuado() const { return atenuado_; }
    void setAtenuado(bool a);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    bool atenuado_ = false;
    int maximo_ = 100;
    int progreso_ = 0;
    qint32 color_ = 0x00FFFF;
    QString texto_;
};

// The panel's frame with the instrument title in its top edge.
class MarcoTitulo : public QFrame {
    Q_OBJECT
public:
    explicit MarcoTitulo(QWidget* parent = nullptr);

    QString titulo() const { return titulo_; }
    void setTitulo(const QString& t);
    qint32 colorTitulo() const { return color_; }
    void setColorTitulo(qint32 c);

signals:
    void dobleClic();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    QString titulo_;
    qint32 color_;
};

// A label that reports a double-click.
class EtiquetaClic : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void dobleClic();

protected:
    void mouseDoubleClickEvent(QMouseEvent* e) override;
};

// Glyphs of the button bar.
QIcon glifoTabla();
QIcon glifoReset();
QIcon glifoConfig();

} // namespace ombrix
