#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "network/observation.h"

namespace corvane {

// Handed over with every command word and held for as long as work for that word is
// under way (it may wait in a backlog). A peer's stream is read on only as its words'
// receipts are let go, so a handler that falls behind holds the peer back instead of
// gathering words without bound.
using WordReceipt = std::shared_ptr<void>;

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
    // in the order read, each with its receipt.
    using ReceiveCommand = std::function<void(std::uint32_t word, WordReceipt receipt)>;
    virtual void setReceiveCommand(ReceiveCommand handler) = 0;
};

}  // namespace corvane
