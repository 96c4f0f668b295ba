#include "shell/main_object.h"

#include <gtest/gtest.h>

#include "network/asio_main_queue.h"
#include "network/cvc_network_client.h"
#include "support/loopback_peer.h"
#include "support/recording_keyboard_events.h"
#include "support/scripted_discovery.h"

namespace corvane {
namespace {

// Records what the model asks of the client and publishes `connected` as the client's
// main-queue step does.
class FakeNetworkClient final : public NetworkClient {
  public:
    void setRunning(bool running, std::function<void()>) override {
        runningCalls.push_back(running);
    }
    void shutDown() override { ++shutDowns; }
    bool running() const override { return runningCalls.empty() || runningCalls.back(); }
    bool connected() const override { return connected_; }
    ObservationToken observeConnected(std::function<void()> observer) override {
        return observers_.add(std::move(observer));
    }
    void setReceiveCommand(ReceiveCommand handler) override {
        receiveCommand = std::move(handler);
        onHandlerSet();
    }
    void publishConnected(bool connected) {
        connected_ = connected;
        observers_.notify();
    }

    std::vector<bool> runningCalls;
    int shutDowns = 0;
    ReceiveCommand receiveCommand;
    std::function<void()> onHandlerSet = [] {};

  private:
    bool connected_ = false;
    ObserverList<> observers_;
};

class MainObjectTest : public ::testing::Test {
  protected:
    std::unique_ptr<MainObject> makeModel() {
        return std::make_unique<MainObject>(MainObject::Services{
            .makeClient = [this] { return client; },
            .workspaceCenter = workspaceCenter,
            .handleCommand = [this](std::uint32_t word, WordReceipt) { handled.push_back(word); },
            .keyboardEvents = events,
        });
    }

    testing::RecordingKeyboardEvents events;
    NotificationCenter workspaceCenter;
    std::shared_ptr<FakeNetworkClient> client = std::make_shared<FakeNetworkClient>();
    std::vector<std::uint32_t> handled;
};

TEST_F(MainObjectTest, StartUpInstallsTheHandlerThenPressesShiftOnce) {
    std::size_t eventsWhenHandlerSet = 99;
    client->onHandlerSet = [&] { eventsWhenHandlerSet = events.commands.size(); };
    const std::unique_ptr<MainObject> model = makeModel();
    EXPECT_EQ(eventsWhenHandlerSet, 0U);
    EXPECT_EQ(events.presses(), (std::vector<KeyCodePair>{{56, 0}}));
    EXPECT_TRUE(client->runningCalls.empty());  // the client starts running by itself
    EXPECT_FALSE(model->connected());

    client->receiveCommand(0x10000005, nullptr);
    client->receiveCommand(42, nullptr);
    EXPECT_EQ(handled, (std::vector<std::uint32_t>{0x10000005, 42}));
}

TEST_F(MainObjectTest, MirrorsConnectedWithOneAnnouncementBeforeEachChange) {
    const std::unique_ptr<MainObject> model = makeModel();
    std::vector<bool> seenAtAnnouncement;
    ObservationToken token =
        model->observeWillChange([&] { seenAtAnnouncement.push_back(model->connected()); });
    client->publishConnected(true);
    EXPECT_TRUE(model->connected());
    client->publishConnected(false);
    EXPECT_FALSE(model->connected());
    EXPECT_EQ(seenAtAnnouncement, (std::vector<bool>{false, true}));
}

TEST_F(MainObjectTest, TeardownStopsObservingShutsTheClientDownAndReleasesIt) {
    std::unique_ptr<MainObject> model = makeModel();
    model.reset();
    client->publishConnected(true);  // must not reach the destroyed model
    workspaceCenter.post(workspaceWillSleepNotification, nullptr);
    EXPECT_TRUE(client->runningCalls.empty());
    EXPECT_EQ(client->shutDowns, 1);
    EXPECT_EQ(client.use_count(), 1);
}

// The model goes while the client's thread is busy in a slow service stop, and the main
// queue right after it: that thread must have finished before, or what it posts at the
// end of the stop lands in a freed queue.
TEST(MainObjectWithClient, TeardownWaitsForTheClientThreadBeforeTheMainQueueGoes) {
    testing::LoopbackPeer peer;
    testing::ScriptedDiscovery discovery;
    const auto service = std::make_shared<testing::ScriptedService>(
        "slow", std::vector<asio::ip::tcp::endpoint>{peer.endpoint()});
    service->stopTakes = std::chrono::milliseconds(300);
    asio::io_context mainLoop;
    auto mainQueue = std::make_unique<AsioMainQueue>(mainLoop);
    NotificationCenter workspaceCenter;
    testing::RecordingKeyboardEvents events;
    auto model = std::make_unique<MainObject>(MainObject::Services{
        .makeClient = [&] { return CVC_NetworkClient::create(*mainQueue, discovery.factory()); },
        .workspaceCenter = workspaceCenter,
        .handleCommand = [](std::uint32_t, WordReceipt) {},
        .keyboardEvents = events,
    });
    discovery.found(service);
    ASSERT_TRUE(peer.waitForConnections(1));

    workspaceCenter.post(workspaceWillSleepNotification, nullptr);
    ASSERT_TRUE(peer.waitForHangUp(0));  // the slow stop follows the close
    model.reset();
    EXPECT_TRUE(discovery.destroyed);  // the client's thread has finished
    mainQueue.reset();
}

}  // namespace
}  // namespace corvane
