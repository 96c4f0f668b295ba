#include "keystroke/win32/send_input_keyboard_events.h"

#include <vector>

namespace corvane::win32 {

UserKeyboard WindowsInputSystem::userKeyboard() {
    bool held = false;
    for (const int key : {VK_SHIFT, VK_CONTROL, VK_MENU, VK_LWIN, VK_RWIN}) {
        held = held || (GetAsyncKeyState(key) & 0x8000) != 0;
    }
    // This thread reads no keyboard input of its own, so its key state follows the system's,
    // locks included.
    return {held, (GetKeyState(VK_CAPITAL) & 0x0001) != 0};
}

unsigned WindowsInputSystem::send(std::span<INPUT> inputs) {
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void SendInputKeyboardEvents::postCommand(const KeyCodeSequence& keys, ShortcutConvention shortcuts,
                                          Done done) {
    const Posted posted = type(keys, shortcuts);
    if (done) {
        done(posted);
    }
}

Posted SendInputKeyboardEvents::type(const KeyCodeSequence& keys, ShortcutConvention shortcuts) {
    InputPlan plan;
    {
        // The command handler's look, or one of this command's own.
        const KeyboardLayoutCommandScope oneLook(layouts_);
        const std::shared_ptr<WindowsKeyboardLayout> layout = layouts_.currentWindowsLayout();
        if (!layout) {
            diagnostics_ << "A command was not typed: the keyboard layout of the window in front "
                            "cannot be read."
                         << std::endl;
            return Posted::none;
        }
        std::vector<KeyCodePair> pairs;
        appendItemsInOrder(keys, pairs);
        plan = planInputs(pairs, shortcuts, *layout, system_->userKeyboard());
    }
    if (plan.refusal != nullptr) {
        diagnostics_ << plan.refusal << std::endl;
        return Posted::none;
    }
    const std::size_t accepted = system_->send(plan.inputs);
    if (accepted == plan.inputs.size()) {
        return Posted::all;
    }
    if (accepted == 0) {
        diagnostics_ << "A command was not typed: Windows did not take its keys (the window in "
                        "front may run with higher rights, as an administrator's does)."
                     << std::endl;
        return Posted::none;
    }
    std::vector<INPUT> undo = inputsToUndo(plan.inputs, accepted);
    system_->send(undo);
    diagnostics_ << "A command was typed only in part: Windows took " << accepted << " of its "
                 << plan.inputs.size() << " key events; the keys left down were let go of."
                 << std::endl;
    return Posted::broken;
}

}  // namespace corvane::win32
