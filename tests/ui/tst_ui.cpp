#include "startup.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtQuickTest>

// Gives the QML tests the application identity and a settings store of
// their own, so that they neither read nor change the user's settings.
class UiSetup : public QObject
{
    Q_OBJECT
public:
    UiSetup()
    {
        qputenv("XDG_CONFIG_HOME", settingsDir.path().toLocal8Bit());
        // The transcript and the speech cache stay out of the user's folders.
        qputenv("XDG_DATA_HOME", settingsDir.filePath(QStringLiteral("data")).toLocal8Bit());
        qputenv("XDG_CACHE_HOME", settingsDir.filePath(QStringLiteral("cache")).toLocal8Bit());
    }

public slots:
    void applicationAvailable() { tolka::setIdentity(*QCoreApplication::instance()); }

private:
    QTemporaryDir settingsDir;
};

QUICK_TEST_MAIN_WITH_SETUP(ui, UiSetup)
#include "tst_ui.moc"
