#include "shell/linux/discovery_selection.h"

#include "network/avahi/avahi_daemon_check.h"
#include "network/avahi/avahi_discovery.h"
#include "network/mdns/mdns_discovery.h"
#include "network/mdns/posix/posix_interfaces.h"

namespace corvane::linux_shell {

ServiceDiscoveryFactory selectDiscovery(const DiscoveryChoice& choice, std::ostream& say) {
    using Kind = DiscoveryChoice::Kind;
    const bool avahi = choice.kind == Kind::avahi ||
                       (choice.kind == Kind::automatic && avahi::avahiDaemonAnswers());
    if (avahi) {
        say << "corvane-client: finding peers through avahi-daemon." << std::endl;
        return avahi::makeAvahiDiscovery;
    }
    say << "corvane-client: finding peers with the built-in multicast DNS browser on "
        << browsingInterfaces(choice)
        << (choice.kind == Kind::automatic ? " (avahi-daemon does not answer)." : ".") << std::endl;
    return mdns::mdnsDiscovery({mdns::posix::listNetworkInterfaces, choice.interfaces, {}});
}

}  // namespace corvane::linux_shell
