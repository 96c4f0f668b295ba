#include "shell/main_object.h"

#include <gtest/gtest.h>

#include "shell/app_delegate.h"
#include "support/recording_keyboard_events.h"

namespace corvane {
namespace {

class FakeNetworkClient final : public NetworkClient {
  public:
    explicit FakeNetworkClient(const testing::RecordingKeyboardEvents& events) : events_(events) {}

    void setRunning(bool running) override {
        runningCalls.push_back(running);
        running_ = running;
    }
    bool running() const override { return running_; }
    bool connected() const override { return connected_; }
    ObservationToken observeConnected(std::function<void()> observer) override {
        return connectedObservers_.add(std::move(observer));
    }
    void setReceiveCommand(std::function<void(std::uint32_t)> handler) override {
        eventsPostedWhenHandlerSet = events_.posted.size();
        receiveCommand = std::move(handler);
    }

    // What the client's main-queue step does when the connected state changed.
    void publishConnected(bool connected) {
        connected_ = connected;
        connectedObservers_.notify();
    }

    std::vector<bool> runningCalls;
    std::function<void(std::uint32_t)> receiveCommand;
    std::optional<std::size_t> eventsPostedWhenHandlerSet;

  private:
    const testing::RecordingKeyboardEvents& events_;
    bool running_ = true;
    bool connected_ = false;
    ObserverList<> connectedObservers_;
};

class MainObjectTest : public ::testing::Test {
  protected:
    std::unique_ptr<MainObject> makeModel() {
        return std::make_unique<MainObject>(MainObject::Services{
            .makeClient =
                [this] {
                    ++clientsMade;
                    auto made = std::make_shared<FakeNetworkClient>(events);
                    client = made;
                    return made;
                },
            .workspaceCenter = workspaceCenter,
            .handleCommand = [this](std::uint32_t word) { handled.push_back(word); },
            .keyboardEvents = events,
        });
    }
    FakeNetworkClient& fake() { return *client.lock(); }

    testing::RecordingKeyboardEvents events;
    NotificationCenter workspaceCenter;
    NotificationCenter defaultCenter;
    std::weak_ptr<FakeNetworkClient> client;
    int clientsMade = 0;
    std::vector<std::uint32_t> handled;
};

TEST_F(MainObjectTest, StartUpInstallsTheHandlerThenPressesShiftOnce) {
    const std::unique_ptr<MainObject> model = makeModel();
    EXPECT_EQ(clientsMade, 1);
    EXPECT_EQ(fake().eventsPostedWhenHandlerSet, 0U);
    EXPECT_EQ(events.presses(), (std::vector<KeyCodePair>{{56, 0}}));
    EXPECT_TRUE(fake().runningCalls.empty());  // the client starts running by itself
    EXPECT_FALSE(model->connected());

    fake().receiveCommand(0x10000005);
    fake().receiveCommand(42);
    EXPECT_EQ(handled, (std::vector<std::uint32_t>{0x10000005, 42}));
}

TEST_F(MainObjectTest, MirrorsConnectedWithOneAnnouncementBeforeEachChange) {
    const std::unique_ptr<MainObject> model = makeModel();
    std::vector<bool> valuesSeenAtAnnouncement;
    ObservationToken token =
        model->observeWillChange([&] { valuesSeenAtAnnouncement.push_back(model->connected()); });

    fake().publishConnected(true);
    EXPECT_TRUE(model->connected());
    fake().publishConnected(false);
    EXPECT_FALSE(model->connected());
    EXPECT_EQ(valuesSeenAtAnnouncement, (std::vector<bool>{false, true}));

    token.invalidate();
    fake().publishConnected(true);
    EXPECT_EQ(valuesSeenAtAnnouncement.size(), 2U);
}

TEST_F(MainObjectTest, SleepAndWakeOfTheWorkspacePauseAndResumeTheClient) {
    const std::unique_ptr<MainObject> model = makeModel();
    // The process's default center is another object: its notifications do not count.
    defaultCenter.post(workspaceWillSleepNotification, nullptr);
    EXPECT_TRUE(fake().runningCalls.empty());

    workspaceCenter.post(workspaceWillSleepNotification, nullptr);
    workspaceCenter.post(workspaceWillSleepNotification, nullptr);
    workspaceCenter.post(workspaceDidWakeNotification, nullptr);
    EXPECT_EQ(fake().runningCalls, (std::vector<bool>{false, false, true}));
}

TEST_F(MainObjectTest, TeardownStopsObservingAndReleasesTheClient) {
    std::unique_ptr<MainObject> model = makeModel();
    std::shared_ptr<FakeNetworkClient> kept = client.lock();
    model.reset();
    kept->publishConnected(true);  // must not reach the destroyed model
    workspaceCenter.post(workspaceWillSleepNotification, nullptr);
    EXPECT_TRUE(kept->runningCalls.empty());
    kept.reset();
    EXPECT_TRUE(client.expired());
}

TEST(AppDelegate, EveryReopenRequestPostsOneNotificationAndAnswersYes) {
    NotificationCenter defaultCenter;
    AppDelegate delegate(defaultCenter);
    std::vector<const void*> senders;
    ObservationToken token = defaultCenter.addObserver(
        "applictionDidHandleReopen",
        [&](const Notification& notification) { senders.push_back(notification.object); });
    EXPECT_TRUE(delegate.applicationShouldHandleReopen(false));
    EXPECT_TRUE(delegate.applicationShouldHandleReopen(true));
    EXPECT_EQ(senders, (std::vector<const void*>{&delegate, &delegate}));
}

}  // namespace
}  // namespace corvane
