#include "tools/RecorderLink.h"

#include "platform/msg/WireFormat.h"
#include "tools/TextPieces.h"

bool RecorderLink::Failed(bool unreachable) {
    mUnreachable = unreachable;
    return false;
}

bool RecorderLink::LinkFailed() {
    TextPieces::Set(mError, mClient.Error());
    return Failed(true);
}

bool RecorderLink::BadAnswer(const char* why) {
    TextPieces::Assign(mError, "%s: bad answer: %s", mClient.Path().c_str(), why);
    return Failed(true);
}

bool RecorderLink::Connect() {
    if (mClient.Connect())
        return true;
    TextPieces::Assign(mError, "cannot reach cdrd: %s", mClient.Error().c_str());
    return Failed(true);
}

bool RecorderLink::Send(const WireMessage& request) {
    return mClient.Send(request) || LinkFailed();
}

bool RecorderLink::AskBytes(const std::string& command, WireMessage::Type expected,
                            std::string_view* answer) {
    if (!mClient.SendBytes(command))
        return LinkFailed();
    switch (mClient.ReceiveBytes(answer, mTimeoutMs)) {
        case MessageQueueClient::Receipt::kMessage:
            break;
        case MessageQueueClient::Receipt::kTimedOut: {
            // In seconds, or in milliseconds when they are not whole.
            const bool whole = mTimeoutMs % 1000 == 0;
            TextPieces::Assign(mError, "no answer from cdrd within %u %s",
                               static_cast<unsigned>(whole ? mTimeoutMs / 1000 : mTimeoutMs),
                               whole ? "s" : "ms");
            return Failed(false);
        }
        case MessageQueueClient::Receipt::kFailed:
            return LinkFailed();
    }
    WireMessage::Type type;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(answer->data());
    if (const char* why = WireFormat::Header(bytes, answer->size(), &type))
        return BadAnswer(why);
    if (type != expected) {
        TextPieces::Assign(mError, "unexpected answer (type %u)", unsigned{type});
        return Failed(false);
    }
    return true;
}

bool RecorderLink::Ask(const WireMessage& request, WireMessage::Type expected,
                       WireMessage* answer) {
    std::string command, error;
    std::string_view bytes;
    if (!WireFormat::Encode(request, &command, &error)) {
        TextPieces::Set(mError, error);
        return Failed(false);
    }
    if (!AskBytes(command, expected, &bytes))
        return false;
    const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data());
    if (const char* why = WireFormat::Decode(data, bytes.size(), answer))
        return BadAnswer(why);
    return true;
}

bool RecorderLink::Status(RecorderStatus* status) {
    std::string answer;
    StatusView view;
    if (!ReadStatus(&answer, &view))
        return false;
    view.Copy(status);
    return true;
}

bool RecorderLink::ReadStatus(std::string* answer, StatusView* status) {
    std::string command;
    std::string_view bytes;
    WireFormat::EncodeCommand(WireMessage::kStatus, 0, &command);
    if (!AskBytes(command, WireMessage::kStatusReport, &bytes))
        return false;
    TextPieces::Set(*answer, bytes);  // the next answer takes the link's buffer
    const unsigned char* data = reinterpret_cast<const unsigned char*>(answer->data());
    if (const char* why = WireFormat::DecodeStatus(data, answer->size(), status))
        return BadAnswer(why);
    return true;
}

bool RecorderLink::Read(const RecordQuery& query, RecordPage* page) {
    RecordList list;
    if (!ReadList(query, &list))
        return false;
    list.mView.Copy(page);
    return true;
}

bool RecorderLink::ReadList(const RecordQuery& query, RecordList* list) {
    RecordQuery request = query;
    std::string command, error;
    std::string_view answer;
    list->mBytes.clear();
    size_t count = 0;
    for (bool first = true;; first = false) {
        command.clear();
        if (!WireFormat::EncodeRead(request, &command, &error)) {
            TextPieces::Set(mError, error);
            return Failed(false);
        }
        if (!AskBytes(command, WireMessage::kRecords, &answer))
            return false;
        RecordsView page;
        const unsigned char* data = reinterpret_cast<const unsigned char*>(answer.data());
        if (const char* why = WireFormat::DecodeRecords(data, answer.size(), &page))
            return BadAnswer(why);
        if (first)
            list->mView = page;  // the counts are the first answer's
        else if (page.mCount == 0) {
            TextPieces::Assign(mError, "cdrd answered a read with no record and no end");
            return Failed(false);
        }
        list->mBytes.append(page.mList);
        count += page.mCount;
        list->mView.mCount = count;
        list->mView.mEnd = page.mEnd;
        list->mView.mNext = page.mNext;
        // An answer holds what fits; the rest is asked for from where it ended.
        if (page.mEnd || count >= query.mLimit)
            break;
        request.mAfter = page.mNext;
        request.mSkip = 0;
        request.mLimit = static_cast<uint16_t>(query.mLimit - count);
        request.mCount = false;
    }
    list->mView.mList = list->mBytes;
    return true;
}
