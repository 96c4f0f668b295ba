#pragma once

// A client on a scripted discovery, with the test thread as its main thread.

#include "network/client_fixture.h"
#include "support/loopback_peer.h"
#include "support/scripted_discovery.h"

namespace corvane::testing {

using namespace std::chrono_literals;
using Words = std::vector<std::uint32_t>;
using Endpoints = std::vector<asio::ip::tcp::endpoint>;

// A client on a scripted discovery, trying peers again after 10 to 40 ms; it and its
// discovery are gone by the end of the test.
class ClientTest : public ClientFixture<> {
  protected:
    void TearDown() override {
        const bool started = client != nullptr;
        ClientFixture::TearDown();
        EXPECT_TRUE(!started || runUntil([&] { return discovery.destroyed.load(); }));
    }

    void start() {
        startClient(
            discovery.factory(),
            {60s, 5s, [this](const std::string& message) { log.push_back(message); }, 10ms, 40ms});
    }
    static std::shared_ptr<ScriptedService> serviceOf(const LoopbackPeer& peer,
                                                      std::string name = "peer") {
        return std::make_shared<ScriptedService>(std::move(name), Endpoints{peer.endpoint()});
    }
    int stops(const std::shared_ptr<ScriptedService>& service) {
        return discovery.onClientThread([&] { return service->stops; });
    }
    int resolves(const std::shared_ptr<ScriptedService>& service) {
        return discovery.onClientThread([&] { return service->resolveCalls; });
    }

    ScriptedDiscovery discovery;
    std::vector<std::string> log;
};

}  // namespace corvane::testing
