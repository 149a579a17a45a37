// Every state a power cut can leave, tried. Reference workloads run the
// recorder in this process on PowerCutFs, a file system model reached
// through the System seam, and at every operation boundary the explorer
// takes each state a cut can leave there. Then it starts the recorder on
// each state, checks what it finds, gives it a record of each kind, kills
// it and starts it once more; a cut during that first recovery is tried the
// same way, one level deep. What the recorder told the outside before the
// cut must hold in every state:
//  - every file reads as written; nothing is moved aside; without the
//    journal no journal file appears;
//  - every record the status counted as durable is there once, unless an
//    answered clear took it or the limit trimmed it;
//  - nothing cleared or delivered comes back;
//  - an ID told to the outside is never given to another record, and the
//    next ID lies beyond all of them;
//  - the statistics file holds at most twice download_cnt records;
//  - when a command starts, every record handed in so far is durable.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>

#include "cdr/CDRKind.h"
#include "cdr/CDRManager.h"
#include "platform/config/RecordFile.h"
#include "platform/util/NumberText.h"
#include "tests/support/ModelSystem.h"
#include "tests/support/TempDir.h"

using testing_support::ModelSystem;
using testing_support::PowerCutFs;
using testing_support::TestSystem;

namespace {

const char* const kDb[3] = {"/kelt/telephony/CDR_db", "/kelt/telephony/missed_calls_db",
                            "/kelt/telephony/unsuccess_calls_db"};
const char kStat[] = "/mnt/bbram/calldata/down_stat.log";
#ifdef CDR_EMULATOR
const int kNestedShare = 8;  // the emulator is slow: a cut in every eighth recovery
#else
const int kNestedShare = 1;
#endif

// IDs in the order the recorder gives them, which goes on past 2^32 - 1.
bool Before(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) < 0;
}

struct Record {
    int k;  // database index
    uint32_t id;
    std::string who;  // the caller: each report's own
};

// The records of a record file's text, sections without "type" of database
// K; false when the text needed repair.
bool Records(const std::string& text, int k, std::vector<Record>* out) {
    Configuration::RecordSections file;
    file.ReadText(text);
    for (file.Restart(); file.GotoNextSection();) {
        char type[16], id[32] = "", who[64] = "";
        const bool typed = file.GetSectionEntry("type", type, sizeof type);
        file.GetSectionEntry("ID", id, sizeof id);
        file.GetSectionEntry("caller", who, sizeof who);
        out->push_back(
            {typed ? CDRKindIndex(atoi(type)) : k, NumberText::LeadingUnsigned32(id), who});
    }
    return file.Notes().Empty();
}

class Recorder : public CDRManager {
public:
    using CDRManager::SyncJournals;
    uint32_t Next(int k) NO_THREAD_SAFETY_ANALYSIS { return mpFiles->mNextId[k]; }
};

struct Workload {
    const char* name;
    int interval, limit;  // of all three databases (the smallest in force)
    bool journal;
    int downloadCount;  // 0: nothing collected
    // r5: five reports in one wake-up; s: status; f7, c7: flush, clear mask
    // 7; d: download now; D: downloads fail from now / again succeed; R:
    // restart (a kill); u: the UPDATE settings and a settings update;
    // x: saves fail; X: the disk is full; h: healed.
    const char* steps;
    std::string update;
    PowerCutFs::Tree files;  // found at the start besides the settings
};

std::string Settings(int interval, int limit, bool journal) {
    std::string text = journal ? "CDR_JOURNAL=1\n" : "";
    for (const char* kind : {"STATED", "MISSED", "FAILED"})
        text += std::string("CDR_") + kind + "_MAX=" + std::to_string(limit) + "\nCDR_" + kind +
                "_SAVE_INTERVAL=" + std::to_string(interval) + "\n";
    return text;
}

class Explorer {
public:
    explicit Explorer(const Workload& w) : mW(w) {}

    // Runs the workload, taking the states at every boundary, then checks them.
    void Run();

    std::vector<std::string> mProblems;
    size_t mBoundaries = 0, mChecked = 0;

private:
    // What the outside was told, in order.
    struct Fact {
        // 's' durable below ID; 'C' asked to clear below ID; 'c' cleared
        // below ID (the clear was answered); 'd' delivered RECORDS
        char what;
        int k;
        uint32_t id;
        std::set<std::pair<int, uint32_t>> records;
    };
    struct Given {
        std::string who;
        size_t out = kNever;  // told to the outside with the first OUT facts: never given again
    };
    static constexpr size_t kNever = SIZE_MAX;
    struct State {
        PowerCutFs::Tree tree;
        size_t facts;  // how many were told before it
    };

    void Step(std::unique_ptr<Recorder>& m, char what, int n);
    void Give(int k, uint32_t id, const std::string& who);
    void Claim(Recorder& m);
    // The states a cut may leave FS in now, with FACTS told before, that were not taken yet.
    void Take(const PowerCutFs& fs, size_t facts, std::vector<State>* into);
    void Problem(const std::string& where, const std::string& what) {
        if (mProblems.size() < 20)
            mProblems.push_back(where + ": " + what);
    }
    void Check(const State& s, bool nested);
    void Verify(const PowerCutFs::Tree& tree, const RecorderStatus& status, size_t facts,
                const std::string& where);
    void Deliveries();
    void Put(PowerCutFs& fs, const std::string& path, const std::string& text);

    const Workload& mW;
    testing_support::TempDir mReal;  // the trace log and the collector
    PowerCutFs mFs;
    std::vector<Fact> mFacts;
    std::map<uint32_t, Given> mIds[3];
    std::set<std::pair<int, uint32_t>> mCollected;  // what any delivery took
    size_t mDeliveries = 0;
    std::set<size_t> mSeen;
    std::vector<State> mStates;
    int mReports = 0;
};

void Explorer::Put(PowerCutFs& fs, const std::string& path, const std::string& text) {
    fs.Mkdir(path.substr(0, path.rfind('/')), 0755);
    const int ino = fs.Open(path, O_CREAT | O_WRONLY | O_TRUNC, 0644);
    fs.Write(ino, text.data(), text.size(), 0);
    fs.Sync(ino);
    fs.Sync(fs.Lookup(path.substr(0, path.rfind('/'))));
}

void Explorer::Take(const PowerCutFs& fs, size_t facts, std::vector<State>* into) {
    ++mBoundaries;
    for (PowerCutFs::Tree& tree : fs.CrashStates()) {
        size_t hash = facts;
        for (const auto& [path, text] : tree)
            hash = hash * 1000003 ^ std::hash<std::string>()(path) * 31 ^
                   std::hash<std::string>()(text);
        if (mSeen.insert(hash).second)
            into->push_back({std::move(tree), facts});
    }
}

void Explorer::Give(int k, uint32_t id, const std::string& who) {
    Given& g = mIds[k][id];
    if (g.out != kNever && g.who != who)
        Problem(who, "ID " + std::to_string(id) + " given again, told before for " + g.who);
    g = {who, kNever};
}

void Explorer::Claim(Recorder& m) {
    const RecorderStatus s = m.CurrentStatus();
    for (int k = 0; k < 3; ++k) {
        const uint32_t below = s.mDatabases[k].mNextId - s.mDatabases[k].mNotDurable;
        mFacts.push_back({'s', k, below, {}});
        for (auto& [id, given] : mIds[k])
            if (Before(id, below))
                given.out = std::min(given.out, mFacts.size());
    }
}

// Each delivery the collector took since the last look.
void Explorer::Deliveries() {
    const std::string text = testing_support::ReadFile(mReal.File("collected"));
    std::vector<std::string> chunks(1);
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = std::min(text.find('\n', at), text.size());
        if (text.compare(at, end - at, "#") == 0)
            chunks.emplace_back();
        else
            chunks.back() += text.substr(at, end - at + 1);
    }
    for (size_t i = mDeliveries; i + 1 < chunks.size(); ++i) {
        std::vector<Record> records;
        Records(chunks[i], -1, &records);
        mFacts.push_back({'d', 0, 0, {}});
        for (const Record& r : records) {
            mFacts.back().records.insert({r.k, r.id});
            mCollected.insert({r.k, r.id});
            mIds[r.k][r.id].out = std::min(mIds[r.k][r.id].out, mFacts.size());
        }
    }
    mDeliveries = chunks.size() - 1;
}

void Explorer::Step(std::unique_ptr<Recorder>& m, char what, int n) {
    ModelSystem& sys = static_cast<ModelSystem&>(System::Default());
    switch (what) {
        case 'r':
            for (int i = 0; i < n; ++i, ++mReports) {
                const int k = mReports % 3;
                CallDetailReport r;
                r.mStartTime = 1000 + mReports;
                r.mCaller = std::string(mW.name).substr(0, 8) + "-" + std::to_string(mReports);
                const uint32_t before = m->Next(k);
                m->OnAddCDR(kCDRKinds[k], r, nullptr);  // 0 may still have taken it
                if (m->Next(k) != before)
                    Give(k, m->Next(k) - 1, r.mCaller);
            }
            m->SyncJournals();  // as the loop does before it waits
            break;
        case 's':
            Claim(*m);
            break;
        case 'f':
            m->OnFlush(n);
            break;
        case 'c': {
            uint32_t next[3];
            for (int k = 0; k < 3; ++k) {
                next[k] = m->Next(k);
                if (n & kCDRKinds[k])
                    mFacts.push_back({'C', k, next[k], {}});
            }
            if (m->OnClear(n))
                for (int k = 0; k < 3; ++k)
                    if (n & kCDRKinds[k])
                        mFacts.push_back({'c', k, next[k], {}});
            break;
        }
        case 'd':
            m->OnDownloadNow();
            break;
        case 'D':
            if (access(mReal.File("fail").c_str(), F_OK) == 0)
                unlink(mReal.File("fail").c_str());
            else
                testing_support::WriteFile(mReal.File("fail"), "");
            break;
        case 'R':
            m.reset();
            m.reset(new Recorder);
            break;
        case 'u':
            Put(mFs, "/kelt/sysconfig/general_settings.conf", mW.update);
            m->OnUpdateCDRSettings();
            break;
        case 'x':
            sys.Fail(TestSystem::kRename, EIO);
            break;
        case 'X':
            sys.Fail(TestSystem::kWrite, ENOSPC);
            break;
        case 'h':
            sys.Heal();
            break;
    }
    Deliveries();
}

void Explorer::Run() {
    setenv("KELT_PATH", "/kelt/", 1);
    PowerCutFs::Tree files = mW.files;
    files["/kelt/sysconfig/general_settings.conf"] = Settings(mW.interval, mW.limit, mW.journal);
    if (mW.downloadCount) {
        files["/kelt/sysconfig/rc.conf"] = "START_AUTO_DOWNLOAD_STAT=true\n";
        files["/kelt/auto-down-stat.conf"] = "download_cnt=" + std::to_string(mW.downloadCount) +
                                             "\ndownload_cmd=[ -e " + mReal.File("fail") +
                                             " ] && exit 1; cat %f >> " + mReal.File("collected") +
                                             " && echo '#' >> " + mReal.File("collected") + "\n";
    }
    for (int k = 0; k < 3; ++k) {
        std::vector<Record> records;
        Records(files.count(kDb[k]) ? files[kDb[k]] : "", k, &records);
        for (const Record& r : records) mIds[k][r.id] = {r.who, 0};
    }
    mFs.Load(files);
    {
        ModelSystem sys(mFs, {"/kelt", "/mnt/bbram"});
        sys.Root(mReal.Path(), {"/tmp/logs"});
        sys.AfterChange = [this] { Take(mFs, mFacts.size(), &mStates); };
        sys.BeforeFork = [this] {
            for (const auto& [path, text] : mFs.Now())
                if (path.size() > 8 && path.compare(path.size() - 8, 8, ".journal") == 0 &&
                    !mFs.Synced(path))
                    Problem(path, "not synced when a command starts");
        };
        std::unique_ptr<Recorder> m(new Recorder);
        for (const char* p = mW.steps; *p;) {
            const char what = *p++;
            char* end;
            const int n = static_cast<int>(strtol(p, &end, 10));
            p = end;
            Step(m, what, n);
        }
    }
    // Downloads fail from here on: what the checks deliver would count as lost.
    testing_support::WriteFile(mReal.File("fail"), "");
    for (size_t i = 0; i < mStates.size(); ++i) Check(mStates[i], i % kNestedShare == 0);
}

// Starts the recorder on the state S, checks what it finds, gives it a
// record of each kind, kills it and checks again. NESTED: the states a cut
// during the first recovery leaves are checked as well.
void Explorer::Check(const State& s, bool nested) {
    ++mChecked;
    const std::string where = mW.name + std::string(" state ") + std::to_string(mChecked);
    PowerCutFs fs;
    fs.Load(s.tree);
    std::vector<State> inner;
    {
        ModelSystem sys(fs, {"/kelt", "/mnt/bbram"});
        sys.Root(mReal.Path(), {"/tmp/logs"});
        if (nested)
            sys.AfterChange = [&] { Take(fs, s.facts, &inner); };
        std::unique_ptr<Recorder> m;
        try {
            m.reset(new Recorder);
        } catch (const std::exception& e) {
            return Problem(where, std::string("start-up failed: ") + e.what());
        }
        sys.AfterChange = nullptr;
        Verify(fs.Now(), m->CurrentStatus(), s.facts, where);
        // A life after the cut: a record of each kind, durable, then a kill.
        uint32_t ids[3];
        for (int k = 0; k < 3; ++k) {
            CallDetailReport r;
            r.mCaller = "after-" + std::to_string(k);
            m->OnAddCDR(kCDRKinds[k], r, nullptr);
            ids[k] = m->Next(k) - 1;
        }
        if (!mW.journal)
            m->OnFlush(7);
        const RecorderStatus before = m->CurrentStatus();
        m.reset();
        m.reset(new Recorder);
        const PowerCutFs::Tree after = fs.Now();
        Verify(after, m->CurrentStatus(), s.facts, where + " after a life");
        for (int k = 0; k < 3; ++k) {
            std::vector<Record> records;
            Records(after.count(kDb[k]) ? after.at(kDb[k]) : "", k, &records);
            const bool kept = std::any_of(records.begin(), records.end(), [&](const Record& r) {
                return r.id == ids[k] && r.who == "after-" + std::to_string(k);
            });
            if (before.mDatabases[k].mNotDurable == 0 && !kept)
                Problem(where, std::string(kDb[k]) + " lost the record of the life after the cut");
        }
    }
    for (const State& state : inner) Check(state, false);
}

void Explorer::Verify(const PowerCutFs::Tree& tree, const RecorderStatus& status, size_t facts,
                      const std::string& where) {
    uint32_t durable[3] = {}, cleared[3] = {}, asked[3] = {};
    bool hasDurable[3] = {}, hasCleared[3] = {}, hasAsked[3] = {};
    std::set<std::pair<int, uint32_t>> delivered;
    for (size_t i = 0; i < facts; ++i) {
        const Fact& f = mFacts[i];
        if (f.what == 's')
            durable[f.k] = f.id, hasDurable[f.k] = true;
        if (f.what == 'c')
            cleared[f.k] = f.id, hasCleared[f.k] = true;
        if (f.what == 'C')
            asked[f.k] = f.id, hasAsked[f.k] = true;
        delivered.insert(f.records.begin(), f.records.end());
    }
    for (const auto& [path, text] : tree) {
        if (path.find(".damaged") != std::string::npos ||
            (!mW.journal && mW.update.empty() && path.find(".journal") != std::string::npos))
            Problem(where, path + " is there");
    }
    auto text = [&](const char* path) { return tree.count(path) ? tree.at(path) : ""; };
    std::vector<Record> statistics;
    if (!Records(text(kStat), -1, &statistics))
        Problem(where, std::string(kStat) + " needed repair");
    if (mW.downloadCount && statistics.size() > 2u * mW.downloadCount)
        Problem(where, std::to_string(statistics.size()) + " statistics records");
    for (int k = 0; k < 3; ++k) {
        std::vector<Record> records, collected;
        if (!Records(text(kDb[k]), k, &records))
            Problem(where, std::string(kDb[k]) + " needed repair");
        for (const Record& r : statistics)
            if (r.k == k)
                collected.push_back(r);
        for (const std::vector<Record>* file : {&records, &collected}) {
            const bool stat = file == &collected;
            const std::string name = stat ? kStat : kDb[k];
            std::map<uint32_t, int> count;
            for (const Record& r : *file) {
                auto given = mIds[k].find(r.id);
                if (++count[r.id] == 2)
                    Problem(where, name + ": ID " + std::to_string(r.id) + " twice");
                if (given != mIds[k].end() && given->second.out <= facts &&
                    given->second.who != r.who)
                    Problem(where, name + ": ID " + std::to_string(r.id) + " holds " + r.who +
                                       ", told before for " + given->second.who);
                if (!stat && hasCleared[k] && Before(r.id, cleared[k]))
                    Problem(where, name + ": cleared record " + r.who + " came back");
                if (stat && delivered.count({k, r.id}))
                    Problem(where, name + ": delivered record " + r.who + " came back");
            }
            if (stat && !mW.downloadCount)
                continue;
            // What the status counted as durable is there, unless cleared, delivered or trimmed.
            for (const auto& [id, given] : mIds[k]) {
                if (!hasDurable[k] || !Before(id, durable[k]) || given.out > facts ||
                    (hasAsked[k] && Before(id, asked[k]) && !stat) ||
                    (stat && mCollected.count({k, id})) || given.who.rfind("after-", 0) == 0)
                    continue;
                int newer = 0;
                for (const Record& r : *file) newer += Before(id, r.id);
                if (count[id] != 1 && (stat ? newer < mW.downloadCount : newer < mW.limit))
                    Problem(where, name + ": durable record " + given.who + " (ID " +
                                       std::to_string(id) + ") is missing");
            }
        }
        for (const auto& [id, given] : mIds[k])
            if (given.out <= facts && !Before(id, status.mDatabases[k].mNextId))
                Problem(where, std::string(kDb[k]) + ": next ID " +
                                   std::to_string(status.mDatabases[k].mNextId) +
                                   " was given before to " + given.who);
    }
}

}  // namespace

TEST(CrashStates, EveryStateAPowerCutCanLeaveKeepsWhatTheRecorderTold) {
    const PowerCutFs::Tree existing = {
        {kDb[0], "{\nID=7\nST=1\ncaller=old-7\n}\n{\nID=6\nST=1\ncaller=old-6\n}\n"},
        {kDb[1], "{\nID=0\nST=1\ncaller=old-0\n}\n"}};
    const PowerCutFs::Tree top = {{kDb[2], "{\nID=99999999999\nST=1\ncaller=top\n}\n"}};
    const Workload workloads[] = {
        {"existing files", 10, 100, true, 0, "sr3sRs", "", existing},
        {"interval 1", 1, 100, false, 0, "sr4sRr2s", "", {}},
        {"interval 10", 10, 100, true, 0, "sr5sr8sf7sRr3s", "", {}},
        {"interval 100", 100, 100, true, 0, "sr4sRr4sRs", "", {}},
        {"no journal", 3, 100, false, 0, "sr5sf1sRr4s", "", {}},
        {"clears", 10, 100, true, 0, "sr6sc1sr3c2sc4sr3c7sRs", "", {}},
        {"clear, restart", 3, 100, false, 0, "sr4sc7sRr2s", "", {}},
        {"collected", 10, 100, true, 4, "sr5sr4sDr6sdsDds", "", {}},
        {"collected, no journal", 3, 100, false, 4, "sr6sr4sDr3sdsDs", "", {}},
        {"settings update", 10, 3, true, 0, "sr6sur3sRs", Settings(10, 3, true), {}},
        {"journal switched", 10, 100, true, 0, "sr4sur4sRs", Settings(10, 100, false), {}},
        {"saves refused", 10, 100, true, 0, "sr4sxc7sr3shf7s", "", {}},
        {"disk full", 10, 100, true, 0, "sr4sXr4shr2s", "", {}},
        {"top ID", 10, 100, true, 0, "sr3sRr2s", "", top},
    };
    size_t boundaries = 0, states = 0;
    for (const Workload& w : workloads) {
        Explorer explorer(w);
        explorer.Run();
        boundaries += explorer.mBoundaries;
        states += explorer.mChecked;
        for (const std::string& problem : explorer.mProblems) ADD_FAILURE() << problem;
    }
    std::cout << std::size(workloads) << " workloads, " << boundaries << " boundaries, " << states
              << " states checked\n";
}
