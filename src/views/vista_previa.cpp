#include "views/vista_previa.h"

#include "config/dialogos.h"
#include "views/impresion.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPrintDialog>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

namespace ombrix {

TVistaPrevia::TVistaPrevia(std::unique_ptr<Informe> informe, const QString& caption, QWidget* parent)
    : QWidget(parent, Qt::Window), informe_(std::move(informe))
{
    setObjectName(QStringLiteral("vistaPrevia"));
    setWindowTitle(QStringLiteral("Vista previa: ") + caption);
    auto* capa = new QVBoxLayout(this);
    auto* barra = new QHBoxLayout;
    auto boton = [&](const QString& texto, const char* nombre) {
        auto* b = new QPushButton(texto, this);
        b->setObjectName(QLatin1String(nombre));
        barra->addWidget(b);
        return b;
    };
    botonPrimera = boton(QStringLiteral("Primera"), "botonPrimera");
    botonAnterior = boton(QStringLiteral("Anterior"), "botonAnterior");
    etiquetaPagina = new QLabel(this);
    etiquetaPagina->setObjectName(QStringLiteral("etiquetaPagina"));
    etiquetaPagina->setMinimumWidth(160);
    etiquetaPagina->setAlignment(Qt::AlignCenter);
    barra->addWidget(etiquetaPagina);
    botonSiguiente = boton(QStringLiteral("Siguiente"), "botonSiguiente");
    botonUltima = boton(QStringLiteral("Última"), "botonUltima");
    barra->addWidget(new QLabel(QStringLiteral("Zoom:"), this));
    zoomPorcentaje = new QSpinBox(this);
    zoomPorcentaje->setObjectName(QStringLiteral("zoomPorcentaje"));
    zoomPorcentaje->setRange(20, 300);
    zoomPorcentaje->setSingleStep(10);
    zoomPorcentaje->setSuffix(QStringLiteral(" %"));
    zoomPorcentaje->setValue(80);
    barra->addWidget(zoomPorcentaje);
    barra->addStretch(1);
    botonImprimir = boton(QStringLiteral("Imprimir"), "botonImprimir");
    progreso = new QProgressBar(this);
    progreso->setVisible(false);
    barra->addWidget(progreso);
    botonCancelar = boton(QStringLiteral("Cancelar"), "botonCancelar");
    botonCancelar->setVisible(false);
    botonCerrar = boton(QStringLiteral("Cerrar"), "botonCerrar");
    capa->addLayout(barra);

    area_ = new QScrollArea(this);
    area_->setBackgroundRole(QPalette::Dark);
    area_->setAlignment(Qt::AlignCenter);
    hoja = new QLabel;
    hoja->setObjectName(QStringLiteral("hoja"));
    area_->setWidget(hoja);
    capa->addWidget(area_, 1);
    resize(940, 760);

    hilo_ = dynamic_cast<FilasInformeHilo*>(informe_->fuente());
    if (!hilo_) {
        paginas_ = informe_->paginas();
        if (!informe_->error().isEmpty())
            dialogos().mensaje(kTituloError, QStringLiteral("No se pudieron leer las filas del informe: ") + informe_->error(),
                               Icono::Error, Botones::Ok);
    }
    connect(botonPrimera, &QPushButton::clicked, this, &TVistaPrevia::BotonPrimeraClick);
    connect(botonAnterior, &QPushButton::clicked, this, &TVistaPrevia::BotonAnteriorClick);
    connect(botonSiguiente, &QPushButton::clicked, this, &TVistaPrevia::BotonSiguienteClick);
    connect(botonUltima, &QPushButton::clicked, this, &TVistaPrevia::BotonUltimaClick);
    connect(botonImprimir, &QPushButton::clicked, this, [this] { BotonImprimirClick(); });
    connect(botonCancelar, &QPushButton::clicked, this, &TVistaPrevia::cancelarImpresion);
    connect(botonCerrar, &QPushButton::clicked, this, &QWidget::close);
    connect(zoomPorcentaje, &QSpinBox::valueChanged, this, &TVistaPrevia::dibujar);
    pasos_.setInterval(0);
    connect(&pasos_, &QTimer::timeout, this, &TVistaPrevia::pasoImpresion);
    if (!hilo_) {
        irAPagina(1);
        return;
    }
    // The rows are counted on the worker; the pages are known when it answers.
    contando_ = true;
    for (QPushButton* b : {botonPrimera, botonAnterior, botonSiguiente, botonUltima, botonImprimir})
        b->setEnabled(false);
    etiquetaPagina->setText(QStringLiteral("Contando las filas..."));
    hilo_->pedir([this](FilasInformeSqlite* f) {
        const qint64 n = f ? f->contar() : 0;
        const QString error = f ? f->error() : QStringLiteral("no se pudo abrir la base de datos");
        QMetaObject::invokeMethod(this, [this, n, error] { contadas(n, error); }, Qt::QueuedConnection);
    });
}

void TVistaPrevia::contadas(qint64 filas, const QString& error)
{
    contando_ = false;
    informe_->ponerFilas(filas);
    paginas_ = informe_->paginas();
    botonImprimir->setEnabled(true);
    if (!error.isEmpty())
        dialogos().mensaje(kTituloError, QStringLiteral("No se pudieron leer las filas del informe: ") + error,
                           Icono::Error, Botones::Ok);
    irAPagina(pagina_);
}

TVistaPrevia::~TVistaPrevia()
{
    impresion_.reset();
    // A worker still reading is waited for while this window is whole.
    hilo_ = nullptr;
    informe_.reset();
}

int TVistaPrevia::zoom() const { return zoomPorcentaje->value(); }

void TVistaPrevia::irAPagina(qint64 p)
{
    if (contando_)
        return;
    pagina_ = qBound<qint64>(1, p, paginas_);
    botonPrimera->setEnabled(pagina_ > 1);
    botonAnterior->setEnabled(pagina_ > 1);
    botonSiguiente->setEnabled(pagina_ < paginas_);
    botonUltima->setEnabled(pagina_ < paginas_);
    etiquetaPagina->setText(QStringLiteral("Página %1 de %2").arg(pagina_).arg(paginas_));
    dibujar();
}

void TVistaPrevia::dibujar()
{
    if (contando_)
        return;
    const double dpi = logicalDpiX() * zoom() / 100.0;
    if (hilo_) {
        // The page's rows come from the worker; a zoom redraws those held.
        if (paginaLeida_ == pagina_) {
            mostrarHoja(informe_->imagen(pagina_, dpi, filasPagina_), QString());
            return;
        }
        const qint64 pagina = pagina_;
        qint64 desde = 0;
        int cuantas = 0;
        informe_->filasDePagina(pagina, desde, cuantas);
        hilo_->pedir([this, pagina, desde, cuantas](FilasInformeSqlite* f) {
            QVector<QStringList> filas;
            QString error;
            const bool bien = cuantas <= 0 || (f && f->leer(desde, cuantas, filas, &error));
            if (!bien && error.isEmpty())
                error = QStringLiteral("no se pudo abrir la base de datos");
            QMetaObject::invokeMethod(
                this, [this, pagina, filas, bien, error] { paginaLeida(pagina, filas, bien ? QString() : error); },
                Qt::QueuedConnection);
        });
        return;
    }
    QString error;
    mostrarHoja(informe_->imagen(pagina_, dpi, &error), error);
}

void TVistaPrevia::paginaLeida(qint64 pagina, const QVector<QStringList>& filas, const QString& error)
{
    // Another page asked for since: its own answer follows.
    if (pagina != pagina_)
        return;
    if (!error.isEmpty()) {
        mostrarHoja(QImage(), error);
        return;
    }
    paginaLeida_ = pagina;
    filasPagina_ = filas;
    mostrarHoja(informe_->imagen(pagina, logicalDpiX() * zoom() / 100.0, filas), QString());
}

void TVistaPrevia::mostrarHoja(const QImage& img, const QString& error)
{
    ++dibujadas_;
    if (img.isNull()) {
        hoja->setText(QStringLiteral("No se pudo leer la página: ") + error);
        hoja->adjustSize();
        return;
    }
    hoja->setPixmap(QPixmap::fromImage(img));
    hoja->adjustSize();
}

bool TVistaPrevia::BotonImprimirClick()
{
    if (imprimiendo() || contando_)
        return false;
    DestinoImpresion& destino = DestinoImpresion::comun();
    if (!destino.preparar())
        return false;
    qint64 desde = 1, hasta = paginas_;
    if (!destino.aPdf()) {
        QPrinter& impresora = destino.impresora();
        impresora.setFromTo(1, int(qMin<qint64>(paginas_, INT_MAX)));
        QPrintDialog d(&impresora, this);
        d.setMinMax(1, int(qMin<qint64>(paginas_, INT_MAX)));
        d.setOption(QAbstractPrintDialog::PrintPageRange);
        if (d.exec() != QDialog::Accepted)
            return false;
        if (d.printRange() == QAbstractPrintDialog::PageRange) {
            desde = impresora.fromPage();
            hasta = impresora.toPage();
        } else if (d.printRange() == QAbstractPrintDialog::CurrentPage) {
            desde = hasta = pagina_;
        }
    }
    return imprimir(desde, hasta);
}

bool TVistaPrevia::imprimir(qint64 desde, qint64 hasta)
{
    if (imprimiendo())
        return false;
    DestinoImpresion& destino = DestinoImpresion::comun();
    QString error;
    if (!destino.empezarArchivo(&error)) {
        dialogos().mensaje(kTituloError, QStringLiteral("No se pudo imprimir el informe: ") + error, Icono::Error,
                           Botones::Ok);
        return false;
    }
    QPrinter& impresora = destino.impresora();
    prepararPagina(impresora, informe_->diseno());
    impresion_ = std::make_unique<ImpresionInforme>(*informe_, impresora, desde, hasta);
    progreso->setRange(0, int(qMin<qint64>(impresion_->total(), INT_MAX)));
    progreso->setValue(0);
    progreso->setVisible(true);
    botonCancelar->setVisible(true);
    botonImprimir->setEnabled(false);
    pasos_.start();
    return true;
}

void TVistaPrevia::pasoImpresion()
{
    if (!impresion_)
        return;
    // Slices short enough to keep the window answering.
    const bool quedan = impresion_->paso(25);
    progreso->setValue(int(qMin<qint64>(impresion_->impresas(), INT_MAX)));
    if (!quedan)
        terminarImpresion();
}

void TVistaPrevia::cancelarImpresion()
{
    if (impresion_)
        impresion_->cancelar();
    terminarImpresion();
}

void TVistaPrevia::terminarImpresion()
{
    pasos_.stop();
    if (!impresion_)
        return;
    bool bien = !impresion_->fallo() && impresion_->impresas() == impresion_->total();
    QString error = impresion_->error();
    impresion_.reset();
    // The PDF file, complete, replaces the old one; a cancelled print leaves it as it was.
    if (!DestinoImpresion::comun().terminarArchivo(bien, &error) && bien)
        bien = false;
    progreso->setVisible(false);
    botonCancelar->setVisible(false);
    botonImprimir->setEnabled(true);
    if (!error.isEmpty())
        dialogos().mensaje(kTituloError, QStringLiteral("No se pudo imprimir el informe: ") + error, Icono::Error,
                           Botones::Ok);
    emit impresionTerminada(bien);
}

TVistaPrevia* previaInstrumento(QWidget* padre, const QSqlDatabase& db, int n, const QString& titulo,
                                const QString& ruta)
{
    const QString tabla = QStringLiteral("Instrumento%1").arg(n);
    const qint64 hastaId = qMax<qint64>(FilasInformeSqlite::ultimoId(db, tabla), 0);
    std::unique_ptr<Informe> informe =
        ruta.isEmpty() ? informeInstrumento(db, n, titulo, hastaId)
                       : std::make_unique<Informe>(disenoInstrumento(titulo),
                                                   std::make_unique<FilasInformeHilo>(ruta, tabla, columnasInformeInstrumento(),
                                                                                      hastaId));
    auto* v = new TVistaPrevia(std::move(informe), titulo, padre);
    v->setAttribute(Qt::WA_DeleteOnClose);
    v->show();
    return v;
}

TVistaPrevia* previaCombinada(QWidget* padre, const QSqlDatabase& db, const QString& titulo,
                              const QVector<ColumnaComb>& columnas, const QString& ruta)
{
    const qint64 hastaId = qMax<qint64>(FilasInformeSqlite::ultimoId(db, QStringLiteral("Combinada")), 0);
    std::unique_ptr<Informe> informe;
    if (ruta.isEmpty()) {
        informe = informeCombinado(db, titulo, columnas, hastaId);
    } else {
        QStringList campos{QStringLiteral("Id"), QStringLiteral("Fecha"), QStringLiteral("Hora")};
        for (const ColumnaComb& c : columnas)
            campos << c.campo;
        informe = informeCombinado(titulo, columnas,
                                   std::make_unique<FilasInformeHilo>(ruta, QStringLiteral("Combinada"), campos, hastaId));
    }
    auto* v = new TVistaPrevia(std::move(informe), titulo, padre);
    v->setAttribute(Qt::WA_DeleteOnClose);
    v->show();
    return v;
}

TVistaPrevia* previaCombinada(QWidget* padre, const QString& titulo, const QVector<ColumnaComb>& columnas,
                              std::unique_ptr<FilasInforme> fuente)
{
    auto* v = new TVistaPrevia(informeCombinado(titulo, columnas, std::move(fuente)), titulo, padre);
    v->setAttribute(Qt::WA_DeleteOnClose);
    v->show();
    return v;
}

} // namespace ombrix
