#pragma once

#include <map>

#include "keystroke/main_thread_timer.h"
#include "shell/win32/hidden_window.h"

namespace corvane::win32 {

// The main-thread timer on the message loop of the thread that makes it: a task without a
// delay is a posted message, one with a delay a window timer (as precise as the system's
// clock, about 16 ms). Tasks run in menus and other modal loops too; those still waiting
// when the timer goes are dropped with its window.
class MessageLoopTimer final : public MainThreadTimer {
  public:
    MessageLoopTimer();
    void runAfter(std::chrono::milliseconds delay, std::function<void()> task) override;

  private:
    void run(UINT_PTR id);

    std::map<UINT_PTR, std::function<void()>> tasks_;
    UINT_PTR lastId_ = 0;
    HiddenWindow window_;
};

}  // namespace corvane::win32
