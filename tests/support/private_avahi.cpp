#include "support/private_avahi.h"

#include <avahi-client/client.h>
#include <avahi-common/simple-watch.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <vector>

#include "support/wait_until.h"

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* busConfig = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=@DIR@/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow receive_sender="*"/>
    <allow eavesdrop="true"/>
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

void writeFile(const std::string& path, std::string text, const std::string& directory) {
    const std::string marker = "@DIR@";
    for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker)) {
        text.replace(at, marker.size(), directory);
    }
    std::ofstream(path) << text;
}

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

bool fileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
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
    writeFile(directory_ + "/bus.conf", busConfig, directory_);
    writeFile(directory_ + "/avahi-daemon.conf", daemonConfig, directory_);
    busAddress_ = "unix:path=" + directory_ + "/bus";
    setenv("DBUS_SYSTEM_BUS_ADDRESS", busAddress_.c_str(), 1);

    startProgram(bus_, {"dbus-daemon", "--config-file=" + directory_ + "/bus.conf", "--nofork"});
    running_ = bus_->started() &&
               waitUntil([this] { return fileExists(directory_ + "/bus"); }, 10s, 10ms) &&
               startDaemon();
}

PrivateAvahi::~PrivateAvahi() {
    stopDaemon();
    bus_.reset();
    std::remove((directory_ + "/bus").c_str());
    std::remove((directory_ + "/bus.conf").c_str());
    std::remove((directory_ + "/avahi-daemon.conf").c_str());
    rmdir(directory_.c_str());
}

bool PrivateAvahi::startDaemon() {
    mkdir("/run/avahi-daemon", 0755);
    startProgram(daemon_, {"avahi-daemon", "-f", directory_ + "/avahi-daemon.conf",
                           "--no-drop-root", "--no-chroot", "--no-rlimits"});
    return daemon_->started() && waitUntil(daemonRunning, 15s, 50ms);
}

void PrivateAvahi::stopDaemon() {
    daemon_.reset();
}

bool PrivateAvahi::restartDaemon() {
    stopDaemon();
    return startDaemon();
}

}  // namespace corvane::testing
