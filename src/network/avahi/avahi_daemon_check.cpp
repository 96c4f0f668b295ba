#include "network/avahi/avahi_daemon_check.h"

#include <avahi-client/client.h>
#include <avahi-common/simple-watch.h>

namespace corvane::avahi {

bool avahiDaemonAnswers() {
    AvahiSimplePoll* poll = avahi_simple_poll_new();
    if (poll == nullptr) {
        return false;
    }
    int error = 0;
    // Without AVAHI_CLIENT_NO_FAIL the client is made only when the daemon is there.
    AvahiClient* client = avahi_client_new(
        avahi_simple_poll_get(poll), static_cast<AvahiClientFlags>(0),
        [](AvahiClient*, AvahiClientState, void*) {}, nullptr, &error);
    const bool answers = client != nullptr;
    if (client != nullptr) {
        avahi_client_free(client);
    }
    avahi_simple_poll_free(poll);
    return answers;
}

}  // namespace corvane::avahi
