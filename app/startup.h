#pragma once

#include <QString>
#include <QVariantMap>

class QCoreApplication;
class QQmlApplicationEngine;
class QQmlEngine;
class QWindow;

namespace tolka {

// The QML component that is the main window.
struct MainComponent
{
    QString module = QStringLiteral("TolkaModule");
    QString type = QStringLiteral("Main");
};

// Name, organisation, domain and version of the application.
void setIdentity(QCoreApplication &app);

// Window icon, script fallback font, animation driver and image limit.
void applyProcessSettings();

// Sends the style's shadow, check indicator and calendar files to the lighter
// replacements in ":/effects/". One interceptor serves every engine for the
// life of the process; install it before anything is loaded.
void installUrlInterceptor(QQmlEngine &engine);

// The native values the main window receives: "tts", "helper", "player",
// "recorder", "account", "transcript", "tray" and "hotkey". Every call
// hands out copies of the same process-wide values.
[[nodiscard]] QVariantMap initialProperties();

// Loads the main window and returns it, not yet shown; on failure writes the
// reason to stderr and returns nullptr.
[[nodiscard]] QWindow *loadMainWindow(QQmlApplicationEngine &engine, const MainComponent &component = {});

// Opens the first-frame gate (firstframegate.h) once the window has put its
// first frame on screen; at once for a window that is not a Qt Quick one.
void openGateAtFirstFrame(QWindow &window);

// The whole start-up: returns the exit code of the event loop, or 1 when the
// main window cannot be created.
int run(int argc, char *argv[], const MainComponent &component = {});

} // namespace tolka
