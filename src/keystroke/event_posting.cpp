#include "keystroke/event_posting.h"

#include <memory>
#include <optional>

namespace corvane {

void postKey(KeyboardEvents& events, std::uint16_t keyCode, CGEventFlags flags) {
    const std::unique_ptr<KeyboardEventSource> source = events.createSource();
    if (!source) {
        return;
    }
    // Both events are made before either is posted; the flags are set even when they
    // are 0, so no modifier that is not in the pair reaches the application.
    std::optional<KeyboardEvent> keyDown = source->createKeyboardEvent(keyCode, true);
    if (keyDown) {
        keyDown->flags = flags;
    }
    std::optional<KeyboardEvent> keyUp = source->createKeyboardEvent(keyCode, false);
    if (keyUp) {
        keyUp->flags = flags;
    }
    if (keyDown) {
        source->post(*keyDown);
    }
    if (keyUp) {
        source->post(*keyUp);
    }
}

namespace {

void postEveryKey(KeyboardEvents& events, const KeyCodeSequence& sequence) {
    if (const KeyCodePair* pair = sequence.asSingle()) {
        postKey(events, pair->keyCode, pair->flags);
        return;
    }
    for (const KeyCodeSequence& element : *sequence.asMultiple()) {
        postEveryKey(events, element);
    }
}

}  // namespace

bool KeyboardEvents::postCommand(const KeyCodeSequence& keys, ShortcutConvention /*shortcuts*/) {
    postEveryKey(*this, keys);
    return true;
}

bool postKeyCodeSequence(KeyboardEvents& events, const KeyCodeSequence& sequence,
                         ShortcutConvention shortcuts) {
    return events.postCommand(sequence, shortcuts);
}

}  // namespace corvane
