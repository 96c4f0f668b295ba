#pragma once

#include <functional>

#include "network/observation.h"

namespace corvane {

// What the user interface shows: whether a peer is connected, and an announcement
// made just before that changes (read the value again after it, on the main thread).
class ConnectionStatus {
  public:
    virtual ~ConnectionStatus() = default;
    virtual bool connected() const = 0;
    virtual ObservationToken observeWillChange(std::function<void()> observer) = 0;
};

}  // namespace corvane
