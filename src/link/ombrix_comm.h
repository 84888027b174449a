#pragma once
// The serial-line component as it sits on the tool bar: a 96 × 36 panel with
// the lamps Tx, Rx and Al. The line itself (settings, port, transactions,
// lamp states) is an EnlaceModbus; this widget forwards to it and paints.

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

    TBaud Baud() const { return enlace_->Baud(); }
    void setBaud(TBaud v) { enlace_->setBaud(v); }
    int TimeOuts() const { return enlace_->TimeOuts(); }
    void setTimeOuts(int v) { enlace_->setTimeOuts(v); }
    int Retries() const { return enlace_->Retries(); }
    void setRetries(int v) { enlace_->setRetries(v); }
    TWord WordSize() const { return enlace_->WordSize(); }
    void setWordSize(TWord v) { enlace_->setWordSize(v); }
    TPar Par() const { return enlace_->Par(); }
    void setPar(TPar v) { enlace_->setPar(v); }
    TStop StopBits() const { return enlace_->StopBits(); }
    void setStopBits(TStop v) { enlace_->setStopBits(v); }

    bool TxLamp() const { return enlace_->TxLamp(); }
    bool RxLamp() const { return enlace_->RxLamp(); }
    bool AlLamp() const { return enlace_->AlLamp(); }
    int RetryCount() const { return enlace_->RetryCount(); }
    bool PortOpen() const { return enlace_->PortOpen(); }

    void setDispositivoConfigurado(std::function<QString(QString)> buscar)
    {
        enlace_->setDispositivoConfigurado(std::move(buscar));
    }
    FalloApertura OpenPort(const QString& PortName, TEstadoPuerto& Port) { return enlace_->OpenPort(PortName, Port); }
    void ClosePort(int Handle, TEstadoPuerto& Port) { enlace_->ClosePort(Handle, Port); }
    bool setLineas(int Handle, bool dtr, bool rts) { return enlace_->setLineas(Handle, dtr, rts); }

    void Transact(int Handle, quint8 Slave, int Address, int Value, quint8 FunctionCode, bool CheckCrc,
                  TModbusResult& Result)
    {
        enlace_->Transact(Handle, Slave, Address, Value, FunctionCode, CheckCrc, Result);
    }
    void ReadHoldingRegister(int Handle, quint8 Slave, int Address, int Value, bool CheckCrc, TModbusResult& Result)
    {
        enlace_->ReadHoldingRegister(Handle, Slave, Address, Value, CheckCrc, Result);
    }
    void ReadCoils(int Handle, quint8 Slave, int Address, int Value, bool CheckCrc, TModbusResult& Result)
    {
        enlace_->ReadCoils(Handle, Slave, Address, Value, CheckCrc, Result);
    }
    void WriteSingleRegister(int Handle, quint8 Slave, int Address, int Value, bool CheckCrc, TModbusResult& Result)
    {
        enlace_->WriteSingleRegister(Handle, Slave, Address, Value, CheckCrc, Result);
    }
    void WriteSingleCoil(int Handle, quint8 Slave, int Address, int Value, bool CheckCrc, TModbusResult& Result)
    {
        enlace_->WriteSingleCoil(Handle, Slave, Address, Value, CheckCrc, Result);
    }
    void DoRetries(int N) { enlace_->DoRetries(N); }
    void DoFallaComm() { enlace_->DoFallaComm(); }

signals:
    void OnFallaComm();
    void OnRetries();

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
