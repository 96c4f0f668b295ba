#include <thread>

#include "command_words.h"
#include "network/client_test.h"
#include "support/wait_until.h"

namespace corvane::testing {
namespace {

using peer::wireBytes;

TEST(Backoff, DoublesUpToItsLongestAndStartsOverAfterAConnection) {
    Backoff backoff(1s, 30s);
    std::vector<std::chrono::milliseconds> waits;
    for (int i = 0; i < 7; ++i) {
        waits.push_back(backoff.next());
    }
    EXPECT_EQ(waits, (std::vector<std::chrono::milliseconds>{1s, 2s, 4s, 8s, 16s, 30s, 30s}));
    backoff.reset();
    EXPECT_EQ(backoff.next(), 1s);
}

// How the stream is cut into words is the stream fuzz target's to check.
TEST_F(ClientTest, APeerWhoseConnectionEndsIsConnectedAgainWhileListedAndNotOnceRemoved) {
    LoopbackPeer peer;
    start();
    const auto service = serviceOf(peer);
    discovery.found(service);
    ASSERT_TRUE(peer.waitForConnections(1));
    std::vector<std::uint8_t> bytes = wireBytes({1, 2, 0x10000005});
    bytes.push_back(0x99);  // and the start of a word that never ends
    peer.send(0, bytes);
    peer.close(0);
    ASSERT_TRUE(peer.waitForConnections(2));
    ASSERT_TRUE(runUntil([this] { return changes.size() == 3; }));
    EXPECT_EQ(words, (Words{1, 2, 0x10000005}));
    EXPECT_EQ(changes, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(resolves(service), 2);  // resolved again: the address may have changed

    discovery.removed(service);
    EXPECT_TRUE(peer.waitForHangUp(1));
    ASSERT_TRUE(runUntil([this] { return !client->connected(); }));
    runFor(200ms);  // five times the longest wait
    EXPECT_EQ(peer.connections(), 2U);
    EXPECT_EQ(resolves(service), 2);
    EXPECT_EQ(stops(service), 1);
}

// A resolve reported again (the peer gained or lost an address) keeps a connection whose
// address is still listed and moves it when its address goes.
TEST_F(ClientTest, AWorkingConnectionStaysWhileItsAddressIsListed) {
    LoopbackPeer first;
    LoopbackPeer second;
    start();
    const auto service = serviceOf(first);
    discovery.found(service);
    ASSERT_TRUE(first.waitForConnections(1));
    discovery.answer(service, Endpoints{second.endpoint(), first.endpoint()});
    first.send(0, wireBytes({1}));
    ASSERT_TRUE(runUntil([this] { return words.size() == 1; }));
    EXPECT_EQ(second.connections(), 0U);

    discovery.removed(serviceOf(first, "stranger"));
    discovery.answer(service, Endpoints{second.endpoint()});
    EXPECT_TRUE(first.waitForHangUp(0));
    ASSERT_TRUE(second.waitForConnections(1));
    second.send(0, wireBytes({2}));
    ASSERT_TRUE(runUntil([this] { return words.size() == 2; }));
    EXPECT_EQ(first.connections(), 1U);
    EXPECT_EQ(changes, (std::vector<bool>{true, false, true}));
}

TEST_F(ClientTest, PeersThatCannotBeReachedAreTriedAgainAndOnlyALocalFaultIsSaid) {
    const asio::ip::tcp::endpoint closedPort = LoopbackPeer().endpoint();
    LoopbackPeer good;
    start();
    const auto failing =
        std::make_shared<ScriptedService>("failing", Endpoints{good.endpoint()}, false);
    const auto addressless = std::make_shared<ScriptedService>("addressless", Endpoints{});
    const auto refused = std::make_shared<ScriptedService>("refused", Endpoints{closedPort});
    for (const auto& service : {failing, addressless, refused}) {
        discovery.found(service);
    }
    ASSERT_TRUE(runUntil([&] {
        return resolves(failing) >= 3 && resolves(addressless) >= 3 && resolves(refused) >= 3;
    }));
    EXPECT_EQ(discovery.onClientThread([this] { return log; }),
              (std::vector<std::string>{"Cannot get streams."}));
    EXPECT_TRUE(changes.empty());

    // Addresses are tried in turn: the refusing one is passed over.
    discovery.found(
        std::make_shared<ScriptedService>("good", Endpoints{closedPort, good.endpoint()}));
    ASSERT_TRUE(good.waitForConnections(1));
    ASSERT_TRUE(runUntil([this] { return client->connected(); }));
    EXPECT_EQ(good.connections(), 1U);
}

// Whatever the switch-off crosses on the client thread (a report on its way, a resolve
// under way, connection attempts), nothing of it is connected afterwards, and switching on
// again gives one connection.
TEST_F(ClientTest, SwitchOffIsFinalWhateverItCrossesAndSwitchingOnGivesOneConnection) {
    LoopbackPeer peer;
    start();
    client->setRunning(true);  // the value it has: nothing happens
    const auto held = [&peer] {
        const auto service = serviceOf(peer);
        service->answersHeld = true;
        return service;
    };
    const auto before = held();
    discovery.inOrder([&] {
        discovery.found(before);
        client->setRunning(false);
        client->setRunning(false);
    });
    discovery.found(before);   // a report already on its way
    discovery.answer(before);  // and the outcome of the resolve it had started
    EXPECT_EQ(stops(before), 1);
    EXPECT_EQ(resolves(before), 1);
    EXPECT_EQ(peer.connections(), 0U);

    client->setRunning(true);
    const auto connecting = held();
    discovery.found(connecting);
    discovery.inOrder([&] {
        discovery.answer(connecting);  // starts the attempts
        client->setRunning(false);     // before they can finish
    });
    EXPECT_EQ(stops(connecting), 1);

    client->setRunning(true);
    const auto after = held();
    discovery.found(after);
    discovery.answer(after);
    ASSERT_TRUE(runUntil([this] { return client->connected(); }));
    ASSERT_TRUE(peer.waitForLive(1));
    peer.send(peer.connections() - 1, wireBytes({7}));
    ASSERT_TRUE(runUntil([this] { return words.size() == 1; }));
    EXPECT_EQ(words, Words{7});

    client->setRunning(false);  // sleep closes the connection
    EXPECT_TRUE(peer.waitForLive(0));
    ASSERT_TRUE(runUntil([this] { return !client->connected(); }));
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
    EXPECT_EQ(discovery.onClientThread([this] { return discovery.calls; }),
              (std::vector<std::string>{"search _corvane2._tcp ", "stop", "search _corvane2._tcp ",
                                        "stop", "search _corvane2._tcp ", "stop"}));
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

    ASSERT_TRUE(runUntil([&] { return words.size() >= PeerStream::maxUndeliveredWords / 2; }));
    runFor(300ms);
    EXPECT_LE(words.size(), PeerStream::maxUndeliveredWords);

    holding = false;
    underWay.clear();
    ASSERT_TRUE(runUntil([&] { return words.size() >= sent.size(); }));
    EXPECT_EQ(words, sent);
    EXPECT_EQ(written.wait_for(5s), std::future_status::ready);
}

// The peer stays silent and connected: only the write can tell.
TEST(PeerStream, AKeepAliveThatCannotBeWrittenEndsTheConnection) {
    asio::io_context loop;
    asio::ip::tcp::acceptor acceptor(loop, {asio::ip::address_v4::loopback(), 0});
    asio::ip::tcp::socket socket(loop);
    socket.connect(acceptor.local_endpoint());
    const asio::ip::tcp::socket silent = acceptor.accept();
    socket.shutdown(asio::ip::tcp::socket::shutdown_send);
    bool ended = false;
    const auto stream = PeerStream::start(
        std::move(socket), acceptor.local_endpoint(),
        {[](PeerStream&, std::vector<std::uint32_t>) {}, [&ended](PeerStream&) { ended = true; }},
        1s);
    stream->writeKeepAlive();
    EXPECT_TRUE(runLoopUntil(
        loop, [&] { return ended; }, 10s));
}

TEST_F(ClientTest, QueuedWordsGoToTheHandlerSetLateEvenAfterTheClientIsReleased) {
    LoopbackPeer peer;
    start();
    client->setReceiveCommand(nullptr);
    discovery.found(serviceOf(peer));
    ASSERT_TRUE(peer.waitForConnections(1));
    peer.send(0, wireBytes({1}));
    ASSERT_TRUE(runUntil([this] { return mainQueue.ran >= 2; }));  // connected, word 1

    peer.send(0, wireBytes({2, 3}));
    ASSERT_TRUE(waitUntil([this] { return mainQueue.posted >= 3; }, 10s));
    client->setReceiveCommand([this](std::uint32_t word, WordReceipt) { words.push_back(word); });
    client.reset();  // the queued tasks still hold it
    ASSERT_TRUE(runUntil([this] { return words.size() == 2; }));
    EXPECT_EQ(words, (Words{2, 3}));
    loop.poll();
    EXPECT_TRUE(discovery.destroyed);
    EXPECT_TRUE(peer.waitForHangUp(0));
}

TEST_F(ClientTest, LastReferenceDroppedOnTheClientThreadEndsItWithoutDeadlock) {
    for (int round = 0; round < 20; ++round) {
        ScriptedDiscovery script;
        auto own = CVC_NetworkClient::create(mainQueue, script.factory());
        const std::size_t ranBefore = mainQueue.ran;
        own->setRunning(false);  // publishes connected once
        ASSERT_TRUE(runUntil([&] { return mainQueue.ran == ranBefore + 1; }));
        own->setRunning(true);  // this hand-off, once running, may hold the last reference
        own.reset();
        ASSERT_TRUE(waitUntil([&] { return script.destroyed.load(); }, 10s));
    }
}

}  // namespace
}  // namespace corvane::testing
