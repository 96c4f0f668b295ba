#include "command/command_handler.h"

#include <optional>

#include "command/command_table.h"
#include "command/target_application.h"
#include "keystroke/key_resolution.h"

namespace corvane {

void CommandHandler::handleCommand(std::uint32_t commandWord, std::function<void()> done) {
    const std::optional<RunningApplication> application = workspace_.frontmostApplication();
    if (!application || !application->bundleIdentifier) {
        done();
        return;
    }
    const std::string& bundleIdentifier = *application->bundleIdentifier;
    // Flushed at once: the line is how a person or a script watching the program sees
    // which application each command met.
    output_ << "AppBundleId: " << bundleIdentifier << std::endl;

    const std::optional<TargetApplication> target = targetApplicationForBundle(bundleIdentifier);
    const std::optional<KeySequence> keys =
        target ? keySequenceForCommand(commandWord, target->family) : std::nullopt;
    if (!keys) {
        done();
        return;
    }
    // One look at the keyboard serves the whole command. Every key is resolved before the
    // first is posted: a command that cannot be typed whole types nothing.
    const KeyboardLayoutCommandScope oneLayout(layouts_);
    const std::optional<KeyCodeSequence> resolved = resolveKeySequence(layouts_, *keys);
    if (!resolved) {
        done();
        return;
    }
    events_.postCommand(*resolved, target->shortcuts, [done = std::move(done)](Posted) { done(); });
}

}  // namespace corvane
