// The interfaces as Windows lists them, in the Windows session's own network: lo, and the
// veth pair cvw0 (169.254.77.1/16, fd00:77::1/64) and cvw1 (.2 and ::2), which
// tests/support/wine/windows-session makes.

#include "network/mdns/win32/adapter_interfaces.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/own_network.h"

namespace corvane::mdns::win32 {
namespace {

bool has(const NetworkInterface& interface, const char* address, unsigned prefixLength) {
    return std::ranges::any_of(interface.addresses, [&](const InterfaceAddress& each) {
        return each.address == asio::ip::make_address(address) && each.prefixLength == prefixLength;
    });
}

TEST(AdapterInterfacesTest, ListsEachInterfaceWithItsStateIndexAndAddresses) {
    if (const std::optional<std::string> why = testing::enterOwnNetwork()) {
        GTEST_SKIP() << *why;
    }
    const std::vector<NetworkInterface> all = listNetworkInterfaces();
    const auto named = [&all](const std::string& name) {
        const auto found = std::ranges::find(all, name, &NetworkInterface::name);
        return found == all.end() ? NetworkInterface{} : *found;
    };
    const NetworkInterface lo = named("lo");
    EXPECT_TRUE(lo.up && lo.loopback);
    EXPECT_TRUE(has(lo, "127.0.0.1", 8));
    for (const auto& [name, v4, v6] : {std::tuple{"cvw0", "169.254.77.1", "fd00:77::1"},
                                       std::tuple{"cvw1", "169.254.77.2", "fd00:77::2"}}) {
        SCOPED_TRACE(name);
        const NetworkInterface veth = named(name);
        EXPECT_TRUE(veth.up && veth.multicast && !veth.loopback);
        EXPECT_TRUE(has(veth, v4, 16));
        EXPECT_TRUE(has(veth, v6, 64));
        EXPECT_NE(veth.index, 0U);
        EXPECT_NE(veth.index, lo.index);
    }
    EXPECT_NE(named("cvw0").index, named("cvw1").index);

    std::vector<std::string> usable;
    for (const NetworkInterface& each : usableInterfaces(all, {})) {
        usable.push_back(each.name);
    }
    std::ranges::sort(usable);
    EXPECT_EQ(usable, (std::vector<std::string>{"cvw0", "cvw1"}));
}

}  // namespace
}  // namespace corvane::mdns::win32
