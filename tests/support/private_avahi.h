#pragma once

// A D-Bus system bus and an avahi-daemon of the test's own, on loopback only: started
// on first use (pointing DBUS_SYSTEM_BUS_ADDRESS of this process at the private bus),
// stopped with SIGTERM when the process ends or dies (see ChildProcess). One per process,
// since libdbus reads the bus address once; one at a time per machine (the daemon's pid
// file is fixed), so tests that use it take the CTest lock "avahi".

#include <optional>
#include <string>

#include "support/child_process.h"

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
    const std::string& busAddress() const { return busAddress_; }

  private:
    bool startDaemon();

    std::string directory_;
    std::string busAddress_;
    std::optional<ChildProcess> bus_;
    std::optional<ChildProcess> daemon_;
    bool running_ = false;
};

}  // namespace corvane::testing
