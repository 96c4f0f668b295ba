#include "x11_round_trip_counter.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <vector>

namespace corvane::bench {

namespace {

constexpr const char* socketDirectory = "/tmp/.X11-unix/X";

sockaddr_un unixAddress(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    return address;
}

// Writes all of `size` bytes; false when the peer is gone.
bool writeAll(int fd, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<std::size_t>(size));
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// One client and its own connection to the server.
struct Link {
    int client = -1;
    int server = -1;
    bool clientSpoke = false;
};

}  // namespace

X11RoundTripCounter::X11RoundTripCounter(const std::string& serverDisplay)
    : serverPath_(socketDirectory + serverDisplay.substr(serverDisplay.empty() ? 0 : 1)) {
    if (serverDisplay.empty() || ::pipe(stopPipe_) != 0) {
        return;
    }
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    for (int number = 900; listener_ >= 0 && number < 1000; ++number) {
        const std::string path = socketDirectory + std::to_string(number);
        const sockaddr_un address = unixAddress(path);
        if (::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(listener_, 8) == 0) {
            listenPath_ = path;
            display_ = ":" + std::to_string(number);
            thread_ = std::thread([this] { run(); });
            return;
        }
    }
}

X11RoundTripCounter::~X11RoundTripCounter() {
    if (thread_.joinable()) {
        const char stop = 0;
        writeAll(stopPipe_[1], &stop, 1);
        thread_.join();
    }
    for (int fd : {listener_, stopPipe_[0], stopPipe_[1]}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    if (!listenPath_.empty()) {
        ::unlink(listenPath_.c_str());
    }
}

void X11RoundTripCounter::run() {
    std::vector<Link> links;
    std::array<char, 65536> buffer{};
    for (;;) {
        std::vector<pollfd> fds = {{stopPipe_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        for (const Link& link : links) {
            fds.push_back({link.client, POLLIN, 0});
            fds.push_back({link.server, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0 || fds[0].revents != 0) {
            break;
        }
        const std::size_t polled = links.size();
        for (std::size_t i = 0; i < polled; ++i) {
            Link& link = links[i];
            const pollfd& fromClient = fds[2 + 2 * i];
            const pollfd& fromServer = fds[3 + 2 * i];
            bool open = true;
            if (fromClient.revents != 0) {
                const ssize_t size = ::read(link.client, buffer.data(), buffer.size());
                open = size > 0 && writeAll(link.server, buffer.data(), size);
                link.clientSpoke = true;
            }
            if (open && fromServer.revents != 0) {
                // Counted before the client can see the answer.
                if (link.clientSpoke) {
                    ++roundTrips_;
                    link.clientSpoke = false;
                }
                const ssize_t size = ::read(link.server, buffer.data(), buffer.size());
                open = size > 0 && writeAll(link.client, buffer.data(), size);
            }
            if (!open) {
                ::close(link.client);
                ::close(link.server);
                link.client = link.server = -1;
            }
        }
        std::erase_if(links, [](const Link& link) { return link.client < 0; });
        if ((fds[1].revents & POLLIN) != 0) {
            Link link{::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC), -1, false};
            link.server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_un address = unixAddress(serverPath_);
            if (link.client >= 0 && link.server >= 0 &&
                ::connect(link.server, reinterpret_cast<const sockaddr*>(&address),
                          sizeof address) == 0) {
                links.push_back(link);
            } else {
                ::close(link.client);
                ::close(link.server);
            }
        }
    }
    for (const Link& link : links) {
        ::close(link.client);
        ::close(link.server);
    }
}

}  // namespace corvane::bench
