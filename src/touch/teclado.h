#pragma once
// The on-screen keyboard of touch terminals: a numeric and an alphanumeric
// layout in a modal window, and the edit box that opens it.
//
// EntradaTeclado is what the keys do to the text (no window), TKeyboard the
// window with its keys, TEditKbr the edit box.

#include <QDialog>
#include <QFont>
#include <QLineEdit>
#include <QString>

#include <functional>

class QLabel;
class QPushButton;

namespace ombrix {

enum TKbrType { kbAlfaNumeric, kbNumeric };

// The typed text and what each key does to it.
class EntradaTeclado {
public:
    explicit EntradaTeclado(TKbrType tipo) : tipo_(tipo) {}

    // Special keys, by their captions; every other key is its own caption
    // (a letter, a digit, the point, "-") or, for a two-line key, both of its
    // characters (upper then lower, e.g. "!1").
    static const QString kEnter, kCancelar, kCaps, kEspacio, kBorrar, kAtras;
    // The cursor mark shown after the text: a character every font has.
    static const QChar kCursor;

    void tecla(const QString& t);
    // Characters typed on the PC's own keyboard, taken as they come (the
    // numeric layout keeps to digits, the point and the sign).
    void escribir(const QString& caracteres);

    QString texto() const { return texto_; }
    QString mostrado() const { return texto_ + kCursor; }
    bool caps() const { return caps_; }
    void setCaps(bool c) { caps_ = c; }
    // "Enter" or "Cancelar" was pressed.
    bool terminado() const { return terminado_; }
    bool aceptado() const { return aceptado_; }
    // The accepted text ("0" for an empty numeric input).
    QString resultado() const { return resultado_; }
    // What the key would type, for the panel at the bottom of the window.
    QString previa(const QString& t) const;

private:
    void numerica(const QString& t);
    TKbrType tipo_;
    QString texto_;
    QString resultado_;
    bool caps_ = false;
    bool terminado_ = false;
    bool aceptado_ = false;
};

class TKeyboard : public QDialog {
    Q_OBJECT
public:
    explicit TKeyboard(QWidget* parent = nullptr);

    QFont Font = QFont(QStringLiteral("Terminal"));
    TKbrType KbrType = kbAlfaNumeric;
    int Top = 0, Left = 0;   // kept; the window always opens centred
    QString Resultado;
    int ButtonSize = 25;
    QString TextoActual;

    // Builds the window (first time), shows it modally; true when "Enter" was
    // pressed. Closing it any other way cancels.
    bool Execute();
    // Builds the window without showing it (Execute does it too).
    void construir();
    // Presses the key with this caption (what a touch on it does).
    void pulsar(const QString& caption);
    QPushButton* boton(const QString& caption) const;

    EntradaTeclado* entrada() { return entrada_.get(); }
    QLineEdit* editorEntrada = nullptr;
    QLineEdit* editorActual = nullptr;
    QLabel* panelPrevia = nullptr;

protected:
    bool eventFilter(QObject* o, QEvent* e) override;
    // The PC's keyboard works while the window is open: characters are typed,
    // Backspace, Enter and Escape act as "Atras", "Enter" and "Cancelar".
    void keyPressEvent(QKeyEvent* e) override;

private:
    QPushButton* nuevaTecla(QWidget* padre, const QString& caption, const QString& tecla, int x, int y, int ancho);
    void construirNumerico(QWidget* area);
    void construirAlfanumerico(QWidget* area);
    std::unique_ptr<EntradaTeclado> entrada_;
    bool construido_ = false;
};

// An edit box that opens the on-screen keyboard when touched.
class TEditKbr : public QLineEdit {
    Q_OBJECT
public:
    explicit TEditKbr(QWidget* parent = nullptr);

    bool Numeric = false;
    bool ShowKbr = true;
    bool AllowDblClick = false;
    int KbrButtonSize = 25;
    QFont KbrFont = QFont(QStringLiteral("Terminal"));
    qint32 RowTag = 0, ColTag = 0;

    // Opens the keyboard (when the box is not read-only and ShowKbr is set)
    // and takes its text when accepted.
    void abrirTeclado();
    // How the keyboard is run; tests replace it to press its keys.
    static std::function<bool(TKeyboard&)> ejecutar;

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    void revisarNumero();
};

} // namespace ombrix
