#include "support/qt/logind_stand_in.h"

#include <poll.h>
#include <unistd.h>

namespace corvane::testing {

LogindStandIn::~LogindStandIn() {
    for (int fd : writeEnds_) {
        ::close(fd);
    }
}

bool LogindStandIn::serveOn(QDBusConnection bus) {
    return bus.registerService(QStringLiteral("org.freedesktop.login1")) &&
           bus.registerObject(QStringLiteral("/org/freedesktop/login1"), this,
                              QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals);
}

bool LogindStandIn::newestInhibitorHeld() const {
    if (writeEnds_.empty()) {
        return false;
    }
    // The write end reports an error once no read end is open any more.
    pollfd poller{writeEnds_.back(), POLLOUT, 0};
    ::poll(&poller, 1, 0);
    return (poller.revents & POLLERR) == 0;
}

QDBusUnixFileDescriptor LogindStandIn::Inhibit(const QString& what, const QString& who,
                                               const QString& /*why*/, const QString& mode) {
    inhibitCalls << what + "/" + who + "/" + mode;
    int ends[2];
    if (::pipe(ends) != 0) {
        return {};
    }
    writeEnds_.push_back(ends[1]);
    QDBusUnixFileDescriptor readEnd(ends[0]);  // keeps a duplicate
    ::close(ends[0]);
    return readEnd;
}

}  // namespace corvane::testing
