#include <gmock/gmock.h>

#include <QGuiApplication>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <string>
#include <vector>

#include "shell/qt/corvane_client_app.h"
#include "shell/qt/menu_bar_icons.h"
#include "shell/qt/window_identifier.h"
#include "support/fake_connection_status.h"

namespace corvane {
namespace {

using ::testing::ElementsAre;
using testing::FakeConnectionStatus;

// Runs the event loop, calling `start` from inside it; returns the loop's exit code, or -99
// when nothing ended it within 5 s.
int runEventLoop(const std::function<void()>& start) {
    const QObject watchdog;  // its timer goes with it
    QTimer::singleShot(0, start);
    QTimer::singleShot(5000, &watchdog, [] { QCoreApplication::exit(-99); });
    return QCoreApplication::exec();
}

// The windows whose identifier begins with "about", in the application's order.
QList<QWindow*> aboutWindows() {
    QList<QWindow*> windows = QGuiApplication::topLevelWindows();
    windows.removeIf(
        [](QWindow* w) { return !windowIdentifier(*w).value_or("").startsWith("about"); });
    return windows;
}

class CorvaneClientAppTest : public ::testing::Test {
  protected:
    FakeConnectionStatus status;
    NotificationCenter center;
};

TEST_F(CorvaneClientAppTest, MenuAndIconFollowEachAnnouncedChangeWithoutATraySaidOnce) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    ::testing::internal::CaptureStderr();
    Corvane_ClientApp app(status, center);
    std::vector<std::string> lines;  // "---" for a separator, "(off) " before a disabled one
    for (const QAction* action : app.menu().actions()) {
        const std::string text = action->isSeparator() ? "---" : action->text().toStdString();
        lines.push_back(action->isEnabled() ? text : "(off) " + text);
    }
    EXPECT_THAT(lines, ElementsAre("(off) Status: Not Connected", "---", "About", "---", "Quit"));

    for (const bool connected : {false, true, false}) {
        status.set(connected);
        QCoreApplication::processEvents();
        EXPECT_EQ(app.menu().actions().front()->text().toStdString(),
                  connected ? "Status: Connected" : "Status: Not Connected");
        EXPECT_EQ(app.trayIcon().icon().pixmap(18, 18).toImage().convertToFormat(
                      QImage::Format_ARGB32_Premultiplied),
                  connected ? connectedMenuBarIcon() : menuBarIcon());
    }

    const QString said = QString::fromStdString(::testing::internal::GetCapturedStderr());
    EXPECT_EQ(said.count("no system tray is available"), 1) << said.toStdString();
    EXPECT_TRUE(app.trayIcon().isVisible());
}

TEST_F(CorvaneClientAppTest, AboutAndTheReopenNotificationOpenOneAboutWindowThenBringItForward) {
    Corvane_ClientApp app(status, center);
    center.post("applicationDidHandleReopen", this);
    center.post("applictionDidHandleReopenX", this);
    EXPECT_THAT(aboutWindows(), ::testing::IsEmpty());

    center.post("applictionDidHandleReopen", this);
    ASSERT_EQ(aboutWindows().size(), 1);
    QWindow* window = aboutWindows().front();
    EXPECT_EQ(windowIdentifier(*window), QStringLiteral("about-1"));
    EXPECT_TRUE(window->isVisible());

    const std::function<void()> requests[] = {
        [this] { center.post("applictionDidHandleReopen", nullptr); },
        [&app] { app.menu().actions().at(2)->trigger(); }};
    for (const auto& request : requests) {
        window->close();
        request();
        EXPECT_THAT(aboutWindows(), ElementsAre(window));
        EXPECT_TRUE(window->isVisible());
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(QGuiApplication::focusWindow(), window);
}

TEST_F(CorvaneClientAppTest, ShowWindowBringsForwardEachWindowWhoseIdentifierBeginsWithTheId) {
    std::vector<QString> opened;
    Corvane_ClientApp app(status, center, [&opened](const QString& id) { opened.push_back(id); });
    QWidget unmatched[4];  // no identifier, shorter than the id, other case, id not at the start
    unmatched[0].winId();
    setWindowIdentifier(unmatched[1], "abou");
    setWindowIdentifier(unmatched[2], "About-1");
    setWindowIdentifier(unmatched[3], "xabout");
    app.showWindow("about");
    EXPECT_THAT(opened, ElementsAre("about"));

    QWidget matched[2];
    setWindowIdentifier(matched[0], "about-1");
    setWindowIdentifier(matched[1], "aboutX-and-more");
    app.showWindow("about");
    QCoreApplication::processEvents();
    EXPECT_EQ(opened.size(), 1U);
    EXPECT_TRUE(matched[0].isVisible() && matched[1].isVisible());
    EXPECT_EQ(QGuiApplication::focusWindow(), matched[1].windowHandle());
    for (const QWidget& window : unmatched) {
        EXPECT_FALSE(window.isVisible());
    }
}

TEST_F(CorvaneClientAppTest, MenuQuitAndTheAboutButtonEndTheEventLoopNormallyClosingAboutNot) {
    Corvane_ClientApp app(status, center);
    EXPECT_EQ(runEventLoop([&app] {
                  app.menu().actions().at(2)->trigger();
                  aboutWindows().front()->close();
                  QTimer::singleShot(100, [] { QCoreApplication::exit(7); });
              }),
              7)
        << "closing the last window ended the program";

    EXPECT_EQ(runEventLoop([&app] { app.menu().actions().at(4)->trigger(); }), 0);

    AboutView view;
    view.show();
    QPushButton* quit = view.findChild<QPushButton*>();
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(runEventLoop([quit] { quit->click(); }), 0);
}

}  // namespace
}  // namespace corvane
