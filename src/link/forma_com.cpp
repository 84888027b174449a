#include "forma_com.h"

#include "config/dialogos.h"
#include "config/modelo.h"
#include "link/enlace_tcp.h"
#include "link/modbus.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <climits>

namespace ombrix {

GrupoRadio::GrupoRadio(const QString& titulo, QWidget* parent) : QGroupBox(titulo, parent)
{
    new QVBoxLayout(this);
}

void GrupoRadio::agregar(const QString& texto)
{
    auto* b = new QRadioButton(texto, this);
    layout()->addWidget(b);
    botones_ << b;
}

int GrupoRadio::ItemIndex() const
{
    for (int i = 0; i < botones_.size(); ++i)
        if (botones_[i]->isChecked())
            return i;
    return -1;
}

void GrupoRadio::setItemIndex(int i)
{
    for (int k = 0; k < botones_.size(); ++k) {
        botones_[k]->setAutoExclusive(false);
        botones_[k]->setChecked(k == i);
        botones_[k]->setAutoExclusive(true);
    }
}

TFormaCom::TFormaCom(Modelo& modelo, QWidget* parent) : QDialog(parent), modelo_(modelo)
{
    setObjectName(QStringLiteral("FormaCom"));
    setWindowTitle(QStringLiteral("Parámetros de Comunicaciones"));
    setModal(true);

    Paginas = new QTabWidget(this);
    Paginas->setTabPosition(QTabWidget::South);

    PuertoPC = new QWidget;
    grupoPuerto = new QGroupBox(QStringLiteral("Puerto de comunicaciones"), PuertoPC);
    auto* puertos = new QGridLayout(grupoPuerto);
    for (int i = 0; i < 8; ++i) {
        COM[i] = new QRadioButton(QStringLiteral("COM%1").arg(i + 1), grupoPuerto);
        COM[i]->setObjectName(QStringLiteral("COM%1").arg(i + 1));
        puertos->addWidget(COM[i], i % 4, i / 4);
    }
    botonServidor = new QRadioButton(QStringLiteral("Servidor serie (TCP)"), grupoPuerto);
    botonServidor->setObjectName(QStringLiteral("botonServidor"));
    botonServidor->setToolTip(QStringLiteral("La línea RS-485 termina en un servidor serie de red: "
                                             "se conecta a su nombre o dirección y a su puerto TCP"));
    editorServidor = new QLineEdit(grupoPuerto);
    editorServidor->setObjectName(QStringLiteral("editorServidor"));
    editorServidor->setPlaceholderText(QStringLiteral("nombre o dirección"));
    casillaPuertoTcp = new QSpinBox(grupoPuerto);
    casillaPuertoTcp->setObjectName(QStringLiteral("casillaPuertoTcp"));
    casillaPuertoTcp->setRange(1, 65535);
    casillaPuertoTcp->setValue(4001);
    casillaPuertoTcp->setToolTip(QStringLiteral("Puerto TCP del servidor serie"));
    puertos->addWidget(botonServidor, 4, 0, 1, 2);
    auto* capaServidor = new QHBoxLayout;
    capaServidor->addWidget(editorServidor, 1);
    capaServidor->addWidget(new QLabel(QStringLiteral(":"), grupoPuerto));
    capaServidor->addWidget(casillaPuertoTcp);
    puertos->addLayout(capaServidor, 5, 0, 1, 2);
    const auto servidorElegido = [this](bool si) {
        editorServidor->setEnabled(si);
        casillaPuertoTcp->setEnabled(si);
    };
    connect(botonServidor, &QRadioButton::toggled, this, servidorElegido);
    servidorElegido(false);
    COM[1]->setChecked(true);
    grupoVelocidad = new QGroupBox(QStringLiteral("Velocidad"), PuertoPC);
    BaudRate = new QComboBox(grupoVelocidad);
    BaudRate->addItems({QStringLiteral("4800 baudios"), QStringLiteral("9600 baudios"), QStringLiteral("19200 baudios")});
    BaudRate->setCurrentIndex(-1);
    (new QVBoxLayout(grupoVelocidad))->addWidget(BaudRate);
    grupoRts = new GrupoRadio(QStringLiteral("RTS"), PuertoPC);
    grupoRts->setToolTip(QStringLiteral("Señal RTS (Request-To-Send)"));
    grupoDtr = new GrupoRadio(QStringLiteral("DTR"), PuertoPC);
    grupoDtr->setToolTip(QStringLiteral("Señal DTR (Data-Terminal-ready)"));
    for (GrupoRadio* g : {grupoRts, grupoDtr}) {
        g->agregar(QStringLiteral("Borrar"));
        g->agregar(QStringLiteral("Enviar"));
    }
    auto* derecha = new QVBoxLayout;
    derecha->addWidget(grupoVelocidad);
    auto* lineas = new QHBoxLayout;
    lineas->addWidget(grupoRts);
    lineas->addWidget(grupoDtr);
    derecha->addLayout(lineas);
    auto* pp = new QHBoxLayout(PuertoPC);
    pp->addWidget(grupoPuerto);
    pp->addLayout(derecha);
    Paginas->addTab(PuertoPC, QStringLiteral("Puerto PC"));

    Datos = new QWidget;
    grupoTomaDatos = new QGroupBox(QStringLiteral("Toma de datos en las tablas:"), Datos);
    Sincronismo = new QCheckBox(QStringLiteral("Sincronizados"), grupoTomaDatos);
    TiempoSinc1 = new QSpinBox(grupoTomaDatos);
    TiempoSinc1->setRange(INT_MIN, INT_MAX);   // no limits of its own
    // Wide enough for any sensible period; the box itself takes any number.
    TiempoSinc1->setMaximumWidth(TiempoSinc1->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 40);
    auto* capaTomaDatos = new QGridLayout(grupoTomaDatos);
    capaTomaDatos->addWidget(Sincronismo, 0, 0, 1, 3);
    capaTomaDatos->addWidget(TiempoSinc1, 1, 0);
    capaTomaDatos->addWidget(new QLabel(QStringLiteral("Segundos"), grupoTomaDatos), 1, 1);
    capaTomaDatos->setColumnStretch(2, 1);
    grupoBarrido = new QGroupBox(QStringLiteral(" Tiempo de barrido: "), Datos);
    Barrido = new QSpinBox(grupoBarrido);
    Barrido->setRange(1, 65536);
    auto* capaBarrido = new QHBoxLayout(grupoBarrido);
    capaBarrido->addWidget(Barrido);
    capaBarrido->addWidget(new QLabel(QStringLiteral("Segundos"), grupoBarrido));
    capaBarrido->addStretch();
    grupoReintento = new QGroupBox(QStringLiteral(" Alarma de comunicación: "), Datos);
    etiquetaReintento = new QLabel(QStringLiteral("Reintentar instrumentos en alarma cada"), grupoReintento);
    casillaReintento = new QSpinBox(grupoReintento);
    casillaReintento->setRange(0, 3600);
    casillaReintento->setSuffix(QStringLiteral(" s"));
    casillaReintento->setSpecialValueText(QStringLiteral("Nunca"));
    etiquetaReintento->setBuddy(casillaReintento);
    const QString ayudaReintento = QStringLiteral(
        "Cada cuántos segundos se vuelve a interrogar a un instrumento que quedó en alarma "
        "de comunicación; si responde, su alarma se repone sola.\n"
        "«Nunca»: la alarma queda hasta que el operador la repone.");
    etiquetaReintento->setToolTip(ayudaReintento);
    casillaReintento->setToolTip(ayudaReintento);
    auto* gr = new QHBoxLayout(grupoReintento);
    gr->addWidget(etiquetaReintento);
    gr->addWidget(casillaReintento);
    gr->addStretch();
    auto* dl = new QVBoxLayout(Datos);
    dl->addWidget(grupoTomaDatos);
    dl->addWidget(grupoBarrido);
    dl->addWidget(grupoReintento);
    dl->addStretch();
    Paginas->addTab(Datos, QStringLiteral("Datos"));
    Paginas->setCurrentIndex(0);

    botonAceptar = new QPushButton(QStringLiteral("&Aceptar"));
    botonAceptar->setDefault(true);
    botonCancelar = new QPushButton(QStringLiteral("&Cancelar"));
    auto* botones = new QHBoxLayout;
    botones->addStretch();
    botones->addWidget(botonAceptar);
    botones->addWidget(botonCancelar);
    auto* capa = new QVBoxLayout(this);
    capa->addWidget(Paginas);
    capa->addLayout(botones);
    // Tight margins: the dialog keeps its small fixed size.
    for (QLayout* l : findChildren<QLayout*>()) {
        l->setContentsMargins(4, 4, 4, 4);
        l->setSpacing(2);
    }
    capa->setContentsMargins(4, 4, 4, 4);
    setFixedSize(sizeHint().expandedTo(QSize(328, 211)));
    // In the middle of the screen, not of the main window.
    if (const QScreen* pantalla = QGuiApplication::primaryScreen())
        move(pantalla->availableGeometry().center() - rect().center());

    connect(Sincronismo, &QCheckBox::toggled, this, &TFormaCom::SincronismoClick);
    connect(botonAceptar, &QPushButton::clicked, this, [this] {
        if (botonAceptarClick())
            accept();
    });
    connect(botonCancelar, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormaCom::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    FormActivate();
}

void TFormaCom::FormActivate()
{
    const Tconfig& c = modelo_.Config;
    // The port settings belong to the engineering level; any other level
    // leaves the page as it was.
    if (c.Nivel == 1)
        PuertoPC->setEnabled(false);
    else if (c.Nivel == 3)
        PuertoPC->setEnabled(true);
    for (QRadioButton* b : COM)
        if (b->text() == c.Puerto)
            b->setChecked(true);
    if (tcp::Direccion d; tcp::analizar(c.Puerto, &d)) {
        botonServidor->setChecked(true);
        editorServidor->setText(d.servidor);
        casillaPuertoTcp->setValue(d.puerto);
    }
    switch (c.BaudRate) {
    case 4800: BaudRate->setCurrentIndex(0); break;
    case 9600: BaudRate->setCurrentIndex(1); break;
    case 19200: BaudRate->setCurrentIndex(2); break;
    default: break;
    }
    Sincronismo->setChecked(c.Sincronismo);
    SincronismoClick();
    TiempoSinc1->setValue(c.TiempoSinc);
    Barrido->setValue(c.TiempoScan);
    casillaReintento->setValue(c.ReintentoAlarma);
    grupoDtr->setItemIndex(c.DTR);
    grupoRts->setItemIndex(c.RTS);
}

void TFormaCom::SincronismoClick() { TiempoSinc1->setEnabled(Sincronismo->isChecked()); }

bool TFormaCom::botonAceptarClick()
{
    Tconfig& c = modelo_.Config;
    if (botonServidor->isChecked()) {
        // An IPv6 address may be typed with or without its brackets.
        QString servidor = editorServidor->text().trimmed();
        if (servidor.startsWith(QLatin1Char('[')) && servidor.endsWith(QLatin1Char(']')))
            servidor = servidor.mid(1, servidor.size() - 2);
        const QString nombre = tcp::nombre(tcp::Direccion{servidor, quint16(casillaPuertoTcp->value())});
        QString error;
        if (!tcp::analizar(nombre, nullptr, &error)) {
            dialogos().mensaje(EnlaceModbus::kTituloAtencion,
                               QStringLiteral("El servidor serie no es válido: ") + error, Icono::Advertencia,
                               Botones::Ok);
            editorServidor->setFocus();
            return false;
        }
        c.Puerto = nombre;
    }
    for (QRadioButton* b : COM)
        if (b->isChecked())
            c.Puerto = b->text();
    switch (BaudRate->currentIndex()) {
    case 0: c.BaudRate = 4800; break;
    case 1: c.BaudRate = 9600; break;
    case 2: c.BaudRate = 19200; break;
    default: break;
    }
    c.Sincronismo = Sincronismo->isChecked();
    if (TiempoSinc1->value() != c.TiempoSinc) {
        modelo_.ContadorSinc = 0;
        c.TiempoSinc = TiempoSinc1->value();
    }
    c.TiempoScan = Barrido->value();
    c.ReintentoAlarma = casillaReintento->value();
    // An item left unselected keeps the line as it was.
    if (grupoDtr->ItemIndex() >= 0)
        c.DTR = grupoDtr->ItemIndex();
    if (grupoRts->ItemIndex() >= 0)
        c.RTS = grupoRts->ItemIndex();
    return true;
}

} // namespace ombrix
