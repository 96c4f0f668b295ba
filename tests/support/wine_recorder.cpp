#include "support/wine_recorder.h"

#include <xcb/xcb.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "command/x11/window_properties.h"
#include "support/recording_window.h"
#include "support/wait_until.h"

namespace corvane::testing {

namespace {

xcb_window_t rootOf(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

// True when the active window has the input focus and `className` as the class of its
// WM_CLASS.
bool focusedAndActive(xcb_connection_t* connection, const std::string& className) {
    const std::optional<xcb_window_t> active =
        x11::PropertyRequest(connection, rootOf(connection), atom(connection, "_NET_ACTIVE_WINDOW"))
            .window();
    xcb_get_input_focus_reply_t* focus =
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
    const bool focused = active && focus != nullptr && focus->focus == *active;
    std::free(focus);
    const std::optional<std::string> wmClass =
        focused ? x11::PropertyRequest(connection, *active, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 256)
                      .text()
                : std::nullopt;
    return wmClass && x11::classFromWmClass(*wmClass) == className;
}

}  // namespace

WindowManager::WindowManager(const XvfbServer& server)
    : process_({"openbox", "--sm-disable"}, server.environment()) {
    xcb_connection_t* connection = xcb_connect(server.display().c_str(), nullptr);
    const xcb_atom_t check = atom(connection, "_NET_SUPPORTING_WM_CHECK");
    running_ = xcb_connection_has_error(connection) == 0 &&
               waitUntil(
                   [&] {
                       return x11::PropertyRequest(connection, rootOf(connection), check)
                           .window()
                           .has_value();
                   },
                   std::chrono::seconds(10), std::chrono::milliseconds(10));
    xcb_disconnect(connection);
}

WineRecorder::WineRecorder(const XvfbServer& server, const std::string& fileName)
    : environment_(server.environment()) {
    char directory[] = "/tmp/corvane-wine-XXXXXX";
    if (mkdtemp(directory) == nullptr) {
        return;
    }
    directory_ = directory;
    const std::filesystem::path program = std::filesystem::path(directory_) / fileName;
    std::filesystem::copy_file(KEY_RECORDER_PATH, program);
    environment_["WINEPREFIX"] = WINE_PREFIX_PATH;
    environment_["WINEDEBUG"] = "-all";
    // Should the prefix have to be made here, without asking for Mono or Gecko.
    environment_["WINEDLLOVERRIDES"] = "mscoree,mshtml=";
    process_ = std::make_unique<ChildProcess>(std::vector<std::string>{"wine", program.string()},
                                              environment_);
    std::optional<std::string> line;
    while ((line = process_->readLine(std::chrono::seconds(60))) && *line != "ready") {
    }
    if (!line) {
        return;
    }
    // Wine's window has the focus once the window manager made it the active one and Wine
    // took the input focus (openbox holds it for a moment before), and it takes keys once a
    // marker has come through.
    std::string lowerCase = fileName;
    for (char& character : lowerCase) {
        character = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
    }
    xcb_connection_t* connection = xcb_connect(server.display().c_str(), nullptr);
    ready_ = xcb_connection_has_error(connection) == 0 &&
             waitUntil([&] { return focusedAndActive(connection, lowerCase); },
                       std::chrono::seconds(20), std::chrono::milliseconds(10));
    // Wine may first bring its NumLock in line with the server's, with messages of its own.
    const std::vector<WindowsMessage> messages =
        ready_ ? messagesReceived(connection) : std::vector<WindowsMessage>();
    ready_ = ready_ && (messages.empty() || messages.back().name != "marker-missing");
    xcb_disconnect(connection);
}

WineRecorder::~WineRecorder() {
    process_.reset();
    // -k returns before the server has gone; a recorder started next must not meet it.
    ChildProcess::run({"wineserver", "-k"}, environment_);
    ChildProcess::run({"wineserver", "-w"}, environment_);
    if (!directory_.empty()) {
        std::filesystem::remove_all(directory_);
    }
}

std::vector<WindowsMessage> WineRecorder::messagesReceived(xcb_connection_t* connection) {
    postMarkerKey(connection);
    MessagesToMarker received = messagesToMarker([this]() -> std::optional<std::string> {
        return process_ ? process_->readLine(std::chrono::seconds(10)) : std::nullopt;
    });
    capsLockAtMarker_ = received.capsLockAtMarker;
    return std::move(received.messages);
}

std::optional<WindowsMessage> WineRecorder::nextMessage(std::chrono::milliseconds timeout) {
    while (process_ != nullptr) {
        const std::optional<std::string> line = process_->readLine(timeout);
        if (!line) {
            break;
        }
        if (std::optional<WindowsMessage> message = parseWindowsMessage(*line)) {
            return message;
        }
    }
    return std::nullopt;
}

}  // namespace corvane::testing
