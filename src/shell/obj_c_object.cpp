#include "shell/obj_c_object.h"

#include <utility>

namespace corvane {

ObjCObject::ObjCObject(SleepProcess sleepProcess, std::function<void()> wakeProcess,
                       NotificationCenter& workspaceCenter)
    : sleepProcess_(std::move(sleepProcess)),
      wakeProcess_(std::move(wakeProcess)),
      willSleep_(workspaceCenter.addObserver(workspaceWillSleepNotification,
                                             [this](const Notification& notification) {
                                                 handleWillSleepNotification(
                                                     notification.completion);
                                             })),
      didWake_(workspaceCenter.addObserver(
          workspaceDidWakeNotification,
          [this](const Notification&) { handleDidwakeNotification(); })) {}

}  // namespace corvane
