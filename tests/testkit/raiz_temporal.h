#pragma once
// A throw-away data root: sets $OMBRIX_HOME to a fresh directory with a
// "RIvariv" folder and, on request, the template database.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

namespace ombrix::test {

class RaizTemporal {
public:
    explicit RaizTemporal(bool conModelo = true)
    {
        viejo_ = qgetenv("OMBRIX_HOME");
        QDir(dir_.path()).mkpath(QStringLiteral("RIvariv"));
        if (conModelo)
            QFile::copy(modeloConstruido(), ruta(QStringLiteral("Modelo.mod")));
        qputenv("OMBRIX_HOME", dir_.path().toUtf8());
    }
    ~RaizTemporal()
    {
        if (viejo_.isNull())
            qunsetenv("OMBRIX_HOME");
        else
            qputenv("OMBRIX_HOME", viejo_);
    }
    QString path() const { return dir_.path(); }
    QString ruta(const QString& relativa) const { return dir_.path() + QLatin1Char('/') + relativa; }
    QString datos() const { return ruta(QStringLiteral("RIvariv")); }

    // The template database the build wrote beside the executables.
    static QString modeloConstruido() { return qEnvironmentVariable("OMBRIX_BIN_DIR") + QStringLiteral("/Modelo.mod"); }
    // Where the built programs (simulator, logger) are.
    static QString programa(const QString& nombre) { return qEnvironmentVariable("OMBRIX_BIN_DIR") + QLatin1Char('/') + nombre; }

private:
    QTemporaryDir dir_;
    QByteArray viejo_;
};

} // namespace ombrix::test
