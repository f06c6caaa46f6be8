#include "trayicon.h"

#include "traylogging.h"

#include <QAction>
#include <QCoreApplication>
#include <QWindow>

namespace tolka::tray {

TrayIcon::TrayIcon(QWindow *window, QObject *parent) : QObject(parent), m_window(window)
{
    m_showHide = m_menu.addAction(QString());
    m_showHide->setObjectName(QStringLiteral("trayShowHide"));
    m_conversation = m_menu.addAction(QString());
    m_conversation->setObjectName(QStringLiteral("trayConversation"));
    m_conversation->setCheckable(true);
    m_menu.addSeparator();
    m_quit = m_menu.addAction(QString());
    m_quit->setObjectName(QStringLiteral("trayQuit"));

    connect(m_showHide, &QAction::triggered, this, &TrayIcon::toggleWindow);
    connect(m_conversation, &QAction::triggered, this, &TrayIcon::conversationToggled);
    connect(m_quit, &QAction::triggered, this, &TrayIcon::quitRequested);
    connect(&m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // A plain click; the context click opens the menu by itself.
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            toggleWindow();
    });
    if (m_window)
        connect(m_window, &QWindow::visibleChanged, this, &TrayIcon::refresh);
    m_icon.setContextMenu(&m_menu);
    refresh();
}

TrayIcon::~TrayIcon()
{
    // The menu is a member: it must not be the icon's menu once destroyed.
    m_icon.setContextMenu(nullptr);
}

void TrayIcon::setTexts(const MenuTexts &texts)
{
    m_texts = texts;
    refresh();
}

void TrayIcon::setActivity(Activity activity)
{
    if (activity == m_activity)
        return;
    m_activity = activity;
    refresh();
}

void TrayIcon::setConversation(bool on)
{
    m_conversation->setChecked(on);
}

void TrayIcon::toggleWindow()
{
    if (!m_window) {
        qCWarning(lcTray) << "the window is gone; nothing to show";
        return;
    }
    if (m_window->isVisible() && m_window->windowState() != Qt::WindowMinimized) {
        m_window->hide();
        return;
    }
    m_window->showNormal();
    m_window->raise();
    m_window->requestActivate();
}

void TrayIcon::refresh()
{
    const bool shown = m_window && m_window->isVisible();
    m_showHide->setText(shown ? m_texts.hide : m_texts.show);
    m_conversation->setText(m_texts.conversation);
    m_quit->setText(m_texts.quit);

    // Drawn again only when the activity changed, not for new words.
    if (m_drawn != m_activity) {
        m_icon.setIcon(artwork(m_activity));
        m_drawn = m_activity;
    }
    const QString name = m_window ? m_window->title() : QCoreApplication::applicationName();
    QString doing;
    switch (m_activity) {
    case Activity::Recording:
        doing = m_texts.recording;
        break;
    case Activity::Speaking:
        doing = m_texts.speaking;
        break;
    case Activity::Idle:
        doing = m_texts.idle;
        break;
    }
    m_icon.setToolTip(doing.isEmpty() ? name : name + QStringLiteral(" · ") + doing);
}

} // namespace tolka::tray
