#pragma once

#include <functional>
#include <map>
#include <string>

#include "network/observation.h"

namespace corvane {

// A named notification and the object that posted it.
struct Notification {
    std::string name;
    const void* object = nullptr;
    // Given by a poster that waits for the work the notification starts (the machine
    // going to sleep): the observer doing that work calls it on the main thread once the
    // work is done. The poster does not wait for ever.
    std::function<void()> completion;
};

// Delivers named notifications to their observers synchronously, on the posting
// thread, once per post. Belongs to the main thread.
class NotificationCenter {
  public:
    // Observes `name` from any sender.
    ObservationToken addObserver(const std::string& name,
                                 std::function<void(const Notification&)> observer) {
        return observers_[name].add(std::move(observer));
    }

    void post(const std::string& name, const void* object,
              std::function<void()> completion = nullptr) {
        const auto found = observers_.find(name);
        if (found != observers_.end()) {
            found->second.notify(Notification{name, object, std::move(completion)});
        }
    }

  private:
    std::map<std::string, ObserverList<const Notification&>> observers_;
};

}  // namespace corvane
