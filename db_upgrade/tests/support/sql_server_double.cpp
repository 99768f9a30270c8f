#include "sql_server_double.h"

#include <algorithm>
#include <utility>

#include "core/statements.h"
#include "core/text.h"

namespace tessary::testing {
namespace {

std::string lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool same(const std::string& a, const std::string& b) {
    return lower(a) == lower(b);
}

bool same_value(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    return a && b && same(*a, *b);
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

struct Token {
    enum class Type { kWord, kString, kNumber, kSymbol };
    Type type;
    std::string text;  // words without their brackets, strings without their quotes
};

bool word_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '@' || c == '#' || c == '$';
}

std::vector<Token> tokenize(const std::string& text) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            ++i;
        } else if (c == '[') {
            // As SQL Server reads a quoted name: up to the first "]" that is not doubled, a
            // character at a time (the server has the text as characters).
            std::string name;
            for (++i; i < text.size(); i += text::character_length(text, i)) {
                if (text[i] == ']' && (i + 1 == text.size() || text[i + 1] != ']')) break;
                name.append(text, i, text::character_length(text, i));
                if (text[i] == ']') ++i;
            }
            ++i;
            tokens.push_back({Token::Type::kWord, name});
        } else if (c == '\'') {
            std::string value;
            for (++i; i < text.size(); ++i) {
                if (text[i] == '\'') {
                    if (i + 1 < text.size() && text[i + 1] == '\'') {
                        value += '\'';
                        ++i;
                    } else {
                        break;
                    }
                } else {
                    value += text[i];
                }
            }
            ++i;
            tokens.push_back({Token::Type::kString, value});
        } else if (c >= '0' && c <= '9') {
            std::size_t end = i;
            while (end < text.size() &&
                   ((text[end] >= '0' && text[end] <= '9') || text[end] == '.'))
                ++end;
            tokens.push_back({Token::Type::kNumber, text.substr(i, end - i)});
            i = end;
        } else if (word_char(c)) {
            std::size_t end = i;
            while (end < text.size() && word_char(text[end])) ++end;
            tokens.push_back({Token::Type::kWord, text.substr(i, end - i)});
            i = end;
        } else {
            tokens.push_back({Token::Type::kSymbol, std::string(1, c)});
            ++i;
        }
    }
    return tokens;
}

// The statement with keywords in lower case and single blanks, for recognising the fixed
// statements of the run whatever their layout.
std::string normalized(std::string_view text) {
    std::string out;
    for (const auto& token : tokenize(std::string(text))) {
        if (!out.empty()) out += ' ';
        out += token.type == Token::Type::kString ? "'" + token.text + "'" : lower(token.text);
    }
    return out;
}

// Whether a normalized statement is `known`, one of the upgrade's statements that the
// double answers as a whole rather than by its shape.
bool is_statement(const std::string& text, std::string_view known) {
    return text == normalized(known);
}

// Reads tokens from the front of a statement.
class Reader {
  public:
    explicit Reader(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    bool done() const { return at_ >= tokens_.size(); }
    const Token* peek(std::size_t ahead = 0) const {
        return at_ + ahead < tokens_.size() ? &tokens_[at_ + ahead] : nullptr;
    }
    bool next_is(const char* word, std::size_t ahead = 0) const {
        const Token* token = peek(ahead);
        return token != nullptr && token->type != Token::Type::kString && same(token->text, word);
    }
    bool take(const char* word) {
        if (!next_is(word)) return false;
        ++at_;
        return true;
    }
    std::optional<Token> take_any() {
        if (done()) return std::nullopt;
        return tokens_[at_++];
    }
    // [dbo].[name], dbo.name or name.
    std::optional<std::string> take_object_name() {
        auto name = take_any();
        if (!name || name->type != Token::Type::kWord) return std::nullopt;
        if (take(".")) {
            name = take_any();
            if (!name || name->type != Token::Type::kWord) return std::nullopt;
        }
        return name->text;
    }
    // "( a , b , c )": the tokens of each comma-separated item at the outer level.
    std::optional<std::vector<std::vector<Token>>> take_list() {
        if (!take("(")) return std::nullopt;
        std::vector<std::vector<Token>> items(1);
        int depth = 1;
        while (auto token = take_any()) {
            const bool symbol = token->type == Token::Type::kSymbol;
            if (symbol && token->text == "(") ++depth;
            if (symbol && token->text == ")" && --depth == 0) return items;
            if (symbol && token->text == "," && depth == 1) {
                items.emplace_back();
            } else {
                items.back().push_back(*token);
            }
        }
        return std::nullopt;
    }

  private:
    std::vector<Token> tokens_;
    std::size_t at_ = 0;
};

std::optional<std::optional<std::string>> literal(const std::vector<Token>& item) {
    if (item.size() != 1) return std::nullopt;
    if (item[0].type == Token::Type::kString || item[0].type == Token::Type::kNumber) {
        return std::optional<std::string>(item[0].text);
    }
    if (item[0].type == Token::Type::kWord && same(item[0].text, "null")) {
        return std::optional<std::optional<std::string>>(std::optional<std::string>());
    }
    return std::nullopt;
}

std::string object_exists(const std::string& name) {
    return "There is already an object named '" + name + "' in the database.";
}
std::string invalid_object(const std::string& name) {
    return "Invalid object name '" + name + "'.";
}
std::string not_understood(const std::string& statement) {
    return "The SQL Server test double does not understand: " + statement;
}

using Table = SqlServerDouble::Table;
using Database = SqlServerDouble::Database;
using Row = SqlServerDouble::Row;

// select C from T where K = 'v', and select count ( * ) from sysobjects where name = 'v'.
struct ReadBack {
    bool count = false;
    std::string column, table, key;
    std::string value;
};

std::optional<ReadBack> read_back(const std::string& statement) {
    Reader reader(tokenize(statement));
    ReadBack query;
    if (!reader.take("select")) return std::nullopt;
    if (reader.next_is("count") && reader.next_is("(", 1) && reader.next_is("*", 2) &&
        reader.next_is(")", 3)) {
        for (int i = 0; i < 4; ++i) reader.take_any();
        query.count = true;
    } else if (auto column = reader.take_any(); column && column->type == Token::Type::kWord) {
        query.column = column->text;
    } else {
        return std::nullopt;
    }
    const auto table = reader.take("from") ? reader.take_object_name() : std::nullopt;
    const auto key = reader.take("where") ? reader.take_any() : std::nullopt;
    const auto value = reader.take("=") ? reader.take_any() : std::nullopt;
    if (!table || !key || key->type != Token::Type::kWord || !value ||
        value->type != Token::Type::kString || !reader.done() ||
        (query.count && (!same(*table, "sysobjects") || !same(key->text, "name")))) {
        return std::nullopt;
    }
    query.table = *table;
    query.key = key->text;
    query.value = value->text;
    return query;
}

std::optional<std::string> insert_row(Table& table, Row row) {
    if (row.size() != table.columns.size()) {
        return std::string(
            "Column name or number of supplied values does not match table definition.");
    }
    if (!table.key.empty()) {
        for (const auto& existing : table.rows) {
            bool equal = true;
            for (const auto& key_column : table.key) {
                const auto index = static_cast<std::size_t>(table.column(key_column));
                equal = equal && same_value(existing[index], row[index]);
            }
            if (equal) {
                return "Violation of PRIMARY KEY constraint on '" + table.name +
                       "'. Cannot insert duplicate key in object 'dbo." + table.name + "'.";
            }
        }
    }
    table.rows.push_back(std::move(row));
    return std::nullopt;
}

std::optional<std::string> create_table(Reader& reader, Database& database) {
    const auto name = reader.take_object_name();
    if (!name) return std::string("Incorrect syntax near 'TABLE'.");
    const auto items = reader.take_list();
    if (!items || items->empty()) return std::string("Incorrect syntax in the column list.");
    if (database.objects.count(lower(*name)) != 0) return object_exists(*name);
    Table table;
    table.name = *name;
    for (const auto& item : *items) {
        if (item.empty() || item[0].type != Token::Type::kWord) {
            return std::string("Incorrect syntax in the column list.");
        }
        if (table.column(item[0].text) >= 0) {
            return "Column names in each table must be unique. Column name '" + item[0].text +
                   "' in table '" + *name + "' is specified more than once.";
        }
        table.columns.push_back(item[0].text);
    }
    database.tables[lower(*name)] = std::move(table);
    database.objects.insert(lower(*name));
    return std::nullopt;
}

std::optional<std::string> add_primary_key(Reader& reader, Database& database, Table& table,
                                           const std::optional<std::string>& constraint) {
    reader.take("clustered") || reader.take("nonclustered");
    const auto items = reader.take_list();
    if (!items) return std::string("Incorrect syntax near 'KEY'.");
    if (!table.key.empty()) {
        return "Table '" + table.name + "' already has a primary key defined on it.";
    }
    if (constraint && database.objects.count(lower(*constraint)) != 0)
        return object_exists(*constraint);
    std::vector<std::string> key;
    for (const auto& item : *items) {
        if (item.size() != 1 || table.column(item[0].text) < 0) {
            return std::string("Column name in the key does not exist in the target table.");
        }
        key.push_back(item[0].text);
    }
    table.key = std::move(key);
    if (constraint) database.objects.insert(lower(*constraint));
    return std::nullopt;
}

// "CONSTRAINT [n] DEFAULT (v) FOR [c]", repeated after commas.
std::optional<std::string> add_defaults(Reader& reader, Database& database, Table& table,
                                        std::string constraint) {
    for (;;) {
        const auto value = reader.take_list();
        if (!value || !reader.take("for")) return std::string("Incorrect syntax near 'DEFAULT'.");
        const auto column = reader.take_any();
        if (!column || table.column(column->text) < 0) {
            return std::string("Invalid column name in the DEFAULT constraint.");
        }
        if (database.objects.count(lower(constraint)) != 0) return object_exists(constraint);
        if (!table.columns_with_named_default.insert(lower(column->text)).second) {
            return std::string("Column already has a DEFAULT bound to it.");
        }
        database.objects.insert(lower(constraint));
        if (!reader.take(","))
            return reader.done() ? std::nullopt
                                 : std::optional<std::string>(
                                       "Incorrect syntax after the DEFAULT constraint.");
        if (!reader.take("constraint")) return std::string("Incorrect syntax near ','.");
        const auto next = reader.take_any();
        if (!next || !reader.take("default"))
            return std::string("Incorrect syntax near 'CONSTRAINT'.");
        constraint = next->text;
    }
}

std::optional<std::string> alter_table(Reader& reader, Database& database) {
    const auto name = reader.take_object_name();
    if (!name) return std::string("Incorrect syntax near 'TABLE'.");
    if (reader.take("with") && !reader.take("nocheck"))
        return std::string("Incorrect syntax near 'WITH'.");
    if (!reader.take("add")) return std::string("Incorrect syntax: ADD expected.");
    Table* table = database.table(*name);
    if (table == nullptr) {
        return "Cannot find the object \"" + *name +
               "\" because it does not exist or you do not have permissions.";
    }
    if (reader.take("primary")) {
        if (!reader.take("key")) return std::string("Incorrect syntax near 'PRIMARY'.");
        return add_primary_key(reader, database, *table, std::nullopt);
    }
    if (reader.take("constraint")) {
        const auto constraint = reader.take_any();
        if (!constraint) return std::string("Incorrect syntax near 'CONSTRAINT'.");
        if (reader.take("primary") && reader.take("key")) {
            return add_primary_key(reader, database, *table, constraint->text);
        }
        if (reader.take("default")) return add_defaults(reader, database, *table, constraint->text);
        return std::string("Incorrect syntax in the constraint.");
    }
    const auto column = reader.take_any();
    if (!column || column->type != Token::Type::kWord || reader.done()) {
        return std::string("Incorrect syntax in the column definition.");
    }
    if (table->column(column->text) >= 0) {
        return "Column names in each table must be unique. Column name '" + column->text +
               "' in table '" + *name + "' is specified more than once.";
    }
    table->columns.push_back(column->text);
    for (auto& row : table->rows) row.emplace_back();
    return std::nullopt;
}

std::optional<std::string> insert_values(Reader& reader, Database& database) {
    reader.take("into");
    const auto name = reader.take_object_name();
    if (!name) return std::string("Incorrect syntax near 'insert'.");
    Table* table = database.table(*name);
    if (table == nullptr) return invalid_object(*name);
    std::optional<std::vector<std::vector<Token>>> columns;
    if (reader.next_is("(")) columns = reader.take_list();
    if (!reader.take("values")) return std::string("Incorrect syntax: VALUES expected.");
    const auto values = reader.take_list();
    if (!values || !reader.done()) return std::string("Incorrect syntax in the VALUES list.");

    Row row;
    for (const auto& item : *values) {
        const auto value = literal(item);
        if (!value) return std::string("Only literal values are understood.");
        row.push_back(*value);
    }
    if (!columns) return insert_row(*table, std::move(row));

    if (columns->size() != row.size()) {
        return std::string(
            "There are fewer columns in the INSERT statement than values specified.");
    }
    Row full(table->columns.size());
    for (std::size_t i = 0; i < columns->size(); ++i) {
        const auto& item = (*columns)[i];
        const int index = item.size() == 1 ? table->column(item[0].text) : -1;
        if (index < 0) return std::string("Invalid column name in the INSERT statement.");
        full[static_cast<std::size_t>(index)] = row[i];
    }
    return insert_row(*table, std::move(full));
}

// "procedure" or "trigger" after drop or create.
std::optional<std::string> routine_kind(Reader& reader) {
    if (reader.take("procedure") || reader.take("proc")) return std::string("procedure");
    if (reader.take("trigger")) return std::string("trigger");
    return std::nullopt;
}

std::optional<std::string> drop_routine(Reader& reader, Database& database,
                                        const std::string& kind) {
    const auto name = reader.take_object_name();
    if (!name || !reader.done()) return "Incorrect syntax near '" + kind + "'.";
    const auto found = database.routines.find(lower(*name));
    if (found == database.routines.end() || found->second.kind != kind) {
        return "Cannot drop the " + kind + " '" + *name +
               "', because it does not exist or you do not have permission.";
    }
    database.routines.erase(found);
    database.objects.erase(lower(*name));
    return std::nullopt;
}

// create procedure NAME [parameters] [with encryption] as ...
// create trigger NAME on TABLE [with encryption] {for | after | instead of} EVENTS as ...
// The body after "as" is taken as it stands.
std::optional<std::string> create_routine(Reader& reader, Database& database,
                                          const std::string& kind, const std::string& statement) {
    const auto name = reader.take_object_name();
    if (!name) return "Incorrect syntax near '" + kind + "'.";
    if (kind == "trigger") {
        if (!reader.take("on")) return "Incorrect syntax near '" + *name + "'.";
        const auto table = reader.take_object_name();
        if (!table || database.table(*table) == nullptr) return invalid_object(table.value_or(""));
    }
    bool header_done = false;
    while (!header_done) {
        const auto token = reader.take_any();
        if (!token) return std::string("Incorrect syntax: AS expected.");
        if (token->type == Token::Type::kString) continue;
        if (same(token->text, "with")) {
            if (!reader.take("encryption")) return std::string("Incorrect syntax near 'with'.");
            const bool placed =
                kind == "procedure"
                    ? reader.next_is("as")
                    : reader.next_is("for") || reader.next_is("after") || reader.next_is("instead");
            if (!placed) {
                const Token* after = reader.peek();
                return "Incorrect syntax near '" + (after ? after->text : std::string()) + "'.";
            }
        } else if (same(token->text, "as")) {
            header_done = true;
        }
    }
    if (database.objects.count(lower(*name)) != 0) return object_exists(*name);
    database.routines[lower(*name)] = {kind, statement};
    database.objects.insert(lower(*name));
    return std::nullopt;
}

std::optional<std::string> grant_missing_menus(Database& database) {
    Table* grants = database.table("t_sys_oper_grant");
    const Table* menus = database.table("t_sys_menu");
    if (grants == nullptr) return invalid_object("t_sys_oper_grant");
    if (menus == nullptr) return invalid_object("t_sys_menu");
    const auto oper = static_cast<std::size_t>(grants->column("oper_id"));
    const auto func = static_cast<std::size_t>(grants->column("func_id"));
    const auto menu_id = static_cast<std::size_t>(menus->column("menu_id"));
    const auto menu_name = static_cast<std::size_t>(menus->column("menu_name"));

    std::vector<std::string> operators;
    std::set<std::string> held;
    for (const auto& row : grants->rows) {
        // NOT IN over a list holding NULL is never true.
        if (!row[func]) return std::nullopt;
        held.insert(lower(*row[func]));
        if (row[oper] &&
            std::find(operators.begin(), operators.end(), *row[oper]) == operators.end()) {
            operators.push_back(*row[oper]);
        }
    }
    std::vector<Row> added;
    for (const auto& menu : menus->rows) {
        const std::string id = menu[menu_id].value_or("");
        if (held.count(lower(id)) != 0 || id.size() < 2 || id.substr(id.size() - 2) == "00")
            continue;
        if (!menu[menu_name] || trimmed(*menu[menu_name]) == "-") continue;
        if (same(id.substr(0, 1), "E") || same(id.substr(0, 1), "F")) continue;
        for (const auto& operator_id : operators) {
            Row row{operator_id, id, std::string("1")};
            for (int i = 0; i < 9; ++i) row.emplace_back("0");
            row.emplace_back("");
            added.push_back(std::move(row));
        }
    }
    for (auto& row : added) {
        if (auto error = insert_row(*grants, std::move(row))) return error;
    }
    return std::nullopt;
}

}  // namespace

bool SqlServerDouble::Table::operator==(const Table& other) const {
    return name == other.name && columns == other.columns && key == other.key &&
           columns_with_named_default == other.columns_with_named_default && rows == other.rows;
}

int SqlServerDouble::Table::column(const std::string& wanted) const {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (same(columns[i], wanted)) return static_cast<int>(i);
    }
    return -1;
}

bool SqlServerDouble::Database::operator==(const Database& other) const {
    return name == other.name && tables == other.tables && objects == other.objects &&
           routines == other.routines;
}

const SqlServerDouble::Table* SqlServerDouble::Database::table(const std::string& wanted) const {
    const auto found = tables.find(lower(wanted));
    return found == tables.end() ? nullptr : &found->second;
}

SqlServerDouble::Table* SqlServerDouble::Database::table(const std::string& wanted) {
    const auto found = tables.find(lower(wanted));
    return found == tables.end() ? nullptr : &found->second;
}

SqlServerDouble::Table make_table(std::string name, std::vector<std::string> columns,
                                  std::vector<std::string> key) {
    SqlServerDouble::Table table;
    table.name = std::move(name);
    table.columns = std::move(columns);
    table.key = std::move(key);
    return table;
}

SqlServerDouble::NativeError SqlServerDouble::native_error(const std::string& text) {
    struct Known {
        const char* words;
        NativeError error;
    };
    static const Known kKnown[] = {
        {"There is already an object named", {2714, 16}},
        {"Invalid object name", {208, 16}},
        {"Invalid column name", {207, 16}},
        {"Column names in each table must be unique", {2705, 16}},
        {"Violation of PRIMARY KEY constraint", {2627, 14}},
        {"already has a primary key defined", {1779, 16}},
        {"Column name in the key does not exist", {1911, 16}},
        {"Column already has a DEFAULT bound to it", {1781, 16}},
        {"Cannot find the object", {4902, 16}},
        {"Cannot drop the", {3701, 11}},
        {"Make sure that the name is entered correctly", {911, 16}},
        {"number of supplied values does not match", {213, 16}},
        {"fewer columns in the INSERT statement", {110, 15}},
        {"Incorrect syntax", {102, 15}},
        {"Login failed for user", {18456, 14}},
        {"Cannot open database", {4060, 11}},
        {"Cannot release the application lock", {1223, 16}},
    };
    for (const Known& known : kKnown) {
        if (text.find(known.words) != std::string::npos) return known.error;
    }
    return {50000, 16};
}

SqlServerDouble::ColumnType SqlServerDouble::column_type(const std::string& select) {
    const std::string text = normalized(select);
    if (is_statement(text, statements::select_second_database)) return ColumnType::kNvarchar;
    if (is_statement(text, statements::take_run_lock) ||
        is_statement(text, statements::release_run_lock)) {
        return ColumnType::kInt;
    }
    const auto query = read_back(select);
    return query && query->count ? ColumnType::kInt : ColumnType::kVarchar;
}

SqlServerDouble::SqlServerDouble(Timeline& timeline, std::string server_name)
    : SqlServerDouble(timeline, std::make_shared<Server>()) {
    server_->name = std::move(server_name);
    add_database(Database{"master", {}, {}, {}});
}

SqlServerDouble::SqlServerDouble(Timeline& timeline, std::shared_ptr<Server> server)
    : timeline_(timeline), server_(std::move(server)) {}

SqlServerDouble::~SqlServerDouble() {
    const std::lock_guard<std::mutex> lock(server_->mutex);
    release_app_locks();
}

std::unique_ptr<SqlServerDouble> SqlServerDouble::open_session() {
    return std::unique_ptr<SqlServerDouble>(new SqlServerDouble(timeline_, server_));
}

void SqlServerDouble::add_database(Database database) {
    const std::lock_guard<std::mutex> lock(server_->mutex);
    for (const auto& entry : database.tables) database.objects.insert(entry.first);
    for (const auto& entry : database.routines) database.objects.insert(entry.first);
    const std::string key = lower(database.name);
    if (pending_) (*pending_)[key] = database;
    server_->committed[key] = std::move(database);
}

const SqlServerDouble::Database* SqlServerDouble::committed(const std::string& name) const {
    const std::lock_guard<std::mutex> lock(server_->mutex);
    const auto found = server_->committed.find(lower(name));
    return found == server_->committed.end() ? nullptr : &found->second;
}

void SqlServerDouble::refuse(std::string fragment, std::string error) {
    const std::lock_guard<std::mutex> lock(server_->mutex);
    server_->refusals.emplace_back(std::move(fragment), std::move(error));
}

std::optional<std::string> SqlServerDouble::refusal(const std::string& statement) const {
    for (const auto& [fragment, error] : server_->refusals) {
        if (statement.find(fragment) != std::string::npos) return error;
    }
    return std::nullopt;
}

void SqlServerDouble::record(Event::Kind kind, const std::string& text, bool ok) {
    timeline_.add({kind, text, current_, ok});
}

// Keeps what a statement changed: for good when it commits or autocommit is on, otherwise
// until commit or rollback.
void SqlServerDouble::keep(Databases changed, bool commits) {
    if (autocommit_ || commits) {
        server_->committed = std::move(changed);
        pending_.reset();
    } else {
        pending_ = std::move(changed);
    }
}

void SqlServerDouble::release_app_locks() {
    for (auto it = server_->app_locks.begin(); it != server_->app_locks.end();) {
        it = it->second.first == this ? server_->app_locks.erase(it) : std::next(it);
    }
}

void SqlServerDouble::connect() {
    const std::lock_guard<std::mutex> lock(server_->mutex);
    const Settings& s = settings();
    std::string error;
    const auto database = state().find(lower(s.database));
    if (connected_) {
        error = "already connected";
    } else if (!same(trimmed(s.server_name), server_->name)) {
        error =
            "Unable to connect: server '" + s.server_name + "' is unavailable or does not exist";
    } else if (s.log_id != kLogin || s.log_pass != kPassword) {
        error = "Login failed for user '" + s.log_id + "'.";
    } else if (database == state().end()) {
        error =
            "Cannot open database \"" + s.database + "\" requested by the login. The login failed.";
    }
    if (error.empty()) {
        connected_ = true;
        current_ = database->second.name;
        set_status(kSuccess);
    } else {
        set_status(kError, error, native_error(error).number);
    }
    record(Event::Kind::kConnect, s.server_name + "/" + s.database, error.empty());
}

void SqlServerDouble::disconnect() {
    const std::lock_guard<std::mutex> lock(server_->mutex);
    pending_.reset();
    release_app_locks();
    connected_ = false;
    set_status(kSuccess);
    record(Event::Kind::kDisconnect, {}, true);
}

std::optional<std::string> SqlServerDouble::apply(const std::string& statement, Databases& state,
                                                  bool& commits) {
    Database& database = state[lower(current_)];
    const std::string text = normalized(statement);
    if (is_statement(text, statements::batch_20200117_grant[0])) {
        commits = true;
        return grant_missing_menus(database);
    }
    Reader reader(tokenize(statement));
    if (reader.take("use")) {
        const auto name = reader.take_any();
        if (!name || !reader.done()) return std::string("Incorrect syntax near 'use'.");
        const auto found = state.find(lower(name->text));
        if (found == state.end()) {
            return "Database '" + name->text +
                   "' does not exist. Make sure that the name is entered correctly.";
        }
        current_ = found->second.name;
        return std::nullopt;
    }
    if (reader.take("create")) {
        if (reader.take("table")) return create_table(reader, database);
        if (const auto kind = routine_kind(reader)) {
            return create_routine(reader, database, *kind, statement);
        }
        return not_understood(statement);
    }
    if (reader.take("drop")) {
        if (const auto kind = routine_kind(reader)) return drop_routine(reader, database, *kind);
        return not_understood(statement);
    }
    if (reader.take("alter") && reader.take("table")) return alter_table(reader, database);
    if (reader.take("insert")) return insert_values(reader, database);
    if (reader.take("update")) {
        // update T set C = v where K = w
        const auto name = reader.take_object_name();
        Table* table = name ? database.table(*name) : nullptr;
        if (table == nullptr) return invalid_object(name.value_or(""));
        std::optional<Token> target, key;
        std::optional<std::optional<std::string>> value, match;
        if (reader.take("set") && (target = reader.take_any()) && reader.take("=")) {
            if (auto token = reader.take_any()) value = literal({*token});
        }
        if (reader.take("where") && (key = reader.take_any()) && reader.take("=")) {
            if (auto token = reader.take_any()) match = literal({*token});
        }
        if (!value || !match || !reader.done() || table->column(target->text) < 0 ||
            table->column(key->text) < 0) {
            return not_understood(statement);
        }
        const auto target_index = static_cast<std::size_t>(table->column(target->text));
        const auto key_index = static_cast<std::size_t>(table->column(key->text));
        for (auto& row : table->rows) {
            if (same_value(row[key_index], *match)) row[target_index] = *value;
        }
        return std::nullopt;
    }
    return not_understood(statement);
}

void SqlServerDouble::execute_immediate(const std::string& statement) {
    const std::lock_guard<std::mutex> lock(server_->mutex);
    std::optional<std::string> error;
    bool commits = false;
    const std::string database_before = current_;
    if (!connected_) error = "not connected";
    if (!error) error = refusal(statement);
    if (!error) {
        Databases changed = state();
        error = apply(statement, changed, commits);
        if (error) {
            current_ = database_before;
        } else {
            keep(std::move(changed), commits);
        }
    }
    if (error) {
        set_status(kError, *error, native_error(*error).number);
    } else {
        set_status(kSuccess);
    }
    timeline_.add({Event::Kind::kExecute, statement, database_before, !error});
}

// The run lock lives in master whatever database the session is in: the statements name
// master's procedures.
std::optional<std::string> SqlServerDouble::take_app_lock(const std::string& resource,
                                                          std::string& result) {
    auto held = server_->app_locks.find(resource);
    if (held == server_->app_locks.end()) {
        server_->app_locks[resource] = {this, 1};
        result = "0";
    } else if (held->second.first == this) {
        ++held->second.second;
        result = "0";
    } else {
        result = "-1";
    }
    return std::nullopt;
}

std::optional<std::string> SqlServerDouble::release_app_lock(const std::string& resource,
                                                             std::string& result) {
    auto held = server_->app_locks.find(resource);
    if (held == server_->app_locks.end() || held->second.first != this) {
        return "Cannot release the application lock (Database Principal: 'public', Resource: '" +
               resource + "') because it is not currently held.";
    }
    if (--held->second.second == 0) server_->app_locks.erase(held);
    result = "0";
    return std::nullopt;
}

std::optional<std::string> SqlServerDouble::select(const std::string& statement,
                                                   std::optional<std::string>& value, bool& found) {
    const std::string text = normalized(statement);
    const bool take_lock = is_statement(text, statements::take_run_lock);
    if (take_lock || is_statement(text, statements::release_run_lock)) {
        std::string result;
        const std::string resource = "tessary-upgrade";
        auto error =
            take_lock ? take_app_lock(resource, result) : release_app_lock(resource, result);
        if (error) return error;
        found = true;
        value = result;
        return std::nullopt;
    }
    if (is_statement(text, statements::select_second_database)) {
        std::vector<std::string> names;
        for (const auto& entry : state()) {
            if (entry.first == "sorvanth") names.push_back(entry.second.name);
        }
        if (names.size() > 1) return std::string("the singleton select returned more than one row");
        found = !names.empty();
        if (found) value = names.front();
        return std::nullopt;
    }
    if (is_statement(text, statements::select_upgrade_date)) {
        const Table* table = state().at(lower(current_)).table("t_sys_system");
        if (table == nullptr) return invalid_object("t_sys_system");
        const auto id = static_cast<std::size_t>(table->column("sys_var_id"));
        const auto content = static_cast<std::size_t>(table->column("sys_var_value"));
        std::optional<std::string> latest;
        for (const auto& row : table->rows) {
            if (same_value(row[id], std::string("UPGRADE_DATE")) && row[content] &&
                (!latest || *row[content] > *latest)) {
                latest = row[content];
            }
        }
        found = true;
        value = latest.value_or("00000000");
        return std::nullopt;
    }
    if (const auto query = read_back(statement)) {
        const Database& database = state().at(lower(current_));
        found = true;
        if (query->count) {
            value = database.objects.count(lower(query->value)) != 0 ? "1" : "0";
            return std::nullopt;
        }
        const Table* table = database.table(query->table);
        if (table == nullptr) return invalid_object(query->table);
        const int column = table->column(query->column);
        const int key = table->column(query->key);
        if (column < 0 || key < 0) {
            return "Invalid column name '" + (column < 0 ? query->column : query->key) + "'.";
        }
        found = false;
        for (const auto& row : table->rows) {
            if (!same_value(row[static_cast<std::size_t>(key)], query->value)) continue;
            if (found) return std::string("the singleton select returned more than one row");
            found = true;
            value = row[static_cast<std::size_t>(column)];
        }
        return std::nullopt;
    }
    return not_understood(statement);
}

void SqlServerDouble::select_into(const std::string& statement, std::optional<std::string>& into) {
    const std::lock_guard<std::mutex> lock(server_->mutex);
    std::optional<std::string> value;
    bool found = false;
    std::optional<std::string> error;
    if (!connected_) error = "not connected";
    if (!error) error = refusal(statement);
    if (!error) error = select(statement, value, found);
    if (error) {
        set_status(kError, *error, native_error(*error).number);
    } else if (!found) {
        set_status(kNotFound);
    } else {
        into = value;
        set_status(kSuccess);
    }
    timeline_.add({Event::Kind::kSelect, statement, current_, !error});
}

void SqlServerDouble::commit() {
    const std::lock_guard<std::mutex> lock(server_->mutex);
    if (connected_ && pending_) keep(std::move(*pending_), true);
    set_status(connected_ ? kSuccess : kError, connected_ ? "" : "not connected");
    record(Event::Kind::kCommit, {}, connected_);
}

void SqlServerDouble::rollback() {
    const std::lock_guard<std::mutex> lock(server_->mutex);
    if (connected_) pending_.reset();
    set_status(connected_ ? kSuccess : kError, connected_ ? "" : "not connected");
    record(Event::Kind::kRollback, {}, connected_);
}

void SqlServerDouble::set_autocommit(bool on) {
    const std::lock_guard<std::mutex> lock(server_->mutex);
    // Switching autocommit on commits what is pending, as ODBC does.
    if (on && connected_ && pending_) keep(std::move(*pending_), true);
    autocommit_ = on;
    set_status(kSuccess);
    record(Event::Kind::kAutocommit, on ? "on" : "off", true);
}

}  // namespace tessary::testing
