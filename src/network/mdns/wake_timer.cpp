#include "network/mdns/wake_timer.h"

#include <asio/steady_timer.hpp>

namespace corvane::mdns {
namespace {

class SteadyWakeTimer final : public WakeTimer {
  public:
    explicit SteadyWakeTimer(asio::io_context& loop) : timer_(loop) {}

    TimePoint now() const override { return Clock::now(); }

    void wakeAt(TimePoint when, std::function<void()> wake) override {
        if (state_->armed && timer_.expiry() == when) {
            state_->wake = std::move(wake);
            return;
        }
        state_->wake = std::move(wake);
        state_->armed = true;
        timer_.expires_at(when);
        // A wait that had already ended when it was replaced, or when the timer went, may
        // still be delivered: only the latest one wakes, and only while the timer exists.
        timer_.async_wait([weak = std::weak_ptr<State>(state_),
                           generation = ++state_->generation](const std::error_code& error) {
            const auto state = weak.lock();
            if (!error && state && state->generation == generation) {
                state->armed = false;
                // A copy: the wake usually asks for the next one, replacing state->wake.
                const std::function<void()> due = state->wake;
                due();
            }
        });
    }

  private:
    struct State {
        std::function<void()> wake;
        bool armed = false;
        unsigned generation = 0;
    };
    asio::steady_timer timer_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace

std::unique_ptr<WakeTimer> makeSteadyWakeTimer(asio::io_context& loop) {
    return std::make_unique<SteadyWakeTimer>(loop);
}

}  // namespace corvane::mdns
