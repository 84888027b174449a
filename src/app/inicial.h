#pragma once
// The splash window: shown for three seconds at start and as the about box.

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QList>
#include <QRect>
#include <QTimer>

class QPushButton;

namespace ombrix {

class TFormaInicio : public QDialog {
    Q_OBJECT
public:
    explicit TFormaInicio(QWidget* parent = nullptr);

    QTimer* relojCierre;   // closes the window after 3000 ms; off until start-up starts it
    QPushButton* BotonOk;

    void Timer1Timer();
    void BotonOkClick();

    // A line of text painted on the window, in the font that makes it fit its box.
    struct Renglon {
        QString texto;
        QFont fuente;
        QColor color;
        QRect caja;
    };
    QList<Renglon> renglones() const;

protected:
    void paintEvent(QPaintEvent*) override;
};

} // namespace ombrix
