#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QStringList>
#include <vector>

namespace corvane::testing {

// Stands in for logind on a private bus: hands out delay inhibitors as pipe ends and
// announces sleep and wake with PrepareForSleep.
class LogindStandIn final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

  public:
    ~LogindStandIn() override;

    // Takes logind's name and object on the bus; false when it cannot.
    bool serveOn(QDBusConnection bus);

    // "what/who/mode" of every Inhibit call so far.
    QStringList inhibitCalls;
    // Whether someone still holds the read end of the newest inhibitor handed out.
    bool newestInhibitorHeld() const;

  public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode);

  signals:
    void PrepareForSleep(bool start);

  private:
    std::vector<int> writeEnds_;
};

}  // namespace corvane::testing
