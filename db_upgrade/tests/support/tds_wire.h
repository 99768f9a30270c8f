#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The bytes of the Tabular Data Stream protocol (TDS 7.3 and 7.4, as Microsoft documents it
// in MS-TDS) that the SQL Server stand-in reads and writes: packets, the login records and
// the tokens of its replies. Nothing here knows SQL.
namespace tessary::testing::tds {

enum class PacketType : std::uint8_t {
    kSqlBatch = 0x01,
    kRpc = 0x03,
    kReply = 0x04,
    kAttention = 0x06,
    kTransactionManager = 0x0E,
    kLogin7 = 0x10,
    kPrelogin = 0x12,
};

inline constexpr std::uint32_t kTds73 = 0x730B0003;
inline constexpr std::uint32_t kTds74 = 0x74000004;
inline constexpr std::size_t kDefaultPacketSize = 4096;

// One message: the payloads of its packets up to the one marked end-of-message.
struct Message {
    PacketType type;
    std::string payload;
};

// Reads one message from a connected socket. nullopt when the peer closed the connection
// (with `error` empty) or sent something that is no TDS packet (with `error` saying what).
std::optional<Message> read_message(int socket_fd, std::string& error);

// Writes `payload` as one message of packets no longer than `packet_size` bytes.
bool write_message(int socket_fd, PacketType type, std::string_view payload,
                   std::size_t packet_size);

// UTF-16LE text to GBK; a character GBK has no code for becomes '?', as SQL Server stores
// it in a column of code page 936.
std::string gbk_from_utf16(std::string_view utf16);
std::string utf16_from_gbk(std::string_view gbk);
std::string utf8_from_gbk(std::string_view gbk);

// Little-endian reads with bounds checks: a read past the end sets failed() and yields 0.
class ByteReader {
  public:
    explicit ByteReader(std::string_view bytes, std::size_t at = 0) : bytes_(bytes), at_(at) {}

    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    std::uint64_t u64();
    std::string_view take(std::size_t count);
    // B_VARBYTE: a length byte, then the bytes.
    std::string_view b_varbyte();

    std::size_t position() const { return at_; }
    std::size_t remaining() const { return failed_ ? 0 : bytes_.size() - at_; }
    bool failed() const { return failed_; }

  private:
    bool has(std::size_t count);

    std::string_view bytes_;
    std::size_t at_;
    bool failed_ = false;
};

// What a PRELOGIN message asks for, as far as the stand-in cares: encryption (0 off, 1 on,
// 2 not supported, 3 required), when the client says.
struct Prelogin {
    std::optional<std::uint8_t> encryption;
};
std::optional<Prelogin> parse_prelogin(std::string_view payload);
// The reply: the server's version, encryption not supported, no instance, no MARS.
std::string prelogin_reply();

struct Login7 {
    std::uint32_t tds_version = 0;
    std::uint32_t packet_size = 0;
    bool wants_feature_ack = false;  // TDS 7.4 client with FeatureExt
    std::string host, user, password, application, server, library, language, database;
};
// nullopt with `error` when the record does not hold together.
std::optional<Login7> parse_login7(std::string_view payload, std::string& error);

// "7.4", "7.3" ... for the log.
std::string version_name(std::uint32_t tds_version);

// The header of SQL batches and transaction manager requests (ALL_HEADERS): skips it and
// returns the transaction descriptor it names (0 when none).
std::optional<std::uint64_t> skip_all_headers(ByteReader& reader);

// One remote procedure call of an RPC request: the procedure by number (the sp_ procedures
// of the protocol, e.g. 13 for sp_prepexec) or by name, and its parameters as values.
struct RpcParameter {
    bool is_null = false;
    std::string text;  // texts converted to GBK
    long number = 0;   // integers
};
struct Rpc {
    std::uint16_t procedure_id = 0;  // 0 when called by name
    std::string procedure_name;      // GBK
    std::vector<RpcParameter> parameters;
};
// The calls of an RPC request (after ALL_HEADERS). nullopt with `error` when a parameter is
// of a type the stand-in does not read or the request does not hold together.
std::optional<std::vector<Rpc>> parse_rpc(ByteReader& reader, std::string& error);

// The types the stand-in sends in result sets.
enum class ColumnType { kVarchar, kNvarchar, kInt };

struct Column {
    std::string name;  // GBK
    ColumnType type;
};

// Builds the token stream of a reply.
class TokenWriter {
  public:
    enum class EnvChange : std::uint8_t {
        kDatabase = 1,
        kLanguage = 2,
        kPacketSize = 4,
        kCollation = 7,
        kBeginTransaction = 8,
        kCommitTransaction = 9,
        kRollbackTransaction = 10,
    };
    static constexpr std::uint16_t kDoneMore = 0x0001;
    static constexpr std::uint16_t kDoneError = 0x0002;
    static constexpr std::uint16_t kDoneCount = 0x0010;
    static constexpr std::uint16_t kDoneAttention = 0x0020;
    static constexpr std::uint16_t kCommandSelect = 0xC1;

    // Texts are GBK; they go out in UTF-16.
    void env_change(EnvChange type, std::string_view new_value, std::string_view old_value);
    void env_change_bytes(EnvChange type, std::string_view new_value, std::string_view old_value);
    void info(std::uint32_t number, std::uint8_t state, std::uint8_t severity,
              std::string_view text, std::string_view server);
    void error(std::uint32_t number, std::uint8_t state, std::uint8_t severity,
               std::string_view text, std::string_view server);
    void login_ack(std::uint32_t tds_version, std::string_view program);
    void feature_ack_none();
    void column_metadata(const std::vector<Column>& columns);
    // One row; values are GBK texts or decimal integers, nullopt for NULL.
    void row(const std::vector<Column>& columns,
             const std::vector<std::optional<std::string>>& values);
    void done(std::uint16_t status, std::uint16_t command = 0, std::uint64_t rows = 0);
    // The same inside a procedure call, and at its end.
    void done_in_procedure(std::uint16_t status, std::uint16_t command = 0, std::uint64_t rows = 0);
    void done_procedure(std::uint16_t status);
    void return_status(std::int32_t status);
    // An output parameter of type int.
    void return_value_int(std::uint16_t ordinal, std::int32_t value);

    // The collation of the store databases: Chinese_PRC_CI_AS, code page 936.
    static std::string store_collation();

    const std::string& bytes() const { return out_; }

  private:
    void done_token(std::uint8_t token, std::uint16_t status, std::uint16_t command,
                    std::uint64_t rows);
    void message(std::uint8_t token, std::uint32_t number, std::uint8_t state,
                 std::uint8_t severity, std::string_view text, std::string_view server);

    std::string out_;
};

}  // namespace tessary::testing::tds
