#pragma once

#include "trayartwork.h"

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

#include <optional>

class QAction;
class QWindow;

namespace tolka::tray {

// The menu's and the tooltip's words, in the interface language.
struct MenuTexts
{
    QString show = QStringLiteral("Show");
    QString hide = QStringLiteral("Hide");
    QString conversation = QStringLiteral("Conversation");
    QString quit = QStringLiteral("Quit");
    QString idle;
    QString recording = QStringLiteral("Recording");
    QString speaking = QStringLiteral("Speaking");
};

// The icon in the notification area for one window: its artwork follows the
// activity, a click shows or hides the window, and its menu holds show/hide,
// the conversation switch and quit. Needs a QApplication (the menu is a
// widget); shown only where the desktop has a tray.
class TrayIcon final : public QObject
{
    Q_OBJECT
public:
    explicit TrayIcon(QWindow *window, QObject *parent = nullptr);
    ~TrayIcon() override;

    void setTexts(const MenuTexts &texts);
    void setActivity(Activity activity);
    void setConversation(bool on);
    // Shows the window, raised and focused, or hides it.
    void toggleWindow();

    [[nodiscard]] Activity activity() const { return m_activity; }
    [[nodiscard]] QMenu *menu() { return &m_menu; }
    [[nodiscard]] QSystemTrayIcon *icon() { return &m_icon; }
    [[nodiscard]] bool inTray() const { return m_icon.isVisible(); }

signals:
    void conversationToggled(bool on);
    void quitRequested();

private:
    void refresh();

    QPointer<QWindow> m_window;
    QSystemTrayIcon m_icon;
    QMenu m_menu;
    QAction *m_showHide = nullptr;
    QAction *m_conversation = nullptr;
    QAction *m_quit = nullptr;
    MenuTexts m_texts;
    Activity m_activity = Activity::Idle;
    std::optional<Activity> m_drawn;
};

} // namespace tolka::tray
