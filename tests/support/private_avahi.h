#pragma once

// A D-Bus system bus and an avahi-daemon of the test's own, on loopback only: started
// on first use (pointing DBUS_SYSTEM_BUS_ADDRESS of this process at the private bus),
// stopped with SIGTERM when the process ends. One per process, since libdbus reads the
// bus address once; one at a time per machine (the daemon's pid file is fixed), so
// tests that use it take the CTest lock "avahi".

#include <sys/types.h>

#include <string>
#include <vector>

namespace corvane::testing {

class PrivateAvahi {
  public:
    static PrivateAvahi& shared();

    PrivateAvahi();
    ~PrivateAvahi();
    PrivateAvahi(const PrivateAvahi&) = delete;
    PrivateAvahi& operator=(const PrivateAvahi&) = delete;

    // Whether both came up and the daemon answers as running.
    bool running() const { return running_; }
    // Stops the daemon (as a restart would) and starts a new one; the bus stays.
    bool restartDaemon();
    void stopDaemon();
    bool startDaemon();
    const std::string& busAddress() const { return busAddress_; }

  private:
    std::string directory_;
    std::string busAddress_;
    pid_t bus_ = -1;
    pid_t daemon_ = -1;
    bool running_ = false;
};

// Starts `argv` (argv[0] found on PATH) with its standard output on a pipe; the pid, and
// the read end of the pipe in `output` (-1 when not wanted).
pid_t spawnProcess(const std::vector<std::string>& argv, int* output);
// Sends SIGTERM and waits up to `seconds` for the process to end; true if it did.
bool terminateProcess(pid_t pid, int seconds = 10);

}  // namespace corvane::testing
