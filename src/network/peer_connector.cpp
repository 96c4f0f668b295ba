#include "network/peer_connector.h"

#include <algorithm>
#include <asio/error.hpp>
#include <asio/post.hpp>
#include <utility>

namespace corvane {
namespace {

// IPv6 first, then the families in turn, each in the order given: a family that fails
// quietly on the way costs one stagger, not the whole deadline.
std::vector<asio::ip::tcp::endpoint> alternateFamilies(
    const std::vector<asio::ip::tcp::endpoint>& endpoints) {
    std::vector<asio::ip::tcp::endpoint> v6;
    std::vector<asio::ip::tcp::endpoint> v4;
    for (const asio::ip::tcp::endpoint& endpoint : endpoints) {
        (endpoint.address().is_v6() ? v6 : v4).push_back(endpoint);
    }
    std::vector<asio::ip::tcp::endpoint> order;
    for (std::size_t i = 0; i < std::max(v6.size(), v4.size()); ++i) {
        for (const auto* family : {&v6, &v4}) {
            if (i < family->size()) {
                order.push_back((*family)[i]);
            }
        }
    }
    return order;
}

}  // namespace

struct PeerConnector::Attempt {
    Attempt(asio::io_context& loop, const asio::ip::tcp::endpoint& to)
        : socket(loop), deadline(loop), target(to) {}
    asio::ip::tcp::socket socket;
    asio::steady_timer deadline;
    asio::ip::tcp::endpoint target;
};

std::shared_ptr<PeerConnector> PeerConnector::start(asio::io_context& loop,
                                                    const std::vector<asio::ip::tcp::endpoint>& to,
                                                    Done done) {
    auto connector = std::make_shared<PeerConnector>(loop, std::move(done));
    connector->add(to);
    if (connector->queue_.empty()) {
        connector->finish({});
    }
    return connector;
}

PeerConnector::PeerConnector(asio::io_context& loop, Done done)
    : loop_(loop), done_(std::move(done)), stagger_(loop) {}

void PeerConnector::add(const std::vector<asio::ip::tcp::endpoint>& endpoints) {
    std::vector<asio::ip::tcp::endpoint> fresh;
    for (const asio::ip::tcp::endpoint& endpoint : endpoints) {
        if (std::ranges::find(queue_, endpoint) == queue_.end() &&
            std::ranges::find(fresh, endpoint) == fresh.end()) {
            fresh.push_back(endpoint);
        }
    }
    std::ranges::copy(alternateFamilies(fresh), std::back_inserter(queue_));
    if (!finished_ && !staggering_ && !fresh.empty()) {
        startAttempt();
    }
}

void PeerConnector::startAttempt() {
    while (!finished_ && !outOfResources_ && next_ < queue_.size()) {
        const auto attempt = std::make_shared<Attempt>(loop_, queue_[next_++]);
        std::error_code error;
        attempt->socket.open(attempt->target.protocol(), error);
        if (error == asio::error::address_family_not_supported) {
            continue;  // this host has no such family: the next address, at once
        }
        if (error) {
            // Out of descriptors or memory: attempts under way may still connect.
            outOfResources_ = true;
            break;
        }
        attempts_.push_back(attempt);
        attempt->deadline.expires_after(attemptDeadline);
        // Closing the socket ends the connect with an error.
        attempt->deadline.async_wait([weak = std::weak_ptr(attempt)](const std::error_code& e) {
            if (const auto late = weak.lock(); late && !e) {
                std::error_code ignored;
                late->socket.close(ignored);
            }
        });
        attempt->socket.async_connect(
            attempt->target, [self = shared_from_this(), attempt](const std::error_code& e) {
                self->attemptEnded(attempt, e);
            });
        scheduleNext();
        return;
    }
    if (attempts_.empty() && !finished_) {
        finish({std::nullopt, {}, outOfResources_});
    }
}

void PeerConnector::scheduleNext() {
    if (next_ == queue_.size()) {
        return;
    }
    staggering_ = true;
    stagger_.expires_after(attemptStagger);
    stagger_.async_wait(
        [self = shared_from_this(), generation = ++staggerGeneration_](const std::error_code& e) {
            if (!e && generation == self->staggerGeneration_) {
                self->staggering_ = false;
                self->startAttempt();
            }
        });
}

void PeerConnector::attemptEnded(const std::shared_ptr<Attempt>& attempt,
                                 const std::error_code& error) {
    const auto found = std::ranges::find(attempts_, attempt);
    if (found == attempts_.end()) {
        return;  // cancelled: another attempt won, or the connector was cancelled
    }
    attempts_.erase(found);
    attempt->deadline.cancel();
    // A deadline that closed the socket just as it connected counts as failed.
    if (error || !attempt->socket.is_open()) {
        ++staggerGeneration_;
        staggering_ = false;
        stagger_.cancel();
        startAttempt();
        return;
    }
    Outcome outcome{std::move(attempt->socket), attempt->target, false};
    endAttempts();
    finish(std::move(outcome));
}

void PeerConnector::endAttempts() {
    ++staggerGeneration_;
    stagger_.cancel();
    for (const std::shared_ptr<Attempt>& attempt : std::exchange(attempts_, {})) {
        std::error_code ignored;
        attempt->deadline.cancel();
        attempt->socket.close(ignored);
    }
}

void PeerConnector::cancel() {
    finished_ = true;
    done_ = nullptr;
    endAttempts();
}

void PeerConnector::finish(Outcome outcome) {
    finished_ = true;
    asio::post(loop_, [self = shared_from_this(), outcome = std::move(outcome)]() mutable {
        if (self->done_) {
            std::exchange(self->done_, nullptr)(std::move(outcome));
        }
    });
}

}  // namespace corvane
