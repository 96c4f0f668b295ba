// corvane-client.exe as a user runs it, under Wine.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "shell/win32/hidden_window.h"
#include "shell/win32/program_log.h"
#include "support/wait_until.h"

namespace corvane::win32 {
namespace {

using namespace std::chrono_literals;

class Program {
  public:
    Program() {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        // On lo only: it looks for peers, and the test may run beside the machine's network.
        std::wstring commandLine = L"corvane-client.exe --interfaces=lo";
        EXPECT_TRUE(CreateProcessW(CORVANE_CLIENT_PATH, commandLine.data(), nullptr, nullptr, FALSE,
                                   0, nullptr, nullptr, &startup, &process_));
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
        testing::waitUntil(
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

TEST(Program, ALaterLaunchOpensTheRunningOnesAboutWindowAndTheSessionsEndEndsIt) {
    Program running;
    // Made last at start-up.
    const HWND session = running.window(HiddenWindow::className(), L"Corvane Client session");
    ASSERT_NE(session, nullptr);

    EXPECT_EQ(Program().exitCode(20s), 0U);
    const HWND about = running.window(L"CorvaneClientAbout", nullptr);
    ASSERT_NE(about, nullptr);
    RECT client{};
    GetClientRect(about, &client);
    EXPECT_EQ(client.right, 300);

    DWORD_PTR answer = 0;
    SendMessageTimeoutW(session, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 20000,
                        &answer);
    EXPECT_EQ(running.exitCode(20s), 0U);

    std::ifstream log(ProgramLog::defaultFile());
    std::stringstream lines;
    lines << log.rdbuf();
    for (const char* line :
         {"corvane-client: finding peers with the built-in multicast DNS browser on lo.",
          "corvane-client: already running; that one shows its About window."}) {
        EXPECT_NE(lines.str().find(line), std::string::npos) << lines.str();
    }
}

}  // namespace
}  // namespace corvane::win32
