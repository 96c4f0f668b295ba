#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <optional>
#include <string>
#include <vector>

#include "event_loop.h"
#include "shell/notification_center.h"
#include "shell/qt/about_view.h"
#include "shell/qt/corvane_client_app.h"
#include "shell/qt/menu_bar_icons.h"
#include "shell/qt/window_identifier.h"
#include "support/fake_connection_status.h"

namespace corvane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Each menu element's text, "---" for a separator, "(off) " before a disabled one.
std::vector<std::string> menuLines(const Corvane_ClientApp& app) {
    std::vector<std::string> lines;
    for (const QAction* action : app.menu().actions()) {
        const std::string text = action->isSeparator() ? "---" : action->text().toStdString();
        lines.push_back(action->isEnabled() ? text : "(off) " + text);
    }
    return lines;
}

QAction& menuAction(const Corvane_ClientApp& app, const QString& text) {
    for (QAction* action : app.menu().actions()) {
        if (action->text() == text) {
            return *action;
        }
    }
    throw std::runtime_error("no menu item " + text.toStdString());
}

QImage trayImage(const Corvane_ClientApp& app) {
    return app.trayIcon().icon().pixmap(18, 18).toImage().convertToFormat(
        QImage::Format_ARGB32_Premultiplied);
}

// The windows whose identifier begins with "about", in the application's order.
std::vector<QWindow*> aboutWindows() {
    std::vector<QWindow*> windows;
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        const std::optional<QString> identifier = windowIdentifier(*window);
        if (identifier && identifier->startsWith(QStringLiteral("about"))) {
            windows.push_back(window);
        }
    }
    return windows;
}

class CorvaneClientAppTest : public ::testing::Test {
  protected:
    testing::FakeConnectionStatus status;
    NotificationCenter center;
    std::vector<QString> opened;
    Corvane_ClientApp::OpenWindowAction recordOpen = [this](const QString& id) {
        opened.push_back(id);
    };
};

TEST_F(CorvaneClientAppTest, MenuShowsStatusAboutAndQuitInOrder) {
    Corvane_ClientApp app(status, center);
    EXPECT_THAT(menuLines(app),
                ElementsAre("(off) Status: Not Connected", "---", "About", "---", "Quit"));
    EXPECT_EQ(trayImage(app), menuBarIcon());
}

TEST_F(CorvaneClientAppTest, StatusLineAndIconFollowEachAnnouncedChange) {
    Corvane_ClientApp app(status, center);

    status.set(true);
    QCoreApplication::processEvents();
    EXPECT_EQ(menuLines(app).front(), "(off) Status: Connected");
    EXPECT_EQ(trayImage(app), connectedMenuBarIcon());

    status.set(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(menuLines(app).front(), "(off) Status: Not Connected");
    EXPECT_EQ(trayImage(app), menuBarIcon());
}

TEST_F(CorvaneClientAppTest, SaysOnceThatNoTrayIsAvailableAndKeepsTheIconShown) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    ::testing::internal::CaptureStderr();
    Corvane_ClientApp app(status, center);
    status.set(true);
    QCoreApplication::processEvents();
    const std::string said = ::testing::internal::GetCapturedStderr();

    const std::string message = "no system tray is available";
    const auto first = said.find(message);
    ASSERT_NE(first, std::string::npos) << said;
    EXPECT_EQ(said.find(message, first + 1), std::string::npos) << said;
    EXPECT_TRUE(app.trayIcon().isVisible());
}

TEST_F(CorvaneClientAppTest, AboutOpensOneWindowAndThenBringsItForward) {
    Corvane_ClientApp app(status, center);
    QAction& about = menuAction(app, "About");

    about.trigger();
    ASSERT_EQ(aboutWindows().size(), 1U);
    QWindow* window = aboutWindows().front();
    EXPECT_EQ(windowIdentifier(*window), QStringLiteral("about-1"));
    EXPECT_TRUE(window->isVisible());

    window->close();
    EXPECT_FALSE(window->isVisible());
    about.trigger();
    QCoreApplication::processEvents();
    EXPECT_THAT(aboutWindows(), ElementsAre(window));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(QGuiApplication::focusWindow(), window);
}

TEST_F(CorvaneClientAppTest, ShowWindowBringsForwardEveryMatchingWindowLastOneActive) {
    Corvane_ClientApp app(status, center, recordOpen);
    QWidget first;
    QWidget second;
    setWindowIdentifier(first, "about-1");
    setWindowIdentifier(second, "aboutX-and-more");

    app.showWindow("about");
    QCoreApplication::processEvents();

    EXPECT_THAT(opened, IsEmpty());
    EXPECT_TRUE(first.isVisible());
    EXPECT_TRUE(second.isVisible());
    EXPECT_EQ(QGuiApplication::focusWindow(), second.windowHandle());
}

TEST_F(CorvaneClientAppTest, ShowWindowOpensANewWindowWhenNoIdentifierBeginsWithTheId) {
    Corvane_ClientApp app(status, center, recordOpen);
    QWidget withoutIdentifier;
    withoutIdentifier.winId();
    QWidget shorter;
    QWidget capitalised;
    QWidget prefixed;
    setWindowIdentifier(shorter, "abou");
    setWindowIdentifier(capitalised, "About-1");
    setWindowIdentifier(prefixed, "xabout");

    app.showWindow("about");

    EXPECT_THAT(opened, ElementsAre("about"));
    for (const QWidget* window : {&withoutIdentifier, &shorter, &capitalised, &prefixed}) {
        EXPECT_FALSE(window->isVisible());
    }
}

TEST_F(CorvaneClientAppTest, ReopenNotificationAndNoOtherShowsTheAboutWindow) {
    Corvane_ClientApp app(status, center);
    const int sender = 0;

    center.post("applicationDidHandleReopen", &sender);
    center.post("applictionDidHandleReopenX", &sender);
    EXPECT_THAT(aboutWindows(), IsEmpty());

    center.post("applictionDidHandleReopen", &sender);
    ASSERT_EQ(aboutWindows().size(), 1U);
    EXPECT_TRUE(aboutWindows().front()->isVisible());

    aboutWindows().front()->close();
    center.post("applictionDidHandleReopen", nullptr);
    ASSERT_EQ(aboutWindows().size(), 1U);
    EXPECT_TRUE(aboutWindows().front()->isVisible());
}

TEST_F(CorvaneClientAppTest, QuitEndsTheEventLoopNormally) {
    Corvane_ClientApp app(status, center);
    QAction& quit = menuAction(app, "Quit");
    EXPECT_EQ(testing::runEventLoop([&quit] { quit.trigger(); }), 0);
}

TEST_F(CorvaneClientAppTest, ClosingTheAboutWindowKeepsTheProgramRunning) {
    Corvane_ClientApp app(status, center);
    constexpr int kStillRunning = 7;
    const int result = testing::runEventLoop([&app] {
        menuAction(app, "About").trigger();
        aboutWindows().front()->close();
        QTimer::singleShot(100, [] { QCoreApplication::exit(kStillRunning); });
    });
    EXPECT_EQ(result, kStillRunning);
}

}  // namespace
}  // namespace corvane
