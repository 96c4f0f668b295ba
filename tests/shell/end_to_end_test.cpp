// The real program on a private desktop: Xvfb with a tray (trayer), a private system bus
// with Avahi on loopback and a logind stand-in, a window that claims to be Dorico 9, and
// corvane-peer as the peer.

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QDBusConnection>
#include <QTemporaryDir>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "command/x11/window_properties.h"
#include "support/child_process.h"
#include "support/private_avahi.h"
#include "support/qt/core_application.h"
#include "support/qt/logind_stand_in.h"
#include "support/recording_window.h"
#include "support/x11_desktop.h"
#include "support/xvfb_server.h"

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;

// A window of the program as X shows it: top level (the About window) or embedded in
// the tray (the tray icon).
struct ClientWindow {
    xcb_window_t id = 0;
    bool topLevel = false;
    std::uint16_t width = 0;
};

// Looks at the program's windows on the test's X server.
class ClientWindows {
  public:
    explicit ClientWindows(const std::string& display)
        : connection_(xcb_connect(display.c_str(), nullptr)),
          root_(xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root) {}
    ~ClientWindows() { xcb_disconnect(connection_); }
    ClientWindows(const ClientWindows&) = delete;
    ClientWindows& operator=(const ClientWindows&) = delete;

    xcb_connection_t* get() const { return connection_; }

    // The viewable windows whose WM_CLASS class is "corvane-client".
    std::vector<ClientWindow> viewable() {
        std::vector<ClientWindow> found;
        collect(root_, found);
        return found;
    }

    std::optional<ClientWindow> trayIcon() {
        for (const ClientWindow& window : viewable()) {
            if (!window.topLevel) {
                return window;
            }
        }
        return std::nullopt;
    }

    // The window's pixels; empty when it cannot be read.
    std::vector<std::uint8_t> pixels(const ClientWindow& window) {
        xcb_get_image_reply_t* image =
            xcb_get_image_reply(connection_,
                                xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window.id, 0,
                                              0, window.width, window.width, ~0U),
                                nullptr);
        if (image == nullptr) {
            return {};
        }
        const std::uint8_t* data = xcb_get_image_data(image);
        std::vector<std::uint8_t> bytes(data, data + xcb_get_image_data_length(image));
        free(image);
        return bytes;
    }

  private:
    void collect(xcb_window_t parent, std::vector<ClientWindow>& found) {
        xcb_query_tree_reply_t* tree =
            xcb_query_tree_reply(connection_, xcb_query_tree(connection_, parent), nullptr);
        if (tree == nullptr) {
            return;
        }
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
            if (isViewableClientWindow(children[i])) {
                found.push_back({children[i], parent == root_, width(children[i])});
            }
            collect(children[i], found);
        }
        free(tree);
    }

    bool isViewableClientWindow(xcb_window_t window) {
        const std::optional<std::string> wmClass =
            x11::readTextProperty(connection_, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 1024);
        if (!wmClass || x11::classFromWmClass(*wmClass) != "corvane-client") {
            return false;
        }
        xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
            connection_, xcb_get_window_attributes(connection_, window), nullptr);
        const bool viewable =
            attributes != nullptr && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        free(attributes);
        return viewable;
    }

    std::uint16_t width(xcb_window_t window) {
        xcb_get_geometry_reply_t* geometry =
            xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr);
        const std::uint16_t result = geometry != nullptr ? geometry->width : 0;
        free(geometry);
        return result;
    }

    xcb_connection_t* connection_;
    xcb_window_t root_;
};

// Waits for a line of `process` that starts with `prefix`, running Qt's events meanwhile
// (the logind stand-in answers through them).
bool waitForLine(ChildProcess& process, const std::string& prefix) {
    return processEventsUntil(
        [&] {
            const std::optional<std::string> line = process.readLine(20ms);
            return line && line->starts_with(prefix);
        },
        15000);
}

class EndToEndTest : public ::testing::Test {
  protected:
    // Before any member starts a process: the private system bus goes into the
    // environment that the processes inherit.
    static void SetUpTestSuite() {
        ensureCoreApplication();
        PrivateAvahi::shared();
    }

    void SetUp() override {
        ASSERT_TRUE(PrivateAvahi::shared().running());
        ASSERT_TRUE(xvfb.running());
        ASSERT_TRUE(standIn.serveOn(QDBusConnection::connectToBus(
            QString::fromStdString(PrivateAvahi::shared().busAddress()), "logind")));
        ASSERT_TRUE(tray.started());
        ASSERT_TRUE(window.ready());
        client = std::make_unique<ChildProcess>(std::vector<std::string>{CORVANE_CLIENT_PATH},
                                                clientEnvironment());
        ASSERT_TRUE(client->started());
        // Up once its icon sits in the tray and it holds a sleep inhibitor.
        ASSERT_TRUE(processEventsUntil(
            [&] { return windows.trayIcon().has_value() && standIn.newestInhibitorHeld(); },
            15000));
        EXPECT_TRUE(iconShowsConnected(false));
    }
    void TearDown() override {
        if (client) {
            EXPECT_EQ(client->terminate(), 0);  // a clean exit on SIGTERM
        }
        QDBusConnection::disconnectFromBus("logind");
    }

    std::map<std::string, std::string> clientEnvironment() const {
        std::map<std::string, std::string> environment = xvfb.environment();
        environment["XDG_RUNTIME_DIR"] = runtimeDirectory.path().toStdString();
        return environment;
    }
    // Whether the tray icon shows the connected dot: dark pixels in its bottom-right
    // corner, where the plain icon has none.
    std::optional<bool> trayIconHasDot() {
        const std::optional<ClientWindow> icon = windows.trayIcon();
        if (!icon) {
            return std::nullopt;
        }
        const std::vector<std::uint8_t> pixels = windows.pixels(*icon);
        const std::size_t side = icon->width;
        if (pixels.size() < side * side * 4) {
            return std::nullopt;
        }
        for (std::size_t y = side * 3 / 4; y < side; ++y) {
            for (std::size_t x = side * 3 / 4; x < side; ++x) {
                const std::uint8_t* pixel = &pixels[(y * side + x) * 4];  // B, G, R, pad
                if (pixel[0] < 80 && pixel[1] < 80 && pixel[2] < 80) {
                    return true;
                }
            }
        }
        return false;
    }
    bool iconShowsConnected(bool connected) {
        return processEventsUntil([&] { return trayIconHasDot() == connected; }, 15000);
    }
    // The keys typed into the window, waiting until `count` have arrived.
    std::vector<TypedKey> typed(std::size_t count) {
        std::vector<RecordedKey> received;
        processEventsUntil(
            [&] {
                for (const RecordedKey& key : window.keysReceived(windows.get())) {
                    received.push_back(key);
                }
                return typedKeys(received).size() >= count;
            },
            15000);
        return typedKeys(received);
    }

    XvfbServer xvfb;
    ClientWindows windows{xvfb.display()};
    LogindStandIn standIn;
    QTemporaryDir runtimeDirectory;
    ChildProcess tray{{"trayer", "--edge", "top", "--align", "right", "--widthtype", "request"},
                      xvfb.environment()};
    RecordingWindow window{xvfb, "com.steinberg.dorico9"};
    std::unique_ptr<ChildProcess> client;
};

TEST_F(EndToEndTest, PeerWordsBecomeKeystrokesAndTheIconShowsThePeer) {
    {
        ChildProcess peer({CORVANE_PEER_PATH, "End to end", "0x10001249"});
        ASSERT_TRUE(waitForLine(peer, "client connected"));
        EXPECT_TRUE(iconShowsConnected(true));

        std::string texts;
        const std::vector<TypedKey> keys = typed(9);
        ASSERT_EQ(keys.size(), 9U);
        for (std::size_t i = 0; i + 1 < keys.size(); ++i) {
            texts += keys[i].text;
        }
        EXPECT_EQ(texts, "P-v^-v^-");
        EXPECT_EQ(keys.back().keycode, 36U);  // Return
    }
    // The peer is gone: the dot goes with it.
    EXPECT_TRUE(iconShowsConnected(false));
}

TEST_F(EndToEndTest, SleepClosesTheConnectionAndWakeBringsItBack) {
    ChildProcess peer({CORVANE_PEER_PATH, "Sleepy peer"});
    ASSERT_TRUE(waitForLine(peer, "client connected"));
    ASSERT_TRUE(iconShowsConnected(true));

    emit standIn.PrepareForSleep(true);
    EXPECT_TRUE(waitForLine(peer, "client disconnected"));
    EXPECT_TRUE(iconShowsConnected(false));
    EXPECT_TRUE(processEventsUntil([&] { return !standIn.newestInhibitorHeld(); }));

    emit standIn.PrepareForSleep(false);
    EXPECT_TRUE(waitForLine(peer, "client connected"));
    EXPECT_TRUE(iconShowsConnected(true));
    EXPECT_TRUE(processEventsUntil([&] { return standIn.newestInhibitorHeld(); }));
}

TEST_F(EndToEndTest, ALaterLaunchShowsTheAboutWindowOfTheFirst) {
    const auto aboutWindows = [&] {
        std::vector<ClientWindow> found;
        for (const ClientWindow& candidate : windows.viewable()) {
            if (candidate.topLevel) {
                found.push_back(candidate);
            }
        }
        return found;
    };
    EXPECT_TRUE(aboutWindows().empty());
    for (int launch = 0; launch < 2; ++launch) {
        EXPECT_EQ(ChildProcess::run({CORVANE_CLIENT_PATH}, clientEnvironment()), 0);
        ASSERT_TRUE(processEventsUntil([&] { return !aboutWindows().empty(); }));
        const std::vector<ClientWindow> shown = aboutWindows();
        ASSERT_EQ(shown.size(), 1U);
        EXPECT_EQ(shown[0].width, 300);
    }
}

TEST(EndToEnd, WithoutAnXServerItSaysSoAndEndsWith1) {
    ChildProcess client({"sh", "-c", std::string(CORVANE_CLIENT_PATH) + " 2>&1; echo status $?"},
                        {{"DISPLAY", ":4242"}});
    const std::optional<std::string> message = client.readLine(10s);
    ASSERT_TRUE(message);
    EXPECT_NE(message->find("Cannot open the X display :4242"), std::string::npos) << *message;
    EXPECT_EQ(client.readLine(10s), "status 1");
}

}  // namespace
}  // namespace corvane::testing
