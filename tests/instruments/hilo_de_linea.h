#pragma once
// The owner of the line on a thread of its own, as the polling thread is
// while the program acquires: it runs the queued work one item at a time on
// the test's line and hands what is to follow back to the window thread,
// where it runs only if its receiver is still there. The test can hold the
// work before it touches the line, or hold the answer after it.

#include "banco_paneles.h"

#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace ombrix::test {

class HiloDeLinea : public QObject {
public:
    explicit HiloDeLinea(Linea& l) : linea_(l), hilo_([this] { atender(); }) {}
    ~HiloDeLinea() override
    {
        {
            std::lock_guard l(m_);
            fin_ = true;
        }
        cambio_.notify_all();
        hilo_.join();
    }

    bool encolar(QObject* receptor, TrabajoLinea trabajo)
    {
        {
            std::lock_guard l(m_);
            cola_.push_back({QPointer<QObject>(receptor), std::move(trabajo)});
        }
        cambio_.notify_all();
        return true;
    }

    void retenerTrabajo(bool si) { poner(retenerTrabajo_, si); }
    void retenerRespuestas(bool si) { poner(retenerRespuestas_, si); }
    // Work items that have been on the line.
    int hechos()
    {
        std::lock_guard l(m_);
        return hechos_;
    }

private:
    struct Pedido {
        QPointer<QObject> receptor;
        TrabajoLinea trabajo;
    };

    void poner(bool& bandera, bool si)
    {
        {
            std::lock_guard l(m_);
            bandera = si;
        }
        cambio_.notify_all();
    }

    void atender()
    {
        for (;;) {
            Pedido p;
            {
                std::unique_lock l(m_);
                cambio_.wait(l, [this] { return fin_ || (!retenerTrabajo_ && !cola_.empty()); });
                if (fin_)
                    return;
                p = std::move(cola_.front());
                cola_.pop_front();
            }
            std::function<void()> despues = p.trabajo(linea_.enlace, linea_.puerto.Abierto ? linea_.puerto.Handle : -1);
            {
                std::unique_lock l(m_);
                ++hechos_;
                cambio_.wait(l, [this] { return fin_ || !retenerRespuestas_; });
                if (fin_)
                    return;
            }
            if (despues)
                QMetaObject::invokeMethod(
                    this,
                    [receptor = std::move(p.receptor), despues = std::move(despues)] {
                        if (receptor)
                            despues();
                    },
                    Qt::QueuedConnection);
        }
    }

    Linea& linea_;
    std::mutex m_;
    std::condition_variable cambio_;
    std::deque<Pedido> cola_;
    bool fin_ = false;
    bool retenerTrabajo_ = false;
    bool retenerRespuestas_ = false;
    int hechos_ = 0;
    std::thread hilo_;   // last: starts once everything it uses exists
};

} // namespace ombrix::test
