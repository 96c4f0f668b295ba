#pragma once

// The browser's one timer, and its clock: a seam, so that its schedule can be run on a
// simulated clock.

#include <asio/io_context.hpp>
#include <functional>
#include <memory>

#include "network/mdns/record_cache.h"

namespace corvane::mdns {

class WakeTimer {
  public:
    virtual ~WakeTimer() = default;
    virtual TimePoint now() const = 0;
    // Calls `wake` from the loop once `when` has come (at once if it has); replaces the
    // wake asked for before.
    virtual void wakeAt(TimePoint when, std::function<void()> wake) = 0;
};

// On the steady clock, through `loop`.
std::unique_ptr<WakeTimer> makeSteadyWakeTimer(asio::io_context& loop);

}  // namespace corvane::mdns
