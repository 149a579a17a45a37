#include "tools/RecorderLink.h"

#include <cstdio>

bool RecorderLink::Failed(const std::string& error, bool unreachable) {
    mError = error;
    mUnreachable = unreachable;
    return false;
}

bool RecorderLink::Connect() {
    return mClient.Connect() || Failed("cannot reach cdrd: " + mClient.Error(), true);
}

bool RecorderLink::Send(const WireMessage& request) {
    return mClient.Send(request) || Failed(mClient.Error(), true);
}

bool RecorderLink::Ask(const WireMessage& request, WireMessage::Type expected,
                       WireMessage* answer) {
    if (!mClient.Send(request))
        return Failed(mClient.Error(), true);
    switch (mClient.Receive(answer, mTimeoutMs)) {
        case MessageQueueClient::Receipt::kMessage:
            break;
        case MessageQueueClient::Receipt::kTimedOut: {
            char text[64];
            snprintf(text, sizeof text, "no answer from cdrd within %g s", mTimeoutMs / 1000.0);
            return Failed(text);
        }
        case MessageQueueClient::Receipt::kFailed:
            return Failed(mClient.Error(), true);
    }
    if (answer->mType != expected)
        return Failed("unexpected answer (type " + std::to_string(answer->mType) + ")");
    return true;
}

bool RecorderLink::Status(RecorderStatus* status) {
    WireMessage request, answer;
    request.mType = WireMessage::kStatus;
    if (!Ask(request, WireMessage::kStatusReport, &answer))
        return false;
    *status = answer.mStatus;
    return true;
}

bool RecorderLink::Read(const RecordQuery& query, RecordPage* page) {
    WireMessage request, answer;
    request.mType = WireMessage::kRead;
    request.mQuery = query;
    if (!Ask(request, WireMessage::kRecords, &answer))
        return false;
    *page = std::move(answer.mPage);
    // An answer holds what fits; the rest is asked for from where it ended.
    while (!page->mEnd && page->mList.size() < query.mLimit) {
        request.mQuery.mAfter = page->mNext;
        request.mQuery.mSkip = 0;
        request.mQuery.mLimit = static_cast<uint16_t>(query.mLimit - page->mList.size());
        request.mQuery.mCount = false;
        if (!Ask(request, WireMessage::kRecords, &answer))
            return false;
        if (answer.mPage.mList.empty())
            return Failed("cdrd answered a read with no record and no end");
        for (RecordPage::Record& record : answer.mPage.mList)
            page->mList.push_back(std::move(record));
        page->mEnd = answer.mPage.mEnd;
        page->mNext = answer.mPage.mNext;
    }
    return true;
}
