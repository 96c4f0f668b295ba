#include "support/private_avahi.h"

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

// Whether the daemon on the private bus answers as running (state 2), as the network of
// hosts asks it.
bool daemonRunning() {
    return ChildProcess::run({"sh", "-c",
                              "dbus-send --system --print-reply --reply-timeout=1000 "
                              "--dest=org.freedesktop.Avahi / "
                              "org.freedesktop.Avahi.Server.GetState 2>/dev/null | "
                              "grep -q 'int32 2'"}) == 0;
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
