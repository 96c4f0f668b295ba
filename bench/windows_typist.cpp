// The Windows build's typing as a program for wine_command_bench: each line of its standard
// input, a command word in hex, is handled as corvane-client.exe handles a word, typed into
// the window in front with SendInput. Under Wine its input is a pipe of the Linux side's, so
// the benchmark times it from the same moments as the Linux build: the word given, and the
// key recorder's line read.

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "command/command_handler.h"
#include "command/win32/foreground_workspace.h"
#include "keystroke/win32/foreground_keyboard_layout_source.h"
#include "keystroke/win32/send_input_keyboard_events.h"

int main() {
    using namespace corvane;
    win32::ForegroundWorkspace workspace;
    win32::ForegroundKeyboardLayoutSource layouts;
    win32::SendInputKeyboardEvents events(layouts, std::cerr);
    // The AppBundleId lines are left out: the benchmark reads nothing from this program.
    std::ostringstream lines;
    CommandHandler handler(workspace, layouts, events, lines);
    _setmode(_fileno(stdout), _O_BINARY);  // lines end in \n, not \r\n
    std::cout << "ready" << std::endl;
    for (std::string word; std::getline(std::cin, word);) {
        handler.handleCommand(static_cast<std::uint32_t>(std::stoul(word, nullptr, 16)), [] {});
        lines.str("");
    }
    return 0;
}
