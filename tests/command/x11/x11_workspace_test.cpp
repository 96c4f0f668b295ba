#include "command/x11/x11_workspace.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/x11_desktop.h"

namespace corvane::testing {
namespace {

using namespace std::string_literals;

// Windows and properties made by "other applications" on their own connection.
class X11WorkspaceTest : public X11DesktopTest {
  protected:
    void SetUp() override {
        X11DesktopTest::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        other = xcb_connect(server->display().c_str(), nullptr);
        ASSERT_EQ(xcb_connection_has_error(other), 0);
        root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
        workspace = std::make_unique<x11::X11Workspace>(*connection);
    }
    void TearDown() override {
        xcb_disconnect(other);
        X11DesktopTest::TearDown();
    }

    xcb_atom_t atom(const std::string& name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            other, xcb_intern_atom(other, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
            nullptr);
        const xcb_atom_t result = reply->atom;
        std::free(reply);
        return result;
    }
    xcb_window_t createWindow(xcb_window_t parent) {
        const xcb_window_t window = xcb_generate_id(other);
        xcb_create_window(other, XCB_COPY_FROM_PARENT, window, parent, 0, 0, 50, 50, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_map_window(other, window);
        return window;
    }
    void setProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                     const std::string& value) {
        xcb_change_property(other, XCB_PROP_MODE_REPLACE, window, property, type, 8,
                            static_cast<std::uint32_t>(value.size()), value.data());
    }
    void setWindowProperty(xcb_window_t window, xcb_atom_t property, xcb_window_t value) {
        xcb_change_property(other, XCB_PROP_MODE_REPLACE, window, property, XCB_ATOM_WINDOW, 32, 1,
                            &value);
    }
    void setWmClass(xcb_window_t window, const std::string& value) {
        setProperty(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, value);
    }
    void focus(xcb_window_t window) {
        xcb_set_input_focus(other, XCB_INPUT_FOCUS_NONE, window, XCB_CURRENT_TIME);
    }
    // The frontmost id once the server has done everything asked on `other`.
    std::optional<std::string> frontmostId() {
        std::free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));
        const std::optional<RunningApplication> application = workspace->frontmostApplication();
        if (!application) {
            return "(no application)";
        }
        return application->bundleIdentifier;
    }

    xcb_connection_t* other = nullptr;
    xcb_window_t root = 0;
    std::unique_ptr<x11::X11Workspace> workspace;
};

TEST_F(X11WorkspaceTest, IdIsTheClassOfWmClassUnlessAGtkApplicationIdIsThere) {
    const xcb_window_t window = createWindow(root);
    setWmClass(window, "sibelius\0com.avid.sibelius\0"s);
    focus(window);
    EXPECT_EQ(frontmostId(), "com.avid.sibelius");

    setProperty(window, atom("_GTK_APPLICATION_ID"), atom("UTF8_STRING"), "com.steinberg.dorico9");
    EXPECT_EQ(frontmostId(), "com.steinberg.dorico9");

    // A GTK id of the wrong type is no id; WM_CLASS serves.
    setProperty(window, atom("_GTK_APPLICATION_ID"), XCB_ATOM_STRING, "com.steinberg.dorico9");
    EXPECT_EQ(frontmostId(), "com.avid.sibelius");
}

TEST_F(X11WorkspaceTest, FocusedChildWindowBelongsToItsTopLevel) {
    const xcb_window_t topLevel = createWindow(root);
    setWmClass(topLevel, "dorico\0com.steinberg.dorico8\0"s);
    const xcb_window_t child = createWindow(createWindow(topLevel));
    focus(child);
    EXPECT_EQ(frontmostId(), "com.steinberg.dorico8");
}

TEST_F(X11WorkspaceTest, MalformedOrMissingIdsGiveAnApplicationWithoutId) {
    const xcb_window_t window = createWindow(root);
    focus(window);
    EXPECT_EQ(frontmostId(), std::nullopt);

    for (const std::string& value :
         {"com.avid.sibelius"s, "instance\0"s, "\0\0"s, ""s, "x\0"s + std::string(2000, 'a')}) {
        setWmClass(window, value);
        EXPECT_EQ(frontmostId(), std::nullopt) << value;
    }
    // WM_CLASS with 32-bit items or of another type.
    const std::uint32_t numbers[] = {1, 2, 3};
    xcb_change_property(other, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
                        32, 3, numbers);
    EXPECT_EQ(frontmostId(), std::nullopt);
    setProperty(window, XCB_ATOM_WM_CLASS, XCB_ATOM_INTEGER, "a\0com.avid.sibelius\0"s);
    EXPECT_EQ(frontmostId(), std::nullopt);
}

TEST_F(X11WorkspaceTest, NoFocusOrPointerRootIsNoApplication) {
    focus(XCB_NONE);
    EXPECT_EQ(frontmostId(), "(no application)");
    focus(XCB_INPUT_FOCUS_POINTER_ROOT);
    EXPECT_EQ(frontmostId(), "(no application)");
}

TEST_F(X11WorkspaceTest, ActiveWindowCountsOnlyWhileAWindowManagerVouchesForIt) {
    const xcb_window_t focused = createWindow(root);
    setWmClass(focused, "a\0org.example.focused\0"s);
    const xcb_window_t active = createWindow(root);
    setWmClass(active, "b\0com.avid.sibelius\0"s);
    focus(focused);
    const xcb_atom_t check = atom("_NET_SUPPORTING_WM_CHECK");
    setWindowProperty(root, atom("_NET_ACTIVE_WINDOW"), active);

    // No window manager: the focus decides.
    EXPECT_EQ(frontmostId(), "org.example.focused");

    const xcb_window_t wmWindow = createWindow(root);
    setWindowProperty(root, check, wmWindow);
    setWindowProperty(wmWindow, check, wmWindow);
    EXPECT_EQ(frontmostId(), "com.avid.sibelius");

    // The check window no longer points at itself: a stale claim.
    setWindowProperty(wmWindow, check, root);
    EXPECT_EQ(frontmostId(), "org.example.focused");

    // The check window is gone.
    setWindowProperty(wmWindow, check, wmWindow);
    xcb_destroy_window(other, wmWindow);
    EXPECT_EQ(frontmostId(), "org.example.focused");
    xcb_delete_property(other, root, check);
}

TEST_F(X11WorkspaceTest, ActiveWindowThatVanishedIsNoApplication) {
    const xcb_atom_t check = atom("_NET_SUPPORTING_WM_CHECK");
    const xcb_window_t wmWindow = createWindow(root);
    setWindowProperty(root, check, wmWindow);
    setWindowProperty(wmWindow, check, wmWindow);
    const xcb_window_t gone = createWindow(root);
    setWindowProperty(root, atom("_NET_ACTIVE_WINDOW"), gone);
    xcb_destroy_window(other, gone);
    EXPECT_EQ(frontmostId(), "(no application)");
    xcb_delete_property(other, root, check);
}

}  // namespace
}  // namespace corvane::testing
