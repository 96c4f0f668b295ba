#include "network/cvc_network_client.h"

#include <gtest/gtest.h>

#include <asio/executor_work_guard.hpp>
#include <thread>

#include "command_words.h"
#include "support/loopback_peer.h"
#include "support/scripted_discovery.h"
#include "support/wait_until.h"

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;
using peer::wireBytes;
using Words = std::vector<std::uint32_t>;

// The main queue on the test thread's loop, counting the tasks posted to it and those that ran.
struct CountingMainQueue final : MainQueue {
    explicit CountingMainQueue(asio::io_context& mainLoop) : loop(mainLoop) {}
    void post(std::function<void()> task) override {
        ++posted;
        asio::post(loop, [this, task = std::move(task)] {
            task();
            ++ran;
        });
    }
    asio::io_context& loop;
    std::atomic<std::size_t> posted = 0;
    std::atomic<std::size_t> ran = 0;
};

// A client on a scripted discovery; the test thread is the main thread.
class ClientTest : public ::testing::Test {
  protected:
    void TearDown() override {
        token.invalidate();
        if (client) {
            // Main-queue tasks hold the client: it goes once they have run.
            const std::weak_ptr<CVC_NetworkClient> weak = std::exchange(client, nullptr);
            EXPECT_TRUE(pumpUntil([&] { return weak.expired() && discovery.destroyed; }));
        }
    }

    void start(std::chrono::milliseconds keepAlive = 60s) {
        client = CVC_NetworkClient::create(
            mainQueue, discovery.factory(),
            {keepAlive, 5s, [this](const std::string& message) { log.push_back(message); }});
        token = client->observeConnected(
            [this, observed = client.get()] { changes.push_back(observed->connected()); });
        client->setReceiveCommand(
            [this](std::uint32_t word, WordReceipt) { words.push_back(word); });
    }
    static std::shared_ptr<ScriptedService> serviceOf(const LoopbackPeer& peer,
                                                      std::string name = "peer") {
        return std::make_shared<ScriptedService>(
            std::move(name), std::vector<asio::ip::tcp::endpoint>{peer.endpoint()});
    }
    template <typename Condition>
    bool pumpUntil(Condition done) {
        return runLoopUntil(mainLoop, done, 10s);
    }
    // Lets the client thread finish what it was given, then runs what it posted.
    void settle() {
        discovery.onClientThread([] {});
        mainLoop.poll();
    }
    int stops(const std::shared_ptr<ScriptedService>& service) {
        return discovery.onClientThread([&] { return service->stops; });
    }

    asio::io_context mainLoop;
    asio::executor_work_guard<asio::io_context::executor_type> idle{mainLoop.get_executor()};
    CountingMainQueue mainQueue{mainLoop};
    ScriptedDiscovery discovery;
    std::vector<std::string> log;
    Words words;
    std::vector<bool> changes;
    ObservationToken token;
    std::shared_ptr<CVC_NetworkClient> client;
};

// How the stream is cut into words is the stream fuzz target's to check.
TEST_F(ClientTest, PeerFoundBeforeTheThreadRunsDeliversWordsUntilItsEnd) {
    LoopbackPeer peer;
    const auto service = serviceOf(peer);
    discovery.foundOnFirstSearch = service;  // the hand-off waits in the loop
    start();
    EXPECT_TRUE(client->running());
    EXPECT_FALSE(client->connected());
    ASSERT_TRUE(peer.waitForConnections(1));
    EXPECT_EQ(service->lastTimeout, 5s);
    std::vector<std::uint8_t> bytes = wireBytes({1, 2, 0x10000005});
    bytes.push_back(0x99);  // and the start of a word that never ends
    peer.send(0, bytes);
    peer.close(0);
    ASSERT_TRUE(pumpUntil([this] { return changes.size() == 2; }));
    EXPECT_EQ(words, (Words{1, 2, 0x10000005}));
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
    EXPECT_EQ(stops(service), 1);
    EXPECT_EQ(discovery.onClientThread([this] { return discovery.calls; }),
              (std::vector<std::string>{"search _corvane2._tcp "}));
}

// A resolve again to the address it is connected to keeps the connection; to others it
// is replaced.
TEST_F(ClientTest, ServiceFoundTwiceUsesItsFirstRecordWhichRemovalActsOn) {
    LoopbackPeer peer;
    start();
    const auto service = serviceOf(peer);
    discovery.found(service);
    ASSERT_TRUE(peer.waitForConnections(1));
    peer.send(0, wireBytes({1}));
    ASSERT_TRUE(pumpUntil([this] { return words.size() == 1; }));  // the client has connected
    discovery.found(service);
    settle();
    settle();
    peer.send(0, wireBytes({99}));
    ASSERT_TRUE(pumpUntil([this] { return words.size() == 2; }));
    settle();
    EXPECT_EQ(changes, (std::vector<bool>{true}));

    const std::size_t postedBefore = mainQueue.posted;
    const auto stranger = serviceOf(peer, "stranger");
    discovery.removed(stranger);
    settle();
    EXPECT_EQ(mainQueue.posted, postedBefore);  // not even a recheck of connected
    EXPECT_EQ(stops(stranger), 0);

    discovery.removed(service);
    ASSERT_TRUE(pumpUntil([this] { return !client->connected(); }));
    EXPECT_TRUE(peer.waitForHangUp(0));
    discovery.removed(service);
    settle();
    EXPECT_EQ(stops(service), 2);
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
}

TEST_F(ClientTest, ServicesWithoutConnectionAreDroppedWithoutDisturbingOtherPeers) {
    const asio::ip::tcp::endpoint closedPort = LoopbackPeer().endpoint();
    LoopbackPeer good;
    start();
    const auto failing = std::make_shared<ScriptedService>(
        "failing", std::vector<asio::ip::tcp::endpoint>{good.endpoint()}, false);
    const auto addressless =
        std::make_shared<ScriptedService>("addressless", std::vector<asio::ip::tcp::endpoint>{});
    discovery.found(failing);
    discovery.found(addressless);
    settle();
    settle();
    EXPECT_EQ(stops(failing) + stops(addressless), 2);
    EXPECT_EQ(discovery.onClientThread([this] { return log; }),
              (std::vector<std::string>{"Cannot get streams."}));
    EXPECT_TRUE(changes.empty());

    const auto refused = std::make_shared<ScriptedService>(
        "refused", std::vector<asio::ip::tcp::endpoint>{closedPort});
    discovery.found(refused);
    // Addresses are tried in turn: the refusing one is passed over.
    discovery.found(std::make_shared<ScriptedService>(
        "good", std::vector<asio::ip::tcp::endpoint>{closedPort, good.endpoint()}));
    ASSERT_TRUE(good.waitForConnections(1));
    ASSERT_TRUE(pumpUntil([&] { return stops(refused) == 1; }));
    good.send(0, wireBytes({5}));
    ASSERT_TRUE(pumpUntil([this] { return words.size() == 1; }));
    settle();
    EXPECT_TRUE(client->connected());
}

TEST_F(ClientTest, ConnectedIsPublishedOnChangeAndSleepClosesEverythingUntilWake) {
    LoopbackPeer first;
    LoopbackPeer second;
    start();
    client->setRunning(true);  // the value it has: nothing happens
    discovery.found(serviceOf(first, "first"));
    discovery.found(serviceOf(second, "second"));
    ASSERT_TRUE(first.waitForConnections(1));
    ASSERT_TRUE(second.waitForConnections(1));
    settle();
    first.close(0);
    ASSERT_TRUE(pumpUntil([&] { return mainQueue.posted == mainQueue.ran && mainQueue.ran >= 3; }));
    EXPECT_TRUE(client->connected());

    client->setRunning(false);
    client->setRunning(false);
    client->setRunning(true);
    EXPECT_TRUE(client->running());
    ASSERT_TRUE(pumpUntil([this] { return !client->connected(); }));
    EXPECT_TRUE(second.waitForHangUp(0));
    EXPECT_EQ(
        discovery.onClientThread([this] { return discovery.calls; }),
        (std::vector<std::string>{"search _corvane2._tcp ", "stop", "search _corvane2._tcp "}));
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
}

// The handler keeps each word's receipt for a while, as a backlog of commands waiting to
// be typed does: the client reads no further meanwhile.
TEST_F(ClientTest, FloodIsHeldBackWhileItsWordsAreUnderWayAndLosesNothing) {
    Words sent(200'000);
    for (std::uint32_t i = 0; i < sent.size(); ++i) {
        sent[i] = i * 2654435761U;
    }
    LoopbackPeer peer;
    start();
    std::vector<WordReceipt> underWay;
    bool holding = true;
    client->setReceiveCommand([&](std::uint32_t word, WordReceipt receipt) {
        words.push_back(word);
        if (holding) {
            underWay.push_back(std::move(receipt));
        }
    });
    discovery.found(serviceOf(peer));
    ASSERT_TRUE(peer.waitForConnections(1));
    const auto written = peer.sendInBackground(0, wireBytes(sent));

    ASSERT_TRUE(pumpUntil([&] { return words.size() >= PeerStream::maxUndeliveredWords / 2; }));
    runLoopUntil(
        mainLoop, [] { return false; }, 300ms);
    EXPECT_LE(words.size(), PeerStream::maxUndeliveredWords);

    holding = false;
    underWay.clear();
    ASSERT_TRUE(pumpUntil([&] { return words.size() >= sent.size(); }));
    EXPECT_EQ(words, sent);
    EXPECT_EQ(written.wait_for(5s), std::future_status::ready);
}

TEST_F(ClientTest, KeepAliveWritesOneZeroByteToEveryPeerEvenBesideOneThatNeverReads) {
    LoopbackPeer reading;
    LoopbackPeer deaf(false);
    start(20ms);
    discovery.found(serviceOf(deaf, "deaf"));
    discovery.found(serviceOf(reading, "reading"));
    ASSERT_TRUE(reading.waitForConnections(1));
    ASSERT_TRUE(deaf.waitForConnections(1));
    std::this_thread::sleep_for(200ms);
    const std::vector<std::uint8_t> received = reading.received(0);
    EXPECT_GE(received.size(), 3U);
    EXPECT_LE(received.size(), 11U);
    EXPECT_EQ(std::count(received.begin(), received.end(), 0), std::ssize(received));

    reading.send(0, wireBytes({77}));
    ASSERT_TRUE(pumpUntil([this] { return words.size() == 1; }));
}

TEST_F(ClientTest, QueuedWordsGoToTheHandlerSetLateEvenAfterTheClientIsReleased) {
    LoopbackPeer peer;
    start();
    client->setReceiveCommand(nullptr);
    discovery.found(serviceOf(peer));
    ASSERT_TRUE(peer.waitForConnections(1));
    peer.send(0, wireBytes({1}));
    ASSERT_TRUE(pumpUntil([this] { return mainQueue.ran >= 2; }));  // connected, word 1

    peer.send(0, wireBytes({2, 3}));
    ASSERT_TRUE(waitUntil([this] { return mainQueue.posted >= 3; }, 10s));
    client->setReceiveCommand([this](std::uint32_t word, WordReceipt) { words.push_back(word); });
    client.reset();  // the queued tasks still hold it
    ASSERT_TRUE(pumpUntil([this] { return words.size() == 2; }));
    EXPECT_EQ(words, (Words{2, 3}));
    mainLoop.poll();
    EXPECT_TRUE(discovery.destroyed);
    EXPECT_TRUE(peer.waitForHangUp(0));
}

TEST_F(ClientTest, LastReferenceDroppedOnTheClientThreadEndsItWithoutDeadlock) {
    for (int round = 0; round < 20; ++round) {
        ScriptedDiscovery script;
        auto own = CVC_NetworkClient::create(mainQueue, script.factory());
        const std::size_t ranBefore = mainQueue.ran;
        own->setRunning(false);  // publishes connected once
        ASSERT_TRUE(pumpUntil([&] { return mainQueue.ran == ranBefore + 1; }));
        own->setRunning(true);  // this hand-off, once running, may hold the last reference
        own.reset();
        ASSERT_TRUE(waitUntil([&] { return script.destroyed.load(); }, 10s));
    }
}

}  // namespace
}  // namespace corvane::testing
