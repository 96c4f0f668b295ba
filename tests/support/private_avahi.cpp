#include "support/private_avahi.h"

#include <avahi-client/client.h>
#include <avahi-common/simple-watch.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "support/wait_until.h"

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* busConfig = R"(<busconfig>
  <type>system</type>
  <listen>@ADDRESS@</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/><allow own="*"/><allow send_destination="*"/><allow receive_sender="*"/>
  </policy>
</busconfig>
)";

constexpr const char* daemonConfig = R"([server]
use-ipv4=yes
use-ipv6=no
allow-interfaces=lo
enable-dbus=yes
ratelimit-interval-usec=1000000
ratelimit-burst=1000
[publish]
publish-hinfo=no
publish-workstation=no
)";

// Whether the daemon on the current bus answers as running.
bool daemonRunning() {
    AvahiSimplePoll* poll = avahi_simple_poll_new();
    int error = 0;
    AvahiClient* client = avahi_client_new(
        avahi_simple_poll_get(poll), static_cast<AvahiClientFlags>(0), nullptr, nullptr, &error);
    const bool running =
        client != nullptr && avahi_client_get_state(client) == AVAHI_CLIENT_S_RUNNING;
    if (client != nullptr) {
        avahi_client_free(client);
    }
    avahi_simple_poll_free(poll);
    return running;
}

// Programs nobody reads from: their output goes to the test's.
void startProgram(std::optional<ChildProcess>& process, const std::vector<std::string>& arguments) {
    process.emplace(arguments, std::map<std::string, std::string>{},
                    ChildProcess::Output::inherited);
}

}  // namespace

PrivateAvahi& PrivateAvahi::shared() {
    static PrivateAvahi instance;
    return instance;
}

PrivateAvahi::PrivateAvahi() {
    char pattern[] = "/tmp/corvane-avahi-XXXXXX";
    directory_ = mkdtemp(pattern);
    busAddress_ = "unix:path=" + directory_ + "/bus";
    std::string bus = busConfig;
    std::ofstream(directory_ + "/bus.conf") << bus.replace(bus.find("@ADDRESS@"), 9, busAddress_);
    std::ofstream(directory_ + "/avahi-daemon.conf") << daemonConfig;
    setenv("DBUS_SYSTEM_BUS_ADDRESS", busAddress_.c_str(), 1);

    startProgram(bus_, {"dbus-daemon", "--config-file=" + directory_ + "/bus.conf", "--nofork"});
    running_ =
        bus_->started() &&
        waitUntil([this] { return std::filesystem::exists(directory_ + "/bus"); }, 10s, 10ms) &&
        startDaemon();
}

PrivateAvahi::~PrivateAvahi() {
    daemon_.reset();
    bus_.reset();
    std::filesystem::remove_all(directory_);
}

bool PrivateAvahi::startDaemon() {
    mkdir("/run/avahi-daemon", 0755);
    startProgram(daemon_, {"avahi-daemon", "-f", directory_ + "/avahi-daemon.conf",
                           "--no-drop-root", "--no-chroot", "--no-rlimits"});
    return daemon_->started() && waitUntil(daemonRunning, 15s, 50ms);
}

}  // namespace corvane::testing
