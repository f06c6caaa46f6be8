#include "startup.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

// The QML engine of the tests gets the application's URL interceptor before
// anything is loaded, as at start-up.
class EffectsSetup : public QObject
{
    Q_OBJECT
public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        tolka::installUrlInterceptor(*engine);
        // Set when the run has a display with OpenGL: then the shadow pixels
        // must be checked, never skipped.
        engine->rootContext()->setContextProperty(QStringLiteral("expectHardwareScene"),
                                                  qEnvironmentVariableIsSet("TOLKA_EXPECT_HARDWARE_SCENE"));
    }
};

QUICK_TEST_MAIN_WITH_SETUP(effects, EffectsSetup)
#include "tst_effects.moc"
