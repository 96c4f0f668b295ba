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
    // the value already held does nothing. `then`, when given, runs on the main thread
    // once the switch has taken effect (after false: every connection is closed), also
    // when the value was held already; it is dropped if the client shuts down first.
    virtual void setRunning(bool running, std::function<void()> then) = 0;
    void setRunning(bool running) { setRunning(running, nullptr); }
    virtual bool running() const = 0;

    // Closes every connection, ends the client's own thread and waits for it. Afterwards
    // the client does nothing more: no task reaches the main queue or the command handler
    // after this returns, so the owner calls it before those go away.
    virtual void shutDown() = 0;

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
