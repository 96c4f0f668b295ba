#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace corvane::bench {

// Sits between X clients and an X server and counts round trips: the times the server
// answered after a client had sent something, however many requests went in one write.
// Clients connect to display(); all of them are counted together.
class X11RoundTripCounter {
  public:
    // `serverDisplay` is ":N" of a local server.
    explicit X11RoundTripCounter(const std::string& serverDisplay);
    ~X11RoundTripCounter();
    X11RoundTripCounter(const X11RoundTripCounter&) = delete;
    X11RoundTripCounter& operator=(const X11RoundTripCounter&) = delete;

    // ":M", or empty when no display could be opened.
    const std::string& display() const { return display_; }
    std::uint64_t roundTrips() const { return roundTrips_.load(); }

  private:
    void run();

    std::string serverPath_;
    std::string listenPath_;
    std::string display_;
    int listener_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::atomic<std::uint64_t> roundTrips_{0};
    std::thread thread_;
};

}  // namespace corvane::bench
