// The real program on a private desktop: Xvfb with a tray (trayer), a private system bus
// with Avahi on loopback (tests/support/with-private-avahi runs the tests) and a logind
// stand-in, and corvane-peer as the peer.

#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <QDBusConnection>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>

#include "command/x11/window_properties.h"
#include "support/child_process.h"
#include "support/qt/core_application.h"
#include "support/qt/logind_stand_in.h"
#include "support/recording_window.h"
#include "support/xvfb_server.h"

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;

template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&free)>;

// What the program shows: its tray icon (a window embedded in the tray), its menus (top-level
// windows that bypass the window manager) and its About windows (the other top-level ones).
enum class Shown { icon, menu, about };

std::vector<xcb_window_t> shown(xcb_connection_t* x, Shown kind, xcb_window_t parent,
                                bool parentIsRoot = true) {
    std::vector<xcb_window_t> found;
    const ReplyPtr<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(x, xcb_query_tree(x, parent), nullptr), &free);
    for (int i = 0; tree && i < xcb_query_tree_children_length(tree.get()); ++i) {
        const xcb_window_t child = xcb_query_tree_children(tree.get())[i];
        const auto wmClass =
            x11::PropertyRequest(x, child, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 1024).text();
        const ReplyPtr<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(x, xcb_get_window_attributes(x, child), nullptr),
            &free);
        if (wmClass && x11::classFromWmClass(*wmClass) == "corvane-client" && attributes &&
            attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
            kind == (!parentIsRoot                   ? Shown::icon
                     : attributes->override_redirect ? Shown::menu
                                                     : Shown::about)) {
            found.push_back(child);
        }
        std::ranges::copy(shown(x, kind, child, false), std::back_inserter(found));
    }
    return found;
}

std::uint16_t widthOf(xcb_connection_t* x, xcb_window_t window) {
    const ReplyPtr<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(x, xcb_get_geometry(x, window), nullptr), &free);
    return geometry ? geometry->width : 0;
}

// Clicks with the first button where XTest puts the pointer: in the middle of `window`.
void click(xcb_connection_t* x, xcb_window_t root, xcb_window_t window) {
    const ReplyPtr<xcb_translate_coordinates_reply_t> middle(
        xcb_translate_coordinates_reply(
            x, xcb_translate_coordinates(x, window, root, widthOf(x, window) / 2, 8), nullptr),
        &free);
    if (middle) {
        xcb_test_fake_input(x, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, middle->dst_x,
                            middle->dst_y, 0);
        xcb_test_fake_input(x, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, root, 0, 0, 0);
        xcb_test_fake_input(x, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, root, 0, 0, 0);
        xcb_flush(x);
    }
}

// Whether the (square) tray icon shows the connected dot: the dark middle of the dot in its
// bottom-right corner, where the plain icon has no dark pixel. Nothing while there is no icon.
std::optional<bool> trayIconHasDot(xcb_connection_t* x, xcb_window_t root) {
    const std::vector<xcb_window_t> icons = shown(x, Shown::icon, root);
    if (icons.empty()) {
        return std::nullopt;
    }
    const std::uint16_t side = widthOf(x, icons[0]);
    const ReplyPtr<xcb_get_image_reply_t> image(
        xcb_get_image_reply(
            x, xcb_get_image(x, XCB_IMAGE_FORMAT_Z_PIXMAP, icons[0], 0, 0, side, side, ~0U),
            nullptr),
        &free);
    if (!image || xcb_get_image_data_length(image.get()) < side * side * 4) {
        return std::nullopt;
    }
    const std::uint8_t* pixels = xcb_get_image_data(image.get());  // B, G, R, pad
    for (int y = side * 3 / 4; y < side; ++y) {
        for (int x0 = side * 3 / 4; x0 < side; ++x0) {
            const std::uint8_t* pixel = &pixels[(y * side + x0) * 4];
            if (pixel[0] < 100 && pixel[1] < 100 && pixel[2] < 100) {
                return true;
            }
        }
    }
    return false;
}

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
    static void SetUpTestSuite() { ensureCoreApplication(); }

    void SetUp() override {
        // The system bus with avahi-daemon that tests/support/with-private-avahi started.
        const char* bus = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
        ASSERT_TRUE(bus && xvfb.running() && tray.started() && x &&
                    xcb_connection_has_error(x.get()) == 0);
        ASSERT_TRUE(standIn.serveOn(QDBusConnection::connectToBus(bus, "logind")));
        client = std::make_unique<ChildProcess>(
            std::vector<std::string>{CORVANE_CLIENT_PATH, "--discovery=avahi"},
            clientEnvironment());
        // Up once its plain icon sits in the tray and it holds a sleep inhibitor.
        ASSERT_TRUE(iconShowsConnected(false));
        ASSERT_TRUE(processEventsUntil([&] { return standIn.newestInhibitorHeld(); }));
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
    bool iconShowsConnected(bool connected) {
        return processEventsUntil([&] { return trayIconHasDot(x.get(), root()) == connected; },
                                  15000);
    }
    xcb_window_t root() const {
        return xcb_setup_roots_iterator(xcb_get_setup(x.get())).data->root;
    }

    XvfbServer xvfb;
    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> x{
        xcb_connect(xvfb.display().c_str(), nullptr), &xcb_disconnect};
    LogindStandIn standIn;
    QTemporaryDir runtimeDirectory;
    ChildProcess tray{{"trayer", "--edge", "top", "--align", "right", "--widthtype", "request"},
                      xvfb.environment()};
    std::unique_ptr<ChildProcess> client;
};

// Words typed into the focused program are the demo's to show (it fails unless every key
// press arrives); here the dot that follows the peer, which sleep closes and wake brings back.
TEST_F(EndToEndTest, TheIconShowsThePeerThatSleepDisconnectsAndWakeBringsBack) {
    {
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
    EXPECT_TRUE(iconShowsConnected(false));  // the peer is gone, and so is the dot
}

// A hundred commands of seven carets for Wine's Dorico on "fr" (a window that claims to
// be it and keeps the focus), each with the third level's pauses. Before the last has had
// its turn, the tray menu opens, a later launch shows the About window (and the next brings
// it forward, never a second one), and SIGTERM ends the program cleanly.
TEST_F(EndToEndTest, DuringABurstOfPausedCommandsTheMenuAboutAndSigtermAreServed) {
    ASSERT_TRUE(xvfb.run({"setxkbmap", "fr"}));
    RecordingWindow dorico(xvfb, "dorico9.exe", true);
    ASSERT_TRUE(dorico.ready());
    ChildProcess peer({CORVANE_PEER_PATH, "--count", "100", "Burst", "0x10000000"});
    std::size_t commandsMet = 0;
    const auto meet = [&] {
        while (const std::optional<std::string> line = client->readLine(0ms)) {
            commandsMet += line->starts_with("AppBundleId: ");
        }
        return commandsMet;
    };
    const auto windows = [&](Shown kind) { return shown(x.get(), kind, root()).size(); };
    ASSERT_TRUE(processEventsUntil([&] { return meet() > 0; }, 15000));

    click(x.get(), root(), shown(x.get(), Shown::icon, root()).at(0));
    EXPECT_TRUE(processEventsUntil([&] { return windows(Shown::menu) == 1; }));
    EXPECT_LT(meet(), 100U);
    click(x.get(), root(), root());  // away from the menu, which closes
    EXPECT_TRUE(processEventsUntil([&] { return windows(Shown::menu) == 0; }));

    EXPECT_EQ(windows(Shown::about), 0U);
    for (int launch = 0; launch < 2; ++launch) {
        EXPECT_EQ(ChildProcess::run({CORVANE_CLIENT_PATH}, clientEnvironment()), 0);
        EXPECT_TRUE(processEventsUntil([&] { return windows(Shown::about) == 1; }));
    }
    EXPECT_LT(meet(), 100U);

    EXPECT_EQ(client->terminate(), 0);
    EXPECT_LT(meet(), 100U);
    client.reset();
}

// The X server goes while a peer's commands are being typed: the program ends as X programs
// do when their display goes, with status 1, and does not hang.
TEST_F(EndToEndTest, WhenTheXServerGoesTheProgramEndsWithStatus1) {
    RecordingWindow sibelius(xvfb, "com.avid.sibelius");
    ASSERT_TRUE(sibelius.ready());
    ChildProcess peer(
        {CORVANE_PEER_PATH, "--interval", "2", "--count", "0", "Stream", "0x10000000"});
    ASSERT_TRUE(waitForLine(*client, "AppBundleId: "));
    xvfb.stop();
    EXPECT_EQ(client->wait(10s), 1);
    client.reset();
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
