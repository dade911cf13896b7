// rosbag2's sqlite3 storage: one .db3 file with a topics and a messages table.
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "storage/bag.hpp"
#include "storage_files.hpp"

namespace sweepmend
{
namespace bag
{
namespace detail
{
namespace
{

namespace fs = std::filesystem;

// Written as rosbag2 Humble (0.15.4 and later) writes it: schema version 3, no metadata rows.
constexpr const char * kCreateTables[] = {
  "CREATE TABLE schema(schema_version INTEGER PRIMARY KEY,ros_distro TEXT NOT NULL);",
  "CREATE TABLE metadata(id INTEGER PRIMARY KEY,metadata_version INTEGER NOT NULL,"
  "metadata TEXT NOT NULL);",
  "CREATE TABLE topics(id INTEGER PRIMARY KEY,name TEXT NOT NULL,type TEXT NOT NULL,"
  "serialization_format TEXT NOT NULL,offered_qos_profiles TEXT NOT NULL);",
  "CREATE TABLE messages(id INTEGER PRIMARY KEY,topic_id INTEGER NOT NULL,"
  "timestamp INTEGER NOT NULL, data BLOB NOT NULL);",
  "CREATE INDEX timestamp_idx ON messages (timestamp ASC);",
  "INSERT INTO schema (schema_version, ros_distro) VALUES (3, 'humble');",
};

// Commits this often while writing; a single huge transaction would keep every page in the
// journal, one per message would sync per message.
constexpr int kMessagesPerTransaction = 1000;

class Statement
{
public:
  Statement() = default;
  ~Statement() {sqlite3_finalize(stmt_);}
  Statement(const Statement &) = delete;
  Statement & operator=(const Statement &) = delete;
  sqlite3_stmt ** out() {return &stmt_;}
  sqlite3_stmt * get() const {return stmt_;}
  void reset() {sqlite3_finalize(stmt_); stmt_ = nullptr;}

private:
  sqlite3_stmt * stmt_{nullptr};
};

std::string column_text(sqlite3_stmt * s, int column)
{
  const unsigned char * text = sqlite3_column_text(s, column);
  return text == nullptr ? std::string() :
         std::string(reinterpret_cast<const char *>(text),
                static_cast<std::size_t>(sqlite3_column_bytes(s, column)));
}

// Only '%', '?' and '#' change the meaning of a file: URI path.
std::string file_uri(const std::string & path)
{
  std::string uri = "file:";
  for (char c : fs::absolute(path).string()) {
    if (c == '%') {
      uri += "%25";
    } else if (c == '?') {
      uri += "%3f";
    } else if (c == '#') {
      uri += "%23";
    } else {
      uri += c;
    }
  }
  return uri;
}

class Database
{
public:
  explicit Database(std::string path) : path_(std::move(path)) {}
  ~Database() {sqlite3_close(db_);}
  Database(const Database &) = delete;
  Database & operator=(const Database &) = delete;

  [[noreturn]] void fail(const std::string & what) const
  {
    throw BagError(path_ + ": " + what);
  }
  [[noreturn]] void fail_sqlite(const std::string & what) const
  {
    fail(what + ": " + (db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory"));
  }

  void open(const std::string & name, int flags)
  {
    if (sqlite3_open_v2(name.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
      fail_sqlite("cannot open");
    }
    sqlite3_extended_result_codes(db_, 1);
  }

  void exec(const char * sql)
  {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
      fail_sqlite(std::string("'") + sql + "' failed");
    }
  }

  void prepare(Statement & s, const std::string & sql)
  {
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, s.out(), nullptr) != SQLITE_OK) {
      fail_sqlite("cannot read the bag");
    }
  }

  /// true for a row, false when done.
  bool step(const Statement & s)
  {
    const int rc = sqlite3_step(s.get());
    if (rc == SQLITE_ROW) {
      return true;
    }
    if (rc == SQLITE_DONE) {
      return false;
    }
    fail_sqlite("cannot read the bag");
  }

  void close()
  {
    if (sqlite3_close(db_) != SQLITE_OK) {
      fail_sqlite("cannot close");
    }
    db_ = nullptr;
  }

  sqlite3 * get() const {return db_;}
  const std::string & path() const {return path_;}

private:
  std::string path_;
  sqlite3 * db_{nullptr};
};

class SqliteReader : public Reader
{
public:
  explicit SqliteReader(const std::string & path)
  : db_(path)
  {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
      db_.fail("no such file");
    }
    // A WAL-mode file whose -wal side file is absent or empty holds all its data in the main
    // file; opening it immutable reads it without creating or touching -wal/-shm files (the
    // bag may sit on a read-only medium or belong to someone else).
    char header[100] = {};
    std::ifstream(path, std::ios::binary).read(header, sizeof(header));
    if (fs::file_size(path, ec) > 0 && std::memcmp(header, "SQLite format 3", 16) != 0) {
      db_.fail("not an SQLite database");
    }
    const bool wal = header[18] == 2;
    const std::string wal_file = path + "-wal";
    const bool immutable = wal && (!fs::exists(wal_file, ec) || fs::file_size(wal_file, ec) == 0);
    db_.open(file_uri(path) + (immutable ? "?immutable=1" : "?mode=ro"),
      SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);

    std::set<std::string> tables;
    {
      Statement s;
      db_.prepare(s, "SELECT name FROM sqlite_master WHERE type='table'");
      while (db_.step(s)) {
        tables.insert(column_text(s.get(), 0));
      }
    }
    if (tables.count("messages") == 0 || tables.count("topics") == 0) {
      db_.fail("not a rosbag2 database (no messages or topics table)");
    }
    // Version 1 files have no QoS column; later versions add columns we do not need.
    bool has_qos = false;
    {
      Statement s;
      db_.prepare(s, "PRAGMA table_info(topics)");
      while (db_.step(s)) {
        has_qos = has_qos || column_text(s.get(), 1) == "offered_qos_profiles";
      }
    }
    {
      Statement s;
      db_.prepare(
        s, std::string("SELECT id, name, type, serialization_format") +
        (has_qos ? ", offered_qos_profiles" : "") + " FROM topics ORDER BY id");
      while (db_.step(s)) {
        TopicMetadata t;
        t.name = column_text(s.get(), 1);
        t.type = column_text(s.get(), 2);
        t.serialization_format = column_text(s.get(), 3);
        if (has_qos) {
          t.offered_qos_profiles = column_text(s.get(), 4);
        }
        topic_names_[sqlite3_column_int64(s.get(), 0)] = t.name;
        if (std::none_of(topics_.begin(), topics_.end(),
          [&t](const TopicMetadata & o) {return o.name == t.name;}))
        {
          topics_.push_back(t);
        }
        counts_.emplace(t.name, 0);
      }
    }
    {
      Statement s;
      db_.prepare(
        s, "SELECT topic_id, COUNT(*), MIN(timestamp), MAX(timestamp) FROM messages "
        "GROUP BY topic_id");
      bool any = false;
      while (db_.step(s)) {
        auto it = topic_names_.find(sqlite3_column_int64(s.get(), 0));
        if (it == topic_names_.end()) {
          continue;  // rows of an unknown topic are never read (the join drops them)
        }
        counts_[it->second] += static_cast<uint64_t>(sqlite3_column_int64(s.get(), 1));
        const int64_t first = sqlite3_column_int64(s.get(), 2);
        const int64_t last = sqlite3_column_int64(s.get(), 3);
        start_ = any ? std::min(start_, first) : first;
        end_ = any ? std::max(end_, last) : last;
        any = true;
      }
    }
  }

  std::string storage_id() const override {return "sqlite3";}
  const std::vector<TopicMetadata> & topics() const override {return topics_;}
  std::map<std::string, uint64_t> message_counts() const override {return counts_;}
  int64_t start_time() const override {return start_;}
  int64_t end_time() const override {return end_;}

  bool read_next(BagMessage & msg) override
  {
    if (done_) {
      return false;
    }
    if (read_.get() == nullptr) {
      db_.prepare(
        read_, "SELECT messages.timestamp, messages.topic_id, messages.data FROM messages "
        "JOIN topics ON messages.topic_id = topics.id "
        "ORDER BY messages.timestamp, messages.id");
    }
    if (!db_.step(read_)) {
      done_ = true;
      read_.reset();
      return false;
    }
    sqlite3_stmt * s = read_.get();
    msg.timestamp = sqlite3_column_int64(s, 0);
    msg.topic = topic_names_.at(sqlite3_column_int64(s, 1));
    const auto * blob = static_cast<const uint8_t *>(sqlite3_column_blob(s, 2));
    const auto size = static_cast<std::size_t>(sqlite3_column_bytes(s, 2));
    msg.data.assign(blob, blob + (blob != nullptr ? size : 0));
    return true;
  }

private:
  Database db_;
  std::vector<TopicMetadata> topics_;
  std::map<int64_t, std::string> topic_names_;
  std::map<std::string, uint64_t> counts_;
  int64_t start_{0};
  int64_t end_{0};
  Statement read_;
  bool done_{false};
};

class SqliteWriter : public FileWriter
{
public:
  explicit SqliteWriter(const std::string & path)
  : db_(path)
  {
    std::error_code ec;
    if (fs::exists(path, ec)) {
      db_.fail("already exists");
    }
    db_.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    // A recording is rewritten from scratch after a crash anyway, so durability buys nothing.
    db_.exec("PRAGMA journal_mode=MEMORY;");
    db_.exec("PRAGMA synchronous=OFF;");
    for (const char * sql : kCreateTables) {
      db_.exec(sql);
    }
    db_.prepare(insert_topic_,
      "INSERT INTO topics (name, type, serialization_format, offered_qos_profiles) "
      "VALUES (?, ?, ?, ?)");
    db_.prepare(insert_message_,
      "INSERT INTO messages (timestamp, topic_id, data) VALUES (?, ?, ?)");
  }

  ~SqliteWriter() override
  {
    try {
      close();
    } catch (const BagError &) {
    }
  }

  void create_topic(const TopicMetadata & topic) override
  {
    sqlite3_stmt * s = insert_topic_.get();
    bind_text(s, 1, topic.name);
    bind_text(s, 2, topic.type);
    bind_text(s, 3, topic.serialization_format);
    bind_text(s, 4, topic.offered_qos_profiles);
    run(s, "cannot add topic " + topic.name);
    topic_ids_[topic.name] = sqlite3_last_insert_rowid(db_.get());
  }

  void write(const std::string & topic, int64_t timestamp, const std::vector<uint8_t> & data)
  override
  {
    if (!in_transaction_) {
      db_.exec("BEGIN TRANSACTION;");
      in_transaction_ = true;
    }
    sqlite3_stmt * s = insert_message_.get();
    sqlite3_bind_int64(s, 1, timestamp);
    sqlite3_bind_int64(s, 2, topic_ids_.at(topic));
    // A zero-length blob must still be a blob, not NULL, for the NOT NULL column.
    static const uint8_t empty = 0;
    sqlite3_bind_blob64(s, 3, data.empty() ? &empty : data.data(), data.size(), SQLITE_STATIC);
    run(s, "cannot write a message");
    if (++pending_ >= kMessagesPerTransaction) {
      commit();
    }
  }

  void close() override
  {
    if (closed_) {
      return;
    }
    closed_ = true;
    commit();
    insert_topic_.reset();
    insert_message_.reset();
    db_.close();
  }

private:
  void bind_text(sqlite3_stmt * s, int index, const std::string & text)
  {
    sqlite3_bind_text(s, index, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }

  void run(sqlite3_stmt * s, const std::string & what)
  {
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    if (rc != SQLITE_DONE) {
      db_.fail_sqlite(what);
    }
  }

  void commit()
  {
    if (in_transaction_) {
      in_transaction_ = false;
      pending_ = 0;
      db_.exec("COMMIT;");
    }
  }

  Database db_;
  Statement insert_topic_;
  Statement insert_message_;
  std::map<std::string, int64_t> topic_ids_;
  bool in_transaction_{false};
  int pending_{0};
  bool closed_{false};
};

}  // namespace

std::unique_ptr<Reader> open_sqlite_file(const std::string & path)
{
  return std::make_unique<SqliteReader>(path);
}

std::unique_ptr<FileWriter> create_sqlite_file(const std::string & path)
{
  return std::make_unique<SqliteWriter>(path);
}

}  // namespace detail
}  // namespace bag
}  // namespace sweepmend
