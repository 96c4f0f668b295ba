#include "shell/main_object.h"

#include <utility>

#include "keystroke/fixed_keys.h"

namespace corvane {

MainObject::MainObject(Services services) {
    client_ = services.makeClient();

    // Each action keeps the client alive for as long as the observer holds it.
    // The machine may sleep once every connection is closed.
    objc_ = std::make_unique<ObjCObject>(
        [client = client_](std::function<void()> completion) {
            client->setRunning(false, std::move(completion));
        },
        [client = client_] { client->setRunning(true); }, services.workspaceCenter);

    // The token is invalidated first thing in the destructor, so the observer never
    // runs on a model that is going away.
    observation_.push_back(
        client_->observeConnected([this] { setConnected(client_->connected()); }));

    client_->setReceiveCommand(std::move(services.handleCommand));

    // One press of Shift, down and up, with no modifiers.
    services.keyboardEvents.postCommand(KeyCodeSequence::single({leftShiftKeyCode, 0}),
                                        macShortcuts, nullptr);
}

MainObject::~MainObject() {
    for (ObservationToken& token : observation_) {
        token.invalidate();
    }
    // Whatever the client's thread is doing ends here, while the main queue and the
    // command handler it may reach still exist; the last reference to the client may
    // then go anywhere.
    client_->shutDown();
    client_.reset();
    objc_.reset();
}

void MainObject::setConnected(bool connected) {
    // Views re-read the value after the announcement, so it comes first.
    objectWillChange_.notify();
    connected_ = connected;
}

}  // namespace corvane
