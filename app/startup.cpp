#include "startup.h"

#include "account.h"
#include "applogging.h"
#include "firstframegate.h"
#include "frameprobe.h"
#include "helper.h"
#include "hotkey.h"
#include "input.h"
#include "messenger.h"
#include "output.h"
#include "quitsignals.h"
#include "transcript.h"
#include "tray.h"
#include "tts.h"
#include "urlinterceptor.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QWindow>

#include <cstdio>

namespace tolka {

void setIdentity(QCoreApplication &app)
{
    app.setApplicationName(QStringLiteral("Tolka#"));
    app.setOrganizationName(QStringLiteral("Arvendel"));
    app.setOrganizationDomain(QStringLiteral(TOLKA_ORGANIZATION_DOMAIN));
    app.setApplicationVersion(QStringLiteral(TOLKA_VERSION));
    // Matches the installed desktop entry; Qt's own guess from the domain
    // would hold the '@' of the contact address.
    QGuiApplication::setDesktopFileName(QStringLiteral(TOLKA_DESKTOP_ID));
}

void applyProcessSettings()
{
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/Tolka.png")));
    // Windows' Ethiopic font; elsewhere fontconfig finds its own fallback.
    QFontDatabase::addApplicationFallbackFontFamily(QChar::Script_Ethiopic, QStringLiteral("Ebrima"));
    qputenv("QSG_USE_SIMPLE_ANIMATION_DRIVER", "true");
    // A background picture of any size must load.
    QImageReader::setAllocationLimit(0);
}

void installUrlInterceptor(QQmlEngine &engine)
{
    static urlInterceptor interceptor;
    engine.addUrlInterceptor(&interceptor);
}

QVariantMap initialProperties()
{
    // Constant-initialised; only their destruction is registered at exit.
    static constinit tts cloud;
    static constinit helper catalogue;
    static constinit output player;
    static constinit input recorder;
    static constinit account service;
    static constinit transcript exchanges;
    static constinit tray notificationArea;
    static constinit hotkey globalKey;
    QVariant ttsValue = QVariant::fromValue(cloud);
    QVariant helperValue = QVariant::fromValue(catalogue);
    QVariant playerValue = QVariant::fromValue(player);
    QVariant recorderValue = QVariant::fromValue(recorder);
    QVariant accountValue = QVariant::fromValue(service);
    QVariant transcriptValue = QVariant::fromValue(exchanges);
    QVariant trayValue = QVariant::fromValue(notificationArea);
    QVariant hotkeyValue = QVariant::fromValue(globalKey);
    return {{QStringLiteral("tts"), ttsValue},         {QStringLiteral("helper"), helperValue},
            {QStringLiteral("player"), playerValue},   {QStringLiteral("recorder"), recorderValue},
            {QStringLiteral("account"), accountValue}, {QStringLiteral("transcript"), transcriptValue},
            {QStringLiteral("tray"), trayValue},       {QStringLiteral("hotkey"), hotkeyValue}};
}

QWindow *loadMainWindow(QQmlApplicationEngine &engine, const MainComponent &component)
{
    engine.setInitialProperties(initialProperties());
    engine.loadFromModule(component.module, component.type);
    const QList<QObject *> roots = engine.rootObjects();
    if (roots.isEmpty()) {
        std::fprintf(
            stderr, "tolka: cannot create the main window: %s.%s failed to load (see the QML errors above)\n",
            qPrintable(component.module), qPrintable(component.type));
        return nullptr;
    }
    auto *window = qobject_cast<QWindow *>(roots.constFirst());
    if (!window) {
        std::fprintf(stderr,
                     "tolka: cannot show the main window: the root object of %s.%s is a %s, not a window\n",
                     qPrintable(component.module), qPrintable(component.type),
                     roots.constFirst()->metaObject()->className());
        return nullptr;
    }
    return window;
}

void openGateAtFirstFrame(QWindow &window)
{
    auto *quickWindow = qobject_cast<QQuickWindow *>(&window);
    if (!quickWindow) {
        openFirstFrameGate();
        return;
    }
    // Swapped on the render thread; the gate opens on the GUI thread.
    QObject::connect(
        quickWindow, &QQuickWindow::frameSwapped, QCoreApplication::instance(), [] { openFirstFrameGate(); },
        static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::SingleShotConnection));
}

int run(int argc, char *argv[], const MainComponent &component)
{
    int exitCode = 1;
    {
        // A QApplication rather than a QGuiApplication: the tray icon's menu
        // is a widget.
        QApplication app(argc, argv);
        setIdentity(app);
        quitOnTerminationSignals();
        // TLS set-up runs on the thread pool while the interface loads.
        tts::configSSL();
        applyProcessSettings();
        // Held-back work (the offline engines' launch) waits for the first frame.
        closeFirstFrameGate();
        QQmlApplicationEngine engine;
        installUrlInterceptor(engine);
        QWindow *window = loadMainWindow(engine, component);
        if (!window)
            return 1;
        openGateAtFirstFrame(*window);
        // The window holds back its own start-up work (the history drawer,
        // the stored transcript) until then.
        afterFirstFrame(window,
                        [] { messenger::instance()->forwardMessage(QStringLiteral("FIRSTFRAME"), true); });
        if (auto *quickWindow = qobject_cast<QQuickWindow *>(window))
            watchFrames(*quickWindow);
        window->show();
        qCDebug(lcApp) << "main window shown";
        exitCode = QGuiApplication::exec();
    }
    return exitCode;
}

} // namespace tolka
