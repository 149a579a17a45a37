#include "platform/msg/CDRUpdateMessenger.h"

CDRUpdateMessenger::CDRUpdateMessenger() : CGIMessenger(kQueueId) {}

CDRUpdateMessenger::~CDRUpdateMessenger() = default;

int CDRUpdateMessenger::OnClear(int) {
    return 0;
}
int CDRUpdateMessenger::OnFlush(int) {
    return 0;
}
int CDRUpdateMessenger::OnUpdateCDRSettings() {
    return 0;
}
int CDRUpdateMessenger::OnUpdateCDRDownloadSettings() {
    return 0;
}
int CDRUpdateMessenger::OnDownloadNow() {
    return 0;
}
int CDRUpdateMessenger::OnStatus() {
    return 0;
}
int CDRUpdateMessenger::OnReadRecords(const RecordQuery&) {
    return 0;
}

int CDRUpdateMessenger::Clear(int mask) {
    WireMessage answer;
    answer.mType = WireMessage::kClearDone;
    answer.mMask = mask;
    return Answer(answer);
}

int CDRUpdateMessenger::Flush(int mask) {
    WireMessage answer;
    answer.mType = WireMessage::kFlushDone;
    answer.mMask = mask;
    return Answer(answer);
}

int CDRUpdateMessenger::UpdateCDRSettings() {
    WireMessage answer;
    answer.mType = WireMessage::kSettingsUpdated;
    return Answer(answer);
}

int CDRUpdateMessenger::Status(const RecorderStatus& status) {
    WireMessage answer;
    answer.mType = WireMessage::kStatusReport;
    answer.mStatus = status;
    return Answer(answer);
}

int CDRUpdateMessenger::Records(const RecordPage& page) {
    WireMessage answer;
    answer.mType = WireMessage::kRecords;
    answer.mPage = page;
    return Answer(answer);
}

void CDRUpdateMessenger::BeforeAnswer() {}

int CDRUpdateMessenger::Answer(const WireMessage& answer) {
    BeforeAnswer();
    return SendAnswer(answer);
}

bool CDRUpdateMessenger::Dispatch(const WireMessage& message) {
    switch (message.mType) {
        case WireMessage::kClear:
            OnClear(message.mMask);
            return true;
        case WireMessage::kFlush:
            OnFlush(message.mMask);
            return true;
        case WireMessage::kUpdateSettings:
            OnUpdateCDRSettings();
            return true;
        case WireMessage::kUpdateDownloadSettings:
            OnUpdateCDRDownloadSettings();
            return true;
        case WireMessage::kDownloadNow:
            OnDownloadNow();
            return true;
        case WireMessage::kStatus:
            OnStatus();
            return true;
        case WireMessage::kRead:
            OnReadRecords(message.mQuery);
            return true;
        default:
            return false;
    }
}
