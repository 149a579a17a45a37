#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cdr/CDRFiles.h"
#include "cdr/CDRHealth.h"
#include "cdr/CDRSettings.h"
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
    ~CDRManager() override;

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

    // Settings and databases.
    bool GetCDRData();
    bool InitFiles(const char* statedPath, const char* missedPath, const char* failedPath);
    bool InitSizes(uint32_t statedMax, uint32_t missedMax, uint32_t failedMax,
                   uint32_t statedInterval, uint32_t missedInterval, uint32_t failedInterval);
    bool IsCDRFilesExist();
    // Reads the download switch and count, and opens or removes the
    // statistics file to match; false when a settings file cannot be read.
    bool InitAutoDownloadSettings();

protected:
    void Init();

    CDRSettings mSettings;
    CDRFiles* mpFiles;
    int32_t mAutoDownload;
    int32_t mDownloadCount;
    Configuration::MultiSectionFile* mpStatFile;

    static LogManager* mpLogger;

    CDRHealth mHealth;

private:
    // Save the database of index I, or the statistics file, for OPERATION
    // (the trace's first word), noting the outcome for the status. A failure
    // is alerted and passes on as the library's exception.
    void SaveDatabase(int i, const char* operation);
    void SaveStatistics(const char* operation);
    // Records the problems of one reading of settings FILE, tracing each for
    // OPERATION.
    void NoteSettings(const char* operation, const std::string& file,
                      const std::vector<SettingProblem>& problems);
    // Traces what reading FILE repaired, and keeps the file as it was read
    // beside it when a save would lose text that was skipped.
    void KeepWhatWasRead(const Configuration::MultiSectionFile& file, const char* operation);
    // Opens the statistics file; one that cannot be read is moved aside first.
    void OpenStatistics();

    // The download counter step, with what it did noted for the status.
    void CounterStep();
    void WriteRecord(int index, int kind, const CallDetailReport& report,
                     const CallStatistics* statistics);
    void AddEntry(int index, const char* key, const char* value);
    void WriteStream(int index, const MediaStreamStatistics& stream, const char* suffix);
};
