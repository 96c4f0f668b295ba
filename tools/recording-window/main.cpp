// A window that records the keys it receives. It is given a WM_CLASS, takes the input
// focus and prints one line per KeyPress/KeyRelease on stdout:
//
//   press   keycode=33  state=0x0001 (Shift)  keysym=P  text="P"
//
// The keysym and text are what xkbcommon makes of the key with the event's modifier
// state in the server's current keymap. "ready" is printed once the window is mapped
// and focused. With --keep-focus it takes the focus back whenever another window takes
// it. SIGTERM ends it.
//
//   recording-window --class com.steinberg.dorico9 [--instance NAME] [--keep-focus]

#include <poll.h>
#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "keystroke/x11/xcb_xkb.h"
#include "keystroke/xkb/xkb_keymap_layout.h"

namespace {

int signalPipe[2] = {-1, -1};

void onTerminate(int /*signal*/) {
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

struct Options {
    std::string className = "org.example.recording";
    std::string instanceName = "recording-window";
    bool keepFocus = false;
};

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = argv[i];
        if (name == "--keep-focus") {
            options.keepFocus = true;
        } else if (i + 1 == argc) {
            return false;
        } else if (name == "--class") {
            options.className = argv[++i];
        } else if (name == "--instance") {
            options.instanceName = argv[++i];
        } else {
            return false;
        }
    }
    return true;
}

std::string modifierNames(std::uint16_t state) {
    static const char* const names[] = {"Shift", "Lock", "Control", "Mod1",
                                        "Mod2",  "Mod3", "Mod4",    "Mod5"};
    std::string result;
    for (int bit = 0; bit < 8; ++bit) {
        if ((state & (1U << bit)) != 0) {
            result += result.empty() ? "" : "+";
            result += names[bit];
        }
    }
    return result;
}

// The text with control characters and quotes escaped, so a line stays one line.
std::string escaped(const char* text) {
    std::string result;
    for (const char* p = text; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            result += '\\';
            result += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
            result += buffer;
        } else {
            result += static_cast<char>(c);
        }
    }
    return result;
}

class Keyboard {
  public:
    explicit Keyboard(xcb_connection_t* connection)
        : connection_(connection), context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {
        std::uint8_t eventBase = 0;
        if (xkb_x11_setup_xkb_extension(
                connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, &eventBase, nullptr) == 0) {
            return;
        }
        eventBase_ = eventBase;
        deviceId_ = xkb_x11_get_core_keyboard_device_id(connection);
        const std::uint16_t events =
            XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
        xcb_xkb_select_events(connection, static_cast<xcb_xkb_device_spec_t>(deviceId_), events, 0,
                              events, 0xFF, 0xFF, nullptr);
        reload();
    }

    bool isKeymapEvent(const xcb_generic_event_t* event) const {
        return eventBase_ >= 0 && (event->response_type & 0x7F) == eventBase_;
    }

    void reload() {
        keymap_.reset(xkb_x11_keymap_new_from_device(context_.get(), connection_, deviceId_,
                                                     XKB_KEYMAP_COMPILE_NO_FLAGS));
    }

    // Keysym name and UTF-8 text of a key under a core event state.
    std::pair<std::string, std::string> describe(xcb_keycode_t keycode, std::uint16_t state) {
        if (!keymap_) {
            return {"?", ""};
        }
        corvane::xkb::StatePtr xkbState(xkb_state_new(keymap_.get()));
        const std::uint32_t group = (state >> 13) & 0x3;
        xkb_state_update_mask(xkbState.get(), state & 0xFF, 0, 0, 0, 0, group);
        const xkb_keysym_t keysym = xkb_state_key_get_one_sym(xkbState.get(), keycode);
        char name[64] = "";
        xkb_keysym_get_name(keysym, name, sizeof name);
        char text[64] = "";
        xkb_state_key_get_utf8(xkbState.get(), keycode, text, sizeof text);
        return {name, text};
    }

  private:
    xcb_connection_t* connection_;
    corvane::xkb::ContextPtr context_;
    int eventBase_ = -1;
    std::int32_t deviceId_ = -1;
    corvane::xkb::KeymapPtr keymap_;
};

xcb_window_t openWindow(xcb_connection_t* connection, const Options& options) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    const std::uint32_t values[] = {
        screen->white_pixel, XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE |
                                 XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_FOCUS_CHANGE};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 320, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    std::string wmClass = options.instanceName;
    wmClass += '\0';
    wmClass += options.className;
    wmClass += '\0';
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS,
                        XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(wmClass.size()),
                        wmClass.data());
    const std::string title = "Recording keys: " + options.className;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME,
                        XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(title.size()), title.data());
    xcb_map_window(connection, window);
    xcb_flush(connection);
    return window;
}

void printKey(Keyboard& keyboard, const xcb_key_press_event_t* key, bool press) {
    const auto [keysym, text] = keyboard.describe(key->detail, key->state);
    std::printf("%-7s keycode=%-3u state=0x%04x (%s)  keysym=%s  text=\"%s\"\n",
                press ? "press" : "release", key->detail, key->state,
                modifierNames(key->state).c_str(), keysym.c_str(), escaped(text.c_str()).c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s [--class CLASS] [--instance NAME] [--keep-focus]\n",
                     argv[0]);
        return 2;
    }
    if (pipe(signalPipe) != 0) {
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        std::fprintf(stderr, "recording-window: cannot open the X display\n");
        return 1;
    }
    Keyboard keyboard(connection);
    const xcb_window_t window = openWindow(connection, options);

    pollfd fds[2] = {{xcb_get_file_descriptor(connection), POLLIN, 0}, {signalPipe[0], POLLIN, 0}};
    bool running = true;
    while (running) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            const std::uint8_t type = event->response_type & 0x7F;
            const auto* focusOut = reinterpret_cast<xcb_focus_out_event_t*>(event);
            // A grab (a menu open) takes the keys for a while, not the focus.
            if (type == XCB_MAP_NOTIFY || (type == XCB_FOCUS_OUT && options.keepFocus &&
                                           focusOut->mode == XCB_NOTIFY_MODE_NORMAL &&
                                           focusOut->detail != XCB_NOTIFY_DETAIL_INFERIOR)) {
                xcb_set_input_focus(connection, XCB_INPUT_FOCUS_POINTER_ROOT, window,
                                    XCB_CURRENT_TIME);
                xcb_flush(connection);
            } else if (type == XCB_FOCUS_IN &&
                       reinterpret_cast<xcb_focus_in_event_t*>(event)->event == window) {
                std::printf("ready\n");
                std::fflush(stdout);
            } else if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
                printKey(keyboard, reinterpret_cast<xcb_key_press_event_t*>(event),
                         type == XCB_KEY_PRESS);
            } else if (keyboard.isKeymapEvent(event)) {
                keyboard.reload();
            }
            std::free(event);
        }
        if (xcb_connection_has_error(connection) != 0) {
            break;
        }
        poll(fds, 2, -1);
        running = (fds[1].revents & POLLIN) == 0;
    }
    xcb_disconnect(connection);
    return 0;
}
