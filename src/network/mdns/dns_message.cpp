#include "network/mdns/dns_message.h"

#include <map>
#include <string>

namespace corvane::mdns {
namespace {

constexpr std::size_t headerSize = 12;
constexpr std::size_t maxNameLength = 255;
constexpr std::uint16_t topBit = 0x8000;

class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t position() const { return position_; }
    bool has(std::size_t count) const { return bytes_.size() - position_ >= count; }
    std::uint8_t u8() { return bytes_[position_++]; }
    std::uint16_t u16() {
        const auto value =
            static_cast<std::uint16_t>(bytes_[position_] << 8 | bytes_[position_ + 1]);
        position_ += 2;
        return value;
    }
    std::uint32_t u32() {
        const std::uint32_t high = u16();
        return high << 16 | u16();
    }
    void skip(std::size_t count) { position_ += count; }

    // A name at the current position, following compression pointers. Every pointer must
    // lead before the start of the labels it ends, so a chain of pointers always moves
    // towards the start and ends.
    std::optional<DnsName> name() {
        DnsName name;
        std::size_t length = 1;
        std::size_t at = position_;
        std::size_t segmentStart = at;
        std::optional<std::size_t> end;
        for (;;) {
            if (at >= bytes_.size()) {
                return std::nullopt;
            }
            const std::uint8_t size = bytes_[at];
            if ((size & 0xC0) == 0xC0) {
                if (at + 1 >= bytes_.size()) {
                    return std::nullopt;
                }
                const std::size_t target = std::size_t(size & 0x3F) << 8 | bytes_[at + 1];
                if (target >= segmentStart) {
                    return std::nullopt;
                }
                if (!end) {
                    end = at + 2;
                }
                at = segmentStart = target;
                continue;
            }
            if ((size & 0xC0) != 0) {
                return std::nullopt;  // label types 0x40 and 0x80 are not in use
            }
            if (size == 0) {
                position_ = end.value_or(at + 1);
                return name;
            }
            length += 1 + size;
            if (length > maxNameLength || at + 1 + size > bytes_.size()) {
                return std::nullopt;
            }
            name.labels.emplace_back(reinterpret_cast<const char*>(&bytes_[at + 1]), size);
            at += 1 + size;
        }
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

// An address of exactly the size of the record's data.
template <typename Address>
std::optional<RecordData> readAddress(Reader& reader, std::size_t size) {
    typename Address::bytes_type bytes;
    if (size != bytes.size()) {
        return std::nullopt;
    }
    for (auto& byte : bytes) {
        byte = reader.u8();
    }
    return Address(bytes);
}

// The data of a record of `type` that runs from the reader's position to `end`.
std::optional<RecordData> readData(Reader& reader, std::uint16_t type, std::size_t end) {
    const std::size_t size = end - reader.position();
    switch (type) {
        case RecordType::a:
            return readAddress<asio::ip::address_v4>(reader, size);
        case RecordType::aaaa:
            return readAddress<asio::ip::address_v6>(reader, size);
        case RecordType::ptr: {
            std::optional<DnsName> name = reader.name();
            if (!name || reader.position() != end) {
                return std::nullopt;
            }
            return *std::move(name);
        }
        case RecordType::srv: {
            if (size < 7) {
                return std::nullopt;
            }
            ServiceLocation location;
            location.priority = reader.u16();
            location.weight = reader.u16();
            location.port = reader.u16();
            std::optional<DnsName> target = reader.name();
            if (!target || reader.position() != end) {
                return std::nullopt;
            }
            location.target = *std::move(target);
            return location;
        }
        default: {
            std::vector<std::uint8_t> raw(size);
            for (auto& byte : raw) {
                byte = reader.u8();
            }
            return raw;
        }
    }
}

// Reads one record into `records`, or leaves it out when its data is malformed; false
// when the record runs past the end of the message, which ends the reading.
bool readRecord(Reader& reader, std::span<const std::uint8_t> bytes,
                std::vector<ResourceRecord>& records) {
    std::optional<DnsName> name = reader.name();
    if (!name || !reader.has(10)) {
        return false;
    }
    ResourceRecord record;
    record.name = *std::move(name);
    record.type = reader.u16();
    const std::uint16_t recordClass = reader.u16();
    record.recordClass = recordClass & ~topBit;
    record.cacheFlush = (recordClass & topBit) != 0;
    record.ttl = reader.u32();
    const std::uint16_t size = reader.u16();
    if (!reader.has(size)) {
        return false;
    }
    const std::size_t end = reader.position() + size;
    // The data is read from a reader of its own: a malformed record leaves this one
    // just past its data.
    Reader data(bytes);
    data.skip(reader.position());
    if (std::optional<RecordData> parsed = readData(data, record.type, end)) {
        record.data = *std::move(parsed);
        records.push_back(std::move(record));
    }
    reader.skip(size);
    return true;
}

class Writer {
  public:
    std::vector<std::uint8_t> bytes;

    void u8(std::uint8_t value) { bytes.push_back(value); }
    void u16(std::uint16_t value) {
        bytes.push_back(static_cast<std::uint8_t>(value >> 8));
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    void u32(std::uint32_t value) {
        u16(static_cast<std::uint16_t>(value >> 16));
        u16(static_cast<std::uint16_t>(value));
    }
    void setU16(std::size_t at, std::uint16_t value) {
        bytes[at] = static_cast<std::uint8_t>(value >> 8);
        bytes[at + 1] = static_cast<std::uint8_t>(value);
    }

    // Each suffix of a name already written is pointed to instead of written again.
    void name(const DnsName& name) {
        for (std::size_t first = 0; first < name.labels.size(); ++first) {
            std::string suffix;
            for (std::size_t i = first; i < name.labels.size(); ++i) {
                suffix += static_cast<char>(name.labels[i].size());
                suffix += name.labels[i];
            }
            if (const auto known = written_.find(suffix); known != written_.end()) {
                u16(static_cast<std::uint16_t>(0xC000 | known->second));
                return;
            }
            if (bytes.size() < 0x4000) {
                written_.emplace(std::move(suffix), static_cast<std::uint16_t>(bytes.size()));
            }
            const std::string& label = name.labels[first];
            u8(static_cast<std::uint8_t>(label.size()));
            bytes.insert(bytes.end(), label.begin(), label.end());
        }
        u8(0);
    }

    void data(const RecordData& data) {
        std::visit(
            [this](const auto& value) {
                using Value = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<Value, std::vector<std::uint8_t>>) {
                    bytes.insert(bytes.end(), value.begin(), value.end());
                } else if constexpr (std::is_same_v<Value, DnsName>) {
                    name(value);
                } else if constexpr (std::is_same_v<Value, ServiceLocation>) {
                    u16(value.priority);
                    u16(value.weight);
                    u16(value.port);
                    name(value.target);
                } else {
                    const auto address = value.to_bytes();
                    bytes.insert(bytes.end(), address.begin(), address.end());
                }
            },
            data);
    }

    void record(const ResourceRecord& record) {
        name(record.name);
        u16(record.type);
        u16(static_cast<std::uint16_t>(record.recordClass | (record.cacheFlush ? topBit : 0)));
        u32(record.ttl);
        const std::size_t sizeAt = bytes.size();
        u16(0);
        data(record.data);
        setU16(sizeAt, static_cast<std::uint16_t>(bytes.size() - sizeAt - 2));
    }

  private:
    std::map<std::string, std::uint16_t> written_;
};

}  // namespace

std::optional<DnsMessage> parseMessage(std::span<const std::uint8_t> bytes) {
    Reader reader(bytes);
    if (!reader.has(headerSize)) {
        return std::nullopt;
    }
    DnsMessage message;
    message.id = reader.u16();
    message.flags = reader.u16();
    const std::uint16_t questions = reader.u16();
    const std::uint16_t counts[3] = {reader.u16(), reader.u16(), reader.u16()};
    for (std::uint16_t i = 0; i < questions; ++i) {
        std::optional<DnsName> name = reader.name();
        if (!name || !reader.has(4)) {
            return message;
        }
        Question question{*std::move(name), reader.u16(), 0, false};
        const std::uint16_t questionClass = reader.u16();
        question.questionClass = questionClass & ~topBit;
        question.unicastResponse = (questionClass & topBit) != 0;
        message.questions.push_back(std::move(question));
    }
    std::vector<ResourceRecord>* sections[3] = {&message.answers, &message.authorities,
                                                &message.additionals};
    for (int section = 0; section < 3; ++section) {
        for (std::uint16_t i = 0; i < counts[section]; ++i) {
            if (!readRecord(reader, bytes, *sections[section])) {
                return message;
            }
        }
    }
    return message;
}

std::vector<std::uint8_t> writeMessage(const DnsMessage& message) {
    Writer writer;
    writer.u16(message.id);
    writer.u16(message.flags);
    writer.u16(static_cast<std::uint16_t>(message.questions.size()));
    writer.u16(static_cast<std::uint16_t>(message.answers.size()));
    writer.u16(static_cast<std::uint16_t>(message.authorities.size()));
    writer.u16(static_cast<std::uint16_t>(message.additionals.size()));
    for (const Question& question : message.questions) {
        writer.name(question.name);
        writer.u16(question.type);
        writer.u16(static_cast<std::uint16_t>(question.questionClass |
                                              (question.unicastResponse ? topBit : 0)));
    }
    for (const auto* section : {&message.answers, &message.authorities, &message.additionals}) {
        for (const ResourceRecord& record : *section) {
            writer.record(record);
        }
    }
    return std::move(writer.bytes);
}

}  // namespace corvane::mdns
