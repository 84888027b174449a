#pragma once
// The splash window: shown for three seconds at start and as the about box.

#include <QDialog>
#include <QTimer>

class QPushButton;

namespace ombrix {

class TFormaInicio : public QDialog {
    Q_OBJECT
public:
    explicit TFormaInicio(QWidget* parent = nullptr);

    QTimer* Timer1;          // 3000 ms, disabled until start-up enables it
    QPushButton* BotonOk;

    void Timer1Timer();
    void BotonOkClick();

protected:
    void paintEvent(QPaintEvent*) override;
};

} // namespace ombrix
