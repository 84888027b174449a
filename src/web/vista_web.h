#pragma once
// The read-only web view of the line as a listener of the stream: it keeps
// the latest reading of every instrument and the line's state, and hands
// each change to the server's thread through a bounded queue (the oldest
// dropped and counted when full, told once per episode). The stream never
// waits for the network.

#include "config/ajustes_web.h"
#include "integration/integraciones.h"
#include "web/estado_web.h"

#include <QThread>

#include <memory>
#include <vector>

namespace ombrix {

namespace web {
class Servidor;
}

class VistaWeb : public Oyente {
public:
    VistaWeb(const AjustesWeb& ajustes, std::vector<web::InstrumentoWeb> instrumentos, const QString& rutaBase,
             std::function<void(const QString&)> avisar);
    ~VistaWeb() override;

    // Listens; "" or what stops it.
    QString iniciar();
    // The port listened on (the one asked, or the one the system gave for 0).
    quint16 puerto() const;
    const AjustesWeb& ajustes() const { return ajustes_; }

    void lectura(const LecturaPlanta& l) override;
    void disponibilidad(int n, bool disponible) override;
    void enLinea(bool activa) override;
    void puerto(bool disponible, const QString& texto) override;
    void registro(bool funciona, const QString& texto) override;
    void evento(const Evento& e) override;
    void archivoAbierto(const QString& ruta) override;
    void detener() override;

    struct Cifras {
        qint64 descartadas = 0;   // changes dropped from a full queue
        int clientes = 0;         // connections open
        int vivos = 0;            // live pages among them
        qint64 lentos = 0;        // live pages dropped for not taking what was sent
    };
    Cifras cifras() const;

private:
    void poner(web::Cambio&& c);

    AjustesWeb ajustes_;
    std::shared_ptr<web::EstadoWeb> estado_;
    QThread hilo_;
    web::Servidor* servidor_ = nullptr;
    bool detenida_ = false;
};

} // namespace ombrix
