#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace corvane::testing {

// One keyboard message as tools/key-recorder/key_recorder.c printed it, with the key states
// at that message. `wparam` is the virtual key, or the UTF-16 unit of a character message.
struct WindowsMessage {
    std::string name;
    unsigned wparam = 0;
    bool shift = false, ctrl = false, alt = false, win = false, capsLock = false;
};

// The message of one line the recorder printed; nothing for its other lines.
std::optional<WindowsMessage> parseWindowsMessage(const std::string& line);

// The messages of the lines `nextLine` gives before the marker key (F12, sent behind the keys
// a test awaits) has gone up, and at its key-down whether Caps Lock was on. When `nextLine`
// runs out first, the last message is "marker-missing".
struct MessagesToMarker {
    std::vector<WindowsMessage> messages;
    bool capsLockAtMarker = false;
};
MessagesToMarker messagesToMarker(const std::function<std::optional<std::string>()>& nextLine);
// The marker key's virtual key and scan code.
inline constexpr unsigned markerVirtualKey = 0x7B, markerScanCode = 0x58;

// The key-downs of other than modifier keys, as "Ctrl+Alt+0x67" (the held modifiers, then
// the virtual key).
std::string keyDowns(const std::vector<WindowsMessage>& messages);
// The characters of the WM_CHAR messages: ASCII as it is, others as \u and their code.
std::string characters(const std::vector<WindowsMessage>& messages);

}  // namespace corvane::testing
