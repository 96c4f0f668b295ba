// corvane-client.exe as a user runs it, under Wine: alone, and end to end in a network in a
// box (tests/shell/win32/end_to_end), where it finds a peer on another host and types the
// peer's words into the Win32 key recorder in front.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>

#include "shell/win32/hidden_window.h"
#include "shell/win32/icon_images.h"
#include "shell/win32/program_log.h"
#include "support/wait_until.h"
#include "support/win32/key_recorder_process.h"

namespace corvane::win32 {
namespace {

using namespace std::chrono_literals;
using testing::waitUntil;

class Program {
  public:
    // The program CORVANE_CLIENT names (an installed one), else the one built here.
    explicit Program(const std::wstring& arguments) {
        const wchar_t* named = _wgetenv(L"CORVANE_CLIENT");
        const std::wstring path = named != nullptr ? named : CORVANE_CLIENT_PATH;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring commandLine = L"\"" + path + L"\" " + arguments;
        EXPECT_TRUE(CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                   nullptr, nullptr, &startup, &process_));
    }
    ~Program() {
        if (exitCode(0ms) == STILL_ACTIVE) {
            TerminateProcess(process_.hProcess, 99);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    // Its exit code once it has ended within `timeout`, else STILL_ACTIVE.
    DWORD exitCode(std::chrono::milliseconds timeout) const {
        WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout.count()));
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }
    // Its top-level window of `className` and `title` (any with null), once it has one.
    HWND window(const wchar_t* className, const wchar_t* title) const {
        HWND found = nullptr;
        waitUntil(
            [&] {
                for (found = nullptr; (found = FindWindowExW(nullptr, found, className, title));) {
                    DWORD owner = 0;
                    GetWindowThreadProcessId(found, &owner);
                    if (owner == process_.dwProcessId && (title || IsWindowVisible(found))) {
                        return true;
                    }
                }
                return false;
            },
            20s);
        return found;
    }

  private:
    PROCESS_INFORMATION process_{};
};

// The whole lines of `file` after its first `offset` bytes, each without its first `skipped`
// characters.
std::vector<std::string> linesOf(const std::filesystem::path& file, std::uintmax_t offset = 0,
                                 std::size_t skipped = 0) {
    std::ifstream in(file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line) && !in.eof();) {
        if (line.ends_with('\r')) {
            line.pop_back();
        }
        lines.push_back(line.substr(std::min(skipped, line.size())));
    }
    return lines;
}

// The lines the programs log from now on, without their "YYYY-MM-DD HH:MM:SS ".
std::function<std::vector<std::string>()> logFromNow() {
    std::error_code noLogYet;
    const std::uintmax_t size = std::filesystem::file_size(ProgramLog::defaultFile(), noLogYet);
    return
        [offset = noLogYet ? 0 : size] { return linesOf(ProgramLog::defaultFile(), offset, 20); };
}

TEST(Program, ALaterLaunchOpensTheRunningOnesAboutWindowAndTheSessionsEndEndsIt) {
    const auto logged = logFromNow();
    // On lo only: it looks for peers, and the test may run beside the machine's network.
    Program running(L"--interfaces=lo");
    // Made last at start-up.
    const HWND session = running.window(HiddenWindow::className(), L"Corvane Client session");
    ASSERT_NE(session, nullptr);

    EXPECT_EQ(Program(L"--interfaces=lo").exitCode(20s), 0U);
    const HWND about = running.window(L"CorvaneClientAbout", nullptr);
    EXPECT_NE(about, nullptr);

    DWORD_PTR answer = 0;
    SendMessageTimeoutW(session, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 20000,
                        &answer);
    EXPECT_EQ(running.exitCode(20s), 0U);

    const std::vector<std::string> lines = logged();
    for (const char* line :
         {"corvane-client: finding peers with the built-in multicast DNS browser on lo.",
          "corvane-client: already running; that one shows its About window."}) {
        EXPECT_NE(std::ranges::find(lines, line), lines.end()) << line;
    }
}

// The colours of a `width` x `height` image that `draw` paints, top row first, as 0xRRGGBB.
std::vector<std::uint32_t> image(int width, int height, const std::function<void(HDC)>& draw) {
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HDC dc = CreateCompatibleDC(nullptr);
    const HGDIOBJ before = SelectObject(dc, bitmap);
    draw(dc);
    GdiFlush();
    std::vector<std::uint32_t> colours(static_cast<const std::uint32_t*>(bits),
                                       static_cast<const std::uint32_t*>(bits) + width * height);
    for (std::uint32_t& colour : colours) {
        colour &= 0xFFFFFF;
    }
    SelectObject(dc, before);
    DeleteDC(dc);
    DeleteObject(bitmap);
    return colours;
}

// Whether the screen shows the program's icon, with the dot or without, in Wine's
// notification area (a window of its own where no desktop has one): the icon as the program
// makes it, drawn on the area's background, anywhere in the area.
bool trayShows(bool dot) {
    const HWND tray = FindWindowW(nullptr, L"Wine System Tray");
    RECT area{};
    POINT origin{};
    if (tray == nullptr || !GetClientRect(tray, &area) || !ClientToScreen(tray, &origin)) {
        return false;
    }
    // Wine draws a changed icon over the one before without clearing it: the area is drawn
    // afresh, as when it is uncovered.
    RedrawWindow(tray, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const int width = area.right, height = area.bottom, size = GetSystemMetrics(SM_CXSMICON);
    const std::vector<std::uint32_t> shown = image(width, height, [&](HDC dc) {
        const HDC screen = GetDC(nullptr);
        BitBlt(dc, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
        ReleaseDC(nullptr, screen);
    });
    const IconHandle icon = makeTrayIcon(size, dot);
    const std::vector<std::uint32_t> expected = image(size, size, [&](HDC dc) {
        const HBRUSH background =
            CreateSolidBrush(RGB(shown[0] >> 16, (shown[0] >> 8) & 0xFF, shown[0] & 0xFF));
        const RECT all{0, 0, size, size};
        FillRect(dc, &all, background);
        DeleteObject(background);
        DrawIconEx(dc, 0, 0, icon.get(), size, size, 0, nullptr, DI_NORMAL);
    });
    for (int top = 0; top + size <= height; ++top) {
        for (int left = 0; left + size <= width; ++left) {
            bool same = true;
            for (int y = 0; same && y < size; ++y) {
                same = std::equal(&expected[y * size], &expected[y * size] + size,
                                  &shown[(top + y) * width + left]);
            }
            if (same) {
                return true;
            }
        }
    }
    return false;
}

// corvane-peer on another host, started by the end-to-end test: it sends the words written
// to one file (CORVANE_PEER_WORDS) and writes its lines to another (CORVANE_PEER_LOG).
struct Peer {
    std::string words, log;

    void send(std::uint32_t word) const {
        char line[16];
        std::snprintf(line, sizeof line, "0x%08x\n", static_cast<unsigned>(word));
        std::ofstream(words, std::ios::app) << line << std::flush;
    }
    // The clients connected to it now, as its lines tell.
    int clients() const {
        int count = 0;
        for (const std::string& line : linesOf(log)) {
            count += line.starts_with("client connected")      ? 1
                     : line.starts_with("client disconnected") ? -1
                                                               : 0;
        }
        return count;
    }
};

// Connected, its icon has the dot; a posted suspend (Wine never sends one) closes the
// connection and takes the dot away, a posted resume brings both back. Then one recorder per
// program name: Sibelius gets Windows shortcuts (Ctrl+T is a character too, as is Escape),
// its key-downs listed with the modifiers held; Dorico gets characters, two commands in a
// row. Where nothing is to be typed, a second word shows that the first is over.
TEST(Program, FindsAPeerOnAnotherHostAndTypesItsWordsIntoTheProgramInFront) {
    const char* words = std::getenv("CORVANE_PEER_WORDS");
    const char* peerLog = std::getenv("CORVANE_PEER_LOG");
    if (words == nullptr || peerLog == nullptr) {
        GTEST_SKIP() << "needs a peer on another host: run by the test windows_end_to_end";
    }
    const Peer peer{words, peerLog};
    GraphicsSession graphics;
    Program program(L"--interfaces=eth0");
    const auto connected = [&](int clients) {
        return waitUntil([&] { return peer.clients() == clients; }, 20s, 10ms);
    };
    const auto iconHasDot = [](bool dot) {
        return waitUntil([&] { return trayShows(dot) && !trayShows(!dot); }, 10s);
    };
    ASSERT_TRUE(connected(1));
    EXPECT_TRUE(iconHasDot(true));
    const HWND power = program.window(HiddenWindow::className(), L"Corvane Client power");
    PostMessageW(power, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    EXPECT_TRUE(connected(0));
    EXPECT_TRUE(iconHasDot(false));
    PostMessageW(power, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ASSERT_TRUE(connected(1));
    EXPECT_TRUE(iconHasDot(true));

    constexpr std::uint32_t word = 0x10001249;  // positions 1, 2, 0, 1, 2, 0, 1
    const std::string sibelius =
        "Ctrl+0x54 Ctrl+Alt+0x67 Ctrl+Alt+0x68 Ctrl+Alt+0x69 Ctrl+Alt+0x6B Ctrl+Alt+0x67 "
        "Ctrl+Alt+0x68 Ctrl+Alt+0x69 Ctrl+Alt+0x67 0x1B 0x1B";
    const std::string dorico = "P-v^-v^-\r";
    const std::string doricoKeys = "Shift+0x50 0xBD 0x56 Shift+0x36 0xBD 0x56 Shift+0x36 0xBD 0x0D";
    const struct {
        std::wstring fileName;
        std::string id;
        int words;
        std::string keyDowns, characters;
    } cases[] = {
        {L"Sibelius.exe", "sibelius.exe", 1, sibelius, "\x14\x1b\x1b"},
        {L"Dorico9.exe", "dorico9.exe", 2, doricoKeys + " " + doricoKeys, dorico + dorico},
        {L"myapp.exe", "myapp.exe", 2, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        testing::KeyRecorderProcess recorder(c.fileName);
        ASSERT_TRUE(recorder.ready());
        const std::vector<std::string> expectedLines(c.words, "AppBundleId: " + c.id);
        const auto lines = logFromNow();
        for (int i = 0; i < c.words; ++i) {
            peer.send(word);
        }
        waitUntil([&] { return lines().size() >= expectedLines.size(); }, 20s, 10ms);
        // The keys of one command arrive together, behind the marker or before it.
        std::vector<testing::WindowsMessage> received;
        waitUntil(
            [&] {
                const testing::MessagesToMarker more = recorder.messagesReceived();
                received.insert(received.end(), more.messages.begin(), more.messages.end());
                return testing::keyDowns(received) == c.keyDowns;
            },
            10s);
        EXPECT_EQ(lines(), expectedLines);
        EXPECT_EQ(testing::keyDowns(received), c.keyDowns);
        EXPECT_EQ(testing::characters(received), c.characters);
    }
}

}  // namespace
}  // namespace corvane::win32
