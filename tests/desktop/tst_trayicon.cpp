#include "trayartwork.h"
#include "trayicon.h"

#include <QAction>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using tolka::tray::Activity;
using tolka::tray::MenuTexts;
using tolka::tray::TrayIcon;

namespace {

QAction *action(TrayIcon &icon, const char *name)
{
    return icon.menu()->findChild<QAction *>(QLatin1String(name));
}

// The colour in the middle of the dot's corner of the icon at 32 pixels.
QColor cornerColour(const QIcon &icon)
{
    const QImage image = icon.pixmap(QSize(32, 32), 1.0).toImage();
    return image.pixelColor(26, 26);
}

} // namespace

class TrayIconTest : public QObject
{
    Q_OBJECT
private slots:
    // The first entry shows a hidden window and hides a shown one, and says
    // which it will do next.
    void showHideFollowsTheWindow()
    {
        QWindow window;
        window.setTitle(QStringLiteral("Tolka"));
        TrayIcon icon(&window);
        MenuTexts texts;
        texts.show = QStringLiteral("Montrer");
        texts.hide = QStringLiteral("Cacher");
        icon.setTexts(texts);
        QAction *showHide = action(icon, "trayShowHide");
        QVERIFY(showHide);
        QCOMPARE(showHide->text(), QStringLiteral("Montrer"));
        showHide->trigger();
        QTRY_VERIFY(window.isVisible());
        QCOMPARE(showHide->text(), QStringLiteral("Cacher"));
        showHide->trigger();
        QTRY_VERIFY(!window.isVisible());
        QCOMPARE(showHide->text(), QStringLiteral("Montrer"));
        // A minimised window is brought back rather than hidden.
        window.showMinimized();
        QTRY_VERIFY(window.isVisible());
        icon.toggleWindow();
        QTRY_COMPARE(window.windowState(), Qt::WindowNoState);
        QVERIFY(window.isVisible());
    }

    // The switch reports the user's click; the window's own change of mode
    // is shown without being reported back.
    void conversationSwitchAndQuit()
    {
        QWindow window;
        TrayIcon icon(&window);
        QSignalSpy toggled(&icon, &TrayIcon::conversationToggled);
        QSignalSpy quit(&icon, &TrayIcon::quitRequested);
        QAction *conversation = action(icon, "trayConversation");
        QVERIFY(conversation && conversation->isCheckable());
        conversation->trigger();
        QCOMPARE(toggled.size(), 1);
        QCOMPARE(toggled.at(0).at(0).toBool(), true);
        icon.setConversation(false);
        QVERIFY(!conversation->isChecked());
        QCOMPARE(toggled.size(), 1);
        QCOMPARE(quit.size(), 0);
        action(icon, "trayQuit")->trigger();
        QCOMPARE(quit.size(), 1);
    }

    // Idle shows the plain icon; recording a red dot, speaking a green one;
    // the tooltip names the window and what it is doing.
    void artworkAndTooltipFollowTheActivity()
    {
        const QColor idle = cornerColour(tolka::tray::artwork(Activity::Idle));
        const QColor recording = cornerColour(tolka::tray::artwork(Activity::Recording));
        const QColor speaking = cornerColour(tolka::tray::artwork(Activity::Speaking));
        QVERIFY2(recording.red() > 150 && recording.green() < 90, qPrintable(recording.name()));
        QVERIFY2(speaking.green() > 90 && speaking.red() < 90, qPrintable(speaking.name()));
        QVERIFY(idle != recording && idle != speaking);
        // For a look at the artwork, as the screenshot test does.
        if (const QString folder = qEnvironmentVariable("TOLKA_SCREENSHOTS"); !folder.isEmpty()) {
            const std::pair<Activity, const char *> kinds[] = {{Activity::Idle, "idle"},
                                                               {Activity::Recording, "recording"},
                                                               {Activity::Speaking, "speaking"}};
            for (const auto &[activity, name] : kinds)
                tolka::tray::artwork(activity)
                    .pixmap(QSize(64, 64), 1.0)
                    .save(folder + QStringLiteral("/tray-%1.png").arg(QLatin1String(name)));
        }

        QWindow window;
        window.setTitle(QStringLiteral("Tolka"));
        TrayIcon icon(&window);
        MenuTexts texts;
        texts.recording = QStringLiteral("Aufnahme");
        icon.setTexts(texts);
        QCOMPARE(icon.icon()->toolTip(), QStringLiteral("Tolka"));
        icon.setActivity(Activity::Recording);
        QCOMPARE(icon.activity(), Activity::Recording);
        QCOMPARE(icon.icon()->toolTip(), QStringLiteral("Tolka · Aufnahme"));
        QCOMPARE(cornerColour(icon.icon()->icon()), recording);
        icon.setActivity(Activity::Speaking);
        QCOMPARE(cornerColour(icon.icon()->icon()), speaking);
    }

    // Without its window the icon says so and stays.
    void aWindowThatIsGoneIsNotShown()
    {
        auto *window = new QWindow;
        TrayIcon icon(window);
        delete window;
        QTest::ignoreMessage(QtWarningMsg, "the window is gone; nothing to show");
        action(icon, "trayShowHide")->trigger();
        QCOMPARE(action(icon, "trayShowHide")->text(), MenuTexts().show);
    }
};

QTEST_MAIN(TrayIconTest)
#include "tst_trayicon.moc"
