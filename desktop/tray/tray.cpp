#include "tray.h"

#include "messenger.h"
#include "trayicon.h"
#include "traylogging.h"

#include <QApplication>
#include <QPointer>
#include <QWindow>

namespace {

using tolka::tray::Activity;
using tolka::tray::TrayIcon;

QPointer<TrayIcon> &currentIcon()
{
    static QPointer<TrayIcon> icon;
    return icon;
}

tolka::tray::MenuTexts textsFrom(const QVariantMap &map)
{
    tolka::tray::MenuTexts texts;
    const auto take = [&map](const char *key, QString &into) {
        const QString value = map.value(QLatin1String(key)).toString();
        if (!value.isEmpty())
            into = value;
    };
    take("show", texts.show);
    take("hide", texts.hide);
    take("conversation", texts.conversation);
    take("quit", texts.quit);
    take("idle", texts.idle);
    take("recording", texts.recording);
    take("speaking", texts.speaking);
    return texts;
}

TrayIcon *makeIcon(QWindow *window)
{
    auto *icon = new TrayIcon(window, QCoreApplication::instance());
    QObject::connect(icon, &TrayIcon::conversationToggled, icon, [](bool on) {
        messenger::instance()->forwardMessage(QStringLiteral("TRAYCONVERSATION"), on);
    });
    QObject::connect(icon, &TrayIcon::quitRequested, icon, [] {
        qCInfo(lcTray) << "quit from the tray";
        QCoreApplication::quit();
    });
    return icon;
}

} // namespace

bool tray::available() const
{
    // The menu is a widget: a QGuiApplication alone cannot show one.
    return qobject_cast<QApplication *>(QCoreApplication::instance()) &&
           QSystemTrayIcon::isSystemTrayAvailable();
}

bool tray::show(QObject *window, const QVariantMap &texts) const
{
    auto *shownWindow = qobject_cast<QWindow *>(window);
    if (!shownWindow) {
        qCWarning(lcTray) << "no window given for the tray icon";
        return false;
    }
    if (!available()) {
        qCInfo(lcTray) << "the desktop has no tray; no icon";
        return false;
    }
    QPointer<TrayIcon> &icon = currentIcon();
    if (!icon)
        icon = makeIcon(shownWindow);
    icon->setTexts(textsFrom(texts));
    icon->icon()->show();
    return true;
}

void tray::remove() const
{
    if (TrayIcon *icon = currentIcon())
        icon->icon()->hide();
}

void tray::setActivity(const QString &activity) const
{
    TrayIcon *icon = currentIcon();
    if (!icon)
        return;
    if (activity == QLatin1String("recording"))
        icon->setActivity(Activity::Recording);
    else if (activity == QLatin1String("speaking"))
        icon->setActivity(Activity::Speaking);
    else
        icon->setActivity(Activity::Idle);
}

void tray::setConversation(bool on) const
{
    if (TrayIcon *icon = currentIcon())
        icon->setConversation(on);
}

bool tray::shown() const
{
    const TrayIcon *icon = currentIcon();
    return icon && icon->inTray();
}
