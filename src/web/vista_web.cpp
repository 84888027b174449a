#include "web/vista_web.h"

#include "web/servidor_web.h"

namespace ombrix {

VistaWeb::VistaWeb(const AjustesWeb& ajustes, std::vector<web::InstrumentoWeb> instrumentos, const QString& rutaBase,
                   std::function<void(const QString&)> avisar)
    : ajustes_(ajustes), estado_(std::make_shared<web::EstadoWeb>())
{
    for (auto& i : instrumentos)
        estado_->instrumentos.emplace(i.n, std::move(i));
    estado_->rutaBase = rutaBase;
    estado_->avisar = std::move(avisar);
    hilo_.setObjectName(QStringLiteral("ombrix-web"));
    servidor_ = new web::Servidor(ajustes_, estado_);
    servidor_->moveToThread(&hilo_);
    hilo_.start();
}

VistaWeb::~VistaWeb()
{
    detener();
}

QString VistaWeb::iniciar()
{
    QString error;
    QMetaObject::invokeMethod(servidor_, [&] { error = servidor_->escuchar(); }, Qt::BlockingQueuedConnection);
    return error;
}

quint16 VistaWeb::puerto() const { return servidor_ ? servidor_->puerto() : 0; }

void VistaWeb::poner(web::Cambio&& c)
{
    bool despertar = false;
    {
        std::lock_guard g(estado_->m);
        if (estado_->cola.size() >= web::EstadoWeb::kColaMaxima) {
            estado_->cola.pop_front();
            ++estado_->descartadas;
            if (estado_->descartadasEpisodio++ == 0 && estado_->avisar)
                estado_->avisar(QStringLiteral("Web: la cola de avisos está llena; se descartan los más antiguos"));
        }
        estado_->cola.push_back(std::move(c));
        despertar = !estado_->despertado;
        estado_->despertado = true;
    }
    if (despertar && !detenida_)
        QMetaObject::invokeMethod(servidor_, &web::Servidor::repartir, Qt::QueuedConnection);
}

void VistaWeb::lectura(const LecturaPlanta& l)
{
    bool arranque = false;
    {
        std::lock_guard g(estado_->m);
        // A reading means the acquisition runs, also for a view built while it was running.
        arranque = !estado_->enLinea;
        estado_->enLinea = true;
        auto it = estado_->instrumentos.find(l.instrumento);
        if (it == estado_->instrumentos.end()) {
            web::InstrumentoWeb i;
            i.n = l.instrumento;
            it = estado_->instrumentos.emplace(i.n, i).first;
        }
        it->second.ultima = l;
        it->second.programador = l.programador;
        if (l.alarmaCom)
            it->second.disponible = false;
    }
    if (arranque)
        poner({});
    web::Cambio c;
    c.tipo = web::Cambio::Lectura;
    c.lectura = l;
    poner(std::move(c));
}

void VistaWeb::disponibilidad(int n, bool disponible)
{
    {
        std::lock_guard g(estado_->m);
        if (auto it = estado_->instrumentos.find(n); it != estado_->instrumentos.end())
            it->second.disponible = disponible;
    }
    poner({});
}

void VistaWeb::enLinea(bool activa)
{
    {
        std::lock_guard g(estado_->m);
        estado_->enLinea = activa;
    }
    poner({});
}

void VistaWeb::puerto(bool disponible, const QString& texto)
{
    {
        std::lock_guard g(estado_->m);
        estado_->puertoDisponible = disponible;
        estado_->textoPuerto = texto;
    }
    poner({});
}

void VistaWeb::registro(bool funciona, const QString& texto)
{
    {
        std::lock_guard g(estado_->m);
        estado_->registroFunciona = funciona;
        estado_->textoRegistro = texto;
    }
    poner({});
}

void VistaWeb::evento(const Evento& e)
{
    // Rows changed under the trends' block summaries.
    if (e.tipo == tipoEvento::Edicion || e.tipo == tipoEvento::Borrado)
        estado_->resumenes->olvidar(e.instrumento);
    web::Cambio c;
    c.tipo = web::Cambio::Evento;
    c.evento = e;
    poner(std::move(c));
}

void VistaWeb::archivoAbierto(const QString& ruta)
{
    {
        std::lock_guard g(estado_->m);
        estado_->rutaBase = ruta;
    }
    estado_->resumenes->olvidar(-1);
}

void VistaWeb::detener()
{
    if (detenida_)
        return;
    detenida_ = true;
    if (hilo_.isRunning()) {
        // Closed on its own thread, where its sockets and timers live, and
        // deleted there too when the thread finishes.
        web::Servidor* s = servidor_;
        QMetaObject::invokeMethod(s, [s] {
            s->cerrar();
            s->deleteLater();
        }, Qt::BlockingQueuedConnection);
        servidor_ = nullptr;
        hilo_.quit();
        hilo_.wait();
    }
}

VistaWeb::Cifras VistaWeb::cifras() const
{
    Cifras c;
    {
        std::lock_guard g(estado_->m);
        c.descartadas = estado_->descartadas;
    }
    if (servidor_) {
        c.clientes = servidor_->clientes();
        c.vivos = servidor_->vivos();
        c.lentos = servidor_->lentosCortados();
    }
    return c;
}

} // namespace ombrix
