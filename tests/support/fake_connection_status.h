#pragma once

#include <functional>
#include <utility>

#include "network/observation.h"
#include "shell/connection_status.h"

namespace corvane::testing {

// A connection status set by hand; set() announces the change, then stores the value.
class FakeConnectionStatus final : public ConnectionStatus {
  public:
    bool connected() const override { return connected_; }

    ObservationToken observeWillChange(std::function<void()> observer) override {
        return willChange_.add(std::move(observer));
    }

    void set(bool connected) {
        willChange_.notify();
        connected_ = connected;
    }

  private:
    bool connected_ = false;
    ObserverList<> willChange_;
};

}  // namespace corvane::testing
