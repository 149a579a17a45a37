#include "platform/msg/WireFormat.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>

#include "platform/config/BigEndian.h"
#include "platform/util/DecimalText.h"

namespace {

class Writer {
public:
    explicit Writer(std::string* out) : mOut(out), mStart(out->size()) {}
    // Bytes of this message so far.
    size_t Written() const { return mOut->size() - mStart; }
    void U8(unsigned v) { mOut->push_back(static_cast<char>(v & 0xFF)); }
    void U16(unsigned v) {
        U8(v >> 8);
        U8(v);
    }
    void U32(uint32_t v) { BigEndian::AppendU32(mOut, v); }
    // The first text that cannot be carried, or empty.
    const std::string& Error() const { return mError; }
    void Text(const std::string& s, const char* field) {
        if (!mError.empty())
            return;
        if (s.size() > WireFormat::kMaxText) {
            char size[DecimalText::kMaxText], most[DecimalText::kMaxText];
            DecimalText::WriteUnsigned(s.size(), size);
            DecimalText::WriteUnsigned(WireFormat::kMaxText, most);
            mError.append(field).append(": text of ").append(size).append(" bytes, at most ");
            mError.append(most);
            return;
        }
        if (s.find('\0') != std::string::npos) {
            mError.append(field).append(": text holds a NUL byte");
            return;
        }
        U8(static_cast<unsigned>(s.size()));
        mOut->append(s);
    }
    void I64(int64_t v) {
        U32(static_cast<uint32_t>(static_cast<uint64_t>(v) >> 32));
        U32(static_cast<uint32_t>(static_cast<uint64_t>(v) & 0xFFFFFFFFu));
    }
    // Data of two length bytes: a record's text, whole.
    void Bytes(const std::string& s) {
        assert(s.size() <= 0xFFFF);  // the page is cut to the answer's room
        U16(static_cast<unsigned>(s.size()));
        mOut->append(s);
    }
    // Cut to kMaxLongText, and at a NUL byte: diagnostics, not data.
    void LongText(const std::string& s) {
        size_t n = std::min(s.find('\0'), WireFormat::kMaxLongText);
        n = std::min(n, s.size());
        U16(static_cast<unsigned>(n));
        mOut->append(s, 0, n);
    }

private:
    std::string* mOut;
    size_t mStart;
    std::string mError;
};

class Reader {
public:
    Reader(const unsigned char* p, size_t n) : mP(p), mEnd(p + n) {}
    const char* Error() const { return mError; }
    bool AtEnd() const { return mP == mEnd; }

    unsigned U8() {
        if (mP >= mEnd) {
            Fail("field overruns the payload");
            return 0;
        }
        return *mP++;
    }
    uint16_t U16() {
        unsigned hi = U8();
        return static_cast<uint16_t>(hi << 8 | U8());
    }
    uint32_t U32() {
        if (mEnd - mP < 4) {
            Fail("field overruns the payload");
            return 0;
        }
        const uint32_t v = BigEndian::GetU32(mP);
        mP += 4;
        return v;
    }
    // A flag: 0 or 1, nothing else (one encoding per message).
    bool Flag() {
        const unsigned v = U8();
        if (v > 1)
            Fail("flag is neither 0 nor 1");
        return v == 1;
    }
    int32_t I32() {
        // Two's complement by arithmetic, not by a cast through memory.
        uint32_t u = U32();
        return u <= 0x7FFFFFFFu ? static_cast<int32_t>(u) : -static_cast<int32_t>(~u) - 1;
    }
    int64_t I64() {
        const uint64_t hi = U32();
        const uint64_t u = hi << 32 | U32();
        return u <= INT64_MAX ? static_cast<int64_t>(u) : -static_cast<int64_t>(~u) - 1;
    }
    // A text, checked, as a view of the payload; empty after a fault.
    std::string_view View(size_t n) {
        if (n > static_cast<size_t>(mEnd - mP)) {
            Fail("text overruns the payload");
            return {};
        }
        if (std::memchr(mP, '\0', n)) {
            Fail("text holds a NUL byte");
            return {};
        }
        const std::string_view text(reinterpret_cast<const char*>(mP), n);
        mP += n;
        return text;
    }
    void Text(std::string_view* s) { *s = View(U8()); }
    void LongText(std::string_view* s) { *s = View(U16()); }
    void Text(std::string* s) { *s = View(U8()); }
    const unsigned char* At() const { return mP; }
    size_t Left() const { return static_cast<size_t>(mEnd - mP); }

private:
    void Fail(const char* why) {
        if (!mError)
            mError = why;
        mP = mEnd;  // nothing after a fault is read
    }

    const unsigned char* mP;
    const unsigned char* mEnd;
    const char* mError = nullptr;
};

// Widths on the wire, as Writer puts them.
constexpr size_t kU8 = 1, kU16 = 2, kU32 = 4, kI64 = 8;

void PutStream(Writer& w, const MediaStreamStatistics& s) {
    w.U32(s.mLocalAddress);
    w.U32(s.mRemoteAddress);
    w.U16(s.mLocalPort);
    w.U16(s.mRemotePort);
    w.U32(s.mPacketsSent);
    w.U16(s.mSendCodec);
    w.U16(s.mSendPacketSize);
    w.U32(s.mPacketsReceived);
    w.U16(s.mReceiveCodec);
    w.U16(s.mReceivePacketSize);
    w.U16(s.mPacketsLost);
    w.U32(s.mJitter);
    w.U32(s.mMaxDelay);
    w.U16(s.mDelayIncrease);
    w.U16(s.mDelayDecrease);
}

void GetStream(Reader& r, MediaStreamStatistics* s) {
    s->mLocalAddress = r.U32();
    s->mRemoteAddress = r.U32();
    s->mLocalPort = r.U16();
    s->mRemotePort = r.U16();
    s->mPacketsSent = r.U32();
    s->mSendCodec = r.U16();
    s->mSendPacketSize = r.U16();
    s->mPacketsReceived = r.U32();
    s->mReceiveCodec = r.U16();
    s->mReceivePacketSize = r.U16();
    s->mPacketsLost = r.U16();
    s->mJitter = r.U32();
    s->mMaxDelay = r.U32();
    s->mDelayIncrease = r.U16();
    s->mDelayDecrease = r.U16();
}

void PutStatus(Writer& w, const RecorderStatus& s) {
    w.U8(3);
    for (const RecorderStatus::Database& d : s.mDatabases) {
        w.Text(d.mName, "database name");
        w.LongText(d.mPath);
        w.U8(d.mOpen);
        w.U32(d.mRecords);
        w.U32(d.mUnsaved);
        w.U32(d.mNotDurable);
        w.U32(d.mLimit);
        w.U32(d.mInterval);
        w.U32(d.mNextId);
        w.I64(d.mLastSaveTime);
        w.U8(d.mLastSaveOk);
        w.LongText(d.mLastSaveError);
    }
    w.U8(s.mRecording);
    w.U8(s.mDownload);
    w.U32(s.mCollected);
    w.U32(static_cast<uint32_t>(s.mDownloadCount));
    w.I64(s.mLastDownloadTime);
    w.U8(s.mLastDownloadOk);
    w.U32(s.mDroppedByCap);
    w.U8(s.mJournal);
    w.LongText(s.mJournalProblem);
    // As many problems as fit in an answer, in their order.
    auto size = [](const Problem& p) {
        size_t n = 4;
        for (const std::string* text : {&p.mFile, &p.mKey, &p.mFound, &p.mWhat})
            n += 2 + std::min(text->size(), WireFormat::kMaxLongText);
        return n;
    };
    size_t sent = 0;
    for (size_t used = w.Written() + 2 + 4; sent < s.mProblems.size(); ++sent) {
        used += size(s.mProblems[sent]);
        if (used > WireFormat::kMaxAnswer)
            break;
    }
    w.U16(static_cast<unsigned>(sent));
    for (size_t i = 0; i < sent; ++i) {
        const Problem& p = s.mProblems[i];
        w.LongText(p.mFile);
        w.U32(p.mLine);
        w.LongText(p.mKey);
        w.LongText(p.mFound);
        w.LongText(p.mWhat);
    }
    w.U32(static_cast<uint32_t>(s.mProblems.size() - sent) + s.mProblemsLeftOut);
}

const char* GetStatus(Reader& r, StatusView* s) {
    if (r.U8() != 3)
        return "status does not hold three databases";
    for (StatusView::Database& d : s->mDatabases) {
        r.Text(&d.mName);
        r.LongText(&d.mPath);
        d.mOpen = r.Flag();
        d.mRecords = r.U32();
        d.mUnsaved = r.U32();
        d.mNotDurable = r.U32();
        d.mLimit = r.U32();
        d.mInterval = r.U32();
        d.mNextId = r.U32();
        d.mLastSaveTime = r.I64();
        d.mLastSaveOk = r.Flag();
        r.LongText(&d.mLastSaveError);
    }
    s->mRecording = r.Flag();
    s->mDownload = r.Flag();
    s->mCollected = r.U32();
    s->mDownloadCount = r.I32();
    s->mLastDownloadTime = r.I64();
    s->mLastDownloadOk = r.Flag();
    s->mDroppedByCap = r.U32();
    s->mJournal = r.Flag();
    r.LongText(&s->mJournalProblem);
    // Each problem takes at least its four lengths and its line: a count
    // that the rest cannot hold is damage, and no block is made for it.
    const size_t count = r.U16();
    if (count > r.Left() / (4 * kU16 + kU32))
        return "problems overrun the payload";
    s->mProblems.Resize(count);
    for (size_t i = 0; i < count; ++i) {
        ProblemView& p = s->mProblems[i];
        r.LongText(&p.mFile);
        p.mLine = r.U32();
        r.LongText(&p.mKey);
        r.LongText(&p.mFound);
        r.LongText(&p.mWhat);
    }
    s->mProblemsLeftOut = r.U32();
    return nullptr;
}

}  // namespace

StatusView::StatusView() = default;

void StatusView::Copy(RecorderStatus* s) const {
    const StatusView& v = *this;
    for (int i = 0; i < 3; ++i) {
        const StatusView::Database& from = v.mDatabases[i];
        RecorderStatus::Database& d = s->mDatabases[i];
        d.mName = from.mName;
        d.mPath = from.mPath;
        d.mOpen = from.mOpen;
        d.mRecords = from.mRecords;
        d.mUnsaved = from.mUnsaved;
        d.mNotDurable = from.mNotDurable;
        d.mLimit = from.mLimit;
        d.mInterval = from.mInterval;
        d.mNextId = from.mNextId;
        d.mLastSaveTime = from.mLastSaveTime;
        d.mLastSaveOk = from.mLastSaveOk;
        d.mLastSaveError = from.mLastSaveError;
    }
    s->mRecording = v.mRecording;
    s->mDownload = v.mDownload;
    s->mCollected = v.mCollected;
    s->mDownloadCount = v.mDownloadCount;
    s->mLastDownloadTime = v.mLastDownloadTime;
    s->mLastDownloadOk = v.mLastDownloadOk;
    s->mDroppedByCap = v.mDroppedByCap;
    s->mJournal = v.mJournal;
    s->mJournalProblem = v.mJournalProblem;
    s->mProblems.resize(v.mProblems.size());
    for (size_t i = 0; i < v.mProblems.size(); ++i) {
        const ProblemView& from = v.mProblems.begin()[i];
        Problem& p = s->mProblems[i];
        p.mFile = from.mFile;
        p.mLine = from.mLine;
        p.mKey = from.mKey;
        p.mFound = from.mFound;
        p.mWhat = from.mWhat;
    }
    s->mProblemsLeftOut = v.mProblemsLeftOut;
}

namespace {

void PutCursor(Writer& w, const RecordCursor& c) {
    w.U8(c.mSet);
    for (const uint32_t id : c.mId) w.U32(id);
}

const char* GetCursor(Reader& r, RecordCursor* c) {
    c->mSet = static_cast<uint8_t>(r.U8());
    for (uint32_t& id : c->mId) id = r.U32();
    return c->mSet > 7 ? "cursor names a fourth database" : nullptr;
}

void PutQuery(Writer& w, const RecordQuery& q) {
    w.U8(q.mKinds);
    w.U8((q.mById ? 1u : 0u) | (q.mCount ? 2u : 0u));
    w.U32(q.mId);
    w.Text(q.mParty, "party");
    w.Text(q.mCaller, "caller");
    w.Text(q.mCalled, "called");
    w.I64(q.mSince);
    w.I64(q.mUntil);
    w.U32(q.mMinDuration);
    PutCursor(w, q.mAfter);
    w.U32(q.mSkip);
    w.U16(q.mLimit);
}

const char* GetQuery(Reader& r, RecordQuery* q) {
    q->mKinds = static_cast<uint8_t>(r.U8());
    const unsigned flags = r.U8();
    if (q->mKinds > 7 || flags > 3)
        return "read command with unknown kinds or flags";
    q->mById = (flags & 1) != 0;
    q->mCount = (flags & 2) != 0;
    q->mId = r.U32();
    r.Text(&q->mParty);
    r.Text(&q->mCaller);
    r.Text(&q->mCalled);
    q->mSince = r.I64();
    q->mUntil = r.I64();
    q->mMinDuration = r.U32();
    if (const char* why = GetCursor(r, &q->mAfter))
        return why;
    q->mSkip = r.U32();
    q->mLimit = r.U16();
    return nullptr;
}

void PutPage(Writer& w, const RecordPage& p) {
    w.U8((p.mOpen[0] ? 1u : 0u) | (p.mOpen[1] ? 2u : 0u) | (p.mOpen[2] ? 4u : 0u));
    for (const uint32_t n : p.mRecords) w.U32(n);
    w.U8((p.mCounted ? 1u : 0u) | (p.mEnd ? 2u : 0u));
    w.U32(p.mMatches);
    PutCursor(w, p.mNext);
    w.U16(static_cast<unsigned>(p.mList.size()));
    for (const RecordPage::Record& record : p.mList) {
        w.U8(record.mDb);
        w.U8(record.mCut ? 1 : 0);
        w.Bytes(record.mText);
    }
}

const char* GetRecords(Reader& r, RecordsView* p) {
    const unsigned open = r.U8();
    for (int db = 0; db < 3; ++db) p->mOpen[db] = (open & (1u << db)) != 0;
    for (uint32_t& n : p->mRecords) n = r.U32();
    const unsigned flags = r.U8();
    if (open > 7 || flags > 3)
        return "records answer with unknown flags";
    p->mCounted = (flags & 1) != 0;
    p->mEnd = (flags & 2) != 0;
    p->mMatches = r.U32();
    if (const char* why = GetCursor(r, &p->mNext))
        return why;
    p->mCount = r.U16();
    // Checked here, so that Next reads them without checks.
    const unsigned char* list = r.At();
    for (size_t i = 0; i < p->mCount; ++i) {
        const unsigned db = r.U8(), cut = r.U8();
        if (db > 2 || cut > 1)
            return "record of an unknown database";
        r.View(r.U16());
    }
    p->mList =
        std::string_view(reinterpret_cast<const char*>(list), static_cast<size_t>(r.At() - list));
    return nullptr;
}

}  // namespace

void RecordsView::Copy(RecordPage* p) const {
    const RecordsView& v = *this;
    for (int db = 0; db < 3; ++db) {
        p->mOpen[db] = v.mOpen[db];
        p->mRecords[db] = v.mRecords[db];
    }
    p->mCounted = v.mCounted;
    p->mMatches = v.mMatches;
    p->mEnd = v.mEnd;
    p->mNext = v.mNext;
    p->mList.resize(v.mCount);
    RecordsView::Record record;
    size_t at = 0;
    for (RecordPage::Record& to : p->mList) {
        v.Next(&at, &record);
        to.mDb = record.mDb;
        to.mCut = record.mCut;
        to.mText = record.mText;
    }
}

namespace {

bool HasMask(WireMessage::Type t) {
    return t == WireMessage::kClear || t == WireMessage::kFlush || t == WireMessage::kClearDone ||
           t == WireMessage::kFlushDone;
}

bool KnownType(unsigned t) {
    switch (t) {
        case WireMessage::kReport:
        case WireMessage::kClear:
        case WireMessage::kFlush:
        case WireMessage::kUpdateSettings:
        case WireMessage::kUpdateDownloadSettings:
        case WireMessage::kDownloadNow:
        case WireMessage::kClearDone:
        case WireMessage::kFlushDone:
        case WireMessage::kSettingsUpdated:
        case WireMessage::kStatus:
        case WireMessage::kStatusReport:
        case WireMessage::kRead:
        case WireMessage::kRecords:
            return true;
    }
    return false;
}

// The header of DATA, checked, into *TYPE.
const char* CheckHeader(const unsigned char* data, size_t size, WireMessage::Type* type) {
    if (size < WireFormat::kHeaderSize)
        return "shorter than a header";
    if (data[0] != WireFormat::kVersion)
        return "unknown protocol version";
    if (!KnownType(data[1]))
        return "unknown message type";
    if ((static_cast<size_t>(data[2]) << 8 | data[3]) != size - WireFormat::kHeaderSize)
        return "payload length does not match the datagram";
    *type = static_cast<WireMessage::Type>(data[1]);
    return nullptr;
}

// What a decoder says at the end of the payload: WHY, or the reader's fault,
// or that bytes are left.
const char* Outcome(const char* why, const Reader& r) {
    if (why)
        return why;
    if (r.Error())
        return r.Error();
    return r.AtEnd() ? nullptr : "bytes after the last field";
}

// An answer of TYPE read by GET into *VIEW.
template <class View>
const char* DecodeAnswer(const unsigned char* data, size_t size, WireMessage::Type type,
                         const char* (*get)(Reader&, View*), View* view) {
    WireMessage::Type found;
    if (const char* why = CheckHeader(data, size, &found))
        return why;
    if (found != type)
        return "another answer";
    Reader r(data + WireFormat::kHeaderSize, size - WireFormat::kHeaderSize);
    return Outcome(get(r, view), r);
}

// An answer's payload in R read in place by GET, then copied into *OWNED.
template <class View, class Owned>
const char* ReadCopied(Reader& r, const char* (*get)(Reader&, View*), Owned* owned) {
    View view;
    const char* why = Outcome(get(r, &view), r);
    if (!why)
        view.Copy(owned);
    return why;
}

// The longest message of each kind that has texts: what the bounds in
// Encode are checked against.
constexpr size_t kText = kU8 + WireFormat::kMaxText;
constexpr size_t kLongText = kU16 + WireFormat::kMaxLongText;
constexpr size_t kCursor = kU8 + 3 * kU32;
constexpr size_t kStream = 6 * kU32 + 9 * kU16;
constexpr size_t kFax = 4 * kU32 + 2 * kU16 + kText;
constexpr size_t kLongestReport =
    WireFormat::kHeaderSize + 3 * kU32 + 6 * kText + kU32 + kU8 + 2 * kStream + kFax;
constexpr size_t kLongestRead =
    WireFormat::kHeaderSize + 2 * kU8 + kU32 + 3 * kText + 2 * kI64 + kU32 + kCursor + kU32 + kU16;
constexpr size_t kDatabaseStatus = kText + 2 * kLongText + kU8 + 6 * kU32 + kI64 + kU8;
// The problems take what room is left after the rest.
constexpr size_t kStatusBeforeProblems = WireFormat::kHeaderSize + kU8 + 3 * kDatabaseStatus +
                                         4 * kU8 + 3 * kU32 + kI64 + kLongText + kU16 + kU32;

// Starts a message of TYPE: its header, with the payload's length left for Finish.
void Begin(Writer& w, unsigned type) {
    w.U8(WireFormat::kVersion);
    w.U8(type);
    w.U16(0);
}

// Ends the message that W began at START of *OUT: its length into its
// header; or, when it cannot be carried, *OUT as it was and *ERROR.
bool Finish(const Writer& w, size_t start, std::string* out, std::string* error) {
    const size_t payload = out->size() - start - WireFormat::kHeaderSize;
    char size[DecimalText::kMaxText];
    DecimalText::WriteUnsigned(payload, size);
    // Cleared and appended, not assigned: see TextPieces.h (cdrweb links this).
    error->clear();
    error->append(w.Error());
    if (error->empty() && payload > 0xFFFF)
        error->append("message of ").append(size).append(" bytes, more than its header can say");
    if (!error->empty()) {
        out->erase(start);
        return false;
    }
    (*out)[start + 2] = static_cast<char>(payload >> 8);
    (*out)[start + 3] = static_cast<char>(payload & 0xFF);
    return true;
}

}  // namespace

bool WireFormat::EncodeRead(const RecordQuery& query, std::string* out, std::string* error) {
    const size_t start = out->size();
    Writer w(out);
    Begin(w, WireMessage::kRead);
    PutQuery(w, query);
    return Finish(w, start, out, error);
}

void WireFormat::EncodeCommand(WireMessage::Type type, int32_t mask, std::string* out) {
    assert(type == WireMessage::kStatus || type == WireMessage::kDownloadNow || HasMask(type));
    const size_t start = out->size();
    Writer w(out);
    Begin(w, type);
    if (HasMask(type))
        w.U32(static_cast<uint32_t>(mask));
    std::string error;
    Finish(w, start, out, &error);  // no text: nothing to refuse
}

bool WireFormat::Encode(const WireMessage& m, std::string* out, std::string* error) {
    const size_t start = out->size();
    Writer w(out);
    Begin(w, m.mType);
    if (m.mType == WireMessage::kReport) {
        const CallDetailReport& r = m.mReport;
        w.U32(static_cast<uint32_t>(m.mKind));
        w.U32(static_cast<uint32_t>(r.mStartTime));
        w.U32(r.mDuration);
        w.Text(r.mCalled, "called");
        w.Text(r.mCaller, "caller");
        w.Text(r.mGuid, "guid");
        w.Text(r.mOcd, "ocd");
        w.Text(r.mCr, "cr");
        w.Text(r.mAuthUserName, "auth user name");
        w.U32(r.mClirCaller);
        w.U8(m.mHasStatistics ? 1 : 0);
        if (m.mHasStatistics) {
            const CallStatistics& s = m.mStatistics;
            PutStream(w, s.mStream1);
            PutStream(w, s.mStream2);
            w.U32(s.mFax.mPacketsSent);
            w.U32(s.mFax.mDuplicatePacketsSent);
            w.U32(s.mFax.mPacketsReceived);
            w.U16(s.mFax.mPacketsLost);
            w.U16(s.mFax.mBadPacketsReceived);
            w.U32(s.mFax.mDuplicatePacketsReceived);
            w.Text(s.mFax.mAnamnesis, "fax anamnesis");
        }
    } else if (HasMask(m.mType)) {
        w.U32(static_cast<uint32_t>(m.mMask));
    } else if (m.mType == WireMessage::kStatusReport) {
        PutStatus(w, m.mStatus);
    } else if (m.mType == WireMessage::kRead) {
        PutQuery(w, m.mQuery);
    } else if (m.mType == WireMessage::kRecords) {
        PutPage(w, m.mPage);
    }
    // Texts are bounded, so no message outgrows the limit.
    static_assert(kLongestReport <= kMaxMessage, "the largest report fits kMaxMessage");
    static_assert(kLongestRead <= kMaxMessage, "the read command fits kMaxMessage");
    static_assert(kStatusBeforeProblems <= kMaxAnswer, "the status report fits kMaxAnswer");
    return Finish(w, start, out, error);
}

const char* WireFormat::DecodeStatus(const unsigned char* data, size_t size, StatusView* status) {
    return DecodeAnswer(data, size, WireMessage::kStatusReport, GetStatus, status);
}

const char* WireFormat::DecodeRecords(const unsigned char* data, size_t size,
                                      RecordsView* records) {
    return DecodeAnswer(data, size, WireMessage::kRecords, GetRecords, records);
}

const char* WireFormat::Header(const unsigned char* data, size_t size, WireMessage::Type* type) {
    return CheckHeader(data, size, type);
}

bool RecordsView::Next(size_t* at, Record* record) const {
    if (*at >= mList.size())
        return false;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(mList.data()) + *at;
    const size_t size = static_cast<size_t>(p[2]) << 8 | p[3];
    record->mDb = p[0];
    record->mCut = p[1] != 0;
    record->mText = mList.substr(*at + 4, size);
    *at += 4 + size;
    return true;
}

const char* WireFormat::Decode(const unsigned char* data, size_t size, WireMessage* m) {
    if (const char* why = CheckHeader(data, size, &m->mType))
        return why;
    Reader r(data + kHeaderSize, size - kHeaderSize);
    // The answers to the web side are read in place, then copied.
    if (m->mType == WireMessage::kStatusReport)
        return ReadCopied(r, GetStatus, &m->mStatus);
    if (m->mType == WireMessage::kRecords)
        return ReadCopied(r, GetRecords, &m->mPage);
    if (m->mType == WireMessage::kReport) {
        CallDetailReport& rep = m->mReport;
        m->mKind = r.I32();
        rep.mStartTime = r.I32();
        rep.mDuration = r.U32();
        r.Text(&rep.mCalled);
        r.Text(&rep.mCaller);
        r.Text(&rep.mGuid);
        r.Text(&rep.mOcd);
        r.Text(&rep.mCr);
        r.Text(&rep.mAuthUserName);
        rep.mClirCaller = r.U32();
        unsigned has = r.U8();
        if (has > 1)
            return "statistics flag is neither 0 nor 1";
        m->mHasStatistics = has == 1;
        if (m->mHasStatistics) {
            CallStatistics& s = m->mStatistics;
            GetStream(r, &s.mStream1);
            GetStream(r, &s.mStream2);
            s.mFax.mPacketsSent = r.U32();
            s.mFax.mDuplicatePacketsSent = r.U32();
            s.mFax.mPacketsReceived = r.U32();
            s.mFax.mPacketsLost = r.U16();
            s.mFax.mBadPacketsReceived = r.U16();
            s.mFax.mDuplicatePacketsReceived = r.U32();
            r.Text(&s.mFax.mAnamnesis);
        }
    } else if (HasMask(m->mType)) {
        m->mMask = r.I32();
    } else if (m->mType == WireMessage::kRead) {
        if (const char* why = GetQuery(r, &m->mQuery))
            return why;
    }
    return Outcome(nullptr, r);
}
