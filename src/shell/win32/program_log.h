#pragma once

#include <windows.h>

#include <filesystem>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace corvane::win32 {

// The program's log on Windows: each line goes to a file (with the local time), to the
// debugger output, and to the console when the program was started from one or its output
// was redirected. write() may be called from any thread; stream() belongs to the main
// thread.
class ProgramLog {
  public:
    // The file under the user's local application data, "Corvane Client\corvane-client.log";
    // empty when Windows cannot say where that is.
    static std::filesystem::path defaultFile();

    // Appends to `file` (its folder is made if need be); a file grown past 1 MiB is kept
    // once as "<name>.old" and started afresh. Without a file the other outputs remain.
    explicit ProgramLog(const std::filesystem::path& file);
    ~ProgramLog();
    ProgramLog(const ProgramLog&) = delete;
    ProgramLog& operator=(const ProgramLog&) = delete;

    // One line, without its newline.
    void write(std::string_view line);
    // Whole lines written through it go to write().
    std::ostream& stream() { return stream_; }
    // `text` as it is, to the console or redirected output only; false without one.
    bool print(std::string_view text);
    // Whether lines reach a console or redirected output.
    bool hasConsole() const { return console_ != nullptr; }

  private:
    // Unbuffered, so that every character, the newline too, passes through overflow().
    class LineBuffer final : public std::streambuf {
      public:
        explicit LineBuffer(ProgramLog& log) : log_(log) {}

      protected:
        int_type overflow(int_type character) override;

      private:
        ProgramLog& log_;
        std::string line_;
    };

    void openConsole();
    void toConsole(std::string_view text);

    std::mutex mutex_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE console_ = nullptr;
    bool consoleIsTerminal_ = false;
    LineBuffer buffer_{*this};
    std::ostream stream_{&buffer_};
};

}  // namespace corvane::win32
