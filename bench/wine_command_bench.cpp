// Commands into a Windows program under Wine, as Sibelius and Dorico run on Linux. Needs
// the Wine prefix the tests make (ctest -L wine), else makes it.
//
// doricoUnderWine, sibeliusUnderWine: from the handler's call (a word's arrival) to the
// moment the Win32 key recorder logs the command's last key-down. Each repetition times one
// command; the aggregates are its median and 99th percentile. The ...FromWindowsBuild
// counterparts time the Windows build typing with SendInput into the same recorder, from the
// word written to its typist (build-windows/bench/windows_typist.exe, run under Wine beside
// the recorder; set CORVANE_WINDOWS_TYPIST to it, else they are skipped).
//
// mainLoopDuringCaretBurst: 100 words of seven carets queued at once for Dorico on "fr",
// where every caret has the third level's pauses. Meanwhile a probe on the main loop asks
// to run every millisecond; worst_latency_ms is the longest it had to wait beyond its time,
// burst_s how long the burst took.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "command/command_queue.h"
#include "command/x11/x11_workspace.h"
#include "keystroke/x11/x11_keyboard_events.h"
#include "keystroke/x11/x11_keyboard_layout_source.h"
#include "one_command_per_repetition.h"
#include "support/asio_loop.h"
#include "support/asio_main_thread_timer.h"
#include "support/wine_recorder.h"
#include "x11/x11_connection.h"

namespace corvane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t word = 0x10001249;
constexpr std::uint32_t allCaretsWord = 0x10000000;

// Xvfb with openbox, the X11 services, a handler and its queue on a main loop; one recorder
// at a time, since ending one ends the prefix's wineserver.
struct Desktop {
    Desktop()
        : windowManager(server),
          connection(server.display()),
          layouts(connection),
          events(connection, layouts, timer),
          workspace(connection),
          handler(workspace, layouts, events, output) {}

    bool use(const std::string& fileName, const std::string& layout) {
        if (fileName == running && layout == runningLayout) {
            return true;
        }
        windowsTypist.reset();  // before the recorder, whose end ends the Wine server
        recorder.reset();
        running = fileName;
        runningLayout = layout;
        recorder = std::make_unique<testing::WineRecorder>(server, fileName);
        return windowManager.running() && server.run({"setxkbmap", layout}) && recorder->ready();
    }

    testing::XvfbServer server;
    testing::WindowManager windowManager;
    asio::io_context loop;
    asio::executor_work_guard<asio::io_context::executor_type> work = asio::make_work_guard(loop);
    testing::AsioMainThreadTimer timer{loop};
    x11::X11Connection connection;
    x11::X11KeyboardLayoutSource layouts;
    x11::X11KeyboardEvents events;
    x11::X11Workspace workspace;
    std::ostringstream output;
    CommandHandler handler;
    std::unique_ptr<testing::WineRecorder> recorder;
    std::unique_ptr<testing::ChildProcess> windowsTypist;
    std::string running, runningLayout;
};

// The Windows build's typist beside the recorder, once it reads words; null without one.
testing::ChildProcess* windowsTypist(Desktop& x) {
    const char* path = std::getenv("CORVANE_WINDOWS_TYPIST");
    if (x.windowsTypist == nullptr && path != nullptr) {
        x.windowsTypist = std::make_unique<testing::ChildProcess>(
            std::vector<std::string>{"wine", path}, x.recorder->environment(),
            testing::ChildProcess::Output::lines, testing::ChildProcess::Input::written);
        if (x.windowsTypist->readLine(std::chrono::seconds(60)) != "ready") {
            x.windowsTypist.reset();
        }
    }
    return x.windowsTypist.get();
}

Desktop& desktop() {
    static Desktop instance;
    return instance;
}

// `lastKey` is the virtual key of the command's last key-down, `count` how often it goes down.
// With `windowsBuild` the Windows build's typist types the words.
void timeCommands(benchmark::State& state, const std::string& fileName, unsigned lastKey, int count,
                  bool windowsBuild = false) {
    Desktop& x = desktop();
    if (!x.use(fileName, "us")) {
        state.SkipWithError("no Wine window with the focus");
        return;
    }
    testing::ChildProcess* typist = windowsBuild ? windowsTypist(x) : nullptr;
    if (windowsBuild && typist == nullptr) {
        state.SkipWithError("no Windows typist (CORVANE_WINDOWS_TYPIST)");
        return;
    }
    std::ostringstream hex;
    hex << std::hex << "0x" << word << "\n";
    for (auto _ : state) {
        const auto start = Clock::now();
        if (typist != nullptr) {
            typist->write(hex.str());
        } else {
            bool over = false;
            x.handler.handleCommand(word, [&over] { over = true; });
            testing::runLoopUntil(
                x.loop, [&over] { return over; }, std::chrono::seconds(10));
        }
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
        const std::chrono::duration<double> elapsed = Clock::now() - start;
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
void doricoUnderWineFromWindowsBuild(benchmark::State& state) {
    timeCommands(state, "Dorico9.exe", 0x0D, 1, true);
}
void sibeliusUnderWineFromWindowsBuild(benchmark::State& state) {
    timeCommands(state, "sibelius.exe", 0x1B, 2, true);
}

// Asks to run every millisecond and keeps the longest wait beyond the time asked for.
class LatencyProbe {
  public:
    explicit LatencyProbe(asio::io_context& loop) : timer_(loop) { schedule(); }
    Clock::duration worst() const { return worst_; }

  private:
    void schedule() {
        timer_.expires_at(Clock::now() + std::chrono::milliseconds(1));
        timer_.async_wait([this](const std::error_code& error) {
            if (!error) {
                worst_ = std::max(worst_, Clock::now() - timer_.expiry());
                schedule();
            }
        });
    }
    asio::steady_timer timer_;
    Clock::duration worst_{};
};

void mainLoopDuringCaretBurst(benchmark::State& state) {
    Desktop& x = desktop();
    if (!x.use("Dorico9.exe", "fr")) {
        state.SkipWithError("no Wine window with the focus");
        return;
    }
    constexpr int words = 100;
    for (auto _ : state) {
        // The recorder's output is read on a thread of its own, so the program under Wine
        // never waits for a full pipe: the burst is over once the last Return has come.
        std::thread reader([&x] {
            for (int returns = 0; returns < words;) {
                const std::optional<testing::WindowsMessage> message =
                    x.recorder->nextMessage(std::chrono::seconds(30));
                if (!message) {
                    return;
                }
                returns += message->name == "WM_CHAR" && message->wparam == '\r';
            }
        });
        CommandQueue queue(x.handler, x.timer);
        const auto start = Clock::now();
        auto probe = std::make_unique<LatencyProbe>(x.loop);
        for (int i = 0; i < words; ++i) {
            queue.add(allCaretsWord, nullptr);
        }
        const bool finished = testing::runLoopUntil(
            x.loop, [&queue] { return queue.size() == 0; }, std::chrono::minutes(2));
        const std::chrono::duration<double> burst = Clock::now() - start;
        const std::chrono::duration<double, std::milli> worst = probe->worst();
        probe.reset();
        reader.join();
        if (!finished) {
            state.SkipWithError("the burst did not end");
            return;
        }
        state.SetIterationTime(burst.count());
        state.counters["worst_latency_ms"] = worst.count();
        state.counters["burst_s"] = burst.count();
        x.recorder->messagesReceived(x.connection.get());
        x.output.str("");
    }
}

BENCHMARK(doricoUnderWine)
    ->Apply(bench::oneCommandPerRepetition)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(50);
BENCHMARK(sibeliusUnderWine)
    ->Apply(bench::oneCommandPerRepetition)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(50);
BENCHMARK(doricoUnderWineFromWindowsBuild)
    ->Apply(bench::oneCommandPerRepetition)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(50);
BENCHMARK(sibeliusUnderWineFromWindowsBuild)
    ->Apply(bench::oneCommandPerRepetition)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(50);
BENCHMARK(mainLoopDuringCaretBurst)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace corvane

BENCHMARK_MAIN();
