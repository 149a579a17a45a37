// Every state a power cut can leave, tried. Reference workloads run the
// recorder in this process on PowerCutFs, a file system model behind the
// System seam, and at every operation boundary the explorer takes each
// state a cut can leave there. Then it starts the recorder on each state
// and holds the files to what was told before the cut (Promises); gives it
// a record of each kind, made durable, kills it and holds it to that too. A
// cut during that first recovery is tried the same way, one level deep.
// Besides: when a command starts, every record handed in is durable.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <random>

#include "cdr/CDRManager.h"
#include "platform/msg/CDRKind.h"
#include "tests/support/ModelSystem.h"
#include "tests/support/Promises.h"
#include "tests/support/TempDir.h"

using namespace testing_support;

namespace {

const char kDir[] = "/kelt/telephony/";
const char kStat[] = "/mnt/bbram/calldata/down_stat.log";
// "/": the root is the model's too, as the start syncs the directories up to it.
const std::vector<std::string> kModelled = {"/", "/kelt", "/mnt", "/mnt/bbram"};
#ifdef CDR_EMULATOR
const size_t kNestedShare = 8;  // the emulator is slow: a cut in every eighth recovery
#else
const size_t kNestedShare = 1;
#endif

class Recorder : public CDRManager {
public:
    using CDRManager::SyncJournals;
    std::function<void()> mAtAnswer;  // checks what holds when an answer goes out
    void BeforeAnswer() override {
        CDRManager::BeforeAnswer();
        mAtAnswer();
    }
    uint32_t Next(int k) NO_THREAD_SAFETY_ANALYSIS { return mpFiles->mNextId[k]; }
    // The records it holds, saved or not.
    void Held(testing_support::Records db[3],
              testing_support::Records collected[3]) NO_THREAD_SAFETY_ANALYSIS {
        for (int k = 0; k < 3; ++k) {
            std::string text;
            if (mpFiles->mpFile[k])
                mpFiles->mpFile[k]->WriteText(&text);
            ParseRecords(text, k, db);
        }
        std::string text;
        if (mpStatFile)
            mpStatFile->WriteText(&text);
        ParseRecords(text, -1, collected);
    }
};

struct Workload {
    std::string name;
    int interval, limit;  // of all three databases, the smallest in force
    bool journal;
    int downloadCount;  // 0: nothing collected
    // r5: five reports in one wake-up; a5: five more in the wake-up that
    // the next step's command comes in; s: status; f7, c7: flush, clear mask
    // 7; d: download now; D: downloads fail from now, or again succeed; R:
    // restart (a kill); u: the settings UPDATE, and a settings update; x:
    // saves fail; X: the disk is full; h: healed.
    std::string steps;
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

// A person's edit: written and synced at once.
void Put(PowerCutFs& fs, const std::string& path, const std::string& text) {
    const int ino = fs.Open(path, O_CREAT | O_WRONLY | O_TRUNC, 0644);
    fs.Write(ino, text.data(), text.size(), 0);
    fs.Sync(ino);
    fs.Sync(fs.Lookup(path.substr(0, path.rfind('/'))));
}

class Explorer {
public:
    explicit Explorer(const Workload& w) : mW(w) {}
    // Runs the workload, taking the states at every boundary, then checks them.
    void Run();

    std::vector<std::string> mProblems;
    size_t mBoundaries = 0, mChecked = 0;

private:
    struct State {
        PowerCutFs::Tree tree;
        size_t promises;  // what was told before it: mPromises[promises]
        // A kill, not a cut: the file system with what was not synced yet,
        // which a cut during the next start, or after it, may still drop.
        std::shared_ptr<const PowerCutFs> killed;
        std::shared_ptr<const Promises> told;  // when not mPromises[promises]
    };

    void Step(std::unique_ptr<Recorder>& m, ModelSystem& sys, char what, int n);
    // A status: what it counts as durable is owed from now on.
    static void Claim(Recorder& m, Promises* p);
    // What was told changed: states from now on are held to it.
    void Told() { mPromises.push_back(mNow); }
    void Take(const PowerCutFs& fs, size_t promises, std::vector<State>* into);
    void Check(const State& s, bool nested);
    // Every record handed in is durable WHEN something goes out.
    void Synced(const char* when) {
        for (const auto& [path, text] : mFs.Now())
            if (path.size() > 8 && path.compare(path.size() - 8, 8, ".journal") == 0 &&
                !mFs.Synced(path))
                Problems(when, {path + " is not synced"});
    }
    void Problems(const std::string& where, const std::vector<std::string>& found) {
        for (const std::string& problem : found)
            if (mProblems.size() < 20)
                mProblems.push_back(mW.name + ", " + where + ": " + problem);
    }

    const Workload& mW;
    TempDir mReal;  // the trace log, the collected deliveries
    PowerCutFs mFs;
    Promises mNow;
    std::vector<Promises> mPromises;
    std::set<uint32_t> mEver[3];  // what any delivery took
    std::set<size_t> mSeen;
    std::vector<State> mStates;
    int mReports = 0;
    bool mFailing = false;  // saves and appends fail
};

void Explorer::Take(const PowerCutFs& fs, size_t promises, std::vector<State>* into) {
    ++mBoundaries;
    auto hash = [](size_t seed, const PowerCutFs::Tree& tree) {
        for (const auto& [path, text] : tree)
            seed = seed * 1000003 ^ std::hash<std::string>()(path + '\0' + text);
        return seed;
    };
    std::vector<PowerCutFs::Tree> states = fs.CrashStates();
    // The kill: known by what reads see and what a cut leaves at the least.
    if (into == &mStates && mSeen.insert(hash(hash(promises, fs.Now()), states[0]) + 1).second)
        into->push_back({{}, promises, std::make_shared<PowerCutFs>(fs), nullptr});
    for (PowerCutFs::Tree& tree : states)
        if (mSeen.insert(hash(promises, tree)).second)
            into->push_back({std::move(tree), promises, nullptr, nullptr});
}

void Explorer::Claim(Recorder& m, Promises* p) {
    const RecorderStatus s = m.CurrentStatus();
    Records db[3], collected[3];
    m.Held(db, collected);
    for (int k = 0; k < 3; ++k) {
        const uint32_t below = s.mDatabases[k].mNextId - s.mDatabases[k].mNotDurable;
        for (const Records* held : {&db[k], &collected[k]})
            for (const auto& [id, lines] : *held) {
                if (!Before(id, below))
                    continue;
                p->Tell(k, id, lines);
                // Collected records are durable with their database's only in the journal.
                if (held == &db[k])
                    p->owed[k].insert(id);
                else if (s.mJournal)
                    p->owedCollected[k].insert(id);
            }
    }
}

void Explorer::Step(std::unique_ptr<Recorder>& m, ModelSystem& sys, char what, int n) {
    uint32_t next[3];
    for (int k = 0; k < 3; ++k) next[k] = m->Next(k);
    switch (what) {
        case 'r':
        case 'a':
            for (int i = 0; i < n; ++i, ++mReports) {
                CallDetailReport r;
                r.mStartTime = 1000 + mReports;
                r.mCaller = mW.name + " " + std::to_string(mReports);
                m->OnAddCDR(kCDRKinds[mReports % 3], r, nullptr);
            }
            if (what == 'r')
                m->SyncJournals();  // as the loop does before it waits
            break;
        case 's':
            Claim(*m, &mNow);
            Told();
            break;
        case 'f':
            m->OnFlush(n);
            break;
        case 'c':
            mNow.Cleared(n, next, next, false);
            Told();
            if (m->OnClear(n)) {
                mNow.Cleared(n, next, next, true);
                Told();
            }
            break;
        case 'd':
            m->OnDownloadNow();
            break;
        case 'D':
            if (unlink(mReal.File("fail").c_str()) != 0)
                WriteFile(mReal.File("fail"), "");
            mNow.mayDrop = true;
            Told();
            break;
        case 'R':
            m.reset();
            m.reset(new Recorder);
            m->mAtAnswer = [this] { Synced("an answer goes out"); };
            for (int k = 0; k < 3; ++k) next[k] = m->Next(k);
            // With saves failing, what came back may be in the journals only.
            if (!mFailing)
                Problems("restart", mNow.Check(mFs.Now(), kDir, kStat, next, mEver));
            break;
        case 'u':
            Put(mFs, "/kelt/sysconfig/general_settings.conf", mW.update);
            m->OnUpdateCDRSettings();
            break;
        case 'x':
            sys.Fail(TestSystem::kRename, EIO);
            mFailing = true;
            break;
        case 'X':
            sys.Fail(TestSystem::kWrite, ENOSPC);
            mFailing = true;
            break;
        case 'h':
            sys.Heal();
            mFailing = false;
            break;
    }
    const std::vector<std::vector<Records>> deliveries = TakeDeliveries(mReal.File("collected"));
    // A delivery that failing storage cannot record may go again.
    for (const std::vector<Records>& delivery : deliveries)
        mNow.Delivered(delivery, !mFailing, mEver);
    if (!deliveries.empty())
        Told();
}

void Explorer::Run() {
    setenv("KELT_PATH", "/kelt/", 1);
    mkdir(mReal.File("collected").c_str(), 0755);
    PowerCutFs::Tree files = mW.files;
    files["/mnt/bbram/"] = "";  // the device's battery-backed memory
    files["/kelt/sysconfig/general_settings.conf"] = Settings(mW.interval, mW.limit, mW.journal);
    if (mW.downloadCount) {
        files["/kelt/sysconfig/rc.conf"] = "START_AUTO_DOWNLOAD_STAT=true\n";
        files["/kelt/auto-down-stat.conf"] =
            "download_cnt=" + std::to_string(mW.downloadCount) +
            "\ndownload_cmd=" + Collector(mReal.File("collected"), mReal.File("fail")) + "\n";
    }
    mNow.limit = mW.limit;
    mNow.cap = mW.downloadCount >= 10 ? 2 * mW.downloadCount : 0;  // no drops below 10
    mNow.journalOff = !mW.journal && mW.update.empty();
    mNow.Found(files, kDir, kStat);
    Told();
    mFs.Load(files);
    {
        ModelSystem sys(mFs, kModelled);
        sys.Root(mReal.Path(), {"/tmp/logs"});
        sys.AfterChange = [this] { Take(mFs, mPromises.size() - 1, &mStates); };
        sys.BeforeFork = [this] { Synced("a command starts"); };
        std::unique_ptr<Recorder> m(new Recorder);
        m->mAtAnswer = [this] { Synced("an answer goes out"); };
        for (const char* p = mW.steps.c_str(); *p;) {
            const char what = *p++;
            char* end;
            const int n = static_cast<int>(strtol(p, &end, 10));
            Step(m, sys, what, n);
            p = end;
        }
    }
    for (size_t i = 0; i < mStates.size(); ++i)
        Check(mStates[i], mStates[i].killed || i % kNestedShare == 0);
}

void Explorer::Check(const State& s, bool nested) {
    const std::string where = "state " + std::to_string(++mChecked);
    Promises promises = s.told ? *s.told : mPromises[s.promises];
    PowerCutFs fs;
    if (s.killed)
        fs = *s.killed;
    else
        fs.Load(s.tree);
    std::vector<State> inner;
    {
        ModelSystem sys(fs, kModelled);
        sys.Root(mReal.Path(), {"/tmp/logs"});
        sys.Fail(TestSystem::kFork, EAGAIN);  // no download goes out: nothing checked here is lost
        if (nested)
            sys.AfterChange = [&] { Take(fs, s.promises, &inner); };
        std::unique_ptr<Recorder> m;
        for (const char* life : {"", " after a life"}) {
            try {
                m.reset();
                m.reset(new Recorder);
                m->mAtAnswer = [] {};
            } catch (const std::exception& e) {
                return Problems(where, {std::string("start-up failed: ") + e.what()});
            }
            sys.AfterChange = nullptr;
            uint32_t next[3];
            for (int k = 0; k < 3; ++k) next[k] = m->Next(k);
            Problems(where + life, promises.Check(fs.Now(), kDir, kStat, next, mEver));
            // A life after the cut: a record of each kind, made durable, then a kill.
            for (int k = 0; k < 3; ++k) {
                CallDetailReport r;
                r.mCaller = "after the cut";
                m->OnAddCDR(kCDRKinds[k], r, nullptr);
            }
            if (!m->CurrentStatus().mJournal)
                m->OnFlush(7);
            Claim(*m, &promises);
            // After a kill, a cut may yet drop what the killed one left unsynced.
            if (s.killed && !*life)
                inner.push_back(
                    {fs.CrashStates()[0], 0, nullptr, std::make_shared<Promises>(promises)});
        }
    }
    for (const State& state : inner) Check(state, false);
}

}  // namespace

TEST(CrashStates, EveryStateAPowerCutCanLeaveKeepsWhatTheRecorderTold) {
    const PowerCutFs::Tree existing = {
        {"/kelt/telephony/CDR_db", "{\nID=7\ncaller=old\n}\n{\nID=6\ncaller=older\n}\n"},
        {"/kelt/telephony/missed_calls_db", "{\nID=0\ncaller=old\n}\n"}};
    const PowerCutFs::Tree top = {{"/kelt/telephony/unsuccess_calls_db", "{\nID=99999999999\n}\n"}};
    const std::string off = Settings(10, 100, true) + "CDR_ENABLE=0\n";
    std::vector<Workload> workloads = {
        {"existing files", 10, 100, true, 0, "sr3sRs", "", existing},
        {"interval 1", 1, 100, false, 0, "sr4sRr2s", "", {}},
        {"interval 10", 10, 100, true, 0, "sr5sr8sa2f1sRr3s", "", {}},
        {"interval 100", 100, 100, true, 0, "sr4sRr4sRs", "", {}},
        {"no journal", 3, 100, false, 0, "sr5sf1sRr4s", "", {}},
        {"clears", 10, 100, true, 0, "sr6sc1sr3c2sc4sr3c7sRs", "", {}},
        {"clear, restart", 3, 100, false, 0, "sr4sc7sRr2s", "", {}},
        {"collected", 10, 100, true, 4, "sr5sr4sDr6sdsDds", "", {}},
        {"collected, no journal", 3, 100, false, 4, "sr6sr4sDr3sdsDs", "", {}},
        {"recording off", 10, 100, true, 4, "sr3sur5sRds", off, {}},
        {"limit lowered", 10, 3, true, 0, "sr6sur3sRs", Settings(10, 3, true), {}},
        {"journal switched", 10, 100, true, 0, "sr4sur4sRs", Settings(10, 100, false), {}},
        {"saves refused", 10, 100, true, 0, "sr4sxc7sr3shf7s", "", {}},
        {"restart, saves refused", 10, 100, true, 0, "sr2a3xRsr1hs", "", {}},
        {"disk full", 10, 100, true, 0, "sr4sXr4shr2s", "", {}},
        {"top ID", 10, 100, true, 0, "sr3sRr2s", "", top},
    };
    // $CDR_CRASH_WORKLOADS random ones besides (scripts/long-runs).
    std::mt19937 random(20261206);
    const char* const more = getenv("CDR_CRASH_WORKLOADS");
    for (int i = 0, n = more ? atoi(more) : 0; i < n; ++i) {
        std::string steps = "s";
        for (int step = 0; step < 10; ++step) {
            steps += "rrrasfcdDRxXh"[random() % 13];
            if (std::strchr("rafc", steps.back()))
                steps += std::to_string(1 + random() % 7);
        }
        const int interval = 1 + random() % 12, limit = 3 + random() % 50, count = random() % 3 * 6;
        const bool journal = random() % 2;
        workloads.push_back({std::to_string(interval) + "/" + std::to_string(limit) + "/" +
                                 std::to_string(journal) + "/" + std::to_string(count) + " " +
                                 steps,
                             interval,
                             limit,
                             journal,
                             count,
                             steps,
                             "",
                             {}});
    }
    // $CDR_CRASH_ONLY="INTERVAL/LIMIT/JOURNAL/COUNT STEPS" runs that one alone, as named in a
    // problem.
    if (const char* only = getenv("CDR_CRASH_ONLY")) {
        int interval, limit, journal, count;
        char steps[64];
        ASSERT_EQ(5, sscanf(only, "%d/%d/%d/%d %63s", &interval, &limit, &journal, &count, steps));
        workloads = {{only, interval, limit, journal != 0, count, steps, "", {}}};
    }
    size_t boundaries = 0, states = 0;
    for (const Workload& w : workloads) {
        Explorer explorer(w);
        explorer.Run();
        boundaries += explorer.mBoundaries;
        states += explorer.mChecked;
        for (const std::string& problem : explorer.mProblems) ADD_FAILURE() << problem;
    }
    std::cout << workloads.size() << " workloads, " << boundaries << " boundaries, " << states
              << " states checked\n";
}
