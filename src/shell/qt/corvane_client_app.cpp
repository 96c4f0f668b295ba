#include "shell/qt/corvane_client_app.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QMetaObject>
#include <QPixmap>
#include <QWindow>

#include <iostream>
#include <utility>

#include "shell/app_delegate.h"
#include "shell/qt/application_termination.h"
#include "shell/qt/menu_bar_icons.h"
#include "shell/qt/window_identifier.h"

namespace corvane {

Corvane_ClientApp::Corvane_ClientApp(ConnectionStatus& status, NotificationCenter& defaultCenter)
    : Corvane_ClientApp(status, defaultCenter, {}) {
    openWindow_ = [this](const QString& groupId) { openOwnWindow(groupId); };
}

Corvane_ClientApp::Corvane_ClientApp(ConnectionStatus& status, NotificationCenter& defaultCenter,
                                     OpenWindowAction openWindow)
    : status_(status), openWindow_(std::move(openWindow)) {
    // The program lives in the tray: closing the About window must not end it.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setWindowIcon(QIcon(QPixmap::fromImage(applicationIcon())));

    statusLine_ = menu_.addAction(QString());
    statusLine_->setEnabled(false);
    menu_.addSeparator();
    QAction* about = menu_.addAction(QCoreApplication::translate("Corvane_ClientApp", "About"));
    QObject::connect(about, &QAction::triggered, &menu_, [this] { showWindow(kAboutWindowGroup); });
    menu_.addSeparator();
    QAction* quit = menu_.addAction(QCoreApplication::translate("Corvane_ClientApp", "Quit"));
    QObject::connect(quit, &QAction::triggered, &menu_, &terminateApplication);

    trayIcon_.setContextMenu(&menu_);
    // A click opens the menu too, as a menu-bar item does.
    QObject::connect(&trayIcon_, &QSystemTrayIcon::activated, &menu_,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger) {
                             menu_.popup(QCursor::pos());
                         }
                     });
    showStatus();

    // The value changes after the announcement: read it once the announcing call is over.
    statusWillChange_ = status_.observeWillChange([this] {
        QMetaObject::invokeMethod(
            &menu_, [this] { showStatus(); }, Qt::QueuedConnection);
    });
    reopen_ =
        defaultCenter.addObserver(applicationDidHandleReopenNotification,
                                  [this](const Notification&) { showWindow(kAboutWindowGroup); });

    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        std::cerr << "Corvane Client: no system tray is available; the icon will appear when "
                     "one starts.\n";
    }
    // Shown even without a tray: Qt docks the icon as soon as a tray appears.
    trayIcon_.show();
}

void Corvane_ClientApp::showWindow(const QString& id) {
    // An X11 application becomes active through its windows, so activating the matching
    // windows below activates the application.
    bool found = false;
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        const std::optional<QString> identifier = windowIdentifier(*window);
        if (!identifier || !identifier->startsWith(id)) {
            continue;
        }
        window->show();
        window->raise();
        window->requestActivate();
        found = true;
    }
    if (!found) {
        openWindow_(id);
    }
}

void Corvane_ClientApp::openOwnWindow(const QString& groupId) {
    if (groupId != kAboutWindowGroup) {
        return;
    }
    auto window = std::make_unique<AboutView>();
    setWindowIdentifier(*window, groupId + QStringLiteral("-%1").arg(aboutWindows_.size() + 1));
    window->show();
    window->raise();
    window->activateWindow();
    aboutWindows_.push_back(std::move(window));
}

void Corvane_ClientApp::showStatus() {
    const bool connected = status_.connected();
    statusLine_->setText(
        connected ? QCoreApplication::translate("Corvane_ClientApp", "Status: Connected")
                  : QCoreApplication::translate("Corvane_ClientApp", "Status: Not Connected"));
    trayIcon_.setIcon(
        QIcon(QPixmap::fromImage(connected ? connectedMenuBarIcon() : menuBarIcon())));
}

}  // namespace corvane
