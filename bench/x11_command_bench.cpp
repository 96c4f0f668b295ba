// A whole command on a real X server (a private Xvfb): the frontmost window's id, the
// layout from the server, the characters looked up, every key posted through XTest.
// Each repetition times one command, so the aggregates are its median and 99th
// percentile: Dorico and Sibelius with the keymap kept between commands, Dorico with the
// layout switched (setxkbmap, not timed) before every command. The round trips a
// command waits for are counted on a second set of services that talks to the server
// through a counting relay.

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
#include "one_command_per_repetition.h"
#include "support/asio_main_thread_timer.h"
#include "support/xvfb_server.h"
#include "x11/x11_connection.h"
#include "x11_round_trip_counter.h"

namespace corvane {
namespace {

constexpr std::uint32_t doricoWord = 0x10000005;
constexpr std::uint32_t sibeliusWord = 0x10000000;

// The X11 services and a command handler on one display. None of the commands timed
// pauses: each is over within the handler's call.
struct Services {
    explicit Services(const std::string& display)
        : connection(display),
          layouts(connection),
          events(connection, layouts, timer),
          workspace(connection),
          handler(workspace, layouts, events, output) {}

    void handle(std::uint32_t word) {
        handler.handleCommand(word, [] {});
    }

    asio::io_context loop;
    testing::AsioMainThreadTimer timer{loop};
    std::ostringstream output;
    x11::X11Connection connection;
    x11::X11KeyboardLayoutSource layouts;
    x11::X11KeyboardEvents events;
    x11::X11Workspace workspace;
    CommandHandler handler;
};

// Xvfb with a focused window that listens to no keys and claims to be the application
// of the command, and the services.
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
        windowId = id;
        xcb_map_window(window, id);
        xcb_set_input_focus(window, XCB_INPUT_FOCUS_POINTER_ROOT, id, XCB_CURRENT_TIME);
        claim("com.steinberg.dorico9");
        services = std::make_unique<Services>(server.display());
        if (!counter.display().empty()) {
            counted = std::make_unique<Services>(counter.display());
        }
    }
    ~Desktop() {
        if (window != nullptr) {
            xcb_disconnect(window);
        }
    }

    bool ready() const { return services != nullptr && counted != nullptr; }

    // Makes the window the application with id `id`, as the class of its WM_CLASS.
    void claim(const std::string& id) {
        const std::string wmClass = id + '\0' + id + '\0';
        xcb_change_property(window, XCB_PROP_MODE_REPLACE, windowId, XCB_ATOM_WM_CLASS,
                            XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(wmClass.size()),
                            wmClass.data());
        std::free(xcb_get_input_focus_reply(window, xcb_get_input_focus(window), nullptr));
    }

    testing::XvfbServer server;
    bench::X11RoundTripCounter counter{server.display()};
    xcb_connection_t* window = nullptr;
    xcb_window_t windowId = 0;
    std::unique_ptr<Services> services;
    std::unique_ptr<Services> counted;
};

Desktop& desktop() {
    static Desktop instance;
    return instance;
}

// Times one command, and counts the round trips the same command waits for.
void timeOneCommand(benchmark::State& state, Desktop& x, const std::string& id,
                    std::uint32_t word) {
    x.claim(id);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        x.services->handle(word);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(elapsed.count());
        x.services->output.str("");
    }
    const std::uint64_t before = x.counter.roundTrips();
    x.counted->handle(word);
    state.counters["round_trips"] = static_cast<double>(x.counter.roundTrips() - before);
    x.counted->output.str("");
}

// The keymap is read once, before the first repetition.
void withCachedLayout(benchmark::State& state, const std::string& id, std::uint32_t word) {
    Desktop& x = desktop();
    if (!x.ready()) {
        state.SkipWithError("no Xvfb");
        return;
    }
    static const bool prepared = [&x] {
        x.server.run({"setxkbmap", "us"});
        x.services->handle(doricoWord);
        x.counted->handle(doricoWord);
        return true;
    }();
    benchmark::DoNotOptimize(prepared);
    timeOneCommand(state, x, id, word);
}

void doricoCommandWithCachedLayout(benchmark::State& state) {
    withCachedLayout(state, "com.steinberg.dorico9", doricoWord);
}
void sibeliusCommandWithCachedLayout(benchmark::State& state) {
    withCachedLayout(state, "com.avid.sibelius", sibeliusWord);
}
// Control+Alt, and Shift locked around keypad plus.
void sibeliusUnderWineWithCachedLayout(benchmark::State& state) {
    withCachedLayout(state, "sibelius.exe", sibeliusWord);
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
    timeOneCommand(state, x, "com.steinberg.dorico9", doricoWord);
}

BENCHMARK(doricoCommandWithCachedLayout)
    ->Apply(bench::oneCommandPerRepetition)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(500);
BENCHMARK(sibeliusCommandWithCachedLayout)
    ->Apply(bench::oneCommandPerRepetition)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(500);
BENCHMARK(sibeliusUnderWineWithCachedLayout)
    ->Apply(bench::oneCommandPerRepetition)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(500);
BENCHMARK(doricoCommandAfterLayoutChange)
    ->Apply(bench::oneCommandPerRepetition)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(100);

}  // namespace
}  // namespace corvane

BENCHMARK_MAIN();
