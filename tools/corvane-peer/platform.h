#pragma once

// What corvane-peer does differently on each platform (linux/, win32/).

#include <asio/io_context.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace corvane::peer {

using Say = std::function<void(const std::string&)>;

struct ServiceToAdvertise {
    std::string name;
    std::string type;
    std::uint16_t port = 0;
    // The network interfaces to advertise on, by name; empty: every one.
    std::vector<std::string> interfaces;
    // How long the service's records live, in seconds; 0: the advertiser's own lives.
    std::uint32_t ttl = 0;
};

class Advertisement {
  public:
    virtual ~Advertisement() = default;
};

// Advertises `service` for as long as the result lives: through avahi-daemon on Linux, by
// a multicast DNS responder of the tool's own on Windows. `say` gets a line for each change
// worth telling the user about, "ready: advertising ..." among them.
std::unique_ptr<Advertisement> advertise(asio::io_context& loop, ServiceToAdvertise service,
                                         Say say);

// Whether --interfaces can choose where to advertise (Windows's own responder) or else
// --ttl the records' lives (avahi-daemon decides where it advertises).
extern const bool interfacesChoosable;

// Reads standard input line by line for as long as it lives, and hands each line (its
// newline included, if it has one) to `line` on `loop`, until the input ends.
class LineInput {
  public:
    LineInput(asio::io_context& loop, std::function<void(const std::string&)> line);
    ~LineInput();
    LineInput(const LineInput&) = delete;
    LineInput& operator=(const LineInput&) = delete;

  private:
    class Reader;
    std::unique_ptr<Reader> reader_;
};

// Standard output written as it is (no carriage returns added), and a reader that went
// away not fatal to the process.
void prepareStandardStreams();

}  // namespace corvane::peer
