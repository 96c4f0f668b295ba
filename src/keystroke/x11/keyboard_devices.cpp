#include "keystroke/x11/keyboard_devices.h"

#include <xcb/xinput.h>

#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

namespace corvane::x11 {

namespace {

struct Free {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, Free>;

// The keyboard through which XTest types for the core keyboard.
constexpr std::string_view xtestKeyboardName = "Virtual core XTEST keyboard";

}  // namespace

bool announceXInput(xcb_connection_t* connection) {
    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(connection, &xcb_input_id);
    if (extension == nullptr || extension->present == 0) {
        return false;
    }
    const ReplyPtr<xcb_input_xi_query_version_reply_t> version(xcb_input_xi_query_version_reply(
        connection, xcb_input_xi_query_version(connection, 2, 0), nullptr));
    return version && version->major_version >= 2;
}

std::optional<X11KeySet> keysHeldOnKeyboards(xcb_connection_t* connection,
                                             std::int32_t coreKeyboard) {
    const ReplyPtr<xcb_input_xi_query_device_reply_t> devices(xcb_input_xi_query_device_reply(
        connection, xcb_input_xi_query_device(connection, XCB_INPUT_DEVICE_ALL), nullptr));
    if (!devices) {
        return std::nullopt;
    }
    std::vector<xcb_input_query_device_state_cookie_t> states;
    for (auto device = xcb_input_xi_query_device_infos_iterator(devices.get()); device.rem > 0;
         xcb_input_xi_device_info_next(&device)) {
        const xcb_input_xi_device_info_t& info = *device.data;
        const std::string_view name(xcb_input_xi_device_info_name(device.data), info.name_len);
        if (info.type == XCB_INPUT_DEVICE_TYPE_SLAVE_KEYBOARD && info.attachment == coreKeyboard &&
            name != xtestKeyboardName) {
            states.push_back(
                xcb_input_query_device_state(connection, static_cast<std::uint8_t>(info.deviceid)));
        }
    }
    X11KeySet held;
    bool answered = true;
    for (const xcb_input_query_device_state_cookie_t cookie : states) {
        const ReplyPtr<xcb_input_query_device_state_reply_t> state(
            xcb_input_query_device_state_reply(connection, cookie, nullptr));
        answered = answered && state != nullptr;
        if (!state) {
            continue;
        }
        for (auto item = xcb_input_query_device_state_classes_iterator(state.get()); item.rem > 0;
             xcb_input_input_state_next(&item)) {
            if (item.data->class_id != XCB_INPUT_INPUT_CLASS_KEY) {
                continue;
            }
            held |=
                keySetFromVector(reinterpret_cast<const xcb_input_key_state_t*>(item.data)->keys);
        }
    }
    if (!answered) {
        return std::nullopt;
    }
    return held;
}

}  // namespace corvane::x11
