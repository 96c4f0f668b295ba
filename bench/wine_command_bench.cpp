// A whole command into a Windows program under Wine, as Sibelius and Dorico run on Linux:
// from the handler's call (a word's arrival) to the moment the Win32 key recorder logs the
// command's last key-down. Each repetition times one command; the aggregates are its median
// and 99th percentile. Needs the Wine prefix the tests make (ctest -L wine), else makes it.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <sstream>
#include <string>

#include "command/command_handler.h"
#include "command/x11/x11_workspace.h"
#include "keystroke/x11/x11_keyboard_events.h"
#include "keystroke/x11/x11_keyboard_layout_source.h"
#include "one_command_per_repetition.h"
#include "support/wine_recorder.h"
#include "x11/x11_connection.h"

namespace corvane {
namespace {

constexpr std::uint32_t word = 0x10001249;

// Xvfb with openbox, the X11 services and a handler; one recorder at a time, since ending
// one ends the prefix's wineserver.
struct Desktop {
    Desktop()
        : windowManager(server),
          connection(server.display()),
          layouts(connection),
          events(connection, layouts),
          workspace(connection),
          handler(workspace, layouts, events, output) {}

    bool use(const std::string& fileName) {
        recorder.reset();
        recorder = std::make_unique<testing::WineRecorder>(server, fileName);
        return recorder->ready();
    }

    testing::XvfbServer server;
    testing::WindowManager windowManager;
    x11::X11Connection connection;
    x11::X11KeyboardLayoutSource layouts;
    x11::X11KeyboardEvents events;
    x11::X11Workspace workspace;
    std::ostringstream output;
    CommandHandler handler;
    std::unique_ptr<testing::WineRecorder> recorder;
};

Desktop& desktop() {
    static Desktop instance;
    return instance;
}

// `lastKey` is the virtual key of the command's last key-down, `count` how often it goes down.
void timeCommands(benchmark::State& state, const std::string& fileName, unsigned lastKey,
                  int count) {
    Desktop& x = desktop();
    static std::string running;
    if (running != fileName && !(x.windowManager.running() && x.use(fileName))) {
        state.SkipWithError("no Wine window with the focus");
        return;
    }
    running = fileName;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        x.handler.handleCommand(word);
        int seen = 0;
        while (seen < count) {
            const std::optional<testing::WindowsMessage> message =
                x.recorder->nextMessage(std::chrono::seconds(10));
            if (!message) {
                state.SkipWithError("the last key-down did not come");
                return;
            }
            seen += message->name.ends_with("KEYDOWN") && message->wparam == lastKey;
        }
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(elapsed.count());
        x.recorder->messagesReceived(x.connection.get());  // the releases after it
        x.output.str("");
    }
}

void doricoUnderWine(benchmark::State& state) {
    timeCommands(state, "Dorico9.exe", 0x0D, 1);
}
void sibeliusUnderWine(benchmark::State& state) {
    timeCommands(state, "sibelius.exe", 0x1B, 2);
}

BENCHMARK(doricoUnderWine)
    ->Apply(bench::oneCommandPerRepetition)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(50);
BENCHMARK(sibeliusUnderWine)
    ->Apply(bench::oneCommandPerRepetition)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(50);

}  // namespace
}  // namespace corvane

BENCHMARK_MAIN();
