#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "keystroke/keyboard_events.h"
#include "network/network_client.h"
#include "network/observation.h"
#include "shell/connection_status.h"
#include "shell/notification_center.h"
#include "shell/obj_c_object.h"

namespace corvane {

// The application model: owns the network client and the sleep/wake observer, mirrors
// the client's connected state for the user interface, hands every command word to
// the command handler, and presses Shift once at start-up. Belongs to the main thread.
class MainObject final : public ConnectionStatus {
  public:
    // What the client reaches (its main queue, the command handler) must outlive the
    // model, which shuts the client down when it goes.
    struct Services {
        // Makes the network client; it is running and searching once made.
        std::function<std::shared_ptr<NetworkClient>()> makeClient;
        NotificationCenter& workspaceCenter;
        // Called with each command word and its receipt.
        NetworkClient::ReceiveCommand handleCommand;
        KeyboardEvents& keyboardEvents;
    };

    explicit MainObject(Services services);
    ~MainObject() override;
    MainObject(const MainObject&) = delete;
    MainObject& operator=(const MainObject&) = delete;

    bool connected() const override { return connected_; }
    // Announced just before `connected` is stored anew.
    ObservationToken observeWillChange(std::function<void()> observer) override {
        return objectWillChange_.add(std::move(observer));
    }

  private:
    void setConnected(bool connected);

    std::shared_ptr<NetworkClient> client_;
    std::unique_ptr<ObjCObject> objc_;
    bool connected_ = false;
    std::vector<ObservationToken> observation_;
    ObserverList<> objectWillChange_;
};

}  // namespace corvane
