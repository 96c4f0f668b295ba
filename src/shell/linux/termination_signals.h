#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace corvane::linux_shell {

// Ends the event loop normally on SIGTERM, SIGINT and SIGHUP, so the program shuts
// down as it does from Quit. Block the signals with blockTerminationSignals() first
// thing in main, before any thread starts, so that every thread inherits the mask.
void blockTerminationSignals();

class TerminationSignals final : public QObject {
    Q_OBJECT

  public:
    TerminationSignals();
    ~TerminationSignals() override;

  private:
    int signalFd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace corvane::linux_shell
