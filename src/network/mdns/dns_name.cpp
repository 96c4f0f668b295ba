#include "network/mdns/dns_name.h"

#include <algorithm>

namespace corvane::mdns {

DnsName DnsName::fromDotted(std::string_view text) {
    DnsName name;
    while (!text.empty()) {
        const std::size_t dot = text.find('.');
        if (dot != 0) {
            name.labels.emplace_back(text.substr(0, dot));
        }
        text = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    }
    return name;
}

DnsName DnsName::parent() const {
    if (labels.empty()) {
        return {};
    }
    return DnsName{{labels.begin() + 1, labels.end()}};
}

bool DnsName::isChildOf(const DnsName& name) const {
    return labels.size() == name.labels.size() + 1 && parent().key() == name.key();
}

std::string DnsName::key() const {
    std::string key;
    key.reserve(wireLength());
    for (const std::string& label : labels) {
        key.push_back(static_cast<char>(label.size()));
        std::ranges::transform(label, std::back_inserter(key), [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        });
    }
    return key;
}

std::size_t DnsName::wireLength() const {
    std::size_t length = 1;
    for (const std::string& label : labels) {
        length += 1 + label.size();
    }
    return length;
}

std::string DnsName::text() const {
    std::string text;
    for (const std::string& label : labels) {
        text += label;
        text += '.';
    }
    return text;
}

}  // namespace corvane::mdns
