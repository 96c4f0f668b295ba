#include "shell/linux/termination_signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QCoreApplication>

namespace corvane::linux_shell {

namespace {
sigset_t terminationSignals() {
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGHUP);
    return mask;
}
}  // namespace

void blockTerminationSignals() {
    const sigset_t mask = terminationSignals();
    pthread_sigmask(SIG_BLOCK, &mask, nullptr);
}

TerminationSignals::TerminationSignals() {
    const sigset_t mask = terminationSignals();
    signalFd_ = ::signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd_ < 0) {
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(signalFd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        signalfd_siginfo info{};
        while (::read(signalFd_, &info, sizeof info) == sizeof info) {
        }
        QCoreApplication::quit();
    });
}

TerminationSignals::~TerminationSignals() {
    notifier_.reset();
    if (signalFd_ >= 0) {
        ::close(signalFd_);
    }
}

}  // namespace corvane::linux_shell
