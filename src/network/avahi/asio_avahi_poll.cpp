#include "network/avahi/asio_avahi_poll.h"

#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <memory>

namespace corvane::avahi {
namespace {

asio::io_context& loopOf(const AvahiPoll* api) {
    return static_cast<AsioAvahiPoll*>(api->userdata)->loop();
}

}  // namespace
}  // namespace corvane::avahi

// Avahi declares these as opaque structs in the global namespace.
struct AvahiWatch {
    // Shared with the pending waits, so that a watch freed inside its own callback stays
    // valid until those waits have come back.
    struct State {
        State(asio::io_context& loop, int watchedFd) : descriptor(loop), fd(watchedFd) {}
        asio::posix::stream_descriptor descriptor;
        int fd;
        AvahiWatchEvent events = static_cast<AvahiWatchEvent>(0);
        AvahiWatchEvent lastEvents = static_cast<AvahiWatchEvent>(0);
        AvahiWatchCallback callback = nullptr;
        void* userdata = nullptr;
        AvahiWatch* owner = nullptr;
        bool waitingIn = false;
        bool waitingOut = false;
        bool freed = false;
    };
    std::shared_ptr<State> state;
};

struct AvahiTimeout {
    // Shared with the pending wait, which may already be due when the timeout is moved
    // or freed: the generation tells it apart.
    struct State {
        explicit State(asio::io_context& loop) : timer(loop) {}
        asio::steady_timer timer;
        AvahiTimeoutCallback callback = nullptr;
        void* userdata = nullptr;
        AvahiTimeout* owner = nullptr;
        unsigned generation = 0;
    };
    std::shared_ptr<State> state;
};

namespace corvane::avahi {
namespace {

using WatchState = AvahiWatch::State;
using TimeoutState = AvahiTimeout::State;

void arm(const std::shared_ptr<WatchState>& state);

void dispatch(const std::shared_ptr<WatchState>& state, AvahiWatchEvent event) {
    if (state->freed || (state->events & event) == 0) {
        return;
    }
    state->lastEvents = event;
    state->callback(state->owner, state->fd, event, state->userdata);
    if (!state->freed) {
        state->lastEvents = static_cast<AvahiWatchEvent>(0);
        arm(state);
    }
}

// Starts the wait for `event` unless it is not wanted or already under way.
void waitFor(const std::shared_ptr<WatchState>& state, AvahiWatchEvent event,
             asio::posix::stream_descriptor::wait_type kind, bool& waiting) {
    if ((state->events & event) == 0 || waiting) {
        return;
    }
    waiting = true;
    state->descriptor.async_wait(kind, [state, event, &waiting](const std::error_code& error) {
        waiting = false;  // a member of *state, which the handler keeps alive
        if (!error) {
            dispatch(state, event);
        }
    });
}

void arm(const std::shared_ptr<WatchState>& state) {
    waitFor(state, AVAHI_WATCH_IN, asio::posix::stream_descriptor::wait_read, state->waitingIn);
    waitFor(state, AVAHI_WATCH_OUT, asio::posix::stream_descriptor::wait_write, state->waitingOut);
}

// Avahi calls these from C: nothing may be thrown through them. A watch that cannot be
// made is reported to Avahi as null (D-Bus then fails the connection, which is retried).
AvahiWatch* watchNew(const AvahiPoll* api, int fd, AvahiWatchEvent events,
                     AvahiWatchCallback callback, void* userdata) noexcept try {
    auto state = std::make_shared<WatchState>(loopOf(api), fd);
    // D-Bus watches one socket twice (reading, writing), and an epoll set takes a
    // descriptor only once: each watch waits on its own duplicate.
    const int duplicate = ::dup(fd);
    if (duplicate < 0) {
        return nullptr;
    }
    std::error_code error;
    state->descriptor.assign(duplicate, error);
    if (error) {
        ::close(duplicate);
        return nullptr;
    }
    auto* watch = new AvahiWatch{std::move(state)};
    watch->state->events = events;
    watch->state->callback = callback;
    watch->state->userdata = userdata;
    watch->state->owner = watch;
    arm(watch->state);
    return watch;
} catch (const std::exception&) {
    return nullptr;
}

void watchUpdate(AvahiWatch* watch, AvahiWatchEvent events) noexcept {
    // A wait no longer wanted comes back and is ignored by dispatch().
    watch->state->events = events;
    arm(watch->state);
}

AvahiWatchEvent watchGetEvents(AvahiWatch* watch) noexcept {
    return watch->state->lastEvents;
}

void watchFree(AvahiWatch* watch) noexcept {
    const std::shared_ptr<WatchState> state = watch->state;
    state->freed = true;
    std::error_code ignored;
    state->descriptor.close(ignored);
    delete watch;
}

void setTimer(AvahiTimeout* timeout, const struct timeval* when) noexcept {
    const std::shared_ptr<TimeoutState> state = timeout->state;
    const unsigned generation = ++state->generation;
    state->timer.cancel();
    if (when == nullptr) {
        return;
    }
    // Avahi gives absolute wall-clock times; a steady timer wants the remaining span.
    timeval now{};
    gettimeofday(&now, nullptr);
    const auto remaining = std::chrono::seconds(when->tv_sec - now.tv_sec) +
                           std::chrono::microseconds(when->tv_usec - now.tv_usec);
    state->timer.expires_after(std::max(remaining, std::chrono::microseconds::zero()));
    state->timer.async_wait([state, generation](const std::error_code& error) {
        if (!error && state->owner != nullptr && state->generation == generation) {
            state->callback(state->owner, state->userdata);
        }
    });
}

AvahiTimeout* timeoutNew(const AvahiPoll* api, const struct timeval* when,
                         AvahiTimeoutCallback callback, void* userdata) noexcept try {
    auto* timeout = new AvahiTimeout{std::make_shared<TimeoutState>(loopOf(api))};
    timeout->state->callback = callback;
    timeout->state->userdata = userdata;
    timeout->state->owner = timeout;
    setTimer(timeout, when);
    return timeout;
} catch (const std::exception&) {
    return nullptr;
}

void timeoutUpdate(AvahiTimeout* timeout, const struct timeval* when) noexcept {
    setTimer(timeout, when);
}

void timeoutFree(AvahiTimeout* timeout) noexcept {
    timeout->state->owner = nullptr;
    timeout->state->timer.cancel();
    delete timeout;
}

}  // namespace

AsioAvahiPoll::AsioAvahiPoll(asio::io_context& loop) : loop_(loop) {
    api_.userdata = this;
    api_.watch_new = watchNew;
    api_.watch_update = watchUpdate;
    api_.watch_get_events = watchGetEvents;
    api_.watch_free = watchFree;
    api_.timeout_new = timeoutNew;
    api_.timeout_update = timeoutUpdate;
    api_.timeout_free = timeoutFree;
}

}  // namespace corvane::avahi
