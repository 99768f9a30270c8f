#include "tds_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>

#include "core/text.h"
#include "tds_wire.h"

namespace tessary::testing {

using namespace tds;

namespace {

// Compares letters without regard to case; `lower` is in lower case.
bool same_name(std::string_view name, std::string_view lower) {
    return text::lower(name) == lower;
}

// Whether the statement's first word, after blanks and -- comments, is `word`.
bool starts_with_word(const std::string& text, const char* word) {
    std::size_t at = 0;
    for (;;) {
        at = text.find_first_not_of(" \t\r\n", at);
        if (at == std::string::npos) return false;
        if (text.compare(at, 2, "--") != 0) break;
        at = text.find('\n', at);
        if (at == std::string::npos) return false;
    }
    const std::size_t after = at + std::strlen(word);
    return after <= text.size() && same_name(std::string_view(text).substr(at, after - at), word) &&
           (after == text.size() || std::strchr(" \t\r\n(", text[after]) != nullptr);
}

// One line of the log for a statement text: line ends shown as \n.
std::string one_line(const std::string& gbk) {
    std::string out;
    for (std::size_t i = 0; i < gbk.size(); ++i) {
        if (gbk[i] == '\r' && i + 1 < gbk.size() && gbk[i + 1] == '\n') continue;
        if (gbk[i] == '\n') {
            out += "\\n";
        } else {
            out += gbk[i];
        }
    }
    return utf8_from_gbk(out);
}

std::string descriptor_bytes(std::uint64_t descriptor) {
    std::string bytes;
    for (int i = 0; i < 8; ++i) bytes += static_cast<char>((descriptor >> (8 * i)) & 0xFF);
    return bytes;
}

ColumnType wire_type(SqlServerDouble::ColumnType type) {
    switch (type) {
        case SqlServerDouble::ColumnType::kNvarchar:
            return ColumnType::kNvarchar;
        case SqlServerDouble::ColumnType::kInt:
            return ColumnType::kInt;
        case SqlServerDouble::ColumnType::kVarchar:
            break;
    }
    return ColumnType::kVarchar;
}

}  // namespace

// One client connection: the PRELOGIN and LOGIN7 exchange, then its requests.
class TdsSession {
  public:
    TdsSession(TdsServer& server, int socket_fd, int number)
        : server_(server), socket_(socket_fd), number_(number) {}

    void run() {
        std::string problem;
        while (!closing_) {
            auto message = read_message(socket_, problem);
            if (!message) break;
            switch (message->type) {
                case PacketType::kPrelogin:
                    prelogin(message->payload);
                    break;
                case PacketType::kLogin7:
                    login(message->payload);
                    break;
                case PacketType::kSqlBatch:
                    if (require_login()) batch(message->payload);
                    break;
                case PacketType::kRpc:
                    if (require_login()) rpc(message->payload);
                    break;
                case PacketType::kTransactionManager:
                    if (require_login()) transaction_request(message->payload);
                    break;
                case PacketType::kAttention:
                    log("attention");
                    reply_done(TokenWriter::kDoneAttention);
                    break;
                default:
                    refuse("The stand-in does not take requests of packet type " +
                           std::to_string(static_cast<int>(message->type)) + ".");
                    break;
            }
        }
        if (!problem.empty()) log("protocol error: " + problem);
        if (logged_in_) session_->disconnect();
        log("closed");
    }

  private:
    SqlServerDouble& databases() { return *session_; }

    void log(const std::string& line) {
        server_.write_log("#" + std::to_string(number_) + " " + line);
    }

    void send(const TokenWriter& tokens) {
        if (!write_message(socket_, PacketType::kReply, tokens.bytes(), packet_size_)) {
            closing_ = true;
        }
    }

    void reply_done(std::uint16_t status) {
        TokenWriter tokens;
        tokens.done(status);
        send(tokens);
    }

    // An error of the stand-in itself, not of a statement.
    void refuse(const std::string& text, bool close = false) {
        log("refused: " + text);
        TokenWriter tokens;
        tokens.error(50000, 1, 16, text, server_.server_name_);
        tokens.done(TokenWriter::kDoneError);
        send(tokens);
        if (close) closing_ = true;
    }

    bool require_login() {
        if (logged_in_) return true;
        refuse("Log in first.", true);
        return false;
    }

    void prelogin(const std::string& payload) {
        const auto request = parse_prelogin(payload);
        if (!request) {
            log("protocol error: the PRELOGIN message does not hold together");
            closing_ = true;
            return;
        }
        static const char* const kEncryption[] = {"off", "on", "not supported", "required"};
        const std::uint8_t encryption = request->encryption.value_or(2);
        log(std::string("prelogin, encryption ") +
            (encryption < 4 ? kEncryption[encryption] : "unknown") + " (answer: not supported)");
        if (!write_message(socket_, PacketType::kReply, prelogin_reply(), packet_size_)) {
            closing_ = true;
        }
    }

    void login(const std::string& payload) {
        std::string problem;
        const auto request = parse_login7(payload, problem);
        if (!request) {
            refuse("The login record is malformed: " + problem + ".", true);
            return;
        }
        if (logged_in_) {
            refuse("This connection is logged in already.", true);
            return;
        }
        if (request->tds_version < kTds73) {
            refuse("The stand-in speaks TDS 7.3 and 7.4; the client asked for TDS " +
                       version_name(request->tds_version) + ".",
                   true);
            return;
        }
        const std::uint32_t version = request->tds_version >= kTds74 ? kTds74 : kTds73;
        const std::string database = request->database.empty() ? "master" : request->database;
        log("login " + utf8_from_gbk(request->user) + " to " + utf8_from_gbk(database) + ", TDS " +
            version_name(version) +
            (request->library.empty() ? "" : ", from " + utf8_from_gbk(request->library)));
        session_ = server_.databases_.open_session();
        Transaction::Settings& settings = databases().settings();
        settings.server_name = server_.server_name_;
        settings.log_id = request->user;
        settings.log_pass = request->password;
        settings.database = database;
        databases().set_autocommit(true);
        databases().connect();
        if (databases().sqlcode() != Transaction::kSuccess) {
            TokenWriter tokens;
            report_error(tokens);
            tokens.done(TokenWriter::kDoneError);
            send(tokens);
            closing_ = true;
            return;
        }
        logged_in_ = true;

        std::size_t packet_size =
            request->packet_size == 0 ? kDefaultPacketSize : request->packet_size;
        if (packet_size < 512) packet_size = 512;
        if (packet_size > 32767) packet_size = 32767;
        const std::string current = databases().current_database();
        TokenWriter tokens;
        tokens.env_change(TokenWriter::EnvChange::kDatabase, current, "master");
        tokens.info(5701, 2, 0, "Changed database context to '" + current + "'.",
                    server_.server_name_);
        tokens.env_change_bytes(TokenWriter::EnvChange::kCollation, TokenWriter::store_collation(),
                                "");
        tokens.env_change(TokenWriter::EnvChange::kLanguage, "us_english", "");
        tokens.info(5703, 1, 0, "Changed language setting to us_english.", server_.server_name_);
        tokens.login_ack(version, "Microsoft SQL Server");
        if (request->wants_feature_ack) tokens.feature_ack_none();
        tokens.env_change(TokenWriter::EnvChange::kPacketSize, std::to_string(packet_size),
                          std::to_string(packet_size_));
        tokens.done(0);
        send(tokens);
        packet_size_ = packet_size;
    }

    // The double's last error as an ERROR token with SQL Server's number and severity.
    void report_error(TokenWriter& tokens) {
        const std::string& text = databases().sqlerrtext();
        const auto native = SqlServerDouble::native_error(text);
        log("error " + std::to_string(native.number) + ": " + utf8_from_gbk(text));
        tokens.error(static_cast<std::uint32_t>(native.number), 1,
                     static_cast<std::uint8_t>(native.severity), text, server_.server_name_);
    }

    void batch(const std::string& payload) {
        ByteReader reader(payload);
        if (!skip_all_headers(reader) || reader.remaining() % 2 != 0) {
            refuse("The SQL batch is malformed.", true);
            return;
        }
        const std::string statement = gbk_from_utf16(reader.take(reader.remaining()));
        if (++server_.batches_ == server_.cut_at_batch_) {
            cut("cut: " + one_line(statement));
            return;
        }
        hold(statement);
        log("batch: " + one_line(statement));
        TokenWriter tokens;
        run_statement(statement, tokens, false);
        send(tokens);
    }

    // Ends the connection with a reset, as a link that breaks does.
    void cut(const std::string& line) {
        log(line);
        const linger reset{1, 0};
        setsockopt(socket_, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        closing_ = true;
    }

    void hold(const std::string& statement) {
        const std::string& file = server_.hold_file_;
        if (file.empty() || access(file.c_str(), F_OK) != 0) return;
        log("holding: " + one_line(statement));
        while (access(file.c_str(), F_OK) == 0 && !server_.stopping_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    // Runs one statement text in the double and writes its result: a result set for a
    // select, the change of database for a use, the error otherwise. Returns whether it
    // succeeded.
    bool run_statement(const std::string& statement, TokenWriter& tokens, bool in_procedure) {
        const auto done = [&](std::uint16_t status, std::uint16_t command, std::uint64_t rows) {
            if (in_procedure) {
                // The procedure's own end follows.
                tokens.done_in_procedure(status | TokenWriter::kDoneMore, command, rows);
            } else {
                tokens.done(status, command, rows);
            }
        };
        const auto failed = [&] {
            report_error(tokens);
            done(TokenWriter::kDoneError, 0, 0);
            return false;
        };

        if (starts_with_word(statement, "set")) return session_option(statement, tokens, done);
        // A batch that declares its variables answers with the select at its end.
        if (starts_with_word(statement, "select") || starts_with_word(statement, "declare")) {
            std::optional<std::string> value;
            databases().select_into(statement, value);
            const long status = databases().sqlcode();
            if (status == Transaction::kError) return failed();
            const std::vector<Column> columns = {
                {"", wire_type(SqlServerDouble::column_type(statement))}};
            tokens.column_metadata(columns);
            if (status == Transaction::kSuccess) tokens.row(columns, {value});
            done(TokenWriter::kDoneCount, TokenWriter::kCommandSelect,
                 status == Transaction::kSuccess ? 1 : 0);
            return true;
        }

        const std::string database_before = databases().current_database();
        databases().execute_immediate(statement);
        if (databases().sqlcode() != Transaction::kSuccess) return failed();
        const std::string& current = databases().current_database();
        if (current != database_before) {
            tokens.env_change(TokenWriter::EnvChange::kDatabase, current, database_before);
            tokens.info(5701, 1, 0, "Changed database context to '" + current + "'.",
                        server_.server_name_);
        }
        done(0, 0, 0);
        return true;
    }

    // SET statements change the connection, not a database: the stand-in takes the options
    // clients set on connecting (nothing the double models depends on them) and refuses the
    // rest.
    template <typename Done>
    bool session_option(const std::string& statement, TokenWriter& tokens, const Done& done) {
        std::vector<std::string> words;
        std::string word;
        for (const char c : statement + " ") {
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ';') {
                if (!word.empty()) words.push_back(word);
                word.clear();
            } else {
                word += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
            }
        }
        static const std::vector<std::string> kIsolation = {"SET", "TRANSACTION", "ISOLATION",
                                                            "LEVEL"};
        const bool isolation =
            words.size() > 4 && std::equal(kIsolation.begin(), kIsolation.end(), words.begin());
        const bool text_size = words.size() == 3 && words[1] == "TEXTSIZE";
        if (!isolation && !text_size) {
            const std::string text = "The stand-in does not keep the option of: " + statement;
            log("refused: " + utf8_from_gbk(text));
            tokens.error(50000, 1, 16, text, server_.server_name_);
            done(TokenWriter::kDoneError, 0, 0);
            return false;
        }
        done(0, 0, 0);
        return true;
    }

    // The system procedures clients call to prepare and run a statement (ODBC's
    // SQLPrepare and SQLExecute), without statement parameters.
    void rpc(const std::string& payload) {
        ByteReader reader(payload);
        std::string problem;
        std::optional<std::vector<Rpc>> calls;
        if (skip_all_headers(reader)) calls = parse_rpc(reader, problem);
        if (!calls) {
            refuse("The RPC request is malformed: " + problem + ".", true);
            return;
        }
        TokenWriter tokens;
        for (const Rpc& call : *calls) procedure_call(call, tokens);
        send(tokens);
    }

    void procedure_call(const Rpc& call, TokenWriter& tokens) {
        enum Procedure {
            kExecuteSql = 10,
            kPrepare = 11,
            kExecute = 12,
            kPrepExec = 13,
            kUnprepare = 15,
            kUnknown = 0
        };
        static const std::pair<const char*, Procedure> kByName[] = {
            {"sp_executesql", kExecuteSql}, {"sp_prepare", kPrepare},     {"sp_execute", kExecute},
            {"sp_prepexec", kPrepExec},     {"sp_unprepare", kUnprepare},
        };
        Procedure procedure = kUnknown;
        std::string name = call.procedure_name;
        if (call.procedure_id != 0) {
            for (const auto& known : kByName) {
                if (known.second == call.procedure_id) name = known.first;
            }
        }
        for (const auto& known : kByName) {
            if (same_name(name, known.first)) procedure = known.second;
        }
        const auto& parameters = call.parameters;
        const auto parameter_text = [&](std::size_t i) {
            return i < parameters.size() ? parameters[i].text : std::string();
        };
        // Statement parameters are declared in one parameter and passed from another on.
        const auto has_statement_parameters = [&](std::size_t declaration, std::size_t first) {
            return !parameter_text(declaration).empty() ||
                   ((procedure == kPrepExec || procedure == kExecuteSql) &&
                    parameters.size() > first);
        };
        const auto finish = [&](bool ok) {
            tokens.return_status(ok ? 0 : 1);
            tokens.done_procedure(ok ? 0 : TokenWriter::kDoneError);
        };
        const auto refuse_call = [&](const std::string& text) {
            log("refused: " + text);
            tokens.error(50000, 1, 16, text, server_.server_name_);
            finish(false);
        };

        if (procedure == kUnknown) {
            log("rpc " +
                utf8_from_gbk(name.empty() ? "#" + std::to_string(call.procedure_id) : name));
            refuse_call("The stand-in does not run the procedure " + name + ".");
            return;
        }
        log("rpc " + name);
        if (procedure == kPrepare || procedure == kPrepExec) {
            if (has_statement_parameters(1, 3)) {
                refuse_call("The stand-in takes statements without parameters.");
                return;
            }
            const std::string statement = parameter_text(2);
            const std::int32_t handle = ++last_handle_;
            prepared_[handle] = statement;
            log("prepared " + std::to_string(handle) + ": " + one_line(statement));
            const bool ok = procedure == kPrepare || run_statement(statement, tokens, true);
            tokens.return_status(ok ? 0 : 1);
            tokens.return_value_int(0, handle);
            tokens.done_procedure(ok ? 0 : TokenWriter::kDoneError);
        } else if (procedure == kExecute || procedure == kUnprepare) {
            const auto found =
                parameters.empty() ? prepared_.end() : prepared_.find(parameters[0].number);
            if (found == prepared_.end()) {
                refuse_call("Could not find prepared statement with handle " +
                            std::to_string(parameters.empty() ? 0 : parameters[0].number) + ".");
            } else if (procedure == kUnprepare) {
                prepared_.erase(found);
                finish(true);
            } else if (parameters.size() > 1) {
                refuse_call("The stand-in takes statements without parameters.");
            } else {
                log("execute " + std::to_string(found->first) + ": " + one_line(found->second));
                finish(run_statement(found->second, tokens, true));
            }
        } else {  // sp_executesql
            if (has_statement_parameters(1, 2)) {
                refuse_call("The stand-in takes statements without parameters.");
                return;
            }
            const std::string statement = parameter_text(0);
            log("execute: " + one_line(statement));
            finish(run_statement(statement, tokens, true));
        }
    }

    void transaction_request(const std::string& payload) {
        constexpr std::uint16_t kBegin = 5, kCommit = 7, kRollback = 8;
        constexpr std::uint8_t kBeginAfterwards = 0x01;
        ByteReader reader(payload);
        if (!skip_all_headers(reader)) {
            refuse("The transaction manager request is malformed.", true);
            return;
        }
        const std::uint16_t request = reader.u16();
        // A malformed request is refused before anything of it is carried out.
        const auto malformed = [&] {
            if (!reader.failed()) return false;
            refuse("The transaction manager request is malformed.", true);
            return true;
        };
        TokenWriter tokens;
        if (request == kBegin) {
            reader.u8();  // isolation level: the session's stays
            reader.b_varbyte();
            if (malformed()) return;
            log("transaction manager: begin");
            begin(tokens);
        } else if (request == kCommit || request == kRollback) {
            const bool commit = request == kCommit;
            reader.b_varbyte();
            const bool begin_afterwards = (reader.u8() & kBeginAfterwards) != 0;
            if (malformed()) return;
            log(std::string("transaction manager: ") + (commit ? "commit" : "rollback") +
                (begin_afterwards ? " and begin" : ""));
            if (!in_transaction_) {
                const std::uint32_t number = commit ? 3902 : 3903;
                const std::string text = std::string("The ") + (commit ? "COMMIT" : "ROLLBACK") +
                                         " TRANSACTION request has no corresponding BEGIN "
                                         "TRANSACTION.";
                log("error " + std::to_string(number) + ": " + text);
                tokens.error(number, 1, 16, text, server_.server_name_);
                tokens.done(TokenWriter::kDoneError);
                send(tokens);
                return;
            }
            if (commit) {
                databases().commit();
            } else {
                databases().rollback();
            }
            tokens.env_change_bytes(commit ? TokenWriter::EnvChange::kCommitTransaction
                                           : TokenWriter::EnvChange::kRollbackTransaction,
                                    "", descriptor_bytes(descriptor_));
            in_transaction_ = false;
            if (begin_afterwards) {
                begin(tokens);
            } else {
                databases().set_autocommit(true);
            }
        } else {
            log("transaction manager: request " + std::to_string(request));
            refuse("The stand-in does not take transaction manager request " +
                   std::to_string(request) + ".");
            return;
        }
        tokens.done(0);
        send(tokens);
    }

    void begin(TokenWriter& tokens) {
        databases().set_autocommit(false);
        in_transaction_ = true;
        ++descriptor_;
        tokens.env_change_bytes(TokenWriter::EnvChange::kBeginTransaction,
                                descriptor_bytes(descriptor_), "");
    }

    TdsServer& server_;
    int socket_;
    int number_;
    std::unique_ptr<SqlServerDouble> session_;  // from the login on
    std::size_t packet_size_ = kDefaultPacketSize;
    bool logged_in_ = false;
    bool closing_ = false;
    bool in_transaction_ = false;
    std::uint64_t descriptor_ = 0;
    std::map<long, std::string> prepared_;
    std::int32_t last_handle_ = 0;
};

TdsServer::TdsServer(SqlServerDouble& databases, std::string server_name, std::ostream& log)
    : databases_(databases), server_name_(std::move(server_name)), log_(log) {}

TdsServer::~TdsServer() {
    stop();
}

int TdsServer::listen(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error(std::string("no socket: ") + std::strerror(errno));
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const std::string reason = std::strerror(errno);
        close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " +
                                 reason);
    }
    listener_ = fd;
    return ntohs(address.sin_port);
}

void TdsServer::serve() {
    int number = 0;
    while (!stopping_) {
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            break;
        }
        const int on = 1;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            close(client);
            break;
        }
        // Threads of sessions that have ended give back their stacks.
        for (const int ended : ended_sessions_) {
            sessions_[ended].join();
            sessions_.erase(ended);
        }
        ended_sessions_.clear();
        connections_.insert(client);
        const int session = ++number;
        sessions_[session] = std::thread([this, client, session] {
            TdsSession(*this, client, session).run();
            std::lock_guard<std::mutex> guard(mutex_);
            connections_.erase(client);
            close(client);
            ended_sessions_.push_back(session);
        });
    }
}

void TdsServer::stop() {
    std::map<int, std::thread> sessions;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        const int fd = listener_.exchange(-1);
        if (fd >= 0) {
            shutdown(fd, SHUT_RDWR);
            close(fd);
        }
        for (const int client : connections_) shutdown(client, SHUT_RDWR);
        sessions.swap(sessions_);
        ended_sessions_.clear();
    }
    for (auto& session : sessions) session.second.join();
}

void TdsServer::write_log(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    log_ << line << std::endl;
}

}  // namespace tessary::testing
