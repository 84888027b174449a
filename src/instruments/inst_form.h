#pragma once
// The instruments window: one panel per configured instrument, placed left
// to right in rows. The placement (PosX, PosY, PosXFila) lives in the model
// and carries over from the start-up build to later additions and removals.

#include "instruments/contexto.h"
#include "instruments/forma_inst_p.h"

#include <QScrollArea>

namespace ombrix {

class TInstForm : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int kAnchoDiseno = 580;
    static constexpr int kAltoDiseno = 376;

    // Creates the window at its design size and builds every panel
    // (FormCreate). The model must outlive the window.
    explicit TInstForm(ContextoInstrumentos& ctx, QWidget* parent = nullptr);
    ~TInstForm() override;

    // Builds all panels of instruments 1..N from the configuration. A row is
    // closed once a panel has crossed the right edge. Then clears Cargando,
    // sizes the window after the main window, starts the main window's
    // one-second timer (iniciarTimer1) and enables the remove button when
    // there are instruments.
    void FormCreate();

    // Appends a panel for a new instrument of the given type (0 controller,
    // 1 programmer) with default settings; a row is closed as soon as the
    // next panel would not fit. Returns the new panel, or nullptr when there
    // are already 20 instruments.
    TFormaInstP* AparatoCreate(quint8 tipo);

    // Removes the last instrument's panel and steps the placement back to
    // where it stood. Returns the removed instrument number (0 when there
    // was none). Disables the remove button when no instrument is left.
    // Recorded readings and its table window are the caller's business.
    int QuitarUltimo();

    // The panel of instrument n, or nullptr.
    TFormaInstP* panel(int n) const;
    // The widget the panels live in (client coordinates of the unscrolled window).
    QWidget* lienzo() const { return lienzo_; }

    // Window size := main window size less 40 pixels each way (applied to the
    // enclosing sub-window when there is one).
    void ajustarAVentanaPrincipal();
    // The window's width as the placement sees it: the enclosing sub-window's
    // outer width when there is one.
    int anchoVentana() const;

protected:
    void resizeEvent(QResizeEvent* e) override;
    // The close box minimises the window: the panels live as long as the
    // database that built them (the polling reaches them through here).
    void closeEvent(QCloseEvent* e) override;

private:
    TFormaInstP* crearPanel(int n);
    void ajustarLienzo();

    ContextoInstrumentos& ctx_;
    QWidget* lienzo_;
};

} // namespace ombrix
