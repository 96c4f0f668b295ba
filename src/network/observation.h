#pragma once

// Observers of a value or an event, called synchronously on the thread that notifies,
// in the order they were added. An observer stays registered while its token lives or
// until the token is invalidated; a token may outlive the list it came from. Not
// thread-safe: a list and its tokens belong to one thread.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>

namespace corvane {

class ObservationToken {
  public:
    ObservationToken() = default;
    explicit ObservationToken(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    ObservationToken(ObservationToken&& other) noexcept
        : cancel_(std::exchange(other.cancel_, {})) {}
    ObservationToken& operator=(ObservationToken&& other) noexcept {
        if (this != &other) {
            invalidate();
            cancel_ = std::exchange(other.cancel_, {});
        }
        return *this;
    }
    ObservationToken(const ObservationToken&) = delete;
    ObservationToken& operator=(const ObservationToken&) = delete;
    ~ObservationToken() { invalidate(); }

    // Stops the observation; the observer is never called again.
    void invalidate() {
        if (cancel_) {
            std::exchange(cancel_, {})();
        }
    }

  private:
    std::function<void()> cancel_;
};

template <typename... Args>
class ObserverList {
  public:
    using Observer = std::function<void(Args...)>;

    ObservationToken add(Observer observer) {
        const std::uint64_t id = observers_->next++;
        observers_->byId.emplace(id, std::move(observer));
        return ObservationToken([weak = std::weak_ptr<Observers>(observers_), id] {
            if (const std::shared_ptr<Observers> observers = weak.lock()) {
                observers->byId.erase(id);
            }
        });
    }

    // Calls every observer once. An observer added or removed during the call takes
    // effect from the next notification on.
    void notify(Args... args) const {
        const std::map<std::uint64_t, Observer> snapshot = observers_->byId;
        for (const auto& [id, observer] : snapshot) {
            if (observers_->byId.contains(id)) {
                observer(args...);
            }
        }
    }

  private:
    struct Observers {
        std::uint64_t next = 0;
        std::map<std::uint64_t, Observer> byId;
    };
    std::shared_ptr<Observers> observers_ = std::make_shared<Observers>();
};

}  // namespace corvane
