#pragma once
// A round signal lamp (LED) in a chosen colour that can flash between two
// colours on its own two timers. The panels carry four of them: the
// communication lamp and the lamps of alarms 2, 3 and 4.

#include <QPen>
#include <QTimer>
#include <QWidget>

namespace ombrix {

class TAlarma : public QWidget {
    Q_OBJECT
public:
    enum TAlarmType { taLed, taLamp, taSound };
    Q_ENUM(TAlarmType)

    explicit TAlarma(QWidget* parent = nullptr);
    ~TAlarma() override;

    QPen Pen() const { return pen_; }
    void setPen(const QPen& p);

    TAlarmType AlarmaType() const { return tipo_; }
    void setAlarmaType(TAlarmType t);

    // Flashing: after it starts the lamp keeps its colour for FlashOn ms, then
    // shows FlashColor for FlashOff ms and FlashOffColor for FlashOn ms, over
    // and over; clearing it restores the resting colour.
    bool Flash() const { return flash_; }
    void setFlash(bool f);
    int FlashOn() const { return flashOn_; }
    void setFlashOn(int ms);
    int FlashOff() const { return flashOff_; }
    void setFlashOff(int ms);

    // Colours as the configuration stores them (0x00BBGGRR or system codes).
    qint32 ForeColor() const { return foreColor_; }
    void setForeColor(qint32 c);          // also becomes the resting colour
    qint32 BackColor() const { return backColor_; }
    void setBackColor(qint32 c);
    qint32 FlashColor() const { return flashColor_; }
    void setFlashColor(qint32 c);
    qint32 FlashOffColor() const { return flashOffColor_; }
    void setFlashOffColor(qint32 c);

    qint32 colorReposo() const { return reposo_; }
    qint32 colorBrillo() const { return brillo_; }

    // A number written on the lamp when not 0.
    int Tag() const { return tag_; }
    void setTag(int t);

    // Phase state and the two timer handlers, public so that the flashing can
    // be stepped without waiting for the timers.
    bool faseEncendidaActiva() const { return timerOn_.isActive(); }
    bool faseApagadaActiva() const { return timerOff_.isActive(); }
    void TimerOnTimer();
    void TimerOffTimer();

    // Repaint after a change of the pen or the brush.
    void StyleChanged() { update(); }

    QSize sizeHint() const override { return QSize(65, 65); }

signals:
    // The enabled state seen by the last paint changed (the first paint of an
    // enabled lamp fires it once).
    void OnChange();

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void Changed();

    QPen pen_;
    QBrush brush_;
    TAlarmType tipo_ = taLed;
    QTimer timerOn_;
    QTimer timerOff_;
    bool ultimoHabilitado_ = false;
    bool flash_ = false;
    int flashOn_ = 500;
    int flashOff_ = 500;
    qint32 foreColor_ = 0x00FFFF;
    qint32 backColor_ = 0xFFFFFF;
    qint32 flashColor_ = 0x0000FF;
    qint32 flashOffColor_ = 0x808080;
    qint32 reposo_ = 0x00FFFF;
    qint32 brillo_ = 0xFFFFFF;
    int tag_ = 0;
};

} // namespace ombrix
