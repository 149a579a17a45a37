// CDRManager: one call detail report becomes one record.
#include <cassert>
#include <cstring>
#include <exception>

#include "cdr/CDRManager.h"
#include "download/StatisticsDownload.h"
#include "platform/media/GetNameByDspCodec.h"
#include "platform/msg/CDRKind.h"
#include "platform/util/DecimalText.h"

// Adds KEY=VALUE to the record being written: to the database when
// recording is on, then to the statistics file when download is on.
void CDRManager::AddEntry(int index, const char* key, const char* value) {
    if (mSettings.mCDREnabled)
        mpFiles->mpFile[index]->AddSectionEntry(key, value);
    if (mAutoDownload)
        mpStatFile->AddSectionEntry(key, value);
}

void CDRManager::WriteStream(int index, const MediaStreamStatistics& s, const char* suffix) {
    char* v = mpFiles->mpValueBuf;
    const size_t n = CDRFiles::kValueBufSize;
    char key[32];
    const size_t suffixLength = std::strlen(suffix);
    // The lambdas run inside this function, under its lock; the analysis
    // looks at each on its own.
    auto put = [&](const char* name) NO_THREAD_SAFETY_ANALYSIS {
        const size_t length = std::strlen(name);
        assert(length + suffixLength < sizeof key);  // the keys are the record table's
        std::memcpy(key, name, length);
        std::memcpy(key + length, suffix, suffixLength + 1);
        AddEntry(index, key, v);
    };
    auto putDelay = [&](const char* name, uint16_t delay) {
        if (delay == 0xFFFF)
            std::strcpy(v, "N/A");
        else
            DecimalText::Unsigned(delay, v);  // "%hu"
        put(name);
    };
    // An address and a port are written only when not 0.
    auto putEndpoint = [&](const char* addrName, uint32_t address, const char* portName,
                           uint16_t port) NO_THREAD_SAFETY_ANALYSIS {
        if (address != 0) {
            mpFiles->mAddr = address;
            const char* dotted = mpFiles->mAddr.DottedDecimal();
            const size_t length = strnlen(dotted, n - 1);
            std::memcpy(v, dotted, length);
            v[length] = '\0';
            put(addrName);
        }
        if (port != 0) {
            DecimalText::Unsigned(port, v);  // "%hu"
            put(portName);
        }
    };
    if (s.mPacketsSent != 0) {
        DecimalText::Unsigned(s.mPacketsSent, v);  // "%lu"
        put("tx_pkt");
        GetNameByDspCodec(s.mSendCodec, v);
        put("tx_enc");
        if (s.mSendPacketSize != 0) {
            DecimalText::Unsigned(s.mSendPacketSize, v);  // "%hu"
            put("tx_pkt_sz");
        }
    }
    if (s.mPacketsReceived != 0) {
        DecimalText::Unsigned(s.mPacketsReceived, v);  // "%lu"
        put("rx_pkt");
        GetNameByDspCodec(s.mReceiveCodec, v);
        put("rx_enc");
        if (s.mReceivePacketSize != 0) {
            DecimalText::Unsigned(s.mReceivePacketSize, v);  // "%hu"
            put("rx_pkt_sz");
        }
        DecimalText::Unsigned(s.mPacketsLost, v);  // "%hu"
        put("rx_lost");
        DecimalText::Unsigned(s.mJitter, v);  // "%lu"
        put("rx_jtr");
        DecimalText::Unsigned(s.mMaxDelay, v);  // "%lu"
        put("rx_max_del");
        putDelay("rx_delay_incr", s.mDelayIncrease);
        putDelay("rx_delay_decr", s.mDelayDecrease);
        putEndpoint("loc_addr", s.mLocalAddress, "loc_port", s.mLocalPort);
        putEndpoint("rem_addr", s.mRemoteAddress, "rem_port", s.mRemotePort);
    }
}

void CDRManager::WriteRecord(int index, int kind, const CallDetailReport& r,
                             const CallStatistics* statistics) {
    char* v = mpFiles->mpValueBuf;
    if (mSettings.mCDREnabled)
        mpFiles->mpFile[index]->AddSection(true);
    if (mAutoDownload) {
        mpStatFile->AddSection(true);
        DecimalText::Unsigned(static_cast<uint32_t>(kind), v);  // "%u"
        mpStatFile->AddSectionEntry("type", v);
    }
    // The ID belongs to the kind's database, and advances even when only the
    // statistics file is written.
    const uint32_t id = mpFiles->mNextId[index]++;
    DecimalText::Unsigned(id, v);  // "%u"
    AddEntry(index, "ID", v);
    DecimalText::Signed(r.mStartTime, v);  // "%ld"
    AddEntry(index, "ST", v);
    DecimalText::Unsigned(r.mDuration, v);  // "%u"
    AddEntry(index, "dur", v);
    AddEntry(index, "called", r.mCalled.c_str());
    AddEntry(index, "caller", r.mCaller.c_str());
    if (!r.mGuid.empty())
        AddEntry(index, "GUID", r.mGuid.c_str());
    if (!r.mOcd.empty())
        AddEntry(index, "OCD", r.mOcd.c_str());
    if (!r.mCr.empty())
        AddEntry(index, "cr", r.mCr.c_str());
    if (!r.mAuthUserName.empty())
        AddEntry(index, "auth_un", r.mAuthUserName.c_str());
    if (r.mClirCaller != 0)
        AddEntry(index, "clir_caller", "1");
    if (!statistics)
        return;
    WriteStream(index, statistics->mStream1, "");
    WriteStream(index, statistics->mStream2, "_2");
    const FaxStatistics& fax = statistics->mFax;
    if (fax.mPacketsReceived == 0 && fax.mPacketsSent == 0)
        return;
    DecimalText::Unsigned(fax.mPacketsReceived, v);  // "%lu"
    AddEntry(index, "fax_rx_pkt", v);
    DecimalText::Unsigned(fax.mDuplicatePacketsReceived, v);  // "%lu"
    AddEntry(index, "fax_rx_dpl_pkt", v);
    DecimalText::Unsigned(fax.mPacketsLost, v);  // "%hu"
    AddEntry(index, "fax_rx_lost", v);
    DecimalText::Unsigned(fax.mBadPacketsReceived, v);  // "%hu"
    AddEntry(index, "fax_rx_bad_pkt", v);
    DecimalText::Unsigned(fax.mPacketsSent, v);  // "%lu"
    AddEntry(index, "fax_tx_pkt", v);
    DecimalText::Unsigned(fax.mDuplicatePacketsSent, v);  // "%lu"
    AddEntry(index, "fax_tx_dpl_pkt", v);
    AddEntry(index, "fax_anamnesis", fax.mAnamnesis.c_str());
}

int CDRManager::OnAddCDR(int kind, const CallDetailReport& report,
                         const CallStatistics* statistics) {
    TRACEX("OnAddCDR\n");
    if (!mSettings.mCDREnabled && !mAutoDownload)
        return 1;
    ThreadMutexLock hold(*mpFiles->mpLock);
    const int index = CDRKindIndex(kind);
    if (index < 0) {
        TRACEX("OnAddCDR: a report of the unknown kind %d refused.\n", kind);
        // A few kinds by name; a sender of many more is one problem.
        const std::string reason = "of the unknown kind " + std::to_string(kind);
        if (mHealth.mRefused.size() < 8 || mHealth.mRefused.count(reason))
            ++mHealth.mRefused[reason];
        else
            ++mHealth.mRefused["of other unknown kinds"];
        return 0;
    }
    if (mSettings.mCDREnabled && !mpFiles->mpFile[index])
        return 0;
    if (mAutoDownload && !mpStatFile)
        return 0;
    bool saving = false;  // a failed save traces itself
    try {
        if (mSettings.mCDREnabled) {
            Configuration::MultiSectionFile& db = *mpFiles->mpFile[index];
            if (static_cast<uint32_t>(db.GetSectionCount()) >= mpFiles->mMaxRecords[index]) {
                db.GotoLastSection();  // exactly one, the oldest, whatever the excess
                db.DeleteSection();
            }
        }
        if (mAutoDownload)
            CounterStep();
        WriteRecord(index, kind, report, statistics);
        JournalRecord(index, kind);
        if (mSettings.mCDREnabled)
            ++mHealth.mUnsaved[index];
        if (++mpFiles->mUnsavedCount[index] >= mpFiles->mSaveInterval[index]) {
            mpFiles->mUnsavedCount[index] = 0;
            saving = true;
            if (mSettings.mCDREnabled)
                SaveDatabase(index, "OnAddCDR");
            if (mAutoDownload)
                SaveStatistics("OnAddCDR");
        }
    } catch (const std::exception& e) {
        // What was added stays in memory and reaches the disk with the next save.
        if (!saving)
            TRACEX("OnAddCDR: %s.\n", e.what());
        return 0;
    }
    return 1;
}

void CDRManager::CounterStep() {
    const StatisticsDownload::Step step =
        StatisticsDownload::CounterStep(*mpStatFile, mDownloadCount, DeliveryHooks());
    if (step.mAttempted)
        mHealth.Downloaded(step.mDelivered, step.mFailure);
    if (step.mDropped > 0) {
        mHealth.mDroppedByCap += static_cast<uint32_t>(step.mDropped);
        TRACEX(
            "OnAddCDR: %d oldest statistics records dropped: %d were collected, twice "
            "download_cnt.\n",
            step.mDropped, mpStatFile->GetSectionCount() + step.mDropped);
    }
}

void CDRManager::JournalRecord(int index, int kind) {
    // One frame for both files: the statistics record is "type" and the same lines.
    std::string_view lines;
    if (mSettings.mCDREnabled) {
        lines = mpFiles->mpFile[index]->SectionText();
    } else {
        lines = mpStatFile->SectionText();
        lines.remove_prefix(lines.find('\n') + 1);
    }
    const unsigned scopes = (mSettings.mCDREnabled ? CDRJournal::kDatabase : 0u) |
                            (mAutoDownload ? CDRJournal::kStatistics : 0u);
    mJournals.Added(index, kind, mpFiles->mNextId[index] - 1, scopes, lines);
}
