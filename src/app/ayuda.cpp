#include "ayuda.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStyle>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace ombrix {

namespace {
const QString kIndice = QStringLiteral("index.html");
} // namespace

QString carpetaManual()
{
    const QString programa = QCoreApplication::applicationDirPath();
    const QStringList candidatas{
        programa + QStringLiteral("/../share/ombrix/docs/manual"),
        programa + QStringLiteral("/docs/manual"),
#ifdef OMBRIX_MANUAL_FUENTE
        QStringLiteral(OMBRIX_MANUAL_FUENTE),
#endif
    };
    for (const QString& c : candidatas)
        if (QFileInfo::exists(c + QLatin1Char('/') + kIndice))
            return QDir(c).canonicalPath();
    return QString();
}

QString paginaAyudaPara(const QWidget* ventana)
{
    if (!ventana)
        return QString();
    // Class names, so that the shell needs none of the views' headers.
    static const struct {
        const char* clase;
        const char* pagina;
    } mapa[] = {
        {"ombrix::TInstForm", "instrumentos.html"},
        {"ombrix::TFormaInstP", "instrumentos.html#panel"},
        {"ombrix::TFormPropInst", "propiedades.html"},
        {"ombrix::TFormaBase", "tabla.html"},
        {"ombrix::TGrafForm", "grafico.html"},
        {"ombrix::TFormaPropGraf", "grafico.html#propiedades"},
        {"ombrix::TFormaTablaComb", "combinada.html"},
        {"ombrix::TFormaEleccInst", "combinada.html"},
        {"ombrix::TFormaGrafTabCom", "combinada.html#grafico"},
        {"ombrix::TFormaPropGrafComb", "combinada.html#grafico"},
        {"ombrix::TFormaImpresion", "impresion.html"},
        {"ombrix::TVistaPrevia", "impresion.html#informes"},
        {"ombrix::TFormaCom", "configuracion.html#comunicacion"},
        {"ombrix::TConf_Opciones", "configuracion.html#opciones"},
        {"ombrix::TNiveldeacceso1", "configuracion.html#niveles"},
        {"ombrix::TFormaEleccionBase", "bases.html"},
        {"ombrix::TKeyboard", "teclado.html"},
    };
    for (const QObject* o = ventana; o; o = o->parent())
        for (const auto& m : mapa)
            if (o->inherits(m.clase))
                return QString::fromLatin1(m.pagina);
    return QString();
}

TFormaAyuda::TFormaAyuda(const QString& carpeta, QWidget* parent) : QWidget(parent, Qt::Window), carpeta_(carpeta)
{
    setObjectName(QStringLiteral("FormaAyuda"));
    setWindowTitle(QStringLiteral("Ayuda de Ombrix"));
    auto* capa = new QVBoxLayout(this);
    capa->setContentsMargins(0, 0, 0, 0);
    capa->setSpacing(0);
    auto* barra = new QToolBar(this);
    auto boton = [&](const QString& texto, QStyle::StandardPixmap icono, const QString& nombre) {
        auto* b = new QToolButton(barra);
        b->setObjectName(nombre);
        b->setText(texto);
        b->setIcon(style()->standardIcon(icono));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        barra->addWidget(b);
        return b;
    };
    botonInicio = boton(QStringLiteral("Índice"), QStyle::SP_DirHomeIcon, QStringLiteral("botonInicio"));
    botonAtras = boton(QStringLiteral("Atrás"), QStyle::SP_ArrowBack, QStringLiteral("botonAtras"));
    botonAdelante = boton(QStringLiteral("Adelante"), QStyle::SP_ArrowForward, QStringLiteral("botonAdelante"));
    capa->addWidget(barra);

    navegador = new QTextBrowser(this);
    navegador->setObjectName(QStringLiteral("navegador"));
    navegador->setOpenExternalLinks(true);
    navegador->setSearchPaths({carpeta_, carpeta_ + QStringLiteral("/..")});
    capa->addWidget(navegador, 1);

    botonAtras->setEnabled(false);
    botonAdelante->setEnabled(false);
    connect(botonInicio, &QToolButton::clicked, this, [this] { mostrarPagina(QString()); });
    connect(botonAtras, &QToolButton::clicked, navegador, &QTextBrowser::backward);
    connect(botonAdelante, &QToolButton::clicked, navegador, &QTextBrowser::forward);
    connect(navegador, &QTextBrowser::backwardAvailable, botonAtras, &QToolButton::setEnabled);
    connect(navegador, &QTextBrowser::forwardAvailable, botonAdelante, &QToolButton::setEnabled);
    connect(navegador, &QTextBrowser::sourceChanged, this, [this] {
        const QString t = navegador->documentTitle();
        setWindowTitle(t.isEmpty() ? QStringLiteral("Ayuda de Ombrix") : QStringLiteral("Ayuda de Ombrix: ") + t);
    });
    resize(820, 640);
    mostrarPagina(QString());
}

void TFormaAyuda::mostrarPagina(const QString& pagina)
{
    QString archivo = pagina.section(QLatin1Char('#'), 0, 0);
    const QString ancla = pagina.section(QLatin1Char('#'), 1);
    if (archivo.isEmpty() || !QFileInfo::exists(carpeta_ + QLatin1Char('/') + archivo))
        archivo = kIndice;
    QUrl url = QUrl::fromLocalFile(carpeta_ + QLatin1Char('/') + archivo);
    if (!ancla.isEmpty() && archivo != kIndice)
        url.setFragment(ancla);
    navegador->setSource(url);
}

QString TFormaAyuda::paginaActual() const
{
    const QUrl u = navegador->source();
    QString p = QFileInfo(u.toLocalFile()).fileName();
    if (u.hasFragment())
        p += QLatin1Char('#') + u.fragment();
    return p;
}

} // namespace ombrix
