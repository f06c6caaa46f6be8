// The minimal window Tolka's start-up is measured against: the same style,
// the same frame stamps, nothing else.
#include "frameprobe.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QQmlApplicationEngine engine;
    engine.loadFromModule(u"StartupMinimal", u"Minimal");
    auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().value(0));
    if (!window)
        return 1;
    tolka::watchFrames(*window);
    window->show();
    return QGuiApplication::exec();
}
