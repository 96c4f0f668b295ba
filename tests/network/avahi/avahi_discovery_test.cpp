#include "network/avahi/avahi_discovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <memory>
#include <string>
#include <vector>

#include "peer_process.h"
#include "support/private_avahi.h"
#include "support/run_loop_until.h"

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;

// Records what the discovery reports and resolves every service found.
class RecordingListener final : public ServiceDiscoveryListener {
  public:
    std::vector<std::string> events;
    std::vector<std::shared_ptr<DiscoveredService>> services;

    void serviceFound(const std::shared_ptr<DiscoveredService>& service) override {
        events.push_back("found " + service->name());
        services.push_back(service);
        service->resolve(5s);
    }
    void serviceRemoved(const std::shared_ptr<DiscoveredService>& service) override {
        events.push_back("removed " + service->name());
    }
    void serviceResolved(const std::shared_ptr<DiscoveredService>& service) override {
        events.push_back("resolved " + service->name() + " " +
                         service->endpoint()->address().to_string());
    }
    void serviceDidNotResolve(const std::shared_ptr<DiscoveredService>& service) override {
        events.push_back("failed " + service->name());
    }
    std::size_t count(const std::string& event) const {
        return static_cast<std::size_t>(std::count(events.begin(), events.end(), event));
    }
};

class AvahiDiscoveryTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(avahi->running()) << "no private avahi-daemon"; }

    void startBrowsing() {
        discovery = avahi::makeAvahiDiscovery(loop, listener);
        discovery->search("_corvane2._tcp", "");
    }

    template <typename Condition>
    bool runUntil(Condition done, std::chrono::seconds timeout = 15s) {
        return runLoopUntil(loop, done, timeout);
    }
    void runFor(std::chrono::milliseconds time) {
        const auto end = std::chrono::steady_clock::now() + time;
        while (std::chrono::steady_clock::now() < end) {
            loop.run_one_for(10ms);
        }
    }

    PrivateAvahi* avahi = &PrivateAvahi::shared();
    asio::io_context loop;
    asio::executor_work_guard<asio::io_context::executor_type> idle{loop.get_executor()};
    RecordingListener listener;
    std::unique_ptr<ServiceDiscovery> discovery;
};

TEST_F(AvahiDiscoveryTest, PeerWithOddNameIsFoundOnceResolvedAndRemovedWhenItStops) {
    const std::string name = "Büro peer. 2 (test)";
    PeerProcess peer({name, "0x10000005"});
    ASSERT_TRUE(peer.waitForLines("ready"));
    startBrowsing();
    ASSERT_TRUE(runUntil([&] { return listener.count("resolved " + name + " 127.0.0.1") == 1; }));
    peer.stop();
    ASSERT_TRUE(runUntil([&] { return listener.count("removed " + name) == 1; }));
    EXPECT_EQ(listener.count("found " + name), 1U);
}

TEST_F(AvahiDiscoveryTest, DaemonRestartKeepsLivePeersOnceAndDropsGoneOnes) {
    PeerProcess staying({"staying", "1"});
    PeerProcess leaving({"leaving", "1"});
    ASSERT_TRUE(staying.waitForLines("ready"));
    ASSERT_TRUE(leaving.waitForLines("ready"));
    startBrowsing();
    ASSERT_TRUE(runUntil([&] {
        return listener.count("found staying") == 1 && listener.count("found leaving") == 1;
    }));

    avahi->stopDaemon();
    runFor(300ms);
    leaving.stop();
    ASSERT_TRUE(avahi->startDaemon());
    ASSERT_TRUE(staying.waitForLines("ready", 2));
    ASSERT_TRUE(runUntil([&] { return listener.count("removed leaving") == 1; }));
    runFor(1s);
    EXPECT_EQ(listener.count("found staying"), 1U);
    EXPECT_EQ(listener.count("removed staying"), 0U);

    // The new daemon answers resolves of the service found before the restart.
    const auto stayingService =
        std::ranges::find(listener.services, std::string("staying"), &DiscoveredService::name);
    ASSERT_NE(stayingService, listener.services.end());
    (*stayingService)->resolve(5s);
    ASSERT_TRUE(runUntil([&] { return listener.count("resolved staying 127.0.0.1") == 2; }))
        << ::testing::PrintToString(listener.events);
}

TEST_F(AvahiDiscoveryTest, BrowsingStartsWhenTheDaemonAppears) {
    avahi->stopDaemon();
    startBrowsing();
    runFor(300ms);
    ASSERT_TRUE(avahi->startDaemon());
    PeerProcess peer({"late", "1"});
    ASSERT_TRUE(runUntil([&] { return listener.count("resolved late 127.0.0.1") == 1; }));
}

}  // namespace
}  // namespace corvane::testing
