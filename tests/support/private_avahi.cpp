#include "support/private_avahi.h"

#include <avahi-client/client.h>
#include <avahi-common/simple-watch.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

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

// Whether the daemon on the current bus answers as running, asking until `deadline`.
bool daemonRunning(std::chrono::steady_clock::time_point deadline) {
    while (std::chrono::steady_clock::now() < deadline) {
        AvahiSimplePoll* poll = avahi_simple_poll_new();
        int error = 0;
        AvahiClient* client =
            avahi_client_new(avahi_simple_poll_get(poll), static_cast<AvahiClientFlags>(0), nullptr,
                             nullptr, &error);
        const bool running =
            client != nullptr && avahi_client_get_state(client) == AVAHI_CLIENT_S_RUNNING;
        if (client != nullptr) {
            avahi_client_free(client);
        }
        avahi_simple_poll_free(poll);
        if (running) {
            return true;
        }
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

bool socketExists(const std::string& path, std::chrono::steady_clock::time_point deadline) {
    struct stat info {};
    while (stat(path.c_str(), &info) != 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

}  // namespace

pid_t spawnProcess(const std::vector<std::string>& argv, int* output) {
    std::vector<char*> arguments;
    for (const std::string& argument : argv) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    int pipeEnds[2] = {-1, -1};
    if (output != nullptr && pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return -1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        // Ends with the test process even when that one dies without cleaning up.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (pipeEnds[1] >= 0) {
            dup2(pipeEnds[1], STDOUT_FILENO);
        }
        execvp(arguments[0], arguments.data());
        _exit(127);
    }
    if (output != nullptr) {
        close(pipeEnds[1]);
        *output = pipeEnds[0];
    }
    return pid;
}

bool terminateProcess(pid_t pid, int seconds) {
    if (pid <= 0) {
        return true;
    }
    kill(pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

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

    bus_ = spawnProcess({"dbus-daemon", "--config-file=" + directory_ + "/bus.conf", "--nofork"},
                        nullptr);
    running_ = bus_ > 0 &&
               socketExists(directory_ + "/bus", std::chrono::steady_clock::now() + 10s) &&
               startDaemon();
}

PrivateAvahi::~PrivateAvahi() {
    stopDaemon();
    terminateProcess(bus_);
    std::remove((directory_ + "/bus").c_str());
    std::remove((directory_ + "/bus.conf").c_str());
    std::remove((directory_ + "/avahi-daemon.conf").c_str());
    rmdir(directory_.c_str());
}

bool PrivateAvahi::startDaemon() {
    mkdir("/run/avahi-daemon", 0755);
    daemon_ = spawnProcess({"avahi-daemon", "-f", directory_ + "/avahi-daemon.conf",
                            "--no-drop-root", "--no-chroot", "--no-rlimits"},
                           nullptr);
    return daemon_ > 0 && daemonRunning(std::chrono::steady_clock::now() + 15s);
}

void PrivateAvahi::stopDaemon() {
    terminateProcess(daemon_);
    daemon_ = -1;
}

bool PrivateAvahi::restartDaemon() {
    stopDaemon();
    return startDaemon();
}

}  // namespace corvane::testing
