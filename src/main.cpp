// The composition root: builds the Linux implementations of every platform service and
// hands them to the portable core.

#include <QApplication>
#include <QDBusConnection>
#include <QStandardPaths>
#include <QWidget>
#include <csignal>
#include <iostream>

#include "command/command_handler.h"
#include "command/command_queue.h"
#include "command/x11/x11_workspace.h"
#include "keystroke/x11/x11_keyboard_events.h"
#include "keystroke/x11/x11_keyboard_layout_source.h"
#include "network/cvc_network_client.h"
#include "shell/app_delegate.h"
#include "shell/linux/command_line.h"
#include "shell/linux/discovery_selection.h"
#include "shell/linux/logind_sleep_monitor.h"
#include "shell/linux/single_instance.h"
#include "shell/linux/system_log.h"
#include "shell/linux/termination_signals.h"
#include "shell/main_object.h"
#include "shell/notification_center.h"
#include "shell/qt/corvane_client_app.h"
#include "shell/qt/qt_main_queue.h"
#include "shell/qt/qt_main_thread_timer.h"
#include "x11/x11_connection.h"

namespace {

bool anyWindowVisible() {
    for (const QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible()) {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    using namespace corvane;
    CommandLineRequest request;
    if (const std::optional<int> status = linux_shell::answerCommandLine(argc, argv, request)) {
        return *status;
    }
    linux_shell::blockTerminationSignals();
    // A write to an X server that has gone fails and is reported instead of ending the
    // program without a word.
    std::signal(SIGPIPE, SIG_IGN);

    // The keystrokes go to the X server: without one there is nothing to do. The
    // connection has said why it cannot be opened.
    x11::X11Connection x11;
    if (!x11.usable()) {
        return 1;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvane-client"));
    QApplication::setApplicationDisplayName(QStringLiteral("Corvane Client"));
    QApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    linux_shell::TerminationSignals terminationSignals;

    NotificationCenter defaultCenter;
    NotificationCenter workspaceCenter;
    AppDelegate appDelegate(defaultCenter);

    linux_shell::SingleInstance singleInstance(
        QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation));
    switch (singleInstance.claim()) {
        case linux_shell::SingleInstance::Claim::running:
            QObject::connect(&singleInstance, &linux_shell::SingleInstance::reopenRequested, [&] {
                appDelegate.applicationShouldHandleReopen(anyWindowVisible());
            });
            break;
        case linux_shell::SingleInstance::Claim::reopenedOther:
            std::cout << "corvane-client: already running; that one shows its About window."
                      << std::endl;
            return 0;
        case linux_shell::SingleInstance::Claim::otherNotAnswering:
            std::cerr << "corvane-client: another Corvane Client is running but does not answer."
                      << std::endl;
            return 1;
        case linux_shell::SingleInstance::Claim::failed:
            break;  // said why; runs without reopen requests
    }

    // Without its display the program ends, as X programs do, with status 1; the connection
    // has said what was lost.
    x11.onLost([] { QCoreApplication::exit(1); });
    QtMainThreadTimer timer;
    x11::X11KeyboardLayoutSource layouts(x11);
    x11::X11KeyboardEvents keyboardEvents(x11, layouts, timer);
    x11::X11Workspace workspace(x11);
    CommandHandler commandHandler(workspace, layouts, keyboardEvents, std::cout);
    CommandQueue commands(commandHandler, timer);

    // The model shuts the client's thread down when it goes, so it comes after everything
    // that thread reaches: the main queue, the commands and the X connection.
    const ServiceDiscoveryFactory discovery =
        linux_shell::selectDiscovery(request.discovery, std::cerr);
    QtMainQueue mainQueue;
    MainObject model(MainObject::Services{
        .makeClient =
            [&] {
                return CVC_NetworkClient::create(mainQueue, discovery,
                                                 {.log = linux_shell::writeToSystemLog});
            },
        .workspaceCenter = workspaceCenter,
        .handleCommand = [&](std::uint32_t word,
                             WordReceipt receipt) { commands.add(word, std::move(receipt)); },
        .keyboardEvents = keyboardEvents,
    });

    linux_shell::LogindSleepMonitor sleepMonitor(workspaceCenter, QDBusConnection::systemBus());
    sleepMonitor.start();

    Corvane_ClientApp userInterface(model, defaultCenter);
    return QApplication::exec();
}
