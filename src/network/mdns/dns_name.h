#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane::mdns {

// A domain name as its labels, in the case they came in. Labels are arbitrary bytes (a
// service instance name may hold dots and spaces), so the name is never kept as one
// dotted text. == compares exactly; names are the same name when their keys are equal.
struct DnsName {
    std::vector<std::string> labels;

    // "_corvane2._tcp.local" and the like: dot-separated labels, no escapes.
    static DnsName fromDotted(std::string_view text);

    // The name without its first label.
    DnsName parent() const;
    // Whether this name is one label below `name`.
    bool isChildOf(const DnsName& name) const;
    // Identity regardless of ASCII case, as multicast DNS compares names.
    std::string key() const;
    // Length in the uncompressed wire form, the root label included.
    std::size_t wireLength() const;
    // Dotted, for messages.
    std::string text() const;

    bool operator==(const DnsName&) const = default;
};

}  // namespace corvane::mdns
