#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cdr/CDRFiles.h"
#include "cdr/CDRHealth.h"
#include "cdr/CDRIds.h"
#include "cdr/CDRJournals.h"
#include "cdr/CDRSettings.h"
#include "download/StatisticsDownload.h"
#include "messaging/CDRCommonMessenger.h"
#include "platform/config/MultiSectionFile.h"

class LogManager;

// The call detail recorder: the messenger frame with every handler filled in,
// and everything the handlers work on.
//
// Construction is the whole start-up: the trace log, the settings, the three
// record databases, the automatic download settings. No failure stops it; each is traced. Run then
// serves both queues for the life of the process. One manager per process (its log manager is
// static); everything runs on the thread that constructed it. The destructor saves nothing.
class CDRManager : public CDRCommonMessenger {
public:
    CDRManager();
    // An exception from the teardown passes on to main's abort report.
    ~CDRManager() noexcept(false) override;

    // Registers both queues and runs the event loop; ends only by an exception.
    void Run();

    // One printf-style trace line; the format carries its own "\n".
    static void TRACEX(const char* format, ...) __attribute__((format(printf, 1, 2)));
    // The same for a failure that costs or risks records: also to the system log.
    static void ALERT(const char* format, ...) __attribute__((format(printf, 1, 2)));

    // Call control: one report becomes one record (newest first).
    int OnAddCDR(int kind, const CallDetailReport& report,
                 const CallStatistics* statistics) override;
    void OnCDRPartyStateChanged(bool connected) override;

    // Web side: database commands, each answered once.
    int OnCgiPartyStateChanged(bool connected) override;
    int OnClear(int mask) override;
    int OnFlush(int mask) override;
    int OnUpdateCDRSettings() override;
    // Automatic statistics download: re-read its settings; download at once.
    // Neither is answered.
    int OnUpdateCDRDownloadSettings() override;
    int OnDownloadNow() override;
    // How the recorder stands (cdrctl status): answered with Status.
    int OnStatus() override;
    // What OnStatus answers, for the caller on the manager's thread. The
    // journals are synced first, so the next IDs stand for durable records.
    RecorderStatus CurrentStatus();
    // The records the web side asks for, unsaved ones included: answered
    // with Records.
    int OnReadRecords(const RecordQuery& query) override;

    // Settings and databases.
    bool GetCDRData();
    // Start-up and its tests: the only thread that touches the databases, so no lock.
    bool InitFiles(const char* statedPath, const char* missedPath,
                   const char* failedPath) NO_THREAD_SAFETY_ANALYSIS;
    bool InitSizes(uint32_t statedMax, uint32_t missedMax, uint32_t failedMax,
                   uint32_t statedInterval, uint32_t missedInterval, uint32_t failedInterval);
    // Reads the three pointers unlocked: the handlers' thread is their only writer.
    bool IsCDRFilesExist() NO_THREAD_SAFETY_ANALYSIS;
    // Reads the download switch and count, and opens or removes the
    // statistics file to match; false when a settings file cannot be read.
    bool InitAutoDownloadSettings();

protected:
    void Init();
    // What the destructor does, also for a constructor that throws.
    void Teardown() NO_THREAD_SAFETY_ANALYSIS;  // no handler runs any more

    CDRSettings mSettings;
    CDRFiles* mpFiles;
    int32_t mAutoDownload;
    int32_t mDownloadCount;
    Configuration::MultiSectionFile* mpStatFile;

    static LogManager* mpLogger;

    CDRHealth mHealth;

    // The journals of the databases (CDR_JOURNAL), which hold the
    // statistics file's records too, and the account of what is durable.
    CDRJournals mJournals{ALERT};
    // What each database's IDs file keeps (see CDRIds).
    CDRIds::Kept mKeptIds[3];

    // Reads CDR_JOURNAL, beside GetCDRData: a bad value keeps the switch as it was.
    void ReadJournalSetting();
    // Finishes what a crash cut short: the clears its IDs files decided,
    // and what its journal holds beyond each file, put back within the
    // limits and saved; the next IDs go on beyond every ID given before.
    // The trace says how many records came back.
    void RecoverJournals() NO_THREAD_SAFETY_ANALYSIS;  // start-up, as InitFiles
    // Its steps: database I, its IDs file and journal (the journal's frames
    // kept in *CONTENTS, and added to *STATISTICS for the statistics file);
    // then the statistics file, from those frames in their order.
    void RecoverDatabase(int i, CDRJournal::Contents* contents,
                         std::vector<const CDRJournal::Frame*>* statistics)
        NO_THREAD_SAFETY_ANALYSIS;
    void RecoverStatistics(std::vector<const CDRJournal::Frame*>* statistics)
        NO_THREAD_SAFETY_ANALYSIS;
    // Syncs the directories of the file at PATH that the start found: a
    // save or a new directory that a crash cut off before its sync is then
    // there for good, as this start reads it.
    void SyncFound(const std::string& path);
    // Makes every record so far durable: before the loop waits, before an
    // answer, and before a command or child process starts.
    void SyncJournals() { mJournals.Sync(); }
    void BeforeAnswer() override { SyncJournals(); }

private:
    // Save the database of index I, or the statistics file, for OPERATION
    // (the trace's first word), noting the outcome for the status. A failure
    // is alerted and passes on as the library's exception.
    void SaveDatabase(int i, const char* operation) REQUIRES(mpFiles->mpLock);
    void SaveStatistics(const char* operation);
    // Records the problems of one reading of the settings file NAME (its
    // path under the base, whatever the base is now), tracing each for
    // OPERATION.
    void NoteSettings(const char* operation, const std::string& name,
                      const std::vector<Problem>& problems);
    // Traces what reading FILE repaired, and keeps the file as it was read
    // beside it when a save would lose text that was skipped.
    void KeepWhatWasRead(const Configuration::MultiSectionFile& file, const char* operation);
    // Opens the statistics file; one that cannot be read is moved aside first.
    void OpenStatistics();
    // What a delivery of the statistics file needs around it (see
    // StatisticsDownload::Hooks): before the command starts, the journals
    // synced and the IDs it hands out kept in the IDs files (no delivery
    // when they cannot be); after it, the journals told, then the file
    // emptied and saved. Called by a download, from the counter step under
    // the lock or from the download command, which takes none.
    static bool BeforeDelivery(void* manager) NO_THREAD_SAFETY_ANALYSIS;
    static void EmptyStatistics(Configuration::MultiSectionFile& file,
                                void* manager) NO_THREAD_SAFETY_ANALYSIS;
    StatisticsDownload::Hooks DeliveryHooks() { return {BeforeDelivery, EmptyStatistics, this}; }

    // Writes database I's IDs file with its next ID and, for a clear, that
    // every record before it is gone; false, alerted for OPERATION and noted
    // as the database's failed save, when it cannot be written.
    bool KeepIds(int i, bool clear, const char* operation) REQUIRES(mpFiles->mpLock);
    // Removes the oldest records of database I beyond LIMIT; true when it did.
    bool TrimOldest(int i, uint32_t limit) REQUIRES(mpFiles->mpLock);

    // Journals the record just written, of database INDEX and KIND, and
    // counts it as not durable until it is.
    void JournalRecord(int index, int kind) REQUIRES(mpFiles->mpLock);
    // The download counter step, with what it did noted for the status.
    void CounterStep();
    void WriteRecord(int index, int kind, const CallDetailReport& report,
                     const CallStatistics* statistics) REQUIRES(mpFiles->mpLock);
    void AddEntry(int index, const char* key, const char* value) REQUIRES(mpFiles->mpLock);
    void WriteStream(int index, const MediaStreamStatistics& stream, const char* suffix)
        REQUIRES(mpFiles->mpLock);

    // InitFiles' steps, at start-up as it: opens the databases of PATHS
    // (null: left as they are), a file that cannot be read moved aside once
    // in the recorder's life; false when one still cannot be read.
    bool OpenFiles(const char* const paths[3]) NO_THREAD_SAFETY_ANALYSIS;
    // Database I's next ID, after its newest record's; records without
    // IDs are numbered, newest highest, and saved.
    void FindNextId(int i) NO_THREAD_SAFETY_ANALYSIS;

    // Databases that cannot be read are moved aside once in the recorder's
    // life: what fails after that stays closed.
    bool mMovedAside = false;
};
