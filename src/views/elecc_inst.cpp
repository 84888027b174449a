#include "views/elecc_inst.h"

#include "views/columnas_comb.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace ombrix {

QString tituloInstrumento(const Modelo& m, int n)
{
    if (n >= 0 && n < m.Estados.size() && !m.Estados[n].Titulo.isEmpty())
        return m.Estados[n].Titulo;
    return n >= 0 && n < m.ArrayConfig.size() ? m.ArrayConfig[n].Titulo : QString();
}

TFormaEleccInst::TFormaEleccInst(ContextoVistas& c, QWidget* parent) : QDialog(parent), ctx_(c)
{
    setObjectName(QStringLiteral("FormaEleccInst"));
    setWindowTitle(QStringLiteral("Instrumentos para la tabla combinada"));
    auto* capa = new QVBoxLayout(this);
    auto* medio = new QHBoxLayout;
    listaInstrumentos = new QListWidget(this);
    listaInstrumentos->setObjectName(QStringLiteral("listaInstrumentos"));
    listaInstrumentos->setMinimumWidth(200);
    medio->addWidget(listaInstrumentos);
    grupoInstrumento = new QGroupBox(this);
    grupoInstrumento->setObjectName(QStringLiteral("grupoInstrumento"));
    auto* cg = new QVBoxLayout(grupoInstrumento);
    const char* nombres[7] = {"VM1", "SP1", "POT1", "AL11", "AL12", "AL13", "AL14"};
    for (int k = 0; k < 7; ++k) {
        casillas[k] = new QCheckBox(grupoInstrumento);
        casillas[k]->setObjectName(QString::fromLatin1(nombres[k]));
        cg->addWidget(casillas[k]);
    }
    medio->addWidget(grupoInstrumento);
    capa->addLayout(medio);
    auto* botones = new QHBoxLayout;
    botones->addStretch();
    BotonVer = new QPushButton(QStringLiteral("&Ver Tabla"), this);
    BotonVer->setObjectName(QStringLiteral("BotonVer"));
    botonCancelar = new QPushButton(QStringLiteral("&Cancelar"), this);
    botonCancelar->setObjectName(QStringLiteral("botonCancelar"));
    botones->addWidget(BotonVer);
    botones->addWidget(botonCancelar);
    capa->addLayout(botones);
    connect(listaInstrumentos, &QListWidget::currentRowChanged, this, [this](int) { ListBox1Click(); });
    connect(BotonVer, &QPushButton::clicked, this, &TFormaEleccInst::BotonVerClick);
    connect(botonCancelar, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormaEleccInst::FormActivate()
{
    const Modelo& m = ctx_.modelo;
    const int cantidad = m.cantidadInstrumentos();
    InstrumentoElegido = 0;
    SeleccionComb.fill({}, cantidad + 1);
    for (int n = 1; n <= cantidad && n < m.InstGrafico.size(); ++n)
        for (int k = 0; k < 7; ++k)
            SeleccionComb[n][k] = columnaElegida(m.InstGrafico[n], TipoValor(k));
    const QSignalBlocker b(listaInstrumentos);
    listaInstrumentos->clear();
    for (int n = 1; n <= cantidad; ++n)
        listaInstrumentos->addItem(tituloInstrumento(m, n));
    if (cantidad > 0) {
        listaInstrumentos->setCurrentRow(0);
        ListBox1Click();
    }
    adjustSize();
}

void TFormaEleccInst::actualizar()
{
    if (InstrumentoElegido < 1 || InstrumentoElegido >= SeleccionComb.size())
        return;
    for (int k = 0; k < 7; ++k)
        SeleccionComb[InstrumentoElegido][k] = casillas[k]->isChecked();
}

void TFormaEleccInst::ListBox1Click()
{
    const int fila = listaInstrumentos->currentRow();
    const int i = fila + 1;
    if (fila < 0 || i >= SeleccionComb.size())
        return;
    grupoInstrumento->setTitle(listaInstrumentos->item(fila)->text() + QLatin1Char(':'));
    actualizar();
    for (int k = 0; k < 7; ++k) {
        const auto t = TipoValor(k);
        const bool mostrado = valorMostrado(ctx_.modelo, i, t);
        casillas[k]->setChecked(SeleccionComb[i][k] && mostrado);
        casillas[k]->setText(nombreValor(ctx_.modelo, i, t));
        casillas[k]->setEnabled(mostrado);
    }
    InstrumentoElegido = i;
}

void TFormaEleccInst::BotonVerClick()
{
    actualizar();
    Modelo& m = ctx_.modelo;
    for (int n = 1; n < SeleccionComb.size() && n < m.InstGrafico.size(); ++n) {
        TInstGrafico& g = m.InstGrafico[n];
        // A value the panel does not show can be neither chosen nor kept.
        bool f[7];
        for (int k = 0; k < 7; ++k)
            f[k] = SeleccionComb[n][k] && valorMostrado(m, n, TipoValor(k));
        g.ValorMedidoT = f[0];
        g.SetPointT = f[1];
        g.PotenciaT = f[2];
        g.Alarma1T = f[3];
        g.Alarma2T = f[4];
        g.Alarma3T = f[5];
        g.Alarma4T = f[6];
    }
    accept();
}

} // namespace ombrix
