#pragma once
// The serial-line component as it sits on the tool bar: a 96 × 36 panel with
// the lamps Tx, Rx and Al. The line itself (settings, port, transactions,
// lamp states, failure and retry notices) is an EnlaceModbus, reached through
// enlace(); this widget paints its lamps.

#include "link/modbus.h"

#include <QColor>
#include <QWidget>

namespace ombrix {

class TOmbrixComm : public QWidget {
    Q_OBJECT
public:
    // Creates and owns its own line.
    explicit TOmbrixComm(QWidget* parent = nullptr);
    // Shows the lamps of a line owned elsewhere (it must outlive the widget).
    explicit TOmbrixComm(EnlaceModbus* enlace, QWidget* parent = nullptr);

    EnlaceModbus& enlace() { return *enlace_; }
    const EnlaceModbus& enlace() const { return *enlace_; }

    QSize sizeHint() const override { return QSize(96, 36); }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void conectar();

    EnlaceModbus* enlace_;
    // The font colour of the drawing surface: black until "Al" has been
    // written once in yellow, which it then keeps for every label.
    QColor colorLetra_ = Qt::black;
};

} // namespace ombrix
