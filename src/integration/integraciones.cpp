#include "integration/integraciones.h"

#include "acquisition/adquisicion.h"
#include "acquisition/base_datos.h"
#include "config/modelo.h"
#include "events/registro_eventos.h"

#include <QMetaObject>

namespace ombrix {

Integraciones::Integraciones(Modelo& modelo, Origen origen, QObject* parent)
    : QObject(parent), modelo_(modelo), origen_(origen)
{
    auto eventos = std::make_unique<RegistroEventos>(modelo, origen);
    eventos_ = eventos.get();
    // Every event reaches the other listeners (an MQTT publisher sends it on).
    eventos_->repartir = [this](const Evento& e) { aTodos([&e](Oyente& o) { o.evento(e); }); };
    connect(eventos_, &RegistroEventos::aviso, this, &Integraciones::avisar);
    agregar(std::move(eventos));
}

Integraciones::~Integraciones()
{
    detener();
}

template <typename F>
void Integraciones::aTodos(F&& f)
{
    if (detenido_)
        return;
    for (const auto& o : oyentes_)
        f(*o);
}

void Integraciones::conectar(Adquisicion& adq)
{
    connect(&adq, &Adquisicion::lecturaHecha, this, &Integraciones::repartirLectura);
    connect(&adq, &Adquisicion::alarmaComEnganchada, this, [this](int n) {
        aTodos([n](Oyente& o) { o.disponibilidad(n, false); });
    });
    connect(&adq, &Adquisicion::alarmaComRestablecida, this, [this](int n) {
        aTodos([n](Oyente& o) { o.disponibilidad(n, true); });
    });
    connect(&adq, &Adquisicion::enLinea, this, [this](bool activa) {
        aTodos([activa](Oyente& o) { o.enLinea(activa); });
    });
    connect(&adq, &Adquisicion::puertoPerdido, this, [this](const QString& m) {
        aTodos([&m](Oyente& o) { o.puerto(false, m); });
    });
    connect(&adq, &Adquisicion::puertoRecuperado, this, [this] {
        aTodos([](Oyente& o) { o.puerto(true, QString()); });
    });
    connect(&adq, &Adquisicion::falloRegistro, this, [this](const QString& m) {
        aTodos([&m](Oyente& o) { o.registro(false, m); });
    });
    connect(&adq, &Adquisicion::registroRecuperado, this, [this] {
        aTodos([](Oyente& o) { o.registro(true, QString()); });
    });
    connect(&adq, &Adquisicion::filaGuardada, this, [this](int n) {
        eventos_->filaGuardada(n);
        aTodos([n](Oyente& o) { o.filaNueva(n); });
    });
}

void Integraciones::usarBase(BaseDatos& base)
{
    eventos_->usarBase(&base);
    rutaBase_ = base.ruta();
    aTodos([this](Oyente& o) { o.archivoAbierto(rutaBase_); });
}

void Integraciones::repartirLectura(int n, const ResultadoLectura& r, const QString& fecha, const QString& hora)
{
    if (oyentes_.empty() || detenido_)
        return;
    const LecturaPlanta l = lecturaPlanta(modelo_, n, r, fecha, hora);
    aTodos([&l](Oyente& o) { o.lectura(l); });
}

void Integraciones::agregar(std::unique_ptr<Oyente> oyente)
{
    if (oyente)
        oyentes_.push_back(std::move(oyente));
}

void Integraciones::quitar(Oyente* oyente)
{
    for (auto it = oyentes_.begin(); it != oyentes_.end(); ++it)
        if (it->get() == oyente) {
            (*it)->detener();
            oyentes_.erase(it);
            return;
        }
}

void Integraciones::detener()
{
    if (detenido_)
        return;
    detenido_ = true;
    for (const auto& o : oyentes_)
        o->detener();
}

void Integraciones::avisar(const QString& texto)
{
    QMetaObject::invokeMethod(this, [this, texto] { emit aviso(texto); }, Qt::QueuedConnection);
}

} // namespace ombrix
