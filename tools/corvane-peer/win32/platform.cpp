#include "platform.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <asio/post.hpp>
#include <cstdio>
#include <mutex>

#include "mdns_responder.h"
#include "network/mdns/win32/adapter_interfaces.h"

namespace corvane::peer {
namespace {

class ResponderAdvertisement final : public Advertisement {
  public:
    ResponderAdvertisement(asio::io_context& loop, ServiceToAdvertise service, Say say)
        : responder_(loop,
                     {std::move(service.name), std::move(service.type), service.port,
                      mdns::win32::listNetworkInterfaces, std::move(service.interfaces)},
                     std::move(say)) {}

  private:
    MdnsResponder responder_;
};

}  // namespace

std::unique_ptr<Advertisement> advertise(asio::io_context& loop, ServiceToAdvertise service,
                                         Say say) {
    return std::make_unique<ResponderAdvertisement>(loop, std::move(service), std::move(say));
}

const bool interfacesChoosable = true;

// Standard input cannot be waited for with the loop on Windows (a console or an anonymous
// pipe does not do overlapped reads), so a thread reads it and posts each line to the
// loop. When the reader goes, its blocking read is cancelled; Wine cannot cancel a read
// from a pipe, so the thread is waited for only a moment: one still reading holds nothing
// of the reader's and ends with the process.
class LineInput::Reader {
  public:
    Reader(asio::io_context& loop, std::function<void(const std::string&)> line)
        : shared_(std::make_shared<Shared>(&loop, std::move(line))) {
        auto* handed = new std::shared_ptr<Shared>(shared_);
        thread_ = CreateThread(nullptr, 0, &Reader::run, handed, 0, nullptr);
        if (thread_ == nullptr) {
            delete handed;
        }
    }

    ~Reader() {
        {
            const std::lock_guard lock(shared_->mutex);
            shared_->loop = nullptr;
        }
        if (thread_ == nullptr) {
            return;
        }
        // A read that starts just after a cancel is cancelled on the next round.
        for (int round = 0; round < 5 && WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT; ++round) {
            CancelSynchronousIo(thread_);
            WaitForSingleObject(thread_, 20);
        }
        CloseHandle(thread_);
    }

  private:
    // What the thread and the tasks it posts share with the reader: the loop, until the
    // reader goes.
    struct Shared {
        Shared(asio::io_context* to, std::function<void(const std::string&)> taker)
            : loop(to), take(std::move(taker)) {}
        std::mutex mutex;
        asio::io_context* loop;
        const std::function<void(const std::string&)> take;
    };

    static DWORD WINAPI run(void* handed) {
        const std::unique_ptr<std::shared_ptr<Shared>> shared(
            static_cast<std::shared_ptr<Shared>*>(handed));
        const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        std::string pending;
        char buffer[4096];
        DWORD count = 0;
        while (ReadFile(input, buffer, sizeof buffer, &count, nullptr) && count > 0) {
            pending.append(buffer, count);
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
                if (!post(*shared, pending.substr(0, end + 1))) {
                    return 0;
                }
                pending.erase(0, end + 1);
            }
        }
        if (!pending.empty()) {
            post(*shared, pending);
        }
        return 0;
    }

    // False once the reader has gone.
    static bool post(const std::shared_ptr<Shared>& shared, std::string text) {
        const std::lock_guard lock(shared->mutex);
        if (shared->loop == nullptr) {
            return false;
        }
        asio::post(*shared->loop, [shared, text = std::move(text)] {
            std::unique_lock stillThere(shared->mutex);
            if (shared->loop != nullptr) {
                stillThere.unlock();
                shared->take(text);
            }
        });
        return true;
    }

    const std::shared_ptr<Shared> shared_;
    HANDLE thread_ = nullptr;
};

LineInput::LineInput(asio::io_context& loop, std::function<void(const std::string&)> line)
    : reader_(std::make_unique<Reader>(loop, std::move(line))) {}

LineInput::~LineInput() = default;

void prepareStandardStreams() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

}  // namespace corvane::peer
