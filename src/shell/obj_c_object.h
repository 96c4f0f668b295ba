#pragma once

#include <functional>
#include <utility>

#include "network/observation.h"
#include "shell/notification_center.h"

namespace corvane {

// Notification names of the workspace center for the machine going to sleep and
// having woken.
inline constexpr const char* workspaceWillSleepNotification = "WorkspaceWillSleepNotification";
inline constexpr const char* workspaceDidWakeNotification = "WorkspaceDidWakeNotification";

// Turns the workspace's sleep and wake notifications into two actions given by its
// creator; knows nothing of what the actions do. Belongs to the main thread.
class ObjCObject {
  public:
    // The sleep action gets the notification's completion (possibly empty) and calls it,
    // on the main thread, once the machine may sleep.
    using SleepProcess = std::function<void(std::function<void()> completion)>;

    ObjCObject(SleepProcess sleepProcess, std::function<void()> wakeProcess,
               NotificationCenter& workspaceCenter);
    ObjCObject(const ObjCObject&) = delete;
    ObjCObject& operator=(const ObjCObject&) = delete;

    void handleWillSleepNotification(std::function<void()> completion) {
        sleepProcess_(std::move(completion));
    }
    void handleDidwakeNotification() { wakeProcess_(); }

  private:
    const SleepProcess sleepProcess_;
    const std::function<void()> wakeProcess_;
    ObservationToken willSleep_;
    ObservationToken didWake_;
};

}  // namespace corvane
