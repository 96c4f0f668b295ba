// A whole Dorico command on a real X server (a private Xvfb): the frontmost window's id,
// the layout from the server, the characters looked up, every key posted through XTest.
// Each repetition times one command, so the aggregates are its median and 99th
// percentile: once with the keymap kept between commands, once with the layout switched
// (setxkbmap, not timed) before every command.

#include <benchmark/benchmark.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "command/command_handler.h"
#include "command/x11/x11_workspace.h"
#include "keystroke/x11/x11_keyboard_events.h"
#include "keystroke/x11/x11_keyboard_layout_source.h"
#include "support/xvfb_server.h"
#include "x11/x11_connection.h"

namespace corvane {
namespace {

constexpr std::uint32_t doricoWord = 0x10000005;

// Xvfb with a focused Dorico window that listens to no keys, and the X11 services.
struct Desktop {
    Desktop() {
        if (!server.running()) {
            return;
        }
        window = xcb_connect(server.display().c_str(), nullptr);
        xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(window)).data->root;
        const xcb_window_t id = xcb_generate_id(window);
        xcb_create_window(window, XCB_COPY_FROM_PARENT, id, root, 0, 0, 100, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        const std::string wmClass("dorico\0com.steinberg.dorico9\0", 29);
        xcb_change_property(window, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
                            8, static_cast<std::uint32_t>(wmClass.size()), wmClass.data());
        xcb_map_window(window, id);
        xcb_set_input_focus(window, XCB_INPUT_FOCUS_POINTER_ROOT, id, XCB_CURRENT_TIME);
        std::free(xcb_get_input_focus_reply(window, xcb_get_input_focus(window), nullptr));

        connection = std::make_unique<x11::X11Connection>(server.display());
        layouts = std::make_unique<x11::X11KeyboardLayoutSource>(*connection);
        events = std::make_unique<x11::X11KeyboardEvents>(*connection, *layouts);
        workspace = std::make_unique<x11::X11Workspace>(*connection);
        handler = std::make_unique<CommandHandler>(*workspace, *layouts, *events, output);
    }
    ~Desktop() {
        if (window != nullptr) {
            xcb_disconnect(window);
        }
    }

    bool ready() const { return handler != nullptr; }

    testing::XvfbServer server;
    xcb_connection_t* window = nullptr;
    std::ostringstream output;
    std::unique_ptr<x11::X11Connection> connection;
    std::unique_ptr<x11::X11KeyboardLayoutSource> layouts;
    std::unique_ptr<x11::X11KeyboardEvents> events;
    std::unique_ptr<x11::X11Workspace> workspace;
    std::unique_ptr<CommandHandler> handler;
};

Desktop& desktop() {
    static Desktop instance;
    return instance;
}

double percentile99(const std::vector<double>& values) {
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const auto index = static_cast<std::size_t>(0.99 * static_cast<double>(sorted.size() - 1));
    return sorted[index];
}

void timeOneCommand(benchmark::State& state, Desktop& x) {
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        x.handler->handleCommand(doricoWord);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(elapsed.count());
        x.output.str("");
    }
}

void doricoCommandWithCachedLayout(benchmark::State& state) {
    Desktop& x = desktop();
    if (!x.ready()) {
        state.SkipWithError("no Xvfb");
        return;
    }
    // Each repetition runs this function again: the layout is set and read only once.
    static const bool prepared = [&x] {
        x.server.run({"setxkbmap", "us"});
        x.handler->handleCommand(doricoWord);
        return true;
    }();
    benchmark::DoNotOptimize(prepared);
    timeOneCommand(state, x);
}

void doricoCommandAfterLayoutChange(benchmark::State& state) {
    Desktop& x = desktop();
    if (!x.ready()) {
        state.SkipWithError("no Xvfb");
        return;
    }
    static bool french = false;
    french = !french;
    x.server.run({"setxkbmap", french ? "fr" : "us"});
    timeOneCommand(state, x);
}

// One command per repetition; the aggregates are over the repetitions.
void oneCommandPerRepetition(benchmark::internal::Benchmark* benchmark) {
    benchmark->Iterations(1)
        ->ReportAggregatesOnly(true)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond)
        ->ComputeStatistics("p99", percentile99);
}

BENCHMARK(doricoCommandWithCachedLayout)->Apply(oneCommandPerRepetition)->Repetitions(500);
BENCHMARK(doricoCommandAfterLayoutChange)->Apply(oneCommandPerRepetition)->Repetitions(100);

}  // namespace
}  // namespace corvane

BENCHMARK_MAIN();
