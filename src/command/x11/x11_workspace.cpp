#include "command/x11/x11_workspace.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "command/x11/window_properties.h"

namespace corvane::x11 {

namespace {

// Longer values are not application ids.
constexpr std::uint32_t maxIdBytes = 1024;
// A bound on the walk to the top level, against a server that answers nonsense.
constexpr int maxWindowDepth = 64;

std::array<xcb_atom_t, 4> internAtoms(xcb_connection_t* connection,
                                      const std::array<const char*, 4>& names) {
    std::array<xcb_intern_atom_cookie_t, 4> cookies{};
    for (std::size_t i = 0; i < names.size(); ++i) {
        cookies[i] = xcb_intern_atom(connection, 0,
                                     static_cast<std::uint16_t>(std::strlen(names[i])), names[i]);
    }
    std::array<xcb_atom_t, 4> atoms{};
    for (std::size_t i = 0; i < names.size(); ++i) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookies[i], nullptr);
        atoms[i] = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
    }
    return atoms;
}

// A window that is something to type into: not none, PointerRoot or the root.
std::optional<xcb_window_t> typingWindow(std::optional<xcb_window_t> window, xcb_window_t root) {
    if (!window || *window == XCB_NONE || *window == XCB_INPUT_FOCUS_POINTER_ROOT ||
        *window == root) {
        return std::nullopt;
    }
    return window;
}

}  // namespace

X11Workspace::X11Workspace(X11Connection& connection) : connection_(connection) {
    if (!connection_.usable()) {
        return;
    }
    const std::array<xcb_atom_t, 4> atoms = internAtoms(
        connection_.get(),
        {"_NET_SUPPORTING_WM_CHECK", "_NET_ACTIVE_WINDOW", "_GTK_APPLICATION_ID", "UTF8_STRING"});
    supportingWmCheck_ = atoms[0];
    activeWindow_ = atoms[1];
    gtkApplicationId_ = atoms[2];
    utf8String_ = atoms[3];
}

// The application id a window carries itself, and its parent, asked together.
class X11Workspace::WindowIdRequest {
  public:
    WindowIdRequest(const X11Workspace& workspace, xcb_window_t window)
        : connection_(workspace.connection_.get()),
          gtkId_(connection_, window, workspace.gtkApplicationId_, workspace.utf8String_,
                 maxIdBytes),
          wmClass_(connection_, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, maxIdBytes),
          tree_(xcb_query_tree(connection_, window)) {}
    ~WindowIdRequest() {
        if (!treeRead_) {
            xcb_discard_reply(connection_, tree_.sequence);
        }
    }
    WindowIdRequest(const WindowIdRequest&) = delete;
    WindowIdRequest& operator=(const WindowIdRequest&) = delete;

    // _GTK_APPLICATION_ID, else the class part of WM_CLASS.
    std::optional<std::string> id() {
        if (const std::optional<std::string> gtkId = gtkId_.text()) {
            if (std::optional<std::string> id = applicationIdFromUtf8(*gtkId)) {
                return id;
            }
        }
        const std::optional<std::string> wmClass = wmClass_.text();
        return wmClass ? classFromWmClass(*wmClass) : std::nullopt;
    }
    // The parent, or nothing when the window is gone.
    std::optional<xcb_window_t> parent() {
        treeRead_ = true;
        xcb_generic_error_t* error = nullptr;
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection_, tree_, &error);
        std::free(error);
        if (tree == nullptr) {
            return std::nullopt;
        }
        const xcb_window_t parent = tree->parent;
        std::free(tree);
        return parent;
    }

  private:
    xcb_connection_t* connection_;
    PropertyRequest gtkId_;
    PropertyRequest wmClass_;
    xcb_query_tree_cookie_t tree_;
    bool treeRead_ = false;
};

std::optional<RunningApplication> X11Workspace::frontmostApplication() {
    if (!connection_.usable()) {
        return std::nullopt;
    }
    xcb_connection_t* c = connection_.get();
    const xcb_window_t root = connection_.root();

    // First round trip: what the root says and where the focus is.
    PropertyRequest wmCheckRequest(c, root, supportingWmCheck_);
    PropertyRequest activeRequest(c, root, activeWindow_);
    const xcb_get_input_focus_cookie_t focusCookie = xcb_get_input_focus(c);
    const std::optional<xcb_window_t> wmCheck = typingWindow(wmCheckRequest.window(), root);
    const std::optional<xcb_window_t> active = typingWindow(activeRequest.window(), root);
    xcb_get_input_focus_reply_t* focusReply = xcb_get_input_focus_reply(c, focusCookie, nullptr);
    const std::optional<xcb_window_t> focus =
        typingWindow(focusReply != nullptr ? std::optional(focusReply->focus) : std::nullopt, root);
    std::free(focusReply);

    // Second round trip: whether a window manager still vouches for the active window
    // (one that died leaves the root naming a window that is gone or no longer points at
    // itself), with the ids of both candidates.
    std::optional<PropertyRequest> wmCheckOfItself;
    std::optional<WindowIdRequest> activeIds;
    if (wmCheck && active) {
        wmCheckOfItself.emplace(c, *wmCheck, supportingWmCheck_);
        activeIds.emplace(*this, *active);
    }
    std::optional<WindowIdRequest> focusIds;
    if (focus && focus != (activeIds ? active : std::nullopt)) {
        focusIds.emplace(*this, *focus);
    }
    const bool windowManagerVouches = wmCheckOfItself && wmCheckOfItself->window() == wmCheck;
    std::optional<WindowIdRequest>& start =
        windowManagerVouches || (activeIds && focus == active) ? activeIds : focusIds;
    if (!start) {
        return std::nullopt;
    }

    // Up the tree to the first window with an id, one round trip a level.
    WindowIdRequest* window = &*start;
    std::unique_ptr<WindowIdRequest> ancestor;
    for (int depth = 0; depth < maxWindowDepth; ++depth) {
        if (std::optional<std::string> id = window->id()) {
            return RunningApplication{std::move(id)};
        }
        const std::optional<xcb_window_t> parent = window->parent();
        if (!parent) {
            return std::nullopt;  // the window went away while it was read
        }
        if (*parent == root || *parent == XCB_NONE) {
            return RunningApplication{std::nullopt};  // a top level without an id
        }
        ancestor = std::make_unique<WindowIdRequest>(*this, *parent);
        window = ancestor.get();
    }
    return std::nullopt;
}

}  // namespace corvane::x11
