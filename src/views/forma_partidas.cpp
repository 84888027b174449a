#include "views/forma_partidas.h"

#include "config/dialogos.h"
#include "events/informe_partida.h"
#include "views/contexto_vistas.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QVBoxLayout>

namespace ombrix {

TFormaPartidas::TFormaPartidas(ContextoVistas& c, int n, QWidget* parent) : QDialog(parent), ctx_(c), n_(n)
{
    setObjectName(QStringLiteral("formaPartidas"));
    setWindowTitle(QStringLiteral("Informe de partida"));
    auto* capa = new QVBoxLayout(this);
    rejillaPartidas = new QTableWidget(0, 4, this);
    rejillaPartidas->setObjectName(QStringLiteral("rejillaPartidas"));
    rejillaPartidas->setHorizontalHeaderLabels(
        {QStringLiteral("Partida"), QStringLiteral("Inicio"), QStringLiteral("Fin"), QStringLiteral("Filas")});
    rejillaPartidas->setEditTriggers(QAbstractItemView::NoEditTriggers);
    rejillaPartidas->setSelectionBehavior(QAbstractItemView::SelectRows);
    rejillaPartidas->setSelectionMode(QAbstractItemView::SingleSelection);
    rejillaPartidas->verticalHeader()->hide();
    rejillaPartidas->horizontalHeader()->setStretchLastSection(true);
    capa->addWidget(rejillaPartidas);
    auto* botones = new QHBoxLayout;
    botones->addStretch();
    botonInforme = new QPushButton(QStringLiteral("Informe de partida"), this);
    botonInforme->setObjectName(QStringLiteral("botonInforme"));
    botonCerrar = new QPushButton(QStringLiteral("Cerrar"), this);
    botonCerrar->setObjectName(QStringLiteral("botonCerrar"));
    botones->addWidget(botonInforme);
    botones->addWidget(botonCerrar);
    capa->addLayout(botones);
    connect(botonInforme, &QPushButton::clicked, this, &TFormaPartidas::BotonInformeClick);
    connect(botonCerrar, &QPushButton::clicked, this, &QDialog::reject);
    connect(rejillaPartidas, &QTableWidget::cellDoubleClicked, this, &TFormaPartidas::BotonInformeClick);

    QString error;
    if (ctx_.base.abierta())
        partidas_ = listarPartidas(ctx_.base.db(), QStringLiteral("Instrumento%1").arg(n_), &error);
    if (!error.isEmpty())
        dialogos().mensaje(kTituloError, QStringLiteral("No se pudieron leer las partidas: ") + error, Icono::Error, Botones::Ok);
    rejillaPartidas->setRowCount(int(partidas_.size()));
    for (int i = 0; i < partidas_.size(); ++i) {
        const PartidaListada& p = partidas_[i];
        const QStringList t{p.codigo, p.fechaInicio + QLatin1Char(' ') + p.horaInicio, p.fechaFin + QLatin1Char(' ') + p.horaFin,
                            QString::number(p.filas)};
        for (int c = 0; c < t.size(); ++c)
            rejillaPartidas->setItem(i, c, new QTableWidgetItem(t[c]));
    }
    if (!partidas_.isEmpty())
        rejillaPartidas->selectRow(0);
    botonInforme->setEnabled(!partidas_.isEmpty());
    resize(560, 320);
}

bool TFormaPartidas::generarInforme(const QString& codigo, const QString& ruta)
{
    DatosPartida d;
    QString error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool bien = leerPartida(ctx_.base.db(), n_, codigo, d, &error);
    if (bien && d.filas == 0) {
        bien = false;
        error = QStringLiteral("la partida no tiene filas");
    }
    if (bien) {
        EncabezadoPartida e;
        if (n_ < ctx_.modelo.ArrayConfig.size()) {
            e.titulo = ctx_.modelo.ArrayConfig[n_].Titulo;
            e.unidad = ctx_.modelo.ArrayConfig[n_].Unidad;
        }
        e.archivo = QFileInfo(ctx_.base.ruta()).fileName();
        bien = guardarInformePartida(d, e, ruta, &error);
    }
    QApplication::restoreOverrideCursor();
    if (!bien)
        dialogos().mensaje(kTituloError, QStringLiteral("No se pudo hacer el informe de la partida: ") + error, Icono::Error,
                           Botones::Ok);
    return bien;
}

void TFormaPartidas::BotonInformeClick()
{
    const int fila = rejillaPartidas->currentRow();
    if (fila < 0 || fila >= partidas_.size())
        return;
    QString nombre = partidas_[fila].codigo;
    nombre.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    const QString ruta = QFileDialog::getSaveFileName(this, QStringLiteral("Informe de partida"),
                                                      QStringLiteral("Partida_%1.pdf").arg(nombre),
                                                      QStringLiteral("Archivos PDF (*.pdf)"));
    if (!ruta.isEmpty())
        generarInforme(partidas_[fila].codigo, ruta);
}

TFormaPartidas* abrirPartidas(ContextoVistas& c, int n, QWidget* padre)
{
    auto* f = new TFormaPartidas(c, n, padre);
    f->setAttribute(Qt::WA_DeleteOnClose);
    f->show();
    return f;
}

} // namespace ombrix
