#pragma once
// The panel of one instrument: its live values (displays, bars, lamps) and
// the operator's commands for it (set point, unit, title, manual power,
// automatic, program parameters, enable, recording, alarm reset, table and
// properties).
//
// The panel's runtime state (address, communication alarm, enabled, row due,
// batch code, title, unit) lives in modelo.Estados[n], shared with the
// acquisition; the panel's controls show it and every change made here is
// written there and into ArrayConfig[n].

#include "acquisition/lectura.h"
#include "instruments/comandos.h"
#include "instruments/alarma.h"
#include "instruments/contexto.h"
#include "instruments/visores.h"

#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>

namespace ombrix {

class TFormaInstP : public QWidget {
    Q_OBJECT
public:
    static constexpr int kAncho = 191;
    static constexpr int kAlto = 207;

    // The panel of instrument n; Estados[n] starts afresh (alive, no alarm,
    // no row due, no batch code).
    TFormaInstP(ContextoInstrumentos& ctx, int n, QWidget* parent = nullptr);
    ~TFormaInstP() override;

    int Tag() const { return tag_; }
    void setTag(int n);   // also the Tag of Hab, BotonTabla and SetPoint

    // State kept in modelo.Estados[Tag].
    bool Habilitado() const;
    void setHabilitado(bool h);          // also ArrayConfig.Habilitado
    bool RegistroPendiente() const;
    void setRegistroPendiente(bool r);
    QString Titulo() const;
    void setTitulo(const QString& t);    // caption, Estados and ArrayConfig
    void setUnidadTexto(const QString& u);

    // The enabled or disabled look.
    void HabilitarModulo(int N, bool Enabled);
    // Shows or hides each display group by the display flags.
    void aplicarGrupos();
    // The same after the flags changed: a display that is hidden shows
    // "00.00" and a bar is emptied, so that nothing stale comes back when it
    // is shown again (until the next reading).
    void mostrarGrupos();
    // Colours, hints and captions of the displays, bars and lamps as the
    // configuration of instrument N gives them: the look of an enabled panel.
    void refrescarAspecto(int N);
    // The compact layout of a controller: program displays hidden, their
    // flags cleared, the bars moved up under the set point.
    void aplicarDisenoCompacto();
    // The data table of this instrument was closed.
    void Activafalse();

    // A reading of this instrument begins (the communication lamp goes dark red).
    void consultando();
    // Puts one reading on the panel. Displays keep their text when their
    // quantity was not read; a latched alarm makes ComLed flash and brings
    // BotonReset to the front.
    void mostrarLectura(const ResultadoLectura& r);

    // Whether the values shown are current. They are not while the
    // communication alarm is latched, while acquisition is stopped and before
    // the first reading: the panel keeps them, drawn dim, with a tool tip
    // that says why, until the next good reading.
    bool vigente() const { return vigente_; }
    void ponerVigente(bool si, const QString& motivo = QString());

    // The communication alarm was reset without the operator (a probe
    // answered): the panel shows it as after its own reset.
    void alarmaRestablecida();

    // Which of the two buttons at the Config place is in front.
    bool resetAlFrente() const { return resetAlFrente_; }

    // Event handlers (public so that the commands can be driven directly).
    void SetPointDblClick();
    void UnidadDblClick();
    void marcoTituloDblClick();
    void Button_manClick();
    void Button_autoClick();
    void BotonAceptarClick();
    void BotonCancelarClick();
    void visoresProgramaDblClick();
    void editorProgramaChange(QLineEdit* edit);
    void botonEnviarProgramaClick();
    void botonCancelarProgramaClick();
    void HabClick();
    void AdquirirClick();
    void BotonResetClick();
    void BotonTablaClick();
    void BotonConfigClick();

    // Controls.
    MarcoTitulo* marcoTitulo;
    EtiquetaClic* Unidad;
    VisorDigital* valorActual;
    VisorDigital* SetPoint;
    VisorDigital* NProg;
    VisorDigital* NSeg;
    VisorDigital* Temp;
    QLabel* Prog;
    QLabel* seg;
    QLabel* etiquetaTiempo;
    Medidor* Potencia;
    QLabel* etiquetaPotencia;
    Medidor* Alarma1;
    QLabel* etiquetaAlarma1;
    TAlarma* ComLed;
    QLabel* etiquetaCom;
    TAlarma* Alarma2;
    TAlarma* Alarma3;
    TAlarma* Alarma4;
    QLabel* etiquetaAlarma2;
    QLabel* etiquetaAlarma3;
    QLabel* etiquetaAlarma4;
    QToolButton* Button_auto;
    QToolButton* Button_man;

    QGroupBox* marcoEdicion;
    QLineEdit* editorValor;
    QPushButton* BotonAceptar;
    QPushButton* BotonCancelar;

    QGroupBox* marcoPrograma;
    QLineEdit* editorPrograma;
    QLineEdit* editorSegmento;
    QLineEdit* editorTiempo;
    QPushButton* botonEnviarPrograma;
    QPushButton* botonCancelarPrograma;

    QFrame* barraBotones;
    QPushButton* Hab;
    QPushButton* Adquirir;
    QToolButton* BotonTabla;
    QPushButton* BotonConfig;
    QToolButton* BotonReset;

    // Captions of the single-value overlay.
    static const QString kCambiarSetPoint;
    static const QString kCambiarUnidad;
    static const QString kCambiarTitulo;
    static const QString kIngresePotencia;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void FormCreate();
    EstadoInstrumento& estado();
    const EstadoInstrumento& estado() const;
    TarrayConfig& config();
    TAvanzadas1& avanzadas();
    bool puertoAbierto() const;
    void abrirEdicion(const QString& texto, const QString& titulo);
    void rechazar(QLineEdit* edit, bool pitido);
    void ponerResetAlFrente(bool alFrente);
    // Asks for the batch code and keeps it; false (after saying so) when none was given.
    bool pedirPartida();
    void alEnviarSetPoint(comandos::ResultadoSetPoint res, const QString& anterior);

    ContextoInstrumentos& ctx_;
    int tag_ = 0;
    bool resetAlFrente_ = false;
    bool vigente_ = true;
};

} // namespace ombrix
