#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>
#include <vector>

#include "keystroke/keyboard_events.h"

namespace corvane::testing {

// Records every posted event and each command's shortcut convention; can be told to fail
// source or event creation.
class RecordingKeyboardEvents final : public KeyboardEvents {
  public:
    std::vector<KeyboardEvent> posted;
    // Source creations (counted from 1) that fail.
    std::vector<int> failingSources;
    // Fail every key-up (true) or key-down (false) event creation.
    std::optional<bool> failingDirectionIsUp;
    // The shortcut convention of each command posted.
    std::vector<ShortcutConvention> conventions;

    // The posted presses as key pairs, checking that each is exactly a key-down then a
    // key-up of the same key with the same flags.
    std::vector<KeyCodePair> presses() const {
        std::vector<KeyCodePair> result;
        EXPECT_EQ(posted.size() % 2, 0U);
        for (std::size_t i = 0; i + 1 < posted.size(); i += 2) {
            const KeyboardEvent& down = posted[i];
            const KeyboardEvent& up = posted[i + 1];
            EXPECT_TRUE(down.keyDown && !up.keyDown);
            EXPECT_EQ(down.keyCode, up.keyCode);
            EXPECT_EQ(down.flags, up.flags);
            result.push_back({down.keyCode, down.flags});
        }
        return result;
    }

    std::unique_ptr<KeyboardEventSource> createSource() override {
        ++sourcesCreated_;
        for (int failing : failingSources) {
            if (failing == sourcesCreated_) {
                return nullptr;
            }
        }
        return std::make_unique<Source>(*this);
    }

    bool postCommand(const KeyCodeSequence& keys, ShortcutConvention shortcuts) override {
        conventions.push_back(shortcuts);
        return KeyboardEvents::postCommand(keys, shortcuts);
    }

  private:
    class Source final : public KeyboardEventSource {
      public:
        explicit Source(RecordingKeyboardEvents& owner) : owner_(owner) {}
        std::optional<KeyboardEvent> createKeyboardEvent(std::uint16_t keyCode,
                                                         bool keyDown) override {
            if (owner_.failingDirectionIsUp && *owner_.failingDirectionIsUp == !keyDown) {
                return std::nullopt;
            }
            // A fresh event carries stray flags, so a poster that forgets to set them shows.
            return KeyboardEvent{keyCode, keyDown, 0xFFFF'0000'0000'0000};
        }
        void post(const KeyboardEvent& event) override { owner_.posted.push_back(event); }

      private:
        RecordingKeyboardEvents& owner_;
    };

    int sourcesCreated_ = 0;
};

}  // namespace corvane::testing

namespace corvane {
inline void PrintTo(const KeyCodePair& pair, std::ostream* out) {
    *out << std::hex << "{0x" << pair.keyCode << ", 0x" << pair.flags << "}";
}
}  // namespace corvane
