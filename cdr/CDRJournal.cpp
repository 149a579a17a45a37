#include "cdr/CDRJournal.h"

#include <set>
#include <utility>

#include "cdr/CDRIds.h"
#include "platform/config/BigEndian.h"
#include "platform/msg/CDRKind.h"
#include "platform/util/DecimalText.h"
#include "platform/util/NumberText.h"

namespace {

// A frame: 'A' (added) or 'G' (cleared), the kind, the scopes, then the ID
// and the sequence (4 bytes each, big-endian), then the entry lines.
const size_t kHeader = 11;

void PutU32(std::string* out, uint32_t v) {
    BigEndian::AppendU32(out, v);
}

uint32_t GetU32(const std::string& in, size_t at) {
    return BigEndian::GetU32(in.data() + at);
}

// The database index and ID of the current section; false when it has none.
bool IndexAndId(Configuration::MultiSectionFile& file, int ownKind, int* index, uint32_t* id) {
    char value[32];
    int kind = ownKind;
    if (file.GetSectionEntry("type", value, sizeof value))
        kind = NumberText::LeadingSigned32(value);
    *index = CDRKindIndex(kind);
    if (*index < 0 || !file.GetSectionEntry("ID", value, sizeof value))
        return false;
    *id = NumberText::LeadingUnsigned32(value);
    return true;
}

}  // namespace

CDRJournal::CDRJournal(const std::string& databasePath) : mJournal(databasePath + ".journal") {}

void CDRJournal::Added(int kind, uint32_t id, uint32_t sequence, unsigned scopes,
                       std::string_view entryLines) {
    mFrame.assign(1, 'A');
    mFrame.push_back(static_cast<char>(kind));
    mFrame.push_back(static_cast<char>(scopes));
    PutU32(&mFrame, id);
    PutU32(&mFrame, sequence);
    mFrame.append(entryLines);
    mJournal.Append(mFrame);
    mWaiting |= scopes;
}

void CDRJournal::Cleared(int kind, uint32_t below, unsigned scope) {
    mFrame.assign(1, 'G');
    mFrame.push_back(static_cast<char>(kind));
    mFrame.push_back(static_cast<char>(scope));
    PutU32(&mFrame, below);
    PutU32(&mFrame, 0);
    mJournal.Append(mFrame);
    mWaiting |= scope;
}

bool CDRJournal::Saved(unsigned scope) {
    mWaiting &= ~scope;
    if (mWaiting != 0)
        return false;
    mJournal.Reset();
    return true;
}

void CDRJournal::Remove() {
    mWaiting = 0;
    mJournal.Remove();
}

CDRJournal::Contents CDRJournal::Read() {
    Contents contents;
    Configuration::Journal::Contents raw = mJournal.Read();
    contents.tornTail = raw.tornTail;
    if (!raw.damage.empty()) {
        contents.damage = mJournal.Path() + ": " + raw.damage;
        mJournal.MoveAside();
    }
    for (const std::string& frame : raw.frames) {
        const int kind = frame.size() >= kHeader ? static_cast<unsigned char>(frame[1]) : 0;
        if (CDRKindIndex(kind) < 0 || (frame[0] != 'A' && frame[0] != 'G'))
            continue;  // not of this journal's making: checked, yet left out
        contents.frames.push_back(Frame{frame[0] == 'A', kind, GetU32(frame, 3), GetU32(frame, 7),
                                        static_cast<unsigned char>(frame[2]) & 3u,
                                        frame.substr(kHeader)});
        mWaiting |= contents.frames.back().scopes;
    }
    return contents;
}

uint32_t CDRJournal::Replay(Configuration::MultiSectionFile& file, int ownKind, unsigned scope,
                            const std::vector<const Frame*>& frames) {
    // The newest record of each kind that the file holds already: the first
    // of its kind, as new records go in front.
    uint32_t newest[3];
    bool any[3] = {};
    int index;
    uint32_t id;
    for (file.Restart(); file.GotoNextSection();)
        if (IndexAndId(file, ownKind, &index, &id) && !any[index]) {
            newest[index] = id;
            any[index] = true;
        }
    std::set<std::pair<int, uint32_t>> recovered;  // kind index and ID
    std::string text;
    for (const Frame* frame : frames) {
        if (!(frame->scopes & scope) || !frame->added)
            continue;
        index = CDRKindIndex(frame->kind);
        if (!any[index] || CDRIds::Before(newest[index], frame->id)) {
            text.clear();
            if (scope == kStatistics) {
                char kind[12];
                DecimalText::Unsigned(static_cast<uint32_t>(frame->kind), kind);
                text.append("type=").append(kind).append("\n");
            }
            file.AddSectionText(text.append(frame->entryLines), true);
            newest[index] = frame->id;
            any[index] = true;
            recovered.insert({index, frame->id});
        }
    }
    // Clears last: each takes every record below its ID, in the file or put
    // back above, and the records added after it all lie above that ID.
    for (const Frame* frame : frames) {
        if (!(frame->scopes & scope) || frame->added)
            continue;
        int k;
        for (file.Restart(); file.GotoNextSection();)
            if (IndexAndId(file, ownKind, &k, &id) && k == CDRKindIndex(frame->kind) &&
                CDRIds::Before(id, frame->id)) {
                file.DeleteSection();
                recovered.erase({k, id});
            }
    }
    return static_cast<uint32_t>(recovered.size());
}
