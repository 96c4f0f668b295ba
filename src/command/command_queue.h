#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>

#include "command/command_handler.h"
#include "keystroke/main_thread_timer.h"

namespace corvane {

// The commands waiting to be typed. They are handled one at a time, strictly in the order
// they came and each whole: a command starts only once the one before it is over, pauses
// included, and the frontmost application is looked at when its turn comes. Between two
// commands the main loop runs, so a burst never holds the main thread up.
//
// Each word comes with a hold (the network client's receipt), kept while the word waits
// and let go once it has been handled. The client reads on from a peer only as its words'
// receipts are let go, so the backlog is bounded by what the client lets a peer have
// outstanding; a peer beyond that waits, with its words in TCP's hands, and nothing is lost
// or typed in part. Main thread only.
class CommandQueue {
  public:
    CommandQueue(CommandHandler& handler, MainThreadTimer& timer)
        : handler_(handler), timer_(timer) {}
    CommandQueue(const CommandQueue&) = delete;
    CommandQueue& operator=(const CommandQueue&) = delete;

    // Queues `word` behind every word waiting.
    void add(std::uint32_t word, std::shared_ptr<void> hold);
    // The words not yet over, the one under way included.
    std::size_t size() const { return waiting_.size(); }

  private:
    struct Word {
        std::uint32_t value;
        std::shared_ptr<void> hold;
    };
    // Hands the first word to the handler.
    void startNext();
    // The first word is over; the next starts from the main loop.
    void finished();

    CommandHandler& handler_;
    MainThreadTimer& timer_;
    std::deque<Word> waiting_;
    // Whether the first word is under way, or its start is on the timer.
    bool busy_ = false;
    // Tasks left on the timer and completions still to come see through it whether this
    // object still exists.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>();
};

}  // namespace corvane
