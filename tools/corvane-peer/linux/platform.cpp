#include "platform.h"

#include <unistd.h>

#include <asio/posix/stream_descriptor.hpp>
#include <asio/read_until.hpp>
#include <asio/streambuf.hpp>
#include <csignal>

#include "linux/service_publisher.h"

namespace corvane::peer {
namespace {

class AvahiAdvertisement final : public Advertisement {
  public:
    AvahiAdvertisement(asio::io_context& loop, const ServiceToAdvertise& service, Say say)
        : publisher_(loop, service.name, service.type, service.port, service.ttl, std::move(say)) {}

  private:
    ServicePublisher publisher_;
};

}  // namespace

std::unique_ptr<Advertisement> advertise(asio::io_context& loop, ServiceToAdvertise service,
                                         Say say) {
    return std::make_unique<AvahiAdvertisement>(loop, service, std::move(say));
}

const bool interfacesChoosable = false;

class LineInput::Reader {
  public:
    Reader(asio::io_context& loop, std::function<void(const std::string&)> line)
        : input_(loop, ::dup(STDIN_FILENO)), line_(std::move(line)) {
        readLine();
    }

  private:
    void readLine() {
        asio::async_read_until(input_, buffer_, '\n',
                               [this](const std::error_code& error, std::size_t count) {
                                   if (error == asio::error::operation_aborted) {
                                       return;
                                   }
                                   // At the end, what is left without a newline.
                                   const std::size_t size = error ? buffer_.size() : count;
                                   const auto begin = asio::buffers_begin(buffer_.data());
                                   if (size > 0) {
                                       line_(std::string(begin, begin + size));
                                   }
                                   buffer_.consume(size);
                                   if (!error) {
                                       readLine();
                                   }
                               });
    }

    asio::posix::stream_descriptor input_;
    asio::streambuf buffer_;
    std::function<void(const std::string&)> line_;
};

LineInput::LineInput(asio::io_context& loop, std::function<void(const std::string&)> line)
    : reader_(std::make_unique<Reader>(loop, std::move(line))) {}

LineInput::~LineInput() = default;

void prepareStandardStreams() {
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace corvane::peer
