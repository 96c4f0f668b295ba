#pragma once

#include <QAction>
#include <QMenu>
#include <QString>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>
#include <vector>

#include "network/observation.h"
#include "shell/connection_status.h"
#include "shell/notification_center.h"
#include "shell/qt/about_view.h"

namespace corvane {

// The application's user interface: a tray icon that shows whether a peer is connected,
// its menu (status, About, Quit) and the About windows. Create it on the main thread once
// the QApplication exists; it lives on that thread.
class Corvane_ClientApp final {
  public:
    // Opens a new window of the window group with the given id.
    using OpenWindowAction = std::function<void(const QString& groupId)>;

    // The id of the About windows' group.
    static inline const QString kAboutWindowGroup = QStringLiteral("about");

    // Opens About windows itself.
    Corvane_ClientApp(ConnectionStatus& status, NotificationCenter& defaultCenter);
    // Opens windows through `openWindow`.
    Corvane_ClientApp(ConnectionStatus& status, NotificationCenter& defaultCenter,
                      OpenWindowAction openWindow);

    Corvane_ClientApp(const Corvane_ClientApp&) = delete;
    Corvane_ClientApp& operator=(const Corvane_ClientApp&) = delete;

    // Brings every window whose identifier begins with `id` forward, the last one ending
    // active; opens a new window of group `id` when there is none.
    void showWindow(const QString& id);

    const QMenu& menu() const { return menu_; }
    const QSystemTrayIcon& trayIcon() const { return trayIcon_; }

  private:
    void openOwnWindow(const QString& groupId);
    void showStatus();

    ConnectionStatus& status_;
    OpenWindowAction openWindow_;
    std::vector<std::unique_ptr<AboutView>> aboutWindows_;
    QMenu menu_;
    QAction* statusLine_;
    QSystemTrayIcon trayIcon_;
    ObservationToken statusWillChange_;
    ObservationToken reopen_;
};

}  // namespace corvane
