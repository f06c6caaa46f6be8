// QML calls helper's methods with arguments that make the catalogue throw;
// the process must go on (Part 2.1: errors must not end the process).
#include "helper.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

// Hands a helper value to the QML tests, as start-up hands it to the window.
class HelperSetup : public QObject
{
    Q_OBJECT
public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->rootContext()->setContextProperty(QStringLiteral("helper"), QVariant::fromValue(helper()));
    }
};

QUICK_TEST_MAIN_WITH_SETUP(helper_qml, HelperSetup)
#include "tst_helper_qml.moc"
