#pragma once

#include <cstdint>
#include <functional>

#include "network/observation.h"

namespace corvane {

// What the application asks of the network client. All calls on the main thread.
class NetworkClient {
  public:
    virtual ~NetworkClient() = default;

    // Switches discovery and every connection off (false) or on again (true); setting
    // the value already held does nothing.
    virtual void setRunning(bool running) = 0;
    virtual bool running() const = 0;

    // True while at least one peer is connected.
    virtual bool connected() const = 0;
    // The observer is called on the main thread each time `connected` changes, after
    // the new value is stored.
    virtual ObservationToken observeConnected(std::function<void()> observer) = 0;

    // The handler receives every command word read from any peer, on the main thread,
    // in the order read.
    virtual void setReceiveCommand(std::function<void(std::uint32_t)> handler) = 0;
};

}  // namespace corvane
