// The record store against its peers, in one run.
//
//   store_bench DIR                 the record path with durable saves
//   store_bench --daemon CDRD DIR   start-up time and memory of the daemon
//
// The record path: for databases at their limit of 100, 1,000 and 10,000
// records and save intervals of 1, 10 and 100, records/s of
//   cdrd       OnAddCDR on the stated calls database, its trace line and
//              its durable saves included;
//   file limit writing the same file bytes durably (write, fsync, rename,
//              fsync of the directory) once per save interval, nothing else;
//   SQLite     one table per kind: insert the newest row, delete the oldest
//              beyond the limit, a transaction per save interval, WAL,
//              synchronous=FULL.
// Files go to DIR, which should be on the storage to be measured (not tmpfs).
//
// The daemon: three databases of 0, 1,000 and 10,000 records each; the time
// from exec to both queue sockets listening (best of 5 starts), and the
// resident memory once started.
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cdr/CDRManager.h"
#include "messaging/CDRCommonMessenger.h"
#include "platform/config/DurableFile.h"
#include "platform/config/MultiSectionFile.h"
#include "platform/config/RecordFile.h"
#include "platform/msg/MessageQueueClient.h"
#include "platform/msg/QueueAddress.h"
#include "tests/support/PrivateMounts.h"
#include "tools/RandomReports.h"

namespace {

using Clock = std::chrono::steady_clock;
const double kBudget = 0.6;  // seconds per measurement

double Since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void Write(const std::string& path, const std::string& text) {
    FILE* f = fopen(path.c_str(), "w");
    if (!f || fputs(text.c_str(), f) < 0 || fclose(f) != 0) {
        perror(path.c_str());
        exit(1);
    }
}

std::string Read(const std::string& path) {
    std::string out;
    Configuration::DurableFile::Read(path, &out);
    return out;
}

void Settings(const std::string& base, const std::string& text) {
    Write(base + "sysconfig/general_settings.conf", text);
}

std::string Limits(unsigned max, unsigned interval) {
    std::string text;
    for (const char* kind : {"STATED", "MISSED", "FAILED"}) {
        text += std::string("CDR_") + kind + "_MAX=" + std::to_string(max) + "\n";
        text += std::string("CDR_") + kind + "_SAVE_INTERVAL=" + std::to_string(interval) + "\n";
    }
    return text;
}

// A fresh configuration base under DIR.
std::string MakeBase(const std::string& dir, const std::string& name) {
    const std::string base = dir + "/" + name + "/";
    std::string rm = "rm -rf '" + base + "'";
    if (system(rm.c_str()) != 0)
        exit(1);
    mkdir(base.c_str(), 0755);
    mkdir((base + "sysconfig").c_str(), 0755);
    mkdir((base + "telephony").c_str(), 0755);
    setenv("KELT_PATH", base.c_str(), 1);
    return base;
}

// Reports of the stated kind (or all three kinds), made once.
std::vector<WireMessage> Pool(bool allKinds) {
    RandomReports reports(3);
    std::vector<WireMessage> pool(4093);  // not a multiple of any limit
    for (WireMessage& m : pool) {
        reports.Next(&m);
        if (!allKinds)
            m.mKind = 1;
    }
    return pool;
}

// Fills each database to RECORDS and saves them.
void Fill(const std::string& base, unsigned records, const std::vector<WireMessage>& pool,
          int kinds) {
    Settings(base, Limits(records, 1000000000));
    CDRManager manager;
    for (unsigned i = 0; i < records * kinds; ++i) {
        const WireMessage& m = pool[i % pool.size()];
        manager.OnAddCDR(m.mKind, m.mReport, &m.mStatistics);
    }
    manager.OnFlush(7);
}

double CdrdRate(const std::string& base, unsigned size, unsigned interval,
                const std::vector<WireMessage>& pool) {
    Settings(base, Limits(size, interval));
    CDRManager manager;  // loads the filled database
    unsigned n = 0;
    const unsigned minimum = 3 * interval;
    const Clock::time_point t0 = Clock::now();
    while (n < minimum || Since(t0) < kBudget) {
        for (unsigned k = 0; k < interval; ++k, ++n) {
            const WireMessage& m = pool[(size + n) % pool.size()];
            manager.OnAddCDR(m.mKind, m.mReport, &m.mStatistics);
        }
    }
    return n / Since(t0);
}

// The same bytes, saved as durably, with nothing else around them.
double FileLimitRate(const std::string& base, unsigned interval) {
    const std::string path = base + "telephony/CDR_db";
    const std::string tmp = path + ".limit";
    const std::string bytes = Read(path);
    const int dir = open((base + "telephony").c_str(), O_RDONLY | O_DIRECTORY);
    unsigned saves = 0;
    const Clock::time_point t0 = Clock::now();
    while (saves < 3 || Since(t0) < kBudget) {
        const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        for (size_t at = 0; at < bytes.size();) {
            const ssize_t w = write(fd, bytes.data() + at, bytes.size() - at);
            if (w <= 0)
                exit(1);
            at += static_cast<size_t>(w);
        }
        if (fsync(fd) != 0 || close(fd) != 0 || rename(tmp.c_str(), path.c_str()) != 0 ||
            fsync(dir) != 0)
            exit(1);
        ++saves;
    }
    close(dir);
    return saves * double(interval) / Since(t0);
}

void Check(int rc, sqlite3* db) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        exit(1);
    }
}

// The record's entries, read back from the file cdrd wrote, so that both
// stores hold the same values.
struct Row {
    std::vector<std::pair<std::string, std::string>> entries;
};

std::vector<Row> Rows(const std::string& path) {
    Configuration::RecordFile file(path.c_str());
    std::vector<Row> rows;
    for (file.Restart(); file.GotoNextSection();) {
        Row row;
        file.ForEachSectionEntry([&](std::string_view k, std::string_view v) {
            if (k != "ID")
                row.entries.emplace_back(std::string(k), std::string(v));
        });
        rows.push_back(std::move(row));
    }
    return rows;
}

class SqlitePeer {
public:
    SqlitePeer(const std::string& path, const std::vector<Row>& rows) : mRows(rows) {
        unlink(path.c_str());
        unlink((path + "-wal").c_str());
        unlink((path + "-shm").c_str());
        Check(sqlite3_open(path.c_str(), &mDb), mDb);
        Exec("PRAGMA journal_mode=WAL");
        Exec("PRAGMA synchronous=FULL");
        for (const Row& row : rows) {
            for (const auto& e : row.entries) {
                if (std::find(mColumns.begin(), mColumns.end(), e.first) == mColumns.end())
                    mColumns.push_back(e.first);
            }
        }
        std::string columns, marks;
        for (const std::string& c : mColumns) {
            columns += ", \"" + c + "\" TEXT";
            marks += ", ?";
        }
        for (const char* table : {"stated", "missed", "failed"})
            Exec(std::string("CREATE TABLE ") + table + " (id INTEGER PRIMARY KEY" + columns + ")");
        std::string names;
        for (const std::string& c : mColumns) names += ", \"" + c + "\"";
        Check(sqlite3_prepare_v2(
                  mDb, ("INSERT INTO stated (id" + names + ") VALUES (?" + marks + ")").c_str(), -1,
                  &mInsert, nullptr),
              mDb);
        Check(sqlite3_prepare_v2(mDb, "DELETE FROM stated WHERE id = ?", -1, &mDelete, nullptr),
              mDb);
    }
    ~SqlitePeer() {
        sqlite3_finalize(mInsert);
        sqlite3_finalize(mDelete);
        sqlite3_close(mDb);
    }
    void Exec(const std::string& sql) { Check(sqlite3_exec(mDb, sql.c_str(), 0, 0, 0), mDb); }

    // Inserts the newest row and deletes the oldest beyond SIZE.
    void Add(unsigned size) {
        const Row& row = mRows[mNext % mRows.size()];
        sqlite3_reset(mInsert);
        sqlite3_clear_bindings(mInsert);
        sqlite3_bind_int64(mInsert, 1, mNext);
        for (const auto& e : row.entries) {
            const size_t at =
                std::find(mColumns.begin(), mColumns.end(), e.first) - mColumns.begin();
            sqlite3_bind_text(mInsert, static_cast<int>(at) + 2, e.second.data(),
                              static_cast<int>(e.second.size()), SQLITE_STATIC);
        }
        Check(sqlite3_step(mInsert), mDb);
        if (mNext >= size) {
            sqlite3_reset(mDelete);
            sqlite3_bind_int64(mDelete, 1, static_cast<sqlite3_int64>(mNext - size));
            Check(sqlite3_step(mDelete), mDb);
        }
        ++mNext;
    }

    double Rate(unsigned size, unsigned interval) {
        unsigned n = 0;
        const unsigned minimum = 3 * interval;
        const Clock::time_point t0 = Clock::now();
        while (n < minimum || Since(t0) < kBudget) {
            Exec("BEGIN");
            for (unsigned k = 0; k < interval; ++k, ++n) Add(size);
            Exec("COMMIT");
        }
        return n / Since(t0);
    }

private:
    const std::vector<Row>& mRows;
    std::vector<std::string> mColumns;
    sqlite3* mDb = nullptr;
    sqlite3_stmt* mInsert = nullptr;
    sqlite3_stmt* mDelete = nullptr;
    uint64_t mNext = 0;
};

int RecordPath(const std::string& dir) {
    const std::vector<WireMessage> pool = Pool(false);
    printf(
        "| records kept | save interval | cdrd records/s | file limit records/s | cdrd time / "
        "limit time | SQLite records/s | SQLite / cdrd |\n");
    printf("|---:|---:|---:|---:|---:|---:|---:|\n");
    for (unsigned size : {100u, 1000u, 10000u}) {
        const std::string base = MakeBase(dir, "store" + std::to_string(size));
        Fill(base, size, pool, 1);
        const std::vector<Row> rows = Rows(base + "telephony/CDR_db");
        SqlitePeer sqlite(base + "peer.sqlite", rows);
        sqlite.Exec("BEGIN");
        for (unsigned i = 0; i < size; ++i) sqlite.Add(size);
        sqlite.Exec("COMMIT");
        for (unsigned interval : {1u, 10u, 100u}) {
            const double ours = CdrdRate(base, size, interval, pool);
            const double limit = FileLimitRate(base, interval);
            const double peer = sqlite.Rate(size, interval);
            printf("| %u | %u | %.0f | %.0f | %.2f | %.0f | %.2f |\n", size, interval, ours, limit,
                   limit / ours, peer, peer / ours);
            fflush(stdout);
        }
    }
    return 0;
}

// Starts CDRD and waits until both queues listen; returns the seconds taken
// and leaves the daemon running in *PID.
double StartDaemon(const std::string& cdrd, const std::string& queues, pid_t* pid) {
    const std::string q15 = queues + "/q15", q111 = queues + "/q111";
    unlink(q15.c_str());
    unlink(q111.c_str());
    const Clock::time_point t0 = Clock::now();
    *pid = fork();
    if (*pid == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 1);
        dup2(null, 2);
        execl(cdrd.c_str(), cdrd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    while (access(q15.c_str(), F_OK) != 0 || access(q111.c_str(), F_OK) != 0) usleep(100);
    return Since(t0);
}

long StatusKb(pid_t pid, const char* file, const char* field) {
    const std::string text = Read("/proc/" + std::to_string(pid) + "/" + file);
    const size_t at = text.find(field);
    return at == std::string::npos ? -1 : atol(text.c_str() + at + strlen(field));
}

int Daemon(const std::string& cdrd, const std::string& dir) {
    const std::vector<WireMessage> pool = Pool(true);
    const std::string queues = dir + "/msgq";
    setenv("MSGQ_DIR", queues.c_str(), 1);
    printf(
        "| records per database | files | start-up (exec to listening) | resident | private |\n");
    printf("|---:|---:|---:|---:|---:|\n");
    long baseRss = 0;
    for (unsigned records : {0u, 1000u, 10000u}) {
        const std::string base = MakeBase(dir, "daemon" + std::to_string(records));
        if (records > 0)
            Fill(base, records, pool, 3);
        Settings(base, Limits(records > 0 ? records : 1000, 10));
        long bytes = 0;
        for (const char* db : {"CDR_db", "missed_calls_db", "unsuccess_calls_db"})
            bytes += static_cast<long>(Read(base + "telephony/" + db).size());
        double best = 1e9;
        long rss = 0, priv = 0;
        for (int run = 0; run < 5; ++run) {
            pid_t pid;
            best = std::min(best, StartDaemon(cdrd, queues, &pid));
            rss = StatusKb(pid, "status", "VmRSS:");
            priv = StatusKb(pid, "smaps_rollup", "Private_Clean:") +
                   StatusKb(pid, "smaps_rollup", "Private_Dirty:");
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (records == 0)
            baseRss = rss;
        printf("| %u | %ld KB | %.1f ms | %ld KB | %ld KB |", records, bytes / 1024, best * 1000,
               rss, priv);
        if (records > 0)
            printf(" memory above the empty daemon / file bytes = %.2f",
                   (rss - baseRss) * 1024.0 / bytes);
        printf("\n");
        fflush(stdout);
    }
    return 0;
}

// ---- End to end through the queues: cdrd with its journal against SQLite ----

// A recorder that keeps every report in SQLite as it arrives: one table per
// kind, the newest row inserted and the oldest beyond the limit deleted, one
// transaction per report, WAL, synchronous=FULL. It answers the status with
// the records it took of each kind, as cdrd's next IDs.
class SqliteRecorder : public CDRCommonMessenger {
public:
    SqliteRecorder(const std::string& path, unsigned limit) : mLimit(limit) {
        for (const char* suffix : {"", "-wal", "-shm"}) unlink((path + suffix).c_str());
        Check(sqlite3_open(path.c_str(), &mDb), mDb);
        Exec("PRAGMA journal_mode=WAL");
        Exec("PRAGMA synchronous=FULL");
        const char* const tables[3] = {"stated", "missed", "failed"};
        for (int t = 0; t < 3; ++t) {
            Exec(std::string("CREATE TABLE ") + tables[t] + " (id INTEGER PRIMARY KEY, " +
                 kColumns + ")");
            Check(sqlite3_prepare_v2(mDb,
                                     (std::string("INSERT INTO ") + tables[t] +
                                      " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)")
                                         .c_str(),
                                     -1, &mInsert[t], nullptr),
                  mDb);
            Check(sqlite3_prepare_v2(
                      mDb, (std::string("DELETE FROM ") + tables[t] + " WHERE id = ?").c_str(), -1,
                      &mDelete[t], nullptr),
                  mDb);
        }
    }
    ~SqliteRecorder() override {
        for (int t = 0; t < 3; ++t) {
            sqlite3_finalize(mInsert[t]);
            sqlite3_finalize(mDelete[t]);
        }
        sqlite3_close(mDb);
    }
    void Exec(const std::string& sql) { Check(sqlite3_exec(mDb, sql.c_str(), 0, 0, 0), mDb); }

    int OnAddCDR(int kind, const CallDetailReport& r, const CallStatistics* s) override {
        const int t = kind == 1 ? 0 : kind == 2 ? 1 : 2;
        Exec("BEGIN");
        sqlite3_stmt* insert = mInsert[t];
        sqlite3_reset(insert);
        sqlite3_bind_int64(insert, 1, mCount[t]);
        sqlite3_bind_int64(insert, 2, r.mStartTime);
        sqlite3_bind_int64(insert, 3, r.mDuration);
        int column = 4;
        for (const std::string* text :
             {&r.mCalled, &r.mCaller, &r.mGuid, &r.mOcd, &r.mCr, &r.mAuthUserName})
            sqlite3_bind_text(insert, column++, text->data(), static_cast<int>(text->size()),
                              SQLITE_STATIC);
        sqlite3_bind_int64(insert, column++, r.mClirCaller);
        // The media statistics as the bytes they are: the same values, packed.
        sqlite3_bind_blob(insert, column++, s, s ? static_cast<int>(sizeof *s) : 0, SQLITE_STATIC);
        sqlite3_bind_text(insert, column, s ? s->mFax.mAnamnesis.data() : "",
                          s ? static_cast<int>(s->mFax.mAnamnesis.size()) : 0, SQLITE_STATIC);
        Check(sqlite3_step(insert), mDb);
        if (mCount[t] >= mLimit) {
            sqlite3_reset(mDelete[t]);
            sqlite3_bind_int64(mDelete[t], 1, static_cast<sqlite3_int64>(mCount[t] - mLimit));
            Check(sqlite3_step(mDelete[t]), mDb);
        }
        Exec("COMMIT");
        ++mCount[t];
        return 1;
    }
    int OnStatus() override {
        RecorderStatus status;
        for (int t = 0; t < 3; ++t) status.mDatabases[t].mNextId = mCount[t];
        return Status(status);
    }

private:
    static constexpr const char* kColumns =
        "st INTEGER, dur INTEGER, called TEXT, caller TEXT, guid TEXT, ocd TEXT, cr TEXT, "
        "auth_un TEXT, clir INTEGER, streams BLOB, fax_anamnesis TEXT";
    unsigned mLimit;
    uint32_t mCount[3] = {};
    sqlite3* mDb = nullptr;
    sqlite3_stmt* mInsert[3] = {};
    sqlite3_stmt* mDelete[3] = {};
};

// The sum of the next IDs in the status, through the web queue.
long StatusTotal() {
    MessageQueueClient web(QueueAddress::kWebQueue);
    WireMessage ask, answer;
    ask.mType = WireMessage::kStatus;
    if (!web.Connect() || !web.Send(ask) ||
        web.Receive(&answer, 60000) != MessageQueueClient::Receipt::kMessage)
        exit(1);
    long total = 0;
    for (const RecorderStatus::Database& d : answer.mStatus.mDatabases) total += d.mNextId;
    return total;
}

// Sends COUNT reports with cdrsend and waits until the recorder counts
// them all; returns reports/s from the first sent to the last stored.
double Through(const std::string& cdrsend, unsigned count, unsigned seed) {
    const long before = StatusTotal();
    const Clock::time_point t0 = Clock::now();
    const std::string command = cdrsend + " --random " + std::to_string(count) + " --seed " +
                                std::to_string(seed) + " >/dev/null";
    if (system(command.c_str()) != 0)
        exit(1);
    while (StatusTotal() < before + count) usleep(1000);
    return count / Since(t0);
}

long WrittenBytes(pid_t pid) {
    return StatusKb(pid, "io", "write_bytes:");
}

int Journal(const std::string& cdrd, const std::string& cdrsend, const std::string& dir) {
    const std::vector<WireMessage> pool = Pool(true);
    const std::string queues = dir + "/msgq";
    setenv("MSGQ_DIR", queues.c_str(), 1);
    const unsigned kSent = 30000;
    printf(
        "| records per database | save interval | journal | cdrd records/s | bytes written "
        "per record | SQLite records/s | cdrd / SQLite |\n");
    printf("|---:|---:|---|---:|---:|---:|---:|\n");
    for (unsigned records : {1000u, 10000u}) {
        // SQLite, through the same queues, filled to the same limit first.
        double peer = 0;
        {
            const std::string q15 = queues + "/q15", q111 = queues + "/q111";
            unlink(q15.c_str());
            unlink(q111.c_str());
            const pid_t pid = fork();
            if (pid == 0) {
                SqliteRecorder recorder(dir + "/recorder.sqlite", records);
                recorder.SelectQueues();
                recorder.WaitForMessagingEvent();
                _exit(0);
            }
            while (access(q15.c_str(), F_OK) != 0 || access(q111.c_str(), F_OK) != 0) usleep(100);
            Through(cdrsend, 3 * records, 1);  // to the limit
            peer = Through(cdrsend, kSent, 2);
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        for (unsigned interval : {10u, 100u}) {
            for (bool journal : {false, true}) {
                const std::string base = MakeBase(dir, "journal" + std::to_string(records));
                Fill(base, records, pool, 3);
                Settings(base, Limits(records, interval) + (journal ? "CDR_JOURNAL=1\n" : ""));
                pid_t pid;
                StartDaemon(cdrd, queues, &pid);
                const long written = WrittenBytes(pid);
                const double ours = Through(cdrsend, kSent, 2);
                const double bytes = double(WrittenBytes(pid) - written) / kSent;
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
                printf("| %u | %u | %s | %.0f | %.0f |", records, interval, journal ? "on" : "off",
                       ours, bytes);
                if (journal && interval == 100)
                    printf(" %.0f | %.2f |\n", peer, ours / peer);
                else
                    printf(" | |\n");
                fflush(stdout);
            }
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (geteuid() == 0)
        testing_support::EnterPrivateMounts({"/tmp/logs"});
    if (argc == 2)
        return RecordPath(argv[1]);
    if (argc == 4 && std::strcmp(argv[1], "--daemon") == 0)
        return Daemon(argv[2], argv[3]);
    if (argc == 5 && std::strcmp(argv[1], "--journal") == 0)
        return Journal(argv[2], argv[3], argv[4]);
    fprintf(stderr,
            "usage: store_bench DIR | store_bench --daemon CDRD DIR | store_bench --journal CDRD "
            "CDRSEND DIR\n");
    return 2;
}
