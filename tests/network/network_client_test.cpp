#include <gtest/gtest.h>

#include <thread>

#include "client_fixture.h"
#include "support/wait_until.h"

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;

TEST_F(ClientTest, StartsRunningAndSearchingForThePeerType) {
    start();
    EXPECT_TRUE(client->running());
    EXPECT_FALSE(client->connected());
    EXPECT_EQ(discovery.onClientThread([this] { return discovery.calls; }),
              (std::vector<std::string>{"search _corvane2._tcp "}));
}

TEST_F(ClientTest, FoundServiceIsResolvedWithFiveSecondTimeoutAndConnected) {
    LoopbackPeer peer;
    start();
    const auto service = serviceOf(peer);
    connect(service);
    ASSERT_TRUE(pumpUntil([this] { return client->connected(); }));
    EXPECT_EQ(changes, (std::vector<bool>{true}));
    EXPECT_TRUE(peer.waitForConnections(1));
    EXPECT_EQ(discovery.onClientThread([&] { return service->lastTimeout; }), 5s);
}

TEST_F(ClientTest, ServiceFoundBeforeTheClientThreadRunsIsNotLost) {
    LoopbackPeer peer;
    discovery.foundOnFirstSearch = serviceOf(peer);
    start();
    ASSERT_TRUE(pumpUntil([this] { return client->connected(); }));
    EXPECT_TRUE(peer.waitForConnections(1));
}

TEST_F(ClientTest, WordsArriveInOrderWholeOrSplit) {
    LoopbackPeer peer;
    start();
    connect(serviceOf(peer));
    ASSERT_TRUE(peer.waitForConnections(1));

    peer.send(0, bytesOf({1, 2, 0x10000005}));  // 12 bytes in one write
    ASSERT_TRUE(pumpUntil([this] { return words.size() == 3; }));
    EXPECT_EQ(words, (std::vector<std::uint32_t>{1, 2, 0x10000005}));

    // 1 + 3 and 3 + 1 bytes, each part in a read of its own.
    const std::vector<std::uint8_t> two = bytesOf({0xA1B2C3D4, 0x01020304});
    for (const auto& part : {std::vector<std::uint8_t>(two.begin(), two.begin() + 1),
                             std::vector<std::uint8_t>(two.begin() + 1, two.begin() + 7),
                             std::vector<std::uint8_t>(two.begin() + 7, two.end())}) {
        peer.send(0, part);
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(pumpUntil([this] { return words.size() == 5; }));
    EXPECT_EQ(words[3], 0xA1B2C3D4);
    EXPECT_EQ(words[4], 0x01020304);
}

TEST_F(ClientTest, EndOfStreamDeliversWordsFirstDropsPartialWordAndRemovesPeer) {
    LoopbackPeer peer;
    start();
    const auto service = serviceOf(peer);
    connect(service);
    ASSERT_TRUE(peer.waitForConnections(1));
    std::vector<std::uint8_t> bytes = bytesOf({7, 8});
    bytes.push_back(0x99);  // an unfinished word
    peer.send(0, bytes);
    peer.close(0);
    ASSERT_TRUE(pumpUntil([this] { return changes.size() == 2; }));
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
    EXPECT_EQ(words, (std::vector<std::uint32_t>{7, 8}));
    EXPECT_EQ(discovery.onClientThread([&] { return service->stops; }), 1);
}

TEST_F(ClientTest, SecondResolveReplacesAndClosesTheFirstConnection) {
    LoopbackPeer peer;
    start();
    const auto service = serviceOf(peer);
    connect(service);
    ASSERT_TRUE(peer.waitForConnections(1));
    discovery.resolved(service);
    ASSERT_TRUE(peer.waitForConnections(2));
    EXPECT_TRUE(peer.waitForHangUp(0));

    peer.send(1, bytesOf({99}));
    ASSERT_TRUE(pumpUntil([this] { return words.size() == 1; }));
    EXPECT_EQ(words[0], 99U);
    settle();
    EXPECT_TRUE(client->connected());
    EXPECT_EQ(changes, (std::vector<bool>{true}));
}

TEST_F(ClientTest, RemovalActsOnTheFirstRecordOfAServiceFoundTwice) {
    LoopbackPeer peer;
    start();
    const auto service = serviceOf(peer);
    connect(service);
    connect(service);
    ASSERT_TRUE(peer.waitForConnections(2));
    // Both resolves opened the first record in turn; the second record stays resolving.
    EXPECT_TRUE(peer.waitForHangUp(0));
    ASSERT_TRUE(pumpUntil([this] { return client->connected(); }));

    discovery.removed(service);
    ASSERT_TRUE(pumpUntil([this] { return !client->connected(); }));
    EXPECT_TRUE(peer.waitForHangUp(1));

    discovery.removed(service);
    settle();
    EXPECT_EQ(discovery.onClientThread([&] { return service->stops; }), 2);
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
}

TEST_F(ClientTest, RemovalOfAServiceWithoutRecordChangesNothing) {
    LoopbackPeer peer;
    start();
    connect(serviceOf(peer));
    ASSERT_TRUE(pumpUntil([this] { return client->connected(); }));
    const std::size_t postedBefore = mainQueue.posted;

    const auto stranger = serviceOf(peer, "stranger");
    discovery.removed(stranger);
    settle();
    EXPECT_EQ(mainQueue.posted, postedBefore);  // not even a recheck of connected
    EXPECT_EQ(discovery.onClientThread([&] { return stranger->stops; }), 0);
    EXPECT_TRUE(client->connected());
}

TEST_F(ClientTest, FailedResolveAndMissingStreamsRemoveTheRecord) {
    LoopbackPeer peer;
    start();
    const auto failing = std::make_shared<ScriptedService>("failing", Answer::failure);
    const auto addressless = std::make_shared<ScriptedService>("addressless", Answer::endpoint);
    connect(failing);
    connect(addressless);
    settle();
    settle();
    EXPECT_EQ(discovery.onClientThread([&] { return failing->stops + addressless->stops; }), 2);
    EXPECT_EQ(clientLog(), (std::vector<std::string>{"Cannot get streams."}));
    EXPECT_FALSE(client->connected());
    EXPECT_TRUE(changes.empty());
}

TEST_F(ClientTest, RefusedConnectionIsDroppedWithoutDisturbingOtherPeers) {
    LoopbackPeer good;
    asio::ip::tcp::endpoint closedPort;
    {
        LoopbackPeer gone;
        closedPort = gone.endpoint();
    }
    start();
    const auto refused = std::make_shared<ScriptedService>("refused", Answer::endpoint, closedPort);
    connect(refused);
    connect(serviceOf(good));
    ASSERT_TRUE(good.waitForConnections(1));
    EXPECT_TRUE(discovery.onClientThread([] { return true; }));
    ASSERT_TRUE(
        pumpUntil([&] { return discovery.onClientThread([&] { return refused->stops; }) == 1; }));
    good.send(0, bytesOf({5}));
    ASSERT_TRUE(pumpUntil([this] { return words.size() == 1; }));
    settle();
    EXPECT_TRUE(client->connected());
}

TEST_F(ClientTest, ConnectedIsPublishedOnlyWhenItChanges) {
    LoopbackPeer first;
    LoopbackPeer second;
    start();
    connect(serviceOf(first, "first"));
    connect(serviceOf(second, "second"));
    ASSERT_TRUE(first.waitForConnections(1));
    ASSERT_TRUE(second.waitForConnections(1));
    settle();
    first.close(0);
    ASSERT_TRUE(pumpUntil([&] { return mainQueue.posted == mainQueue.ran && mainQueue.ran >= 3; }));
    EXPECT_TRUE(client->connected());
    second.close(0);
    ASSERT_TRUE(pumpUntil([this] { return !client->connected(); }));
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
}

TEST_F(ClientTest, SetRunningOffThenOnClosesEverythingAndSearchesAgain) {
    LoopbackPeer peer;
    start();
    client->setRunning(true);  // the value it has: nothing happens
    connect(serviceOf(peer));
    ASSERT_TRUE(pumpUntil([this] { return client->connected(); }));

    client->setRunning(false);
    client->setRunning(false);
    client->setRunning(true);
    EXPECT_TRUE(client->running());
    ASSERT_TRUE(pumpUntil([this] { return !client->connected(); }));
    EXPECT_TRUE(peer.waitForHangUp(0));
    EXPECT_EQ(
        discovery.onClientThread([this] { return discovery.calls; }),
        (std::vector<std::string>{"search _corvane2._tcp ", "stop", "search _corvane2._tcp "}));
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
}

TEST_F(ClientTest, HandlerSetLateGetsWordsDeliveredAfterIt) {
    LoopbackPeer peer;
    start();
    client->setReceiveCommand(nullptr);
    connect(serviceOf(peer));
    ASSERT_TRUE(peer.waitForConnections(1));
    peer.send(0, bytesOf({1}));
    ASSERT_TRUE(pumpUntil([this] { return mainQueue.ran >= 2; }));  // connected, word 1

    peer.send(0, bytesOf({2, 3}));
    ASSERT_TRUE(waitUntil([this] { return mainQueue.posted >= 3; }, 10s));
    // Words already queued but not yet handed over go to the handler set now.
    client->setReceiveCommand([this](std::uint32_t word) { words.push_back(word); });
    ASSERT_TRUE(pumpUntil([this] { return words.size() == 2; }));
    EXPECT_EQ(words, (std::vector<std::uint32_t>{2, 3}));
}

TEST_F(ClientTest, FloodWithSlowMainThreadKeepsBacklogBoundedAndLosesNothing) {
    constexpr std::uint32_t total = 200'000;
    std::vector<std::uint32_t> sent(total);
    for (std::uint32_t i = 0; i < total; ++i) {
        sent[i] = i * 2654435761U;
    }
    LoopbackPeer peer;
    start();
    connect(serviceOf(peer));
    ASSERT_TRUE(pumpUntil([this] { return client->connected(); }));
    const auto written = peer.sendInBackground(0, bytesOf(sent));

    // The main thread does not run for a while: the client stops reading.
    std::this_thread::sleep_for(300ms);
    const std::size_t queuedTasks = mainQueue.posted - mainQueue.ran;
    for (std::size_t i = 0; i < queuedTasks; ++i) {
        mainLoop.run_one();
    }
    EXPECT_GT(words.size(), 0U);
    EXPECT_LE(words.size(), PeerStream::maxUndeliveredWords);

    ASSERT_TRUE(pumpUntil([this] { return words.size() >= total; }));
    EXPECT_EQ(words, sent);
    EXPECT_EQ(written.wait_for(5s), std::future_status::ready);
}

TEST_F(ClientTest, KeepAliveWritesOneZeroByteToEveryPeerEvenBesideOneThatNeverReads) {
    LoopbackPeer reading;
    LoopbackPeer deaf(false);
    start(20ms);
    connect(serviceOf(deaf, "deaf"));
    connect(serviceOf(reading, "reading"));
    ASSERT_TRUE(reading.waitForConnections(1));
    ASSERT_TRUE(deaf.waitForConnections(1));
    std::this_thread::sleep_for(200ms);
    const std::vector<std::uint8_t> received = reading.received(0);
    EXPECT_GE(received.size(), 3U);
    EXPECT_LE(received.size(), 11U);
    EXPECT_EQ(std::count(received.begin(), received.end(), 0), static_cast<long>(received.size()));

    reading.send(0, bytesOf({77}));
    ASSERT_TRUE(pumpUntil([this] { return words.size() == 1; }));
}

TEST_F(ClientTest, DestructionWithLiveConnectionsStillDeliversQueuedWords) {
    LoopbackPeer peer;
    start();
    connect(serviceOf(peer));
    ASSERT_TRUE(peer.waitForConnections(1));
    peer.send(0, bytesOf({4, 5, 6}));
    ASSERT_TRUE(waitUntil([this] { return mainQueue.posted >= 2; }, 10s));
    client.reset();  // the queued tasks still hold it
    ASSERT_TRUE(pumpUntil([this] { return words.size() == 3; }));
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
        own->setRunning(true);  // this hand-off may now hold the last reference
        own.reset();
        ASSERT_TRUE(waitUntil([&] { return script.destroyed.load(); }, 10s));
    }
}

}  // namespace
}  // namespace corvane::testing
