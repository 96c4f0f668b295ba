// The composition root on Windows: builds the Windows implementations of the platform
// services and hands them to the portable core.

#include <windows.h>

#include <commctrl.h>

#include <optional>

#include "command/command_handler.h"
#include "command/command_queue.h"
#include "command/win32/foreground_workspace.h"
#include "keystroke/win32/foreground_keyboard_layout_source.h"
#include "keystroke/win32/send_input_keyboard_events.h"
#include "network/cvc_network_client.h"
#include "network/mdns/mdns_discovery.h"
#include "network/mdns/win32/adapter_interfaces.h"
#include "shell/app_delegate.h"
#include "shell/main_object.h"
#include "shell/notification_center.h"
#include "shell/win32/command_line.h"
#include "shell/win32/corvane_client_app.h"
#include "shell/win32/message_loop.h"
#include "shell/win32/message_loop_queue.h"
#include "shell/win32/message_loop_timer.h"
#include "shell/win32/power_sleep_monitor.h"
#include "shell/win32/program_log.h"
#include "shell/win32/single_instance.h"
#include "shell/win32/termination_requests.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace corvane;
    using namespace corvane::win32;

    ProgramLog log(ProgramLog::defaultFile());
    CommandLineRequest request;
    if (const std::optional<int> status = answerCommandLine(log, request)) {
        return *status;
    }
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    NotificationCenter defaultCenter;
    NotificationCenter workspaceCenter;
    AppDelegate appDelegate(defaultCenter);
    std::optional<Corvane_ClientApp> userInterface;

    SingleInstance singleInstance(L"Corvane Client", [&] {
        appDelegate.applicationShouldHandleReopen(userInterface &&
                                                  userInterface->hasVisibleWindows());
    });
    switch (singleInstance.claim()) {
        case SingleInstance::Claim::running:
            break;
        case SingleInstance::Claim::reopenedOther:
            log.write("corvane-client: already running; that one shows its About window.");
            return 0;
        case SingleInstance::Claim::otherNotAnswering:
            log.write("corvane-client: another Corvane Client is running but does not answer.");
            return 1;
    }
    log.write("corvane-client: finding peers with the built-in multicast DNS browser on " +
              browsingInterfaces(request.discovery) + ".");
    const ServiceDiscoveryFactory discovery = mdns::mdnsDiscovery(
        {mdns::win32::listNetworkInterfaces, request.discovery.interfaces,
         [&log](const std::string& line) { log.write("corvane-client: " + line); }});

    MessageLoopTimer timer;
    ForegroundWorkspace workspace;
    ForegroundKeyboardLayoutSource layouts;
    SendInputKeyboardEvents keyboardEvents(layouts, log.stream());
    CommandHandler commandHandler(workspace, layouts, keyboardEvents, log.stream());
    CommandQueue commands(commandHandler, timer);

    // The model shuts the client's thread down when it goes, so it goes before everything
    // that thread reaches: the main queue, the commands and the log.
    MessageLoopQueue mainQueue;
    std::optional<MainObject> model;
    model.emplace(MainObject::Services{
        .makeClient =
            [&] {
                return CVC_NetworkClient::create(
                    mainQueue, discovery,
                    CVC_NetworkClient::Options{
                        .log = [&](const std::string& line) { log.write(line); }});
            },
        .workspaceCenter = workspaceCenter,
        .handleCommand = [&](std::uint32_t word,
                             WordReceipt receipt) { commands.add(word, std::move(receipt)); },
        .keyboardEvents = keyboardEvents,
    });

    PowerSleepMonitor sleepMonitor(workspaceCenter);
    userInterface.emplace(*model, defaultCenter);

    // Also what the end of the Windows session does before Windows ends the process.
    const auto shutDown = [&] {
        userInterface.reset();
        model.reset();
    };
    TerminationRequests termination(shutDown);
    const int status = runMessageLoop();
    shutDown();
    return status;
}
