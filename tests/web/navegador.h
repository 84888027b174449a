#pragma once
// A real browser for tests: headless Chromium (Debian's package), a child of
// the test with a throw-away profile, driven through its DevTools protocol
// on 127.0.0.1 (a WebSocket): open a page, read the rendered page back with
// a script, take a screenshot. A live page never "finishes loading", so the
// test asks the page what it shows while it runs instead of dumping it once.

#include "cliente_http.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebSocket>

#include <signal.h>

namespace ombrix::test {

class Navegador {
public:
    ~Navegador()
    {
        ws_.abort();
        if (p_.state() != QProcess::NotRunning) {
            ::kill(pid_t(p_.processId()), SIGTERM);
            if (!p_.waitForFinished(5000)) {
                p_.kill();
                p_.waitForFinished(5000);
            }
        }
    }

    static QString programa() { return QStringLiteral("/usr/bin/chromium"); }

    // Starts the browser with a blank page and connects to that page.
    bool iniciar(int ancho = 1280, int alto = 900)
    {
        QStringList args {QStringLiteral("--headless"), QStringLiteral("--disable-gpu"),
                          QStringLiteral("--no-first-run"), QStringLiteral("--no-default-browser-check"),
                          QStringLiteral("--remote-debugging-address=127.0.0.1"),
                          QStringLiteral("--remote-debugging-port=0"),
                          QStringLiteral("--user-data-dir=") + perfil_.path(),
                          QStringLiteral("--window-size=%1,%2").arg(ancho).arg(alto),
                          QStringLiteral("--lang=es"), QStringLiteral("about:blank")};
        // A root user cannot use the browser's sandbox.
        if (::geteuid() == 0)
            args.prepend(QStringLiteral("--no-sandbox"));
        p_.setProcessChannelMode(QProcess::MergedChannels);
        p_.start(programa(), args);
        if (!p_.waitForStarted(10000))
            return false;
        QFile puerto(perfil_.path() + QStringLiteral("/DevToolsActivePort"));
        QElapsedTimer reloj;
        reloj.start();
        while (!(puerto.exists() && puerto.size() > 0) && reloj.elapsed() < 20000)
            p_.waitForReadyRead(100), p_.readAll();
        if (!puerto.open(QIODevice::ReadOnly))
            return false;
        const quint16 depuracion = quint16(puerto.readLine().trimmed().toUInt());
        // The page's own connection, from the list of targets.
        QString url;
        while (url.isEmpty() && reloj.elapsed() < 20000) {
            const RespuestaHttp r = pedir(depuracion, "/json/list");
            for (const auto& v : QJsonDocument::fromJson(r.cuerpo).array())
                if (v.toObject().value(QStringLiteral("type")).toString() == QLatin1String("page"))
                    url = v.toObject().value(QStringLiteral("webSocketDebuggerUrl")).toString();
        }
        if (url.isEmpty())
            return false;
        QObject::connect(&ws_, &QWebSocket::textMessageReceived, &ws_, [this](const QString& m) {
            const QJsonObject o = QJsonDocument::fromJson(m.toUtf8()).object();
            if (o.contains(QStringLiteral("id")))
                respuestas_.insert(o.value(QStringLiteral("id")).toInt(), o);
        });
        ws_.open(QUrl(url));
        QEventLoop bucle;
        QObject::connect(&ws_, &QWebSocket::connected, &bucle, &QEventLoop::quit);
        QTimer::singleShot(10000, &bucle, &QEventLoop::quit);
        if (ws_.state() != QAbstractSocket::ConnectedState)
            bucle.exec();
        return ws_.state() == QAbstractSocket::ConnectedState;
    }

    // One command of the protocol and its result (empty after 15 s).
    QJsonObject orden(const QString& metodo, const QJsonObject& params = {})
    {
        const int id = ++siguiente_;
        ws_.sendTextMessage(QString::fromUtf8(QJsonDocument(QJsonObject {{QStringLiteral("id"), id},
                                                                         {QStringLiteral("method"), metodo},
                                                                         {QStringLiteral("params"), params}})
                                                  .toJson(QJsonDocument::Compact)));
        QElapsedTimer reloj;
        reloj.start();
        while (!respuestas_.contains(id) && reloj.elapsed() < 15000)
            QTest::qWait(10);
        return respuestas_.take(id).value(QStringLiteral("result")).toObject();
    }

    void abrir(const QString& url) { orden(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), url}}); }

    // The value of a script run in the page, as text ("" when it throws).
    QString evaluar(const QString& guion)
    {
        const QJsonObject r = orden(QStringLiteral("Runtime.evaluate"),
                                    {{QStringLiteral("expression"), guion}, {QStringLiteral("returnByValue"), true}});
        const QJsonValue v = r.value(QStringLiteral("result")).toObject().value(QStringLiteral("value"));
        return v.isString() ? v.toString() : v.isDouble() ? QString::number(v.toDouble()) : v.isBool() ? (v.toBool() ? QStringLiteral("true") : QStringLiteral("false")) : QString();
    }
    // The text of the element with that id, as rendered.
    QString texto(const QString& id)
    {
        return evaluar(QStringLiteral("(document.getElementById('%1') || {}).textContent || ''").arg(id));
    }

    // The page as PNG.
    QByteArray captura()
    {
        const QJsonObject r = orden(QStringLiteral("Page.captureScreenshot"), {{QStringLiteral("format"), QStringLiteral("png")},
                                                                              {QStringLiteral("captureBeyondViewport"), true}});
        return QByteArray::fromBase64(r.value(QStringLiteral("data")).toString().toLatin1());
    }

private:
    QTemporaryDir perfil_;
    QProcess p_;
    QWebSocket ws_;
    int siguiente_ = 0;
    QHash<int, QJsonObject> respuestas_;
};

} // namespace ombrix::test
