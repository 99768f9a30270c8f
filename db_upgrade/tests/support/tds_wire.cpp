#include "tds_wire.h"

#include <iconv.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace tessary::testing::tds {
namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::uint8_t kEndOfMessage = 0x01;
constexpr std::uint8_t kIgnoreMessage = 0x02;
// Far above any statement of the upgrade, low enough that a bad length cannot eat the memory.
constexpr std::size_t kLargestMessage = 64u << 20;

// The version the stand-in gives for itself: 11.0.2100, a server that speaks TDS 7.4.
constexpr std::uint8_t kServerVersion[4] = {11, 0, 0x08, 0x34};

bool read_exactly(int socket_fd, char* into, std::size_t count) {
    while (count > 0) {
        const ssize_t got = recv(socket_fd, into, count, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        into += got;
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

bool write_all(int socket_fd, const char* from, std::size_t count) {
    while (count > 0) {
        const ssize_t sent = send(socket_fd, from, count, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        from += sent;
        count -= static_cast<std::size_t>(sent);
    }
    return true;
}

void put_u8(std::string& out, std::uint8_t value) {
    out += static_cast<char>(value);
}
void put_u16(std::string& out, std::uint16_t value) {
    put_u8(out, static_cast<std::uint8_t>(value & 0xFF));
    put_u8(out, static_cast<std::uint8_t>(value >> 8));
}
void put_u16_big(std::string& out, std::uint16_t value) {
    put_u8(out, static_cast<std::uint8_t>(value >> 8));
    put_u8(out, static_cast<std::uint8_t>(value & 0xFF));
}
void put_u32(std::string& out, std::uint32_t value) {
    put_u16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    put_u16(out, static_cast<std::uint16_t>(value >> 16));
}
void put_u64(std::string& out, std::uint64_t value) {
    put_u32(out, static_cast<std::uint32_t>(value & 0xFFFFFFFF));
    put_u32(out, static_cast<std::uint32_t>(value >> 32));
}

// B_VARCHAR: at most 255 UTF-16 code units, counted in a byte.
void put_b_varchar(std::string& out, std::string_view gbk) {
    std::string utf16 = utf16_from_gbk(gbk);
    if (utf16.size() > 255 * 2) utf16.resize(255 * 2);
    put_u8(out, static_cast<std::uint8_t>(utf16.size() / 2));
    out += utf16;
}
// US_VARCHAR: the same counted in two bytes, cut to `longest` code units.
void put_us_varchar(std::string& out, std::string_view gbk, std::size_t longest) {
    std::string utf16 = utf16_from_gbk(gbk);
    if (utf16.size() > longest * 2) utf16.resize(longest * 2);
    put_u16(out, static_cast<std::uint16_t>(utf16.size() / 2));
    out += utf16;
}
void put_b_varbyte(std::string& out, std::string_view bytes) {
    const std::string_view kept = bytes.substr(0, 255);
    put_u8(out, static_cast<std::uint8_t>(kept.size()));
    out += kept;
}

// A token whose first field is its length in two bytes.
void put_sized_token(std::string& out, std::uint8_t token, const std::string& body) {
    put_u8(out, token);
    put_u16(out, static_cast<std::uint16_t>(body.size()));
    out += body;
}

// Converts with iconv; a sequence the target has no code for becomes `replacement`, and
// `unit` bytes of the input are passed over for it (a surrogate pair counts twice).
std::string convert(std::string_view text, const char* to, const char* from, std::size_t unit,
                    std::string_view replacement) {
    iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::string(replacement);
    std::string out;
    char buffer[1024];
    char* in = const_cast<char*>(text.data());
    std::size_t in_left = text.size();
    while (in_left > 0) {
        char* out_pointer = buffer;
        std::size_t out_left = sizeof buffer;
        const std::size_t rc = iconv(converter, &in, &in_left, &out_pointer, &out_left);
        out.append(buffer, sizeof buffer - out_left);
        if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        if (errno == EINVAL) break;  // cut short at the end
        std::size_t skip = unit;
        if (unit == 2 && in_left >= 4) {
            const auto high = static_cast<unsigned char>(in[1]);
            if (high >= 0xD8 && high <= 0xDB) skip = 4;
        }
        if (skip > in_left) skip = in_left;
        in += skip;
        in_left -= skip;
        out += replacement;
    }
    iconv_close(converter);
    return out;
}

}  // namespace

std::optional<Message> read_message(int socket_fd, std::string& error) {
    error.clear();
    Message message{PacketType::kSqlBatch, {}};
    bool first = true;
    for (;;) {
        char header[kHeaderSize];
        if (!read_exactly(socket_fd, header, kHeaderSize)) {
            if (!first) error = "the connection ended inside a message";
            return std::nullopt;
        }
        const auto type = static_cast<PacketType>(static_cast<unsigned char>(header[0]));
        const auto status = static_cast<std::uint8_t>(header[1]);
        const std::size_t length = static_cast<std::size_t>(static_cast<unsigned char>(header[2]))
                                       << 8 |
                                   static_cast<unsigned char>(header[3]);
        if (length < kHeaderSize) {
            error = "a packet is shorter than its header";
            return std::nullopt;
        }
        if (!first && type != message.type) {
            error = "a message changes its packet type midway";
            return std::nullopt;
        }
        if (message.payload.size() + length > kLargestMessage) {
            error = "a message is larger than 64 MiB";
            return std::nullopt;
        }
        message.type = type;
        const std::size_t at = message.payload.size();
        message.payload.resize(at + length - kHeaderSize);
        if (!read_exactly(socket_fd, message.payload.data() + at, length - kHeaderSize)) {
            error = "the connection ended inside a packet";
            return std::nullopt;
        }
        first = false;
        if ((status & kEndOfMessage) == 0) continue;
        if ((status & kIgnoreMessage) == 0) return message;
        // The client withdrew the message it was sending.
        message.payload.clear();
        first = true;
    }
}

bool write_message(int socket_fd, PacketType type, std::string_view payload,
                   std::size_t packet_size) {
    const std::size_t room = packet_size - kHeaderSize;
    std::uint8_t packet_id = 1;
    std::size_t at = 0;
    do {
        const std::size_t chunk = std::min(room, payload.size() - at);
        const bool last = at + chunk == payload.size();
        std::string packet;
        packet.reserve(kHeaderSize + chunk);
        put_u8(packet, static_cast<std::uint8_t>(type));
        put_u8(packet, last ? kEndOfMessage : 0);
        put_u16_big(packet, static_cast<std::uint16_t>(kHeaderSize + chunk));
        put_u16_big(packet, 0);  // server process id
        put_u8(packet, packet_id++);
        put_u8(packet, 0);
        packet.append(payload.substr(at, chunk));
        if (!write_all(socket_fd, packet.data(), packet.size())) return false;
        at += chunk;
    } while (at < payload.size());
    return true;
}

std::string gbk_from_utf16(std::string_view utf16) {
    return convert(utf16, "GBK", "UTF-16LE", 2, "?");
}

std::string utf16_from_gbk(std::string_view gbk) {
    return convert(gbk, "UTF-16LE", "GBK", 1, std::string_view("?\0", 2));
}

std::string utf8_from_gbk(std::string_view gbk) {
    return convert(gbk, "UTF-8", "GBK", 1, "?");
}

bool ByteReader::has(std::size_t count) {
    if (!failed_ && bytes_.size() - at_ >= count) return true;
    failed_ = true;
    return false;
}

std::uint8_t ByteReader::u8() {
    if (!has(1)) return 0;
    return static_cast<std::uint8_t>(bytes_[at_++]);
}

std::uint16_t ByteReader::u16() {
    const std::uint16_t low = u8();
    return static_cast<std::uint16_t>(low | u8() << 8);
}

std::uint32_t ByteReader::u32() {
    const std::uint32_t low = u16();
    return low | static_cast<std::uint32_t>(u16()) << 16;
}

std::uint64_t ByteReader::u64() {
    const std::uint64_t low = u32();
    return low | static_cast<std::uint64_t>(u32()) << 32;
}

std::string_view ByteReader::take(std::size_t count) {
    if (!has(count)) return {};
    const std::string_view taken = bytes_.substr(at_, count);
    at_ += count;
    return taken;
}

std::string_view ByteReader::b_varbyte() {
    return take(u8());
}

std::optional<Prelogin> parse_prelogin(std::string_view payload) {
    constexpr std::uint8_t kEncryption = 0x01;
    constexpr std::uint8_t kTerminator = 0xFF;
    Prelogin prelogin;
    for (std::size_t at = 0;; at += 5) {
        if (at >= payload.size()) return std::nullopt;
        const auto option = static_cast<std::uint8_t>(payload[at]);
        if (option == kTerminator) return prelogin;
        if (at + 5 > payload.size()) return std::nullopt;
        const auto byte = [&](std::size_t i) {
            return static_cast<std::size_t>(static_cast<unsigned char>(payload[at + i]));
        };
        const std::size_t offset = byte(1) << 8 | byte(2);
        const std::size_t length = byte(3) << 8 | byte(4);
        if (offset > payload.size() || length > payload.size() - offset) return std::nullopt;
        if (option == kEncryption && length >= 1) {
            prelogin.encryption = static_cast<std::uint8_t>(payload[offset]);
        }
    }
}

std::string prelogin_reply() {
    constexpr std::uint8_t kEncryptionNotSupported = 0x02;
    struct Option {
        std::uint8_t token;
        std::string data;
    };
    const Option options[] = {
        {0x00,
         std::string(reinterpret_cast<const char*>(kServerVersion), 4) + std::string(2, '\0')},
        {0x01, std::string(1, static_cast<char>(kEncryptionNotSupported))},
        {0x02, std::string(1, '\0')},  // no instance name
        {0x03, std::string()},         // thread id: the client's alone
        {0x04, std::string(1, '\0')},  // no MARS
    };
    const std::size_t count = sizeof options / sizeof options[0];
    std::string head, data;
    std::size_t offset = count * 5 + 1;
    for (const Option& option : options) {
        put_u8(head, option.token);
        put_u16_big(head, static_cast<std::uint16_t>(offset + data.size()));
        put_u16_big(head, static_cast<std::uint16_t>(option.data.size()));
        data += option.data;
    }
    put_u8(head, 0xFF);
    return head + data;
}

std::optional<Login7> parse_login7(std::string_view payload, std::string& error) {
    constexpr std::size_t kFixedPart = 94;
    constexpr std::uint8_t kExtensionFlag = 0x10;
    ByteReader reader(payload);
    const std::uint32_t length = reader.u32();
    if (payload.size() < kFixedPart || length < kFixedPart || length > payload.size()) {
        error = "the login record is shorter than its fixed part or than it says";
        return std::nullopt;
    }
    const std::string_view record = payload.substr(0, length);
    Login7 login;
    login.tds_version = reader.u32();
    login.packet_size = reader.u32();
    reader.take(12);  // client program version, process id, connection id
    reader.take(3);   // option flags 1 and 2, type flags
    const std::uint8_t flags3 = reader.u8();
    reader.take(8);  // time zone, locale

    bool fits = true;
    const auto text = [&](bool password) {
        const std::size_t offset = reader.u16();
        const std::size_t characters = reader.u16();
        if (characters == 0) return std::string();
        if (offset > record.size() || characters * 2 > record.size() - offset) {
            fits = false;
            return std::string();
        }
        std::string utf16(record.substr(offset, characters * 2));
        if (password) {
            // Each byte was nibble-swapped and then XORed with 0xA5.
            for (char& c : utf16) {
                const auto b = static_cast<std::uint8_t>(static_cast<std::uint8_t>(c) ^ 0xA5);
                c = static_cast<char>(static_cast<std::uint8_t>((b & 0x0F) << 4 | b >> 4));
            }
        }
        return gbk_from_utf16(utf16);
    };
    login.host = text(false);
    login.user = text(false);
    login.password = text(true);
    login.application = text(false);
    login.server = text(false);
    reader.take(4);  // extension offset and length
    login.library = text(false);
    login.language = text(false);
    login.database = text(false);
    if (!fits || reader.failed()) {
        error = "a text of the login record lies outside it";
        return std::nullopt;
    }
    login.wants_feature_ack = (flags3 & kExtensionFlag) != 0 && login.tds_version >= kTds74;
    return login;
}

std::string version_name(std::uint32_t tds_version) {
    const std::uint32_t top = tds_version >> 24;
    return std::to_string(top >> 4) + "." + std::to_string(top & 0x0F);
}

std::optional<std::uint64_t> skip_all_headers(ByteReader& reader) {
    constexpr std::uint16_t kTransactionDescriptor = 2;
    const std::size_t start = reader.position();
    const std::uint32_t total = reader.u32();
    if (reader.failed() || total < 4 || total - 4 > reader.remaining()) return std::nullopt;
    std::uint64_t descriptor = 0;
    while (reader.position() - start < total) {
        const std::uint32_t header_length = reader.u32();
        const std::uint16_t header_type = reader.u16();
        if (reader.failed() || header_length < 6 ||
            header_length > total - (reader.position() - 6 - start)) {
            return std::nullopt;
        }
        if (header_type == kTransactionDescriptor && header_length >= 6 + 8) {
            descriptor = reader.u64();
            reader.take(header_length - 6 - 8);
        } else {
            reader.take(header_length - 6);
        }
    }
    if (reader.failed()) return std::nullopt;
    return descriptor;
}

void TokenWriter::env_change(EnvChange type, std::string_view new_value,
                             std::string_view old_value) {
    std::string body;
    put_u8(body, static_cast<std::uint8_t>(type));
    put_b_varchar(body, new_value);
    put_b_varchar(body, old_value);
    put_sized_token(out_, 0xE3, body);
}

void TokenWriter::env_change_bytes(EnvChange type, std::string_view new_value,
                                   std::string_view old_value) {
    std::string body;
    put_u8(body, static_cast<std::uint8_t>(type));
    put_b_varbyte(body, new_value);
    put_b_varbyte(body, old_value);
    put_sized_token(out_, 0xE3, body);
}

void TokenWriter::message(std::uint8_t token, std::uint32_t number, std::uint8_t state,
                          std::uint8_t severity, std::string_view text, std::string_view server) {
    std::string body;
    put_u32(body, number);
    put_u8(body, state);
    put_u8(body, severity);
    // The token's length field has two bytes; the double's texts can quote whole statements.
    constexpr std::size_t kLongestText = 4000;
    put_us_varchar(body, text, kLongestText);
    put_b_varchar(body, server);
    put_b_varchar(body, "");  // no procedure
    put_u32(body, 1);         // line number
    put_sized_token(out_, token, body);
}

void TokenWriter::info(std::uint32_t number, std::uint8_t state, std::uint8_t severity,
                       std::string_view text, std::string_view server) {
    message(0xAB, number, state, severity, text, server);
}

void TokenWriter::error(std::uint32_t number, std::uint8_t state, std::uint8_t severity,
                        std::string_view text, std::string_view server) {
    message(0xAA, number, state, severity, text, server);
}

void TokenWriter::login_ack(std::uint32_t tds_version, std::string_view program) {
    constexpr std::uint8_t kTransactSql = 1;
    std::string body;
    put_u8(body, kTransactSql);
    // The version goes out most significant byte first, unlike every other number here.
    put_u16_big(body, static_cast<std::uint16_t>(tds_version >> 16));
    put_u16_big(body, static_cast<std::uint16_t>(tds_version & 0xFFFF));
    put_b_varchar(body, program);
    body.append(reinterpret_cast<const char*>(kServerVersion), 4);
    put_sized_token(out_, 0xAD, body);
}

void TokenWriter::feature_ack_none() {
    put_u8(out_, 0xAE);
    put_u8(out_, 0xFF);
}

std::string TokenWriter::store_collation() {
    // Locale 0x0804 (Chinese, PRC), case, kana and width ignored; sort id 0.
    return std::string("\x04\x08\xD0\x00\x00", 5);
}

void TokenWriter::column_metadata(const std::vector<Column>& columns) {
    constexpr std::uint16_t kNullable = 0x0001;
    put_u8(out_, 0x81);
    put_u16(out_, static_cast<std::uint16_t>(columns.size()));
    for (const Column& column : columns) {
        put_u32(out_, 0);  // user type
        switch (column.type) {
            case ColumnType::kVarchar:
                put_u16(out_, kNullable);
                put_u8(out_, 0xA7);  // BIGVARCHRTYPE
                put_u16(out_, 8000);
                out_ += store_collation();
                break;
            case ColumnType::kNvarchar:
                put_u16(out_, kNullable);
                put_u8(out_, 0xE7);  // NVARCHARTYPE
                put_u16(out_, 8000);
                out_ += store_collation();
                break;
            case ColumnType::kInt:
                put_u16(out_, 0);
                put_u8(out_, 0x38);  // INT4TYPE
                break;
        }
        put_b_varchar(out_, column.name);
    }
}

void TokenWriter::row(const std::vector<Column>& columns,
                      const std::vector<std::optional<std::string>>& values) {
    constexpr std::uint16_t kNull = 0xFFFF;
    constexpr std::size_t kLongest = 8000;
    put_u8(out_, 0xD1);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const std::optional<std::string>& value = values[i];
        if (columns[i].type == ColumnType::kInt) {
            put_u32(out_, static_cast<std::uint32_t>(
                              std::strtol(value.value_or("0").c_str(), nullptr, 10)));
            continue;
        }
        if (!value) {
            put_u16(out_, kNull);
            continue;
        }
        std::string bytes =
            columns[i].type == ColumnType::kNvarchar ? utf16_from_gbk(*value) : *value;
        if (bytes.size() > kLongest) bytes.resize(kLongest);
        put_u16(out_, static_cast<std::uint16_t>(bytes.size()));
        out_ += bytes;
    }
}

void TokenWriter::done_token(std::uint8_t token, std::uint16_t status, std::uint16_t command,
                             std::uint64_t rows) {
    put_u8(out_, token);
    put_u16(out_, status);
    put_u16(out_, command);
    put_u64(out_, rows);
}

void TokenWriter::done(std::uint16_t status, std::uint16_t command, std::uint64_t rows) {
    done_token(0xFD, status, command, rows);
}

void TokenWriter::done_in_procedure(std::uint16_t status, std::uint16_t command,
                                    std::uint64_t rows) {
    done_token(0xFF, status, command, rows);
}

void TokenWriter::done_procedure(std::uint16_t status) {
    done_token(0xFE, status, 0, 0);
}

void TokenWriter::return_status(std::int32_t status) {
    put_u8(out_, 0x79);
    put_u32(out_, static_cast<std::uint32_t>(status));
}

void TokenWriter::return_value_int(std::uint16_t ordinal, std::int32_t value) {
    constexpr std::uint8_t kOutputParameter = 0x01;
    put_u8(out_, 0xAC);
    put_u16(out_, ordinal);
    put_b_varchar(out_, "");
    put_u8(out_, kOutputParameter);
    put_u32(out_, 0);     // user type
    put_u16(out_, 0x01);  // nullable
    put_u8(out_, 0x26);   // INTNTYPE
    put_u8(out_, 4);
    put_u8(out_, 4);
    put_u32(out_, static_cast<std::uint32_t>(value));
}

std::optional<std::vector<Rpc>> parse_rpc(ByteReader& reader, std::string& error) {
    constexpr std::uint16_t kProcedureById = 0xFFFF;
    constexpr std::uint8_t kBatchSeparator = 0xFF, kOldBatchSeparator = 0x80;
    std::vector<Rpc> calls;
    const auto fail = [&](std::string problem) {
        error = std::move(problem);
        return std::nullopt;
    };
    while (reader.remaining() > 0) {
        Rpc call;
        const std::uint16_t name_length = reader.u16();
        if (name_length == kProcedureById) {
            call.procedure_id = reader.u16();
        } else {
            call.procedure_name = gbk_from_utf16(reader.take(std::size_t{name_length} * 2));
        }
        reader.u16();  // option flags
        while (reader.remaining() > 0) {
            const auto next = reader.u8();
            if (next == kBatchSeparator || next == kOldBatchSeparator) break;
            reader.take(std::size_t{next} * 2);  // parameter name
            reader.u8();                         // status flags
            RpcParameter parameter;
            const std::uint8_t type = reader.u8();
            if (type == 0x26) {  // INTNTYPE
                reader.u8();
                const std::uint8_t length = reader.u8();
                parameter.is_null = length == 0;
                std::uint64_t value = 0;
                for (std::uint8_t i = 0; i < length && i < 8; ++i) {
                    value |= std::uint64_t{reader.u8()} << (8 * i);
                }
                if (length == 1) parameter.number = static_cast<std::int8_t>(value);
                if (length == 2) parameter.number = static_cast<std::int16_t>(value);
                if (length == 4) parameter.number = static_cast<std::int32_t>(value);
                if (length == 8) parameter.number = static_cast<long>(value);
            } else if (type == 0x38) {  // INT4TYPE
                parameter.number = static_cast<std::int32_t>(reader.u32());
            } else if (type == 0x63 || type == 0x23) {  // NTEXTTYPE, TEXTTYPE
                reader.u32();
                reader.take(5);
                const std::uint32_t length = reader.u32();
                parameter.is_null = length == 0xFFFFFFFF;
                if (!parameter.is_null) {
                    const std::string_view bytes = reader.take(length);
                    parameter.text = type == 0x63 ? gbk_from_utf16(bytes) : std::string(bytes);
                }
            } else if (type == 0xE7 || type == 0xA7) {  // NVARCHARTYPE, BIGVARCHRTYPE
                const std::uint16_t max_length = reader.u16();
                reader.take(5);
                std::string bytes;
                if (max_length == 0xFFFF) {  // (max): partly length-prefixed chunks
                    const std::uint64_t total = reader.u64();
                    parameter.is_null = total == ~std::uint64_t{0};
                    while (!parameter.is_null && !reader.failed()) {
                        const std::uint32_t chunk = reader.u32();
                        if (chunk == 0) break;
                        bytes += reader.take(chunk);
                    }
                } else {
                    const std::uint16_t length = reader.u16();
                    parameter.is_null = length == 0xFFFF;
                    if (!parameter.is_null) bytes = std::string(reader.take(length));
                }
                parameter.text = type == 0xE7 ? gbk_from_utf16(bytes) : bytes;
            } else {
                return fail("a parameter of type " + std::to_string(type) +
                            ", which the stand-in does not read");
            }
            if (reader.failed()) return fail("a parameter runs past the end of the request");
            call.parameters.push_back(std::move(parameter));
        }
        if (reader.failed()) return fail("the request is cut short");
        calls.push_back(std::move(call));
    }
    return calls;
}

}  // namespace tessary::testing::tds
