#pragma once

// Avahi's event-loop abstraction (AvahiPoll) served by an Asio loop: watches wait on the
// file descriptor through a non-owning posix::stream_descriptor, timeouts are steady
// timers. Everything runs on the thread that runs the loop.

#include <avahi-common/watch.h>

#include <asio/io_context.hpp>

namespace corvane::avahi {

class AsioAvahiPoll {
  public:
    explicit AsioAvahiPoll(asio::io_context& loop);
    AsioAvahiPoll(const AsioAvahiPoll&) = delete;
    AsioAvahiPoll& operator=(const AsioAvahiPoll&) = delete;

    // Valid while this object lives; every watch and timeout made through it must be
    // freed before then (avahi_client_free does that).
    const AvahiPoll* api() const { return &api_; }
    asio::io_context& loop() const { return loop_; }

  private:
    asio::io_context& loop_;
    AvahiPoll api_{};
};

}  // namespace corvane::avahi
