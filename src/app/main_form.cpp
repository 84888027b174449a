#include "main_form.h"

#include "acquisition/adquisicion.h"
#include "acquisition/registro.h"
#include "acquisition/seguidor.h"
#include "integration/integraciones.h"
#include "events/registro_eventos.h"
#include "app/forma_mqtt.h"
#include "app/forma_central.h"
#include "config/ajustes_central.h"
#include "central/linea_central.h"
#include "app/forma_web.h"
#include "config/ajustes_web.h"
#include "config/ajustes_mqtt.h"
#include "aplicacion.h"
#include "ayuda.h"
#include "config/perfil.h"
#include "link/forma_com.h"
#include "instruments/forma_inst_p.h"
#include "instruments/inst_form.h"
#include "instruments/prop_inst.h"
#include "link/ombrix_comm.h"
#include "config/dialogos.h"
#include "config/rutas.h"
#include "eleccion_base.h"
#include "elegir_equipo.h"
#include "nivel_acceso.h"
#include "opciones.h"
#include "inicial.h"
#include "views/forma_base.h"
#include "views/forma_eventos.h"
#include "views/elecc_inst.h"
#include "views/tabla_comb.h"

#include <QAction>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

namespace ombrix {

const QString TMainForm::kCaption = QStringLiteral("Sistema de adquisición de datos para instrumentos OMBRIX");

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    // Child windows take the program's icon rather than the toolkit's.
    if (QApplication::windowIcon().isNull())
        QApplication::setWindowIcon(iconoPrograma());
    ejecutarModal = [](QDialog& d) { return d.exec(); };

    mdi = new QMdiArea(this);
    mdi->setBackground(QColor(58, 68, 84));
    mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi);

    // FormCreate, in its order.
    setWindowTitle(kCaption);
    crearAcciones();
    crearHerramientas();
    crearEstado();
    modelo.CantidadAparatos = 1;
    // Numbers are written and read with "." whatever the machine's locale.
    QLocale::setDefault(QLocale::c());
    int p0 = 0, p1 = 0;
    const QScreen* pantalla = QGuiApplication::primaryScreen();
    anchosPaneles(pantalla ? pantalla->geometry().width() : 1024, p0, p1);
    StatusPanel[0]->setFixedWidth(p0);
    StatusPanel[1]->setFixedWidth(p1);
    modelo.ContadorSinc = 0;
    modelo.RutaIni = rutaIniPorDefecto();
    modelo.CargarIni();

    relojSegundos = new QTimer(this);
    relojSegundos->setInterval(1000);
    connect(relojSegundos, &QTimer::timeout, this, &TMainForm::Timer1Timer);

    FormaInicio = new TFormaInicio(this);
    crearAdquisicion();
    FormaCom = new TFormaCom(modelo, this);
    FormaNivel = new TNiveldeacceso1(modelo.Config, this);
    FormaOpciones = new TConf_Opciones(modelo.Config, this);
    FormaMqtt = new TFormaMqtt(modelo, *integraciones, this);
    connect(accionMqtt, &QAction::triggered, this, [this] { ejecutarModal(*FormaMqtt); });
    integraciones->configurarMqtt(leerAjustesMqtt(Perfil(modelo.RutaIni)));
    FormaCentral = new TFormaCentral(modelo, *integraciones, this);
    connect(accionCentral, &QAction::triggered, this, [this] { ejecutarModal(*FormaCentral); });
    integraciones->configurarCentral(leerAjustesCentral(Perfil(modelo.RutaIni)));
    FormaWeb = new TFormaWeb(modelo, *integraciones, this);
    connect(accionWeb, &QAction::triggered, this, [this] { ejecutarModal(*FormaWeb); });
    integraciones->configurarWeb(leerAjustesWeb(Perfil(modelo.RutaIni)));
    connect(accionNivel, &QAction::triggered, this, &TMainForm::Nivel1Execute);
    connect(Opciones, &QAction::triggered, this, &TMainForm::OpcionesExecute);
}

void TMainForm::crearAdquisicion()
{
    // The program sends each request once; a failure counts for the reading.
    enlace.setRetries(0);
    enlace.setDispositivoConfigurado([this](const QString& nombre) {
        return Perfil(modelo.RutaIni).leerTexto(QStringLiteral("Puertos"), nombre, QString());
    });
    registrador = new Registrador(conexionBase, modelo, this);
    // A database opened for consultation: the rows another program stores
    // reach the windows as the recorder's own would.
    seguidor_ = new SeguidorBase(conexionBase, this);
    connect(seguidor_, &SeguidorBase::filaGuardada, registrador, &Registrador::filaGuardada);
    connect(seguidor_, &SeguidorBase::filaCombinadaGuardada, registrador, &Registrador::filaCombinadaGuardada);
    adquisicion = new Adquisicion(modelo, enlace, this);
    adquisicion->registrar = [this](int n, const std::array<QString, 7>& lecturas, const QString& fecha,
                                    const QString& hora, QString* error) {
        return registrador->ActualizarTabla(n, lecturas, modelo.Estados[n].Partida, fecha, hora, error);
    };
    connect(adquisicion, &Adquisicion::nuevaRonda, registrador, &Registrador::marcarNuevaRonda);
    integraciones = new Integraciones(modelo, Origen::Ventana, this);
    integraciones->conectar(*adquisicion);
    integraciones->usarBase(conexionBase);
    connect(integraciones, &Integraciones::aviso, this, [this](const QString& t) { mostrarEstado(0, t); });
    connect(adquisicion, &Adquisicion::enLinea, this, &TMainForm::alCambiarLinea);
    connect(adquisicion, &Adquisicion::estado, this, [this](const QString& t) { mostrarEstado(0, t); });
    connect(adquisicion, &Adquisicion::falloRegistro, this, [](const QString& m) {
        dialogos().aviso(kTituloError, QStringLiteral("No se pudo guardar la lectura en la base de datos: ") + m
                                           + QStringLiteral(". La adquisición continúa y se volverá a guardar en cuanto sea posible."));
    });
    connect(Comenzar, &QAction::triggered, this, &TMainForm::ComenzarExecute);
    connect(Terminar, &QAction::triggered, this, &TMainForm::TerminarExecute);
    connect(Configurar, &QAction::triggered, this, &TMainForm::ConfigurarExecute);
    detenerAdquisicion = [this] { adquisicion->TerminarExecute(); };
    construirInstrumentos = [this] { crearVentanaInstrumentos(); };
    connect(adquisicion, &Adquisicion::consultando, this, [this](int n) {
        if (InstForm)
            if (TFormaInstP* p = InstForm->panel(n))
                p->consultando();
    });
    connect(adquisicion, &Adquisicion::lecturaHecha, this, [this](int n, const ResultadoLectura& r) {
        if (InstForm)
            if (TFormaInstP* p = InstForm->panel(n))
                p->mostrarLectura(r);
    });
    connect(adquisicion, &Adquisicion::alarmaComRestablecida, this, [this](int n) {
        if (InstForm)
            if (TFormaInstP* p = InstForm->panel(n))
                p->alarmaRestablecida();
    });
    mostrarEstado(0, QStringLiteral("Sistema fuera de linea"));
}

void TMainForm::ComenzarExecute()
{
    // The port opens on the polling thread; the command is off at once.
    if (!modelo.Adquiriendo)
        Comenzar->setEnabled(false);
    adquisicion->ComenzarExecute();
}

void TMainForm::TerminarExecute() { adquisicion->TerminarExecute(); }

void TMainForm::ConfigurarExecute() { ejecutarModal(*FormaCom); }

void TMainForm::alCambiarLinea(bool enLinea)
{
    Comenzar->setEnabled(!enLinea && !conexionBase.soloLectura());
    Terminar->setEnabled(enLinea);
    Salir->setEnabled(!enLinea);
    accionComm_->setVisible(enLinea);
    if (enLinea)
        registrador->iniciarAdquisicion();
    else if (InstForm)
        // Nothing new comes: the panels keep the last values, shown as such.
        for (int n = 1; n < modelo.CantidadAparatos; ++n)
            if (TFormaInstP* p = InstForm->panel(n))
                p->ponerVigente(false, QStringLiteral("Adquisición detenida: los valores son los últimos leídos"));
    HerramientasResize();
}

TMainForm::~TMainForm()
{
    // The windows and the acquisition refer to the model, the line and the
    // database, which are members: they go first.
    if (contextoVistas_)
        cerrarVistas(*contextoVistas_);
    delete subInstrumentos_.data();
    delete adquisicion;
    delete registrador;
}

void TMainForm::alMostrarse()
{
    QCoreApplication::processEvents();
    if (InstForm)
        InstForm->ajustarAVentanaPrincipal();
    HerramientasResize();
    actualizarTablaMultiple();
}

void TMainForm::crearVentanaInstrumentos()
{
    if (subInstrumentos_) {
        mdi->removeSubWindow(subInstrumentos_);
        delete subInstrumentos_.data();
    }
    delete InstForm.data();
    if (!contexto_) {
        contexto_ = std::make_unique<ContextoInstrumentos>(modelo, ventanas, enlace, adquisicion->EstadoPuerto);
        contexto_->estado = [this](const QString& t) { mostrarEstado(0, t); };
        contexto_->iniciarTimer1 = [this] { relojSegundos->start(); };
        contexto_->habilitarQuitar = [this](bool si) {
            botonEliminarInstrumento->setEnabled(si && !conexionBase.soloLectura());
        };
        contexto_->ventanaPrincipal = this;
        contexto_->abrirPropiedades = [this](int n) { editarPropiedades(*contexto_, this, n); };
        contextoVistas_ = std::make_unique<ContextoVistas>(modelo, ventanas, conexionBase);
        contextoVistas_->registrador = registrador;
        contextoVistas_->mdi = mdi;
        contexto_->abrirTabla = [this](int n) { abrirTablaInstrumento(*contextoVistas_, n); };
        contexto_->encolar = [this](QObject* receptor, TrabajoLinea trabajo) {
            return adquisicion->encolar(receptor, std::move(trabajo));
        };
    }
    InstForm = new TInstForm(*contexto_);
    subInstrumentos_ = mdi->addSubWindow(InstForm);
    InstForm->show();
    InstForm->ajustarAVentanaPrincipal();
}

void TMainForm::crearAcciones()
{
    QStyle* s = style();
    Comenzar = new QAction(s->standardIcon(QStyle::SP_MediaPlay), QStringLiteral("Adquirir datos"), this);
    Terminar = new QAction(s->standardIcon(QStyle::SP_MediaStop), QStringLiteral("Terminar adquisición"), this);
    Terminar->setEnabled(false);
    TablaMultiple = new QAction(s->standardIcon(QStyle::SP_FileDialogDetailedView), QStringLiteral("Tabla combinada"), this);
    Configurar = new QAction(s->standardIcon(QStyle::SP_ComputerIcon), QStringLiteral("Configurar adquisición"), this);
    CargarBase = new QAction(s->standardIcon(QStyle::SP_DialogOpenButton), QStringLiteral("Cargar base"), this);
    accionConsultarCentral = new QAction(QStringLiteral("Consultar una línea de la base central"), this);
    GuardarConfiguracion = new QAction(s->standardIcon(QStyle::SP_DialogSaveButton), QStringLiteral("Guardar configuración"), this);
    Salir = new QAction(QStringLiteral("Salir"), this);
    accionNivel = new QAction(QStringLiteral("Nivel de acceso"), this);
    Opciones = new QAction(QStringLiteral("Opciones"), this);
    accionMqtt = new QAction(QStringLiteral("Publicación MQTT"), this);
    accionMqtt->setVisible(false);
    accionCentral = new QAction(QStringLiteral("Base de datos central"), this);
    accionCentral->setVisible(false);
    accionWeb = new QAction(QStringLiteral("Vista web"), this);
    accionWeb->setVisible(false);
    accionCascada = new QAction(QStringLiteral("Cacada"), this);
    accionVertical = new QAction(QStringLiteral("Vertical"), this);
    accionHorizontal = new QAction(QStringLiteral("Horizontal"), this);
    accionTablaCombinada = TablaMultiple;
    accionAyuda = new QAction(QStringLiteral("Ayuda"), this);
    accionAyuda->setShortcut(QKeySequence::HelpContents);
    accionAcercaDe = new QAction(QStringLiteral("Acerca de..."), this);

    QMenu* comandos = menuBar()->addMenu(QStringLiteral("Comandos"));
    comandos->addAction(CargarBase);
    comandos->addAction(accionConsultarCentral);
    comandos->addAction(GuardarConfiguracion);
    comandos->addAction(Comenzar);
    comandos->addAction(Terminar);
    comandos->addSeparator();
    comandos->addAction(Salir);
    QMenu* configuracion = menuBar()->addMenu(QStringLiteral("Configuración"));
    configuracion->addAction(Configurar);
    configuracion->addAction(accionNivel);
    configuracion->addAction(Opciones);
    configuracion->addAction(accionMqtt);
    configuracion->addAction(accionCentral);
    configuracion->addAction(accionWeb);
    MenuVentanas = menuBar()->addMenu(QStringLiteral("Ventanas"));
    connect(MenuVentanas, &QMenu::aboutToShow, this, [this] {
        MenuVentanas->clear();
        MenuVentanas->addAction(accionCascada);
        MenuVentanas->addAction(accionVertical);
        MenuVentanas->addAction(accionHorizontal);
        MenuVentanas->addSeparator();
        MenuVentanas->addAction(accionTablaCombinada);
        MenuVentanas->addAction(QStringLiteral("Registro de eventos"), this, [this] { abrirFormaEventos(mdi, integraciones->eventos()); });
        MenuVentanas->addSeparator();
        for (QMdiSubWindow* w : mdi->subWindowList()) {
            QAction* a = MenuVentanas->addAction(w->windowTitle());
            a->setCheckable(true);
            a->setChecked(w == mdi->activeSubWindow());
            connect(a, &QAction::triggered, w, [this, w] { mdi->setActiveSubWindow(w); });
        }
    });
    QMenu* ayuda = menuBar()->addMenu(QStringLiteral("?"));
    ayuda->addAction(accionAyuda);
    ayuda->addSeparator();
    ayuda->addAction(accionAcercaDe);

    connect(Salir, &QAction::triggered, this, &QWidget::close);
    connect(CargarBase, &QAction::triggered, this, &TMainForm::CargarBaseExecute);
    connect(accionConsultarCentral, &QAction::triggered, this, &TMainForm::ConsultarCentralExecute);
    connect(TablaMultiple, &QAction::triggered, this, &TMainForm::TablaMultipleExecute);
    connect(GuardarConfiguracion, &QAction::triggered, this, &TMainForm::GuardarConfiguracionactual1Click);
    connect(accionCascada, &QAction::triggered, this, &TMainForm::Cascada1Click);
    connect(accionVertical, &QAction::triggered, this, &TMainForm::Vertical1Click);
    connect(accionHorizontal, &QAction::triggered, this, &TMainForm::Horizontal1Click);
    connect(accionAcercaDe, &QAction::triggered, this, &TMainForm::Acercade1Click);
    connect(accionAyuda, &QAction::triggered, this, &TMainForm::Ayuda2Click);
}

void TMainForm::crearHerramientas()
{
    Herramientas = addToolBar(QStringLiteral("Herramientas"));
    Herramientas->setObjectName(QStringLiteral("Herramientas"));
    Herramientas->setMovable(false);
    Herramientas->setFloatable(false);
    Herramientas->setIconSize(QSize(28, 28));
    Herramientas->setStyleSheet(QStringLiteral(
        "QToolBar#Herramientas { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
        " stop:0 #f4f6fa, stop:1 #d9dee8); border-bottom: 1px solid #9aa3b5; spacing: 2px; }"));

    auto boton = [this](QAction* accion, const QString& consejo) {
        auto* b = new QToolButton(Herramientas);
        b->setDefaultAction(accion);
        b->setToolTip(consejo);
        b->setFixedSize(50, 36);
        b->setAutoRaise(true);
        QFont f = b->font();
        f.setBold(true);
        b->setFont(f);
        return b;
    };
    botonAdquirir = boton(Comenzar, QStringLiteral("Adquirir datos"));
    botonTerminar = boton(Terminar, QStringLiteral("Terminar adquisición"));
    botonTablaCombinada = boton(TablaMultiple, QStringLiteral("Tabla combinada"));
    botonConfigurar = boton(Configurar, QStringLiteral("Config"));
    auto* nuevo = new QAction(style()->standardIcon(QStyle::SP_FileDialogNewFolder), QStringLiteral("Nuevo Instrumento"), this);
    auto* eliminar = new QAction(style()->standardIcon(QStyle::SP_TrashIcon), QStringLiteral("Eliminar último instrumento"), this);
    botonNuevoInstrumento = boton(nuevo, QStringLiteral("Nuevo Instrumento"));
    botonEliminarInstrumento = boton(eliminar, QStringLiteral("Eliminar último instrumento"));
    botonEliminarInstrumento->setEnabled(false);
    connect(nuevo, &QAction::triggered, this, &TMainForm::botonNuevoInstrumentoClick);
    connect(eliminar, &QAction::triggered, this, &TMainForm::botonEliminarInstrumentoClick);

    Herramientas->addWidget(botonAdquirir);
    Herramientas->addWidget(botonTerminar);
    Herramientas->addWidget(botonTablaCombinada);
    accionConfigurar_ = Herramientas->addWidget(botonConfigurar);
    accionNuevoInstrumento_ = Herramientas->addWidget(botonNuevoInstrumento);
    accionEliminarInstrumento_ = Herramientas->addWidget(botonEliminarInstrumento);
    separadorFijo = new QWidget(Herramientas);
    separadorFijo->setFixedWidth(131);
    Herramientas->addWidget(separadorFijo);
    ModComm1 = new TOmbrixComm(&enlace, Herramientas);
    accionComm_ = Herramientas->addWidget(ModComm1);
    accionComm_->setVisible(false);
    separadorRelleno = new QWidget(Herramientas);
    Herramientas->addWidget(separadorRelleno);
    etiquetaLogo = new QLabel(Herramientas);
    etiquetaLogo->setFixedWidth(88);
    accionLogo_ = Herramientas->addWidget(etiquetaLogo);
    accionLogo_->setVisible(false);
}

void TMainForm::crearEstado()
{
    for (int i = 0; i < 3; ++i) {
        StatusPanel[i] = new QLabel(this);
        StatusPanel[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusPanel[i]->setContentsMargins(4, 0, 4, 0);
    }
    StatusPanel[2]->setMinimumWidth(50);
    statusBar()->addWidget(StatusPanel[0]);
    statusBar()->addWidget(StatusPanel[1]);
    statusBar()->addWidget(StatusPanel[2], 1);
}

void TMainForm::anchosPaneles(int anchoPantalla, int& panel0, int& panel1)
{
    panel0 = anchoPantalla * 20 / 100;
    panel1 = anchoPantalla * 53 / 100;
}

QString TMainForm::textoReloj(const QDateTime& ahora)
{
    return QStringLiteral("Día:") + ahora.toString(QStringLiteral("dd/MM/yyyy")) + QStringLiteral("    ")
        + QStringLiteral("Hora") + QStringLiteral(":") + ahora.toString(QStringLiteral("hh:mm:ss"));
}

void TMainForm::mostrarEstado(int panel, const QString& texto) { StatusPanel[panel]->setText(texto); }

QString TMainForm::textoEstado(int panel) const { return StatusPanel[panel]->text(); }

void TMainForm::Timer1Timer()
{
    mostrarEstado(2, textoReloj(QDateTime::currentDateTime()));
    actualizarTablaMultiple();
    adquisicion->Timer1Timer();
}

void TMainForm::pedirTerminar()
{
    terminar_ = true;
    if (auto* app = qobject_cast<Aplicacion*>(QCoreApplication::instance()))
        app->Terminate();
}

bool TMainForm::abrirBase(const QString& ruta, QString& error, bool consulta)
{
    error.clear();
    seguidor_->detener();
    const bool bien = consulta ? conexionBase.abrirLectura(ruta, &error) : conexionBase.abrir(ruta, &error);
    if (bien && consulta)
        seguidor_->empezar();
    if (bien && !consulta) {
        integraciones->usarBase(conexionBase);   // the forwarder reads the file now written
        integraciones->eventos().baseAbierta();
    }
    return bien;
}

void TMainForm::mostrarModoBase()
{
    const bool consulta = conexionBase.soloLectura();
    setWindowTitle(consulta ? kCaption + QStringLiteral(" - solo consulta") : kCaption);
    mostrarEstado(1, consulta ? modelo.RutaBase + QStringLiteral("  (solo consulta)") : modelo.RutaBase);
    // Nothing that writes into the database: no acquisition, no instrument
    // added or removed (its table would be emptied).
    Comenzar->setEnabled(!consulta && !modelo.Adquiriendo);
    botonNuevoInstrumento->setEnabled(!consulta && modelo.CantidadAparatos < Configuracion::kCantidadMaxima);
    botonEliminarInstrumento->setEnabled(!consulta && modelo.CantidadAparatos > Configuracion::kCantidadMinima);
}

namespace {
// A failure message followed by the reason the database gave.
QString conMotivo(const QString& texto, const QString& motivo)
{
    if (motivo.isEmpty())
        return texto;
    QString r = texto + QStringLiteral("\nMotivo: ") + motivo;
    if (!r.endsWith(QLatin1Char('.')))
        r += QLatin1Char('.');
    return r;
}
} // namespace

bool TMainForm::arrancar()
{
    // Splash for three seconds (its OK button closes it at once).
    FormaInicio->relojCierre->start();
    ejecutarModal(*FormaInicio);
    FormaInicio->relojCierre->stop();

    // Settings not used as written are told once, together.
    if (!modelo.Avisos.isEmpty())
        dialogos().mensaje(QStringLiteral("ATENCION!!"),
                           QStringLiteral("Algunos valores del archivo de configuración %1 no se usan como están "
                                          "escritos:\n\n%2")
                               .arg(modelo.RutaIni, modelo.textoAvisos()),
                           Icono::Advertencia, Botones::Ok);

    // Choice of the database; cancelling it ends the program.
    bool cancelada = false, consulta = false;
    {
        TFormaEleccionBase eleccion(this);
        ejecutarModal(eleccion);
        modelo.RutaBase = eleccion.RutaBase;
        cancelada = eleccion.PidioTerminar;
        consulta = eleccion.SoloConsulta;
    }
    if (cancelada)
        pedirTerminar();

    QString error;
    if (modelo.RutaBase.isEmpty() || !abrirBase(modelo.RutaBase, error, consulta)) {
        // Only the user's own cancel ends the program without a word.
        if (!modelo.RutaBase.isEmpty())
            dialogos().mensaje(QString(),
                               conMotivo(QStringLiteral("Não se pôde abrir a base de  dados: ") + modelo.RutaBase
                                             + QStringLiteral(". ") + QStringLiteral("Possivelmente já está em  uso por  outra aplicação"),
                                         error),
                               Icono::Ninguno, Botones::Ok);
        else if (!cancelada)
            dialogos().mensaje(QString(), QStringLiteral("No se eligió ninguna base de datos. El programa termina."),
                               Icono::Ninguno, Botones::Ok);
        modelo.RutaBase = QStringLiteral("Não há carregada nenhuma base de  dados");
        pedirTerminar();
    }
    mostrarModoBase();

    if (construirInstrumentos)
        construirInstrumentos();
    else
        relojSegundos->start();
    Timer1Timer();
    NivelNuevo();
    return !terminar_;
}

void TMainForm::Nivel1Execute()
{
    const int antes = modelo.Config.Nivel;
    ejecutarModal(*FormaNivel);
    if (modelo.Config.Nivel != antes)
        anotarCambio(tipoEvento::Nivel, 0, QStringLiteral("Nivel de acceso cambiado"), QString::number(antes), QString::number(modelo.Config.Nivel));
    NivelNuevo();
}

void TMainForm::OpcionesExecute()
{
    if (ejecutarModal(*FormaOpciones) != QDialog::Accepted)
        return;
    // Confirming the options stops every recording (polling goes on); a row
    // that was already due is not written either.
    for (int n = 1; n < modelo.CantidadAparatos && n < modelo.ArrayConfig.size(); ++n) {
        modelo.ArrayConfig[n].SalvarTabla = false;
        if (n < modelo.Estados.size())
            modelo.Estados[n].RegistroPendiente = false;
        if (InstForm)
            if (TFormaInstP* p = InstForm->panel(n))
                p->Adquirir->setText(QStringLiteral("Adquirir"));
    }
}

void TMainForm::botonNuevoInstrumentoClick()
{
    if (!InstForm || modelo.CantidadAparatos >= Configuracion::kCantidadMaxima)
        return;
    TFormaElegir eleccion(this);
    if (ejecutarModal(eleccion) == QDialog::Accepted) {
        InstForm->AparatoCreate(eleccion.tipo());
        anotarEvento(tipoEvento::Instrumento, modelo.CantidadAparatos - 1, QStringLiteral("Instrumento %1 agregado").arg(modelo.CantidadAparatos - 1));
    }
    if (modelo.CantidadAparatos >= 2)
        botonEliminarInstrumento->setEnabled(true);
    if (modelo.CantidadAparatos >= Configuracion::kCantidadMaxima)
        botonNuevoInstrumento->setEnabled(false);
    actualizarTablaMultiple();
}

void TMainForm::botonEliminarInstrumentoClick()
{
    if (!InstForm || modelo.CantidadAparatos <= Configuracion::kCantidadMinima)
        return;
    const int k = modelo.CantidadAparatos - 1;
    // Out of the polling first, with nothing due: a reading of it still on its
    // way finds it gone and is dropped, and no row is written to its table.
    if (k < modelo.Estados.size()) {
        modelo.Estados[k].RegistroPendiente = false;
        modelo.Estados[k].Habilitado = false;
    }
    // Its table and chart windows close through the registry, never through
    // its panel.
    if (k < ventanas.VentanasTabla.size()) {
        TVentanaTabla& t = ventanas.VentanasTabla[k];
        if (t.Abierta && t.Ventana)
            if (auto* w = qobject_cast<QWidget*>(t.Ventana))
                w->close();
        t = TVentanaTabla{};
    }
    if (k < ventanas.GraficoAbierto.size())
        ventanas.GraficoAbierto[k] = false;
    InstForm->QuitarUltimo();
    anotarEvento(tipoEvento::Instrumento, k, QStringLiteral("Instrumento %1 eliminado").arg(k));
    botonNuevoInstrumento->setEnabled(true);
    if (modelo.CantidadAparatos <= 1)
        botonEliminarInstrumento->setEnabled(false);
    actualizarTablaMultiple();

    if (dialogos().mensaje(kTituloPregunta, QStringLiteral("¿Desea que se borren los valores capturados del instrumento?"),
                           Icono::Pregunta, Botones::SiNo)
        != Respuesta::Si)
        return;
    QString error;
    if (!vaciarTablaRegistrada(conexionBase, QStringLiteral("Instrumento") + QString::number(k), k, &error))
        mostrarError(Error(QStringLiteral("No se pudieron borrar los valores del instrumento %1: %2").arg(k).arg(error)));
}

void TMainForm::NivelNuevo()
{
    switch (modelo.Config.Nivel) {
    case 0:
        accionConfigurar_->setVisible(false);
        accionNuevoInstrumento_->setVisible(false);
        accionEliminarInstrumento_->setVisible(false);
        Configurar->setVisible(false);
        Opciones->setVisible(false);
        accionMqtt->setVisible(false);
        accionCentral->setVisible(false);
        break;
    case 1:
        accionConfigurar_->setVisible(true);
        accionNuevoInstrumento_->setVisible(false);
        accionEliminarInstrumento_->setVisible(false);
        Configurar->setVisible(true);
        Opciones->setVisible(true);
        accionMqtt->setVisible(false);
        accionCentral->setVisible(false);
        break;
    case 3:
        accionConfigurar_->setVisible(true);
        accionNuevoInstrumento_->setVisible(true);
        accionEliminarInstrumento_->setVisible(true);
        Configurar->setVisible(true);
        Opciones->setVisible(true);
        accionMqtt->setVisible(true);
        accionCentral->setVisible(true);
        break;
    default:
        break;
    }
    accionWeb->setVisible(accionMqtt->isVisible());
    HerramientasResize();
}

void TMainForm::HerramientasResize()
{
    int ancho = Herramientas->width() - separadorFijo->width() - etiquetaLogo->width() - 150;
    if (accionComm_->isVisible())
        ancho -= 96;
    if (accionEliminarInstrumento_->isVisible())
        ancho -= 150;
    separadorRelleno->setFixedWidth(qMax(0, ancho));
}

void TMainForm::resizeEvent(QResizeEvent* e)
{
    QMainWindow::resizeEvent(e);
    HerramientasResize();
}

bool TMainForm::GuardarConfiguracionactual1Click()
{
    try {
        modelo.SalvarIni();
        return true;
    } catch (const std::exception& e) {
        mostrarError(e);
        return false;
    }
}

void TMainForm::FormCloseQuery(bool& canClose)
{
    canClose = true;
    if (modelo.Adquiriendo) {
        if (dialogos().mensaje(kTituloPregunta,
                               QStringLiteral("El sistema está en línea y adquiriendo datos en este momento. Desea salir y terminar la adquisición?"),
                               Icono::Pregunta, Botones::SiNo) != Respuesta::Si) {
            canClose = false;
            return;
        }
        if (detenerAdquisicion)
            detenerAdquisicion();   // stops the thread and closes the port
    }
    // A settings file that cannot be written must not keep the program open.
    canClose = GuardarConfiguracionactual1Click()
               || dialogos().mensaje(kTituloPregunta, QStringLiteral("No se pudo guardar la configuración. ¿Desea salir sin guardar?"),
                                     Icono::Pregunta, Botones::SiNo)
                      == Respuesta::Si;
}

void TMainForm::closeEvent(QCloseEvent* e)
{
    bool puede = true;
    FormCloseQuery(puede);
    if (puede)
        e->accept();
    else
        e->ignore();
}

bool TMainForm::dejarBaseActual()
{
    // Loading another database ends the polling: the operator is told first.
    if (modelo.Adquiriendo
        && dialogos().mensaje(kTituloPregunta,
                              QStringLiteral("La adquisición se detendrá para cargar otra base de datos. ¿Desea continuar?"),
                              Icono::Pregunta, Botones::SiNo)
               != Respuesta::Si)
        return false;
    return GuardarConfiguracionactual1Click();
}

void TMainForm::cambiarDeBase(const QString& ruta, bool consulta)
{
    modelo.RutaBase = ruta;
    if (detenerAdquisicion)
        detenerAdquisicion();
    // Every table and chart window reads the connection: they go before it.
    if (contextoVistas_)
        cerrarVistas(*contextoVistas_);
    registrador->olvidarSentencias();
    conexionBase.cerrar();
    QString error;
    if (!abrirBase(modelo.RutaBase, error, consulta)) {
        dialogos().mensaje(QString(),
                           conMotivo(QStringLiteral("No se pudo abrir la base de datos: ") + modelo.RutaBase + QStringLiteral(". ")
                                         + QStringLiteral("Posiblemente ya está en uso por otra aplicacion"),
                                     error),
                           Icono::Ninguno, Botones::Ok);
        modelo.RutaBase = QStringLiteral("No hay cargada niguna base de datos");
    }
    modelo.CargarIni();
    mostrarModoBase();
    ventanas.PosX = 0;
    ventanas.PosY = 0;
    if (construirInstrumentos)
        construirInstrumentos();
}

void TMainForm::CargarBaseExecute()
{
    if (!dejarBaseActual())
        return;
    QString elegida;
    bool consulta = false;
    {
        TFormaEleccionBase eleccion(this);
        ejecutarModal(eleccion);
        // Cancelling here keeps the database in use, and acquisition goes on.
        if (eleccion.PidioTerminar || eleccion.RutaBase.isEmpty())
            return;
        elegida = eleccion.RutaBase;
        consulta = eleccion.SoloConsulta;
    }
    cambiarDeBase(elegida, consulta);
}

void TMainForm::ConsultarCentralExecute()
{
    const AjustesCentral a = leerAjustesCentral(Perfil(modelo.RutaIni));
    if (a.url.isEmpty()) {
        dialogos().mensaje(kTituloError,
                           QStringLiteral("No hay ninguna base de datos central configurada (Configuración > Base de datos "
                                          "central)."),
                           Icono::Error, Botones::Ok);
        return;
    }
    QString linea = a.linea.isEmpty() ? lineaPorDefecto(QSysInfo::machineHostName(), modelo.Config.Puerto) : a.linea;
    if (!dialogos().entrada(QStringLiteral("Base de datos central"), QStringLiteral("Línea a consultar:"), linea))
        return;
    linea = linea.trimmed();
    if (const QString mal = problemaDeLinea(linea); !mal.isEmpty()) {
        dialogos().mensaje(kTituloError, mal, Icono::Error, Botones::Ok);
        return;
    }
    if (!dejarBaseActual())
        return;
    // The line is copied from the server into a file shaped like its own,
    // which the window then reads for consultation; the copy goes when
    // another database is opened or the program ends.
    auto carpeta = std::make_unique<QTemporaryDir>();
    const QString copia = carpeta->filePath(linea + QStringLiteral(".mdb"));
    if (!carpeta->isValid() || !QFile::copy(rutaModelo(), copia)) {
        dialogos().mensaje(kTituloError, QStringLiteral("No se pudo preparar la copia de la línea: falta la base modelo ") + rutaModelo(),
                           Icono::Error, Botones::Ok);
        return;
    }
    QFile::setPermissions(copia, QFile::ReadOwner | QFile::WriteOwner);
    QStringList tablas;
    for (int n = 1; n < Configuracion::kCantidadMaxima; ++n)   // Instrumento1..20
        tablas << QStringLiteral("Instrumento%1").arg(n);
    tablas << QStringLiteral("Combinada") << QStringLiteral("Eventos");
    const QString antes = textoEstado(1);
    mostrarEstado(1, QStringLiteral("Leyendo la línea %1 de la base de datos central...").arg(linea));
    bool bien = false;
    QString error;
    fueraDelHiloPrincipal([&] { bien = central::copiarLinea(a.url, claveCentral(a), linea, tablas, copia, nullptr, &error); });
    if (!bien) {
        mostrarEstado(1, antes);
        dialogos().mensaje(kTituloError,
                           conMotivo(QStringLiteral("No se pudo leer la línea %1 de la base de datos central.").arg(linea), error),
                           Icono::Error, Botones::Ok);
        return;
    }
    // The copy in use goes once the new one is open.
    std::unique_ptr<QTemporaryDir> anterior = std::move(copiaCentral_);
    copiaCentral_ = std::move(carpeta);
    cambiarDeBase(copia, true);
}

void TMainForm::actualizarTablaMultiple()
{
    const bool abierta = contextoVistas_ && formaTablaComb(*contextoVistas_);
    TablaMultiple->setEnabled(modelo.cantidadInstrumentos() > 0 && !abierta);
}

void TMainForm::TablaMultipleExecute()
{
    if (!contextoVistas_ || modelo.cantidadInstrumentos() == 0 || formaTablaComb(*contextoVistas_)) {
        actualizarTablaMultiple();
        return;
    }
    TFormaEleccInst eleccion(*contextoVistas_, this);
    eleccion.FormActivate();
    if (ejecutarModal(eleccion) != QDialog::Accepted)
        return;
    TFormaTablaComb* f = abrirTablaCombinada(*contextoVistas_);
    connect(f, &QObject::destroyed, this, [this] { QTimer::singleShot(0, this, &TMainForm::actualizarTablaMultiple); });
    connect(f, &TFormaTablaComb::cerrada, this, [this] { QTimer::singleShot(0, this, &TMainForm::actualizarTablaMultiple); });
    actualizarTablaMultiple();
}

void TMainForm::Acercade1Click() { ejecutarModal(*FormaInicio); }

TFormaAyuda* TMainForm::ventanaAyuda() const { return ayuda_.data(); }

void TMainForm::Ayuda2Click()
{
    // A help file of the old kind next to the program is still opened by the system.
    const QString hlp = raizDatos() + QStringLiteral("/ZEZEDU.HLP");
    if (QFileInfo::exists(hlp) && QDesktopServices::openUrl(QUrl::fromLocalFile(hlp)))
        return;
    const QString carpeta = carpetaManual();
    if (carpeta.isEmpty()) {
        dialogos().mensaje(QString(), QStringLiteral("No se encuentra el manual de ayuda del programa."), Icono::Informacion,
                           Botones::Ok);
        return;
    }
    // At the page of the window in use.
    QWidget* activa = QApplication::activeModalWidget();
    if (!activa && mdi->activeSubWindow())
        activa = mdi->activeSubWindow()->widget();
    const QString pagina = paginaAyudaPara(activa);
    if (!ayuda_)
        ayuda_ = new TFormaAyuda(carpeta, this);
    ayuda_->mostrarPagina(pagina);
    ayuda_->show();
    ayuda_->raise();
    ayuda_->activateWindow();
}

void TMainForm::Cascada1Click() { mdi->cascadeSubWindows(); }

void TMainForm::mosaico(bool ladoALado)
{
    // Side by side: every window full height, the width shared; otherwise one
    // above the other, every window full width.
    const auto ventanas = mdi->subWindowList();
    if (ventanas.isEmpty())
        return;
    const QSize area = mdi->viewport()->size();
    const int paso = (ladoALado ? area.width() : area.height()) / int(ventanas.size());
    int pos = 0;
    for (QMdiSubWindow* w : ventanas) {
        w->showNormal();
        w->setGeometry(ladoALado ? QRect(pos, 0, paso, area.height()) : QRect(0, pos, area.width(), paso));
        pos += paso;
    }
}

void TMainForm::Vertical1Click() { mosaico(true); }

void TMainForm::Horizontal1Click() { mosaico(false); }

} // namespace ombrix
