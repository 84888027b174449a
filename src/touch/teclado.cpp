#include "teclado.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace ombrix {

const QString EntradaTeclado::kEnter = QStringLiteral("Enter");
const QString EntradaTeclado::kCancelar = QStringLiteral("Cancelar");
const QString EntradaTeclado::kCaps = QStringLiteral("Caps");
const QString EntradaTeclado::kEspacio = QStringLiteral("Espacio");
const QString EntradaTeclado::kBorrar = QStringLiteral("Borrar");
const QString EntradaTeclado::kAtras = QStringLiteral("\u2190Atras");
const QChar EntradaTeclado::kCursor = QLatin1Char('_');

namespace {

const QChar kEneMayuscula(0x00D1);
const QChar kEneMinuscula(0x00F1);

// Zero in any of its written forms ("0", "0.", "00.000").
bool esCero(const QString& cifras)
{
    for (QChar c : cifras)
        if (c != QLatin1Char('0') && c != QLatin1Char('.'))
            return false;
    return true;
}

bool esNumero(const QString& t)
{
    bool ok = false;
    QLocale::c().toDouble(t, &ok);
    return ok;
}

} // namespace

void EntradaTeclado::numerica(const QString& t)
{
    if (t == QStringLiteral(".")) {
        // Once per number, worked out from the text itself.
        if (!texto_.contains(QLatin1Char('.')))
            texto_ += t;
    } else if (t == QStringLiteral("-")) {
        // The sign as text: long numbers keep their digits, zero has no sign.
        const QString cifras = texto_.startsWith(QLatin1Char('-')) ? texto_.mid(1) : texto_;
        if (!cifras.isEmpty() && esNumero(cifras) && !esCero(cifras))
            texto_ = texto_.startsWith(QLatin1Char('-')) ? cifras : QStringLiteral("-") + cifras;
    } else if (t.size() == 1 && t[0].isDigit()) {
        texto_ += t;
    }
    if (texto_.startsWith(QLatin1Char('.')))
        texto_.prepend(QLatin1Char('0'));
    else if (texto_.startsWith(QStringLiteral("-.")))
        texto_.insert(1, QLatin1Char('0'));
}

void EntradaTeclado::tecla(const QString& t)
{
    if (terminado_)
        return;
    if (t == kEnter) {
        aceptado_ = true;
        terminado_ = true;
        resultado_ = tipo_ == kbNumeric && texto_.isEmpty() ? QStringLiteral("0") : texto_;
    } else if (t == kCancelar) {
        aceptado_ = false;
        terminado_ = true;
    } else if (t == kCaps) {
        caps_ = !caps_;
    } else if (t == kEspacio) {
        texto_ += QLatin1Char(' ');
    } else if (t == kBorrar) {
        texto_.clear();
    } else if (t == kAtras) {
        texto_.chop(1);
    } else if (tipo_ == kbNumeric) {
        numerica(t);
    } else {
        texto_ += previa(t);
    }
}

void EntradaTeclado::escribir(const QString& caracteres)
{
    if (terminado_)
        return;
    for (QChar c : caracteres) {
        if (!c.isPrint())
            continue;
        if (tipo_ == kbNumeric)
            numerica(QString(c));
        else
            texto_ += c;
    }
}

QString EntradaTeclado::previa(const QString& t) const
{
    if (tipo_ == kbNumeric || t == kEnter || t == kCancelar || t == kCaps || t == kEspacio || t == kBorrar
        || t == kAtras)
        return t;
    if (t.size() == 2)   // a two-line key: upper with Caps, lower without
        return QString(caps_ ? t[0] : t[1]);
    if (t == QString(kEneMayuscula))
        return QString(caps_ ? kEneMayuscula : kEneMinuscula);
    return caps_ ? t.toUpper() : t.toLower();
}

// ------------------------------------------------------------------ Window

TKeyboard::TKeyboard(QWidget* parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    Font.setStyleHint(QFont::Monospace);
}

QPushButton* TKeyboard::nuevaTecla(QWidget* padre, const QString& caption, const QString& tecla, int x, int y,
                                   int ancho)
{
    auto* b = new QPushButton(caption, padre);
    b->setObjectName(tecla);
    b->setGeometry(x, y, ancho, ButtonSize);
    b->setFocusPolicy(Qt::NoFocus);
    b->setStyleSheet(QStringLiteral("padding: 0px;"));
    b->installEventFilter(this);
    if (tecla == EntradaTeclado::kCaps)
        b->setCheckable(true);
    connect(b, &QPushButton::clicked, this, [this, tecla] { pulsar(tecla); });
    return b;
}

QPushButton* TKeyboard::boton(const QString& caption) const
{
    for (QPushButton* b : findChildren<QPushButton*>())
        if (b->objectName() == caption)
            return b;
    return nullptr;
}

void TKeyboard::construirNumerico(QWidget* area)
{
    const int u = ButtonSize;
    const QStringList filas[4] = {{QStringLiteral("7"), QStringLiteral("8"), QStringLiteral("9")},
                                  {QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6")},
                                  {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")},
                                  {QStringLiteral("0"), QStringLiteral("."), QStringLiteral("-")}};
    for (int f = 0; f < 4; ++f)
        for (int c = 0; c < 3; ++c)
            nuevaTecla(area, filas[f][c], filas[f][c], 10 + c * u, f * u, u);
    int y = 4 * u;
    for (const QString& t : {EntradaTeclado::kEnter, EntradaTeclado::kCancelar, EntradaTeclado::kBorrar}) {
        nuevaTecla(area, t, t, 10, y, 3 * u);
        y += u;
    }
    area->setFixedSize(3 * u + 20, 7 * u);
}

void TKeyboard::construirAlfanumerico(QWidget* area)
{
    const int u = ButtonSize;
    const QFontMetrics m(Font);
    // Keys as wide as their caption.
    auto ancho = [&](const QString& t) { return qMax(u, m.horizontalAdvance(t) + u / 2); };
    auto fila = [&](double desde, int y, const QStringList& teclas) {
        int x = int(desde * u);
        for (const QString& t : teclas) {
            QString caption = t;
            if (t.size() == 2)   // a two-line key: first over second
                caption = QString(t[0]) + QLatin1Char('\n') + t[1];
            const bool especial = t.size() > 2;
            const int w = especial ? ancho(t) : u;
            QPushButton* b = nuevaTecla(area, caption, t, x, y, w);
            if (t.size() == 2) {
                // Two characters, one over the other, within one key.
                QFont pequena = Font;
                pequena.setPixelSize(qMax(7, (u - 4) / 2));
                b->setFont(pequena);
            }
            x += w;
        }
        return x;
    };
    const int derecha = fila(1, 0, {QStringLiteral("~`"), QStringLiteral("!1"), QStringLiteral("@2"), QStringLiteral("#3"),
                                    QStringLiteral("$4"), QStringLiteral("%5"), QStringLiteral("^6"), QStringLiteral("&7"),
                                    QStringLiteral("*8"), QStringLiteral("(9"), QStringLiteral(")0"), QStringLiteral("_-"),
                                    QStringLiteral("+="), EntradaTeclado::kAtras});
    QStringList segunda;
    for (QChar c : QStringLiteral("QWERTYUIOP"))
        segunda << QString(c);
    segunda << QStringLiteral("[{") << QStringLiteral("]}") << EntradaTeclado::kCaps;
    fila(1.5, u, segunda);
    QStringList tercera;
    for (QChar c : QStringLiteral("ASDFGHJKL"))
        tercera << QString(c);
    tercera << QString(QChar(0x00D1)) << QStringLiteral(";:") << QStringLiteral("\"'") << EntradaTeclado::kEnter;
    fila(2, 2 * u, tercera);
    QStringList cuarta;
    for (QChar c : QStringLiteral("ZXCVBNM"))
        cuarta << QString(c);
    cuarta << QStringLiteral("<,") << QStringLiteral(">.") << QStringLiteral("?/") << QStringLiteral("|\\");
    fila(2.5, 3 * u, cuarta);
    nuevaTecla(area, EntradaTeclado::kEspacio, EntradaTeclado::kEspacio, 3 * u, 4 * u, 6 * u);
    int x = 9 * u;
    for (const QString& t : {EntradaTeclado::kCancelar, EntradaTeclado::kBorrar}) {
        nuevaTecla(area, t, t, x, 4 * u, ancho(t));
        x += ancho(t);
    }
    area->setFixedSize(derecha + u / 2, 5 * u + 4);
}

void TKeyboard::construir()
{
    if (construido_)
        return;
    construido_ = true;
    entrada_ = std::make_unique<EntradaTeclado>(KbrType);
    setFont(Font);
    setObjectName(QStringLiteral("teclado"));
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QStringLiteral("#teclado { background: rgb(0, 0, 255); border: 4px solid rgb(0, 0, 160); }"
                                 "QLabel { color: white; font-weight: bold; }"));
    const bool numerico = KbrType == kbNumeric;

    auto* capa = new QVBoxLayout(this);
    capa->setContentsMargins(8, 8, 8, 8);
    auto fila = [&](const QString& etiqueta, QLineEdit*& editor, bool actual) {
        auto* h = new QHBoxLayout;
        h->addWidget(new QLabel(etiqueta, this));
        editor = new QLineEdit(this);
        editor->setReadOnly(true);
        editor->setFocusPolicy(Qt::NoFocus);
        if (actual)
            editor->setStyleSheet(QStringLiteral("background: rgb(0, 255, 255);"));
        editor->setMinimumWidth(numerico ? 3 * ButtonSize : 13 * ButtonSize);
        h->addWidget(editor, 1);
        capa->addLayout(h);
    };
    fila(numerico ? QStringLiteral("Valor actual:") : QStringLiteral("Texto actual:"), editorActual, true);
    fila(numerico ? QStringLiteral("Valor:") : QStringLiteral("       Texto:"), editorEntrada, false);
    editorActual->setText(TextoActual);
    editorEntrada->setText(entrada_->mostrado());

    auto* area = new QWidget(this);
    if (numerico)
        construirNumerico(area);
    else
        construirAlfanumerico(area);
    capa->addSpacing(5);
    capa->addWidget(area, 0, Qt::AlignLeft);

    panelPrevia = new QLabel(this);
    QFont doble = Font;
    doble.setPointSizeF((Font.pointSizeF() > 0 ? Font.pointSizeF() : 10) * 2);
    panelPrevia->setFont(doble);
    panelPrevia->setAlignment(Qt::AlignCenter);
    panelPrevia->setMinimumHeight(int(QFontMetrics(doble).height() * 2.5));
    panelPrevia->setStyleSheet(QStringLiteral("background: rgb(0, 0, 160); color: yellow;"));
    capa->addWidget(panelPrevia);
    capa->setSizeConstraint(QLayout::SetFixedSize);
}

bool TKeyboard::Execute()
{
    construir();
    adjustSize();
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->geometry().center() - rect().center());
    exec();
    // Only "Enter" accepts: Escape or any other way out keeps the field as it was.
    Resultado = entrada_->aceptado() ? entrada_->resultado() : QString();
    return entrada_->aceptado();
}

void TKeyboard::pulsar(const QString& caption)
{
    construir();
    if (caption == EntradaTeclado::kCaps) {
        if (QPushButton* b = boton(EntradaTeclado::kCaps))
            entrada_->setCaps(b->isChecked());
    } else {
        entrada_->tecla(caption);
    }
    QApplication::beep();
    editorEntrada->setText(entrada_->mostrado());
    if (entrada_->terminado()) {
        Resultado = entrada_->resultado();
        if (entrada_->aceptado())
            accept();
        else
            reject();
    }
}

bool TKeyboard::eventFilter(QObject* o, QEvent* e)
{
    if (e->type() == QEvent::Enter && panelPrevia)
        if (auto* b = qobject_cast<QPushButton*>(o)) {
            QString t = b->objectName();
            // The M key always shows its capital.
            panelPrevia->setText(t == QStringLiteral("M") ? t : entrada_->previa(t));
        }
    return QDialog::eventFilter(o, e);
}

void TKeyboard::keyPressEvent(QKeyEvent* e)
{
    construir();
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        pulsar(EntradaTeclado::kEnter);
        return;
    case Qt::Key_Escape:
        pulsar(EntradaTeclado::kCancelar);
        return;
    case Qt::Key_Backspace:
        pulsar(EntradaTeclado::kAtras);
        return;
    default:
        break;
    }
    if (e->text().isEmpty() || (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        QDialog::keyPressEvent(e);
        return;
    }
    entrada_->escribir(e->text());
    editorEntrada->setText(entrada_->mostrado());
}

// ------------------------------------------------------------------ Edit box

std::function<bool(TKeyboard&)> TEditKbr::ejecutar = [](TKeyboard& k) { return k.Execute(); };

TEditKbr::TEditKbr(QWidget* parent) : QLineEdit(parent)
{
    KbrFont.setStyleHint(QFont::Monospace);
    connect(this, &QLineEdit::textChanged, this, &TEditKbr::revisarNumero);
}

void TEditKbr::abrirTeclado()
{
    if (isReadOnly() || !ShowKbr || !isEnabled())
        return;
    TKeyboard teclado(this);
    teclado.Font = KbrFont;
    teclado.ButtonSize = KbrButtonSize;
    teclado.TextoActual = text();
    teclado.KbrType = Numeric ? kbNumeric : kbAlfaNumeric;
    if (ejecutar(teclado)) {
        setText(teclado.Resultado);
        emit editingFinished();
    }
}

void TEditKbr::mousePressEvent(QMouseEvent* e)
{
    QLineEdit::mousePressEvent(e);
    if (!AllowDblClick && e->button() == Qt::LeftButton)
        abrirTeclado();
}

void TEditKbr::mouseDoubleClickEvent(QMouseEvent* e)
{
    QLineEdit::mouseDoubleClickEvent(e);
    if (AllowDblClick)
        abrirTeclado();
}

void TEditKbr::revisarNumero()
{
    if (!Numeric || text().isEmpty() || esNumero(text()))
        return;
    QApplication::beep();
    setFocus();
    selectAll();
}

} // namespace ombrix
