#include "aplicacion.h"

#include "config/dialogos.h"

#include <QLibraryInfo>
#include <QPainter>
#include <QPainterPath>
#include <QTranslator>

namespace ombrix {

Aplicacion::Aplicacion(int& argc, char** argv) : QApplication(argc, argv)
{
    // No display name: with one, the toolkit appends it to every window's and
    // every box's caption, and the captions are the program's own.
    setApplicationName(QStringLiteral("Ombrix"));
    setWindowIcon(iconoPrograma());
    cargarTraduccionesQt(*this);
}

bool cargarTraduccionesQt(QCoreApplication& app)
{
    // Debian's qt6-translations-l10n puts them in the toolkit's translations
    // folder; "qt_es" pulls in the base module's catalogue.
    const QString carpeta = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    bool alguna = false;
    for (const char* nombre : {"qtbase_es", "qt_help_es"}) {
        auto* t = new QTranslator(&app);
        if (t->load(QString::fromLatin1(nombre), carpeta) && QCoreApplication::installTranslator(t))
            alguna = true;
        else
            delete t;
    }
    return alguna;
}

QIcon iconoPrograma()
{
    QIcon icono;
    for (int lado : {16, 24, 32, 48, 64}) {
        QPixmap px(lado, lado);
        px.fill(Qt::transparent);
        QPainter p(&px);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(lado / 64.0, lado / 64.0);
        p.setPen(QPen(QColor(0x0d, 0x14, 0x16), 2));
        p.setBrush(QColor(0x1d, 0x2b, 0x2f));
        p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
        QFont f;
        f.setBold(true);
        f.setPixelSize(34);
        p.setFont(f);
        p.setPen(QColor(0xff, 0x5a, 0x2a));
        p.drawText(QRectF(2, 2, 60, 60), Qt::AlignCenter, QStringLiteral("88"));
        p.end();
        icono.addPixmap(px);
    }
    return icono;
}

bool Aplicacion::notify(QObject* receptor, QEvent* evento)
{
    try {
        return QApplication::notify(receptor, evento);
    } catch (const std::exception& e) {
        mostrarError(e);
    } catch (...) {
        mostrarError(std::runtime_error("Error"));
    }
    return false;
}

} // namespace ombrix
