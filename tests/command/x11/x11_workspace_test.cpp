#include "command/x11/x11_workspace.h"

#include <gtest/gtest.h>

#include <string>

#include "support/x11_desktop.h"

namespace corvane::testing {
namespace {

using namespace std::string_literals;

// Windows and properties as other applications make them.
class X11WorkspaceTest : public X11DesktopTest {
  protected:
    void SetUp() override {
        X11DesktopTest::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        workspace = std::make_unique<x11::X11Workspace>(*connection);
        root = connection->root();
    }

    xcb_atom_t atom(const std::string& name) { return testing::atom(connection->get(), name); }
    // A mapped window, with the given WM_CLASS value unless it is empty.
    xcb_window_t createWindow(xcb_window_t parent, const std::string& wmClass = "") {
        const xcb_window_t window = xcb_generate_id(connection->get());
        xcb_create_window(connection->get(), XCB_COPY_FROM_PARENT, window, parent, 0, 0, 50, 50, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_map_window(connection->get(), window);
        if (!wmClass.empty()) {
            set(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, wmClass);
        }
        return window;
    }
    // `bytes` as items of `format` bits.
    void set(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, const std::string& bytes,
             std::uint8_t format = 8) {
        xcb_change_property(connection->get(), XCB_PROP_MODE_REPLACE, window, property, type,
                            format, static_cast<std::uint32_t>(bytes.size() * 8 / format),
                            bytes.data());
    }
    void setWindow(xcb_window_t window, xcb_atom_t property, xcb_window_t value) {
        set(window, property, XCB_ATOM_WINDOW, std::string(reinterpret_cast<char*>(&value), 4), 32);
    }
    void focus(xcb_window_t window) {
        xcb_set_input_focus(connection->get(), XCB_INPUT_FOCUS_NONE, window, XCB_CURRENT_TIME);
    }
    // The workspace's requests follow the ones above on the same connection.
    std::optional<std::string> frontmostId() {
        const std::optional<RunningApplication> application = workspace->frontmostApplication();
        return application ? application->bundleIdentifier : "(no application)";
    }

    xcb_window_t root = 0;
    std::unique_ptr<x11::X11Workspace> workspace;
};

// Each row sets one property of the focused top-level window and leaves it for the next.
TEST_F(X11WorkspaceTest, IdIsAUtf8GtkApplicationIdElseTheLatin1ClassOfWmClass) {
    const xcb_window_t window = createWindow(root);
    focus(window);
    EXPECT_EQ(frontmostId(), std::nullopt);  // a top level without any id
    const std::optional<std::string> none;
    const xcb_atom_t gtkId = atom("_GTK_APPLICATION_ID"), utf8 = atom("UTF8_STRING");
    const xcb_atom_t wmClass = XCB_ATOM_WM_CLASS, string = XCB_ATOM_STRING;
    struct Row {
        xcb_atom_t property, type;
        std::string value;
        std::optional<std::string> id;
        std::uint8_t format = 8;
    };
    for (const auto& [property, type, value, id, format] : std::vector<Row>{
             {wmClass, string, "com.avid.sibelius"s, none},
             {wmClass, string, "instance\0"s, none},
             {wmClass, string, "\0\0"s, none},
             {wmClass, string, ""s, none},
             {wmClass, string, "x\0"s + std::string(2000, 'a'), none},  // too long for an id
             {wmClass, string, "a\0b\0c\0d\0e\0f\0"s, none, 32},
             {wmClass, XCB_ATOM_INTEGER, "a\0com.avid.sibelius\0"s, none},
             {wmClass, string, "\0Caf\xE9\0"s, "Caf\xC3\xA9"},
             {wmClass, string, "a\0b\0c\0"s, "b"},
             {wmClass, string, "sibelius\0com.avid.sibelius"s, "com.avid.sibelius"},
             {gtkId, utf8, "com.steinberg.dorico9\0\0"s, "com.steinberg.dorico9"},
             {gtkId, utf8, "\0com.steinberg.dorico9"s, "com.avid.sibelius"},
             {gtkId, string, "com.steinberg.dorico9"s, "com.avid.sibelius"}}) {
        set(window, property, type, value, format);
        EXPECT_EQ(frontmostId(), id) << value;
    }
}

TEST_F(X11WorkspaceTest, FocusedWindowBelongsToItsTopLevelAndNoFocusToNoApplication) {
    const xcb_window_t topLevel = createWindow(root, "dorico\0com.steinberg.dorico8\0"s);
    focus(createWindow(createWindow(topLevel)));
    EXPECT_EQ(frontmostId(), "com.steinberg.dorico8");
    focus(XCB_NONE);
    EXPECT_EQ(frontmostId(), "(no application)");
    focus(XCB_INPUT_FOCUS_POINTER_ROOT);
    EXPECT_EQ(frontmostId(), "(no application)");
}

TEST_F(X11WorkspaceTest, ActiveWindowCountsOnlyWhileAWindowManagerVouchesForIt) {
    const xcb_window_t focused = createWindow(root, "a\0org.example.focused\0"s);
    const xcb_window_t active = createWindow(root, "b\0com.avid.sibelius\0"s);
    focus(focused);
    const xcb_atom_t check = atom("_NET_SUPPORTING_WM_CHECK");
    const xcb_atom_t activeWindow = atom("_NET_ACTIVE_WINDOW");
    setWindow(root, activeWindow, active);
    EXPECT_EQ(frontmostId(), "org.example.focused");  // no window manager: the focus decides

    xcb_window_t wmWindow = createWindow(root);
    setWindow(root, check, wmWindow);
    setWindow(wmWindow, check, wmWindow);
    EXPECT_EQ(frontmostId(), "com.avid.sibelius");
    setWindow(wmWindow, check, root);  // no longer points at itself: a stale claim
    EXPECT_EQ(frontmostId(), "org.example.focused");
    setWindow(wmWindow, check, wmWindow);
    xcb_destroy_window(connection->get(), wmWindow);  // the window manager is gone
    EXPECT_EQ(frontmostId(), "org.example.focused");

    // The active window vanished before it was read.
    wmWindow = createWindow(root);
    setWindow(root, check, wmWindow);
    setWindow(wmWindow, check, wmWindow);
    xcb_destroy_window(connection->get(), active);
    EXPECT_EQ(frontmostId(), "(no application)");
    xcb_delete_property(connection->get(), root, check);
}

}  // namespace
}  // namespace corvane::testing
