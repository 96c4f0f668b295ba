// Running out of file descriptors (POSIX resource limits).

#include "network/client_test.h"
#include "network/descriptors_used_up.h"

namespace corvane::testing {
namespace {

// A refused peer is tried first: the client's loop makes the descriptors of its own that it
// needs, and the sanitizers learn the types involved, before descriptors run out.
TEST_F(ClientTest, OutOfDescriptorsIsSaidOnceAndThePeerConnectedOnceTheyAreBack) {
    LoopbackPeer peer;
    start();
    const auto refused =
        std::make_shared<ScriptedService>("refused", Endpoints{LoopbackPeer().endpoint()});
    discovery.found(refused);
    ASSERT_TRUE(runUntil([&] { return resolves(refused) >= 2; }));
    discovery.removed(refused);
    const auto service = serviceOf(peer);
    {
        const DescriptorsUsedUp full;
        discovery.found(service);
        ASSERT_TRUE(runUntil([&] { return resolves(service) >= 3; }));
    }
    ASSERT_TRUE(peer.waitForConnections(1));
    EXPECT_EQ(discovery.onClientThread([this] { return log; }),
              (std::vector<std::string>{"Cannot get streams."}));
}

}  // namespace
}  // namespace corvane::testing
