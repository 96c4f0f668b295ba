#pragma once

#include <functional>

#include "network/observation.h"
#include "shell/connection_status.h"

namespace corvane::testing {

// A connection status set by hand; set() announces the change, then stores the value.
struct FakeConnectionStatus final : ConnectionStatus {
    bool connected() const override { return value; }
    ObservationToken observeWillChange(std::function<void()> observer) override {
        return willChange.add(std::move(observer));
    }
    void set(bool connected) {
        willChange.notify();
        value = connected;
    }
    bool value = false;
    ObserverList<> willChange;
};

}  // namespace corvane::testing
