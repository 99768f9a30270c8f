#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>

#include "run_report.h"
#include "system.h"
#include "transaction.h"
#include "ui.h"

namespace tessary {

// Thrown by the run log's operation that finds the connection to the server lost: nothing
// sent after it would reach the database, so the run ends there. what() is the database
// client's error text.
class ConnectionLost : public std::runtime_error {
  public:
    ConnectionLost(std::string database, const std::string& text)
        : std::runtime_error(text), database_(std::move(database)) {}
    const std::string& database() const { return database_; }

  private:
    std::string database_;
};

// The log of one upgrade run: a transaction that routes every operation to the real one
// and writes each statement with its outcome to a dated file. The run still passes over
// failing statements; the log makes them visible, tells the expected failures from the
// unexpected ones (failures.h) and shows each unexpected one in the progress list. An
// operation that finds the connection lost is logged, then throws ConnectionLost.
class RunLog final : public Transaction {
  public:
    // Appends to the log file at `path`, with the time of day from `system`'s clock. A
    // file that cannot be opened does not stop the run; the summary then says so.
    RunLog(Transaction& inner, System& system, Ui& ui, std::string path);
    ~RunLog() override;
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // The dated log file name in `directory` (one file a day; each run appends).
    static std::string path_in(System& system, const std::string& directory);

    Settings& settings() override { return inner_.settings(); }
    const Settings& settings() const override { return inner_.settings(); }

    void connect() override;
    void disconnect() override;
    bool connected() const override { return inner_.connected(); }
    void execute_immediate(const std::string& statement) override;
    void select_into(const std::string& statement, std::optional<std::string>& into) override;
    void commit() override;
    void rollback() override;
    void set_autocommit(bool on) override;
    bool autocommit() const override { return inner_.autocommit(); }

    // Names the database the statements that follow run in.
    void begin_database(const std::string& name);
    // Writes a line of the run's own (GBK) as a comment, at once: what the run passed over
    // without a statement, such as a package it did not find.
    void note(const std::string& line);

    const StatementCounts& counts() const { return counts_; }
    const std::string& path() const { return path_; }

    // Writes the closing summary to the file, closes it, and returns the summary line
    // (statements sent, succeeded, failed as expected and unexpectedly, and where the log
    // is), GBK.
    std::string finish();

  private:
    void take_status();
    void record_statement(const std::string& statement);
    void record_operation(const char* name);
    void end_if_link_lost() const;
    void write(const std::string& lines, bool at_once = false);
    std::string outcome(const char* expectation) const;

    Transaction& inner_;
    System& system_;
    Ui& ui_;
    std::string path_;
    std::unique_ptr<FileWriter> file_;
    std::string pending_;  // lines not written yet
    std::string database_;
    StatementCounts counts_;
};

// The first 80 bytes of a statement, on one line, as the unexpected failures show it.
std::string statement_excerpt(const std::string& statement);

// The progress line of an unexpected failure: "未预期的错误", the native error, the
// statement's excerpt and the error text, on one line (GBK).
std::string unexpected_failure_line(const UnexpectedFailure& failure);

}  // namespace tessary
