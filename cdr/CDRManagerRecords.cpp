// CDRManager: one call detail report becomes one record.
#include <cstdio>
#include <exception>

#include "cdr/CDRKind.h"
#include "cdr/CDRManager.h"
#include "download/StatisticsDownload.h"
#include "platform/media/GetNameByDspCodec.h"

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
    auto put = [&](const char* name) {
        snprintf(key, sizeof key, "%s%s", name, suffix);
        AddEntry(index, key, v);
    };
    auto putDelay = [&](const char* name, uint16_t delay) {
        if (delay == 0xFFFF)
            snprintf(v, n, "N/A");
        else
            snprintf(v, n, "%hu", delay);
        put(name);
    };
    // An address and a port are written only when not 0.
    auto putEndpoint = [&](const char* addrName, uint32_t address, const char* portName,
                           uint16_t port) {
        if (address != 0) {
            mpFiles->mAddr = address;
            snprintf(v, n, "%s", mpFiles->mAddr.DottedDecimal());
            put(addrName);
        }
        if (port != 0) {
            snprintf(v, n, "%hu", port);
            put(portName);
        }
    };
    if (s.mPacketsSent != 0) {
        snprintf(v, n, "%lu", static_cast<unsigned long>(s.mPacketsSent));
        put("tx_pkt");
        GetNameByDspCodec(s.mSendCodec, v);
        put("tx_enc");
        if (s.mSendPacketSize != 0) {
            snprintf(v, n, "%hu", s.mSendPacketSize);
            put("tx_pkt_sz");
        }
    }
    if (s.mPacketsReceived != 0) {
        snprintf(v, n, "%lu", static_cast<unsigned long>(s.mPacketsReceived));
        put("rx_pkt");
        GetNameByDspCodec(s.mReceiveCodec, v);
        put("rx_enc");
        if (s.mReceivePacketSize != 0) {
            snprintf(v, n, "%hu", s.mReceivePacketSize);
            put("rx_pkt_sz");
        }
        snprintf(v, n, "%hu", s.mPacketsLost);
        put("rx_lost");
        snprintf(v, n, "%lu", static_cast<unsigned long>(s.mJitter));
        put("rx_jtr");
        snprintf(v, n, "%lu", static_cast<unsigned long>(s.mMaxDelay));
        put("rx_max_del");
        putDelay("rx_delay_incr", s.mDelayIncrease);
        putDelay("rx_delay_decr", s.mDelayDecrease);
        putEndpoint("loc_addr", s.mLocalAddress, "loc_port", s.mLocalPort);
        putEndpoint("rem_addr", s.mRemoteAddress, "rem_port", s.mRemotePort);
    }
}

void CDRManager::WriteRecord(int index, int kind, const CallDetailReport& r,
                             const CallStatistics* statistics) {
    CDRFiles& f = *mpFiles;
    char* v = f.mpValueBuf;
    const size_t n = CDRFiles::kValueBufSize;
    if (mSettings.mCDREnabled)
        f.mpFile[index]->AddSection(true);
    if (mAutoDownload) {
        mpStatFile->AddSection(true);
        snprintf(v, n, "%u", static_cast<unsigned>(kind));
        mpStatFile->AddSectionEntry("type", v);
    }
    // The ID belongs to the kind's database, and advances even when only the
    // statistics file is written.
    const uint32_t id = f.mNextId[index]++;
    snprintf(v, n, "%u", id);
    AddEntry(index, "ID", v);
    snprintf(v, n, "%ld", static_cast<long>(r.mStartTime));
    AddEntry(index, "ST", v);
    snprintf(v, n, "%u", r.mDuration);
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
    snprintf(v, n, "%lu", static_cast<unsigned long>(fax.mPacketsReceived));
    AddEntry(index, "fax_rx_pkt", v);
    snprintf(v, n, "%lu", static_cast<unsigned long>(fax.mDuplicatePacketsReceived));
    AddEntry(index, "fax_rx_dpl_pkt", v);
    snprintf(v, n, "%hu", fax.mPacketsLost);
    AddEntry(index, "fax_rx_lost", v);
    snprintf(v, n, "%hu", fax.mBadPacketsReceived);
    AddEntry(index, "fax_rx_bad_pkt", v);
    snprintf(v, n, "%lu", static_cast<unsigned long>(fax.mPacketsSent));
    AddEntry(index, "fax_tx_pkt", v);
    snprintf(v, n, "%lu", static_cast<unsigned long>(fax.mDuplicatePacketsSent));
    AddEntry(index, "fax_tx_dpl_pkt", v);
    AddEntry(index, "fax_anamnesis", fax.mAnamnesis.c_str());
}

int CDRManager::OnAddCDR(int kind, const CallDetailReport& report,
                         const CallStatistics* statistics) {
    TRACEX("OnAddCDR\n");
    if (!mSettings.mCDREnabled && !mAutoDownload)
        return 1;
    CDRFiles& f = *mpFiles;
    ThreadMutexLock hold(*f.mpLock);
    const int index = CDRKindIndex(kind);
    if (index < 0)
        return 0;
    if (mSettings.mCDREnabled && !f.mpFile[index])
        return 0;
    if (mAutoDownload && !mpStatFile)
        return 0;
    try {
        if (mSettings.mCDREnabled) {
            Configuration::MultiSectionFile& db = *f.mpFile[index];
            if (static_cast<uint32_t>(db.GetSectionCount()) >= f.mMaxRecords[index]) {
                db.GotoLastSection();  // exactly one, the oldest, whatever the excess
                db.DeleteSection();
            }
        }
        if (mAutoDownload)
            StatisticsDownload::CounterStep(*mpStatFile, mDownloadCount);
        WriteRecord(index, kind, report, statistics);
        if (++f.mUnsavedCount[index] >= f.mSaveInterval[index]) {
            f.mUnsavedCount[index] = 0;
            if (mSettings.mCDREnabled)
                f.mpFile[index]->Save(true, nullptr);
            if (mAutoDownload)
                mpStatFile->Save(true, nullptr);
        }
    } catch (const std::exception&) {
        // What was added stays in memory and reaches the disk with the next save.
        return 0;
    }
    return 1;
}
