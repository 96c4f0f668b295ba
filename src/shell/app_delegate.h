#pragma once

#include "shell/notification_center.h"

namespace corvane {

// Posted on the process's default center for each reopen request.
inline constexpr const char* applicationDidHandleReopenNotification = "applictionDidHandleReopen";

// Turns the reopen request (the program launched again while it runs) into a
// notification inside the process. Belongs to the main thread.
class AppDelegate {
  public:
    explicit AppDelegate(NotificationCenter& defaultCenter) : defaultCenter_(defaultCenter) {}

    // Posts the reopen notification with this delegate as its object, whether or not
    // windows are visible, and answers true.
    bool applicationShouldHandleReopen(bool hasVisibleWindows);

  private:
    NotificationCenter& defaultCenter_;
};

}  // namespace corvane
