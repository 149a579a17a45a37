#include "platform/config/MultiSectionConfigFile.h"

#include <cassert>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "platform/sys/System.h"

namespace Configuration {

MultiSectionConfigFile::MultiSectionConfigFile(const char* sectionBegin, const char* sectionEnd,
                                               const char* separator, const char* comment)
    : mFormat(sectionBegin, sectionEnd, separator, comment) {
    if (!sectionBegin || !sectionEnd)
        throw std::invalid_argument("section delimiters missing");
}

MultiSectionConfigFile::~MultiSectionConfigFile() = default;

int MultiSectionConfigFile::GotoFirstSection() {
    if (mSections.empty())
        return 0;
    mCurrent = 0;
    mNext = 1;
    return 1;
}

int MultiSectionConfigFile::GotoLastSection() {
    if (mSections.empty())
        return 0;
    mCurrent = static_cast<long>(mSections.size()) - 1;
    mNext = mCurrent + 1;
    return 1;
}

int MultiSectionConfigFile::Restart() {
    mCurrent = -1;
    mNext = 0;
    return 1;
}

int MultiSectionConfigFile::GotoNextSection() {
    if (mNext >= static_cast<long>(mSections.size())) {
        mCurrent = -1;
        return 0;
    }
    mCurrent = mNext++;
    return 1;
}

int MultiSectionConfigFile::AddSection(bool atFront) {
    CompleteWriting();
    mScratch.Clear();
    if (atFront) {
        mSections.push_front(std::move(mScratch));
        mCurrent = 0;
    } else {
        mSections.push_back(std::move(mScratch));
        mCurrent = static_cast<long>(mSections.size()) - 1;
    }
    mWriting = mCurrent;
    mNext = mCurrent + 1;
    return 1;
}

int MultiSectionConfigFile::DeleteSection() {
    if (!HasCurrent())
        return 0;
    PackedSection gone;
    if (mCurrent == static_cast<long>(mSections.size()) - 1) {
        gone = mSections.pop_back();
    } else if (mCurrent == 0) {
        gone = mSections.pop_front();
    } else {
        gone = mSections.erase(static_cast<size_t>(mCurrent));
    }
    if (mCurrent == mWriting) {
        mScratch = std::move(gone);
        mWriting = -1;
    } else {
        if (mCurrent < mWriting)
            --mWriting;
        mPool.Give(std::move(gone));
    }
    mNext = mCurrent;
    mCurrent = -1;
    return 1;
}

int MultiSectionConfigFile::ClearAll() {
    if (mWriting >= 0)
        mScratch = std::move(mSections[static_cast<size_t>(mWriting)]);
    mWriting = -1;
    mSections.clear();
    mCurrent = -1;
    mNext = 0;
    return 1;
}

int MultiSectionConfigFile::AddSectionEntry(const char* key, const char* value) {
    if (!HasCurrent() || !key)
        return 0;
    mLine.clear();
    mFormat.AppendEntry(&mLine, key, value ? value : "");
    mSections[mCurrent].AppendLine(mLine);
    return 1;
}

int MultiSectionConfigFile::SetSectionEntry(const char* key, const char* value) {
    if (!HasCurrent() || !key)
        return 0;
    size_t at, length;
    const bool found = FindLine(key, &at, &length);
    mLine.clear();
    mFormat.AppendEntry(&mLine, key, value ? value : "");
    if (found)
        mSections[mCurrent].ReplaceLine(at, length, mLine);
    else
        mSections[mCurrent].AppendLine(mLine);
    return 1;
}

int MultiSectionConfigFile::GetSectionEntry(const char* key, char* buffer, size_t size) const {
    size_t at, length;
    if (!HasCurrent() || !key || !FindLine(key, &at, &length))
        return 0;
    const std::string_view line = mSections[mCurrent].Text().substr(at, length - 1);
    mFormat.DecodeEntry(line, &mKey, &mValue);
    if (buffer && size > 0) {
        size_t n = mValue.size() < size - 1 ? mValue.size() : size - 1;
        std::memcpy(buffer, mValue.data(), n);
        buffer[n] = '\0';
    }
    return 1;
}

std::string_view MultiSectionConfigFile::SectionText() const {
    return HasCurrent() ? mSections[mCurrent].Text() : std::string_view();
}

int MultiSectionConfigFile::AddSectionText(std::string_view entryLines, bool atFront) {
    AddSection(atFront);
    std::string_view line;
    for (size_t pos = 0; TextFormat::NextLine(entryLines, &pos, &line);) {
        if (mFormat.IsCanonicalEntry(line)) {
            mLine.assign(line.data(), line.size()).push_back('\n');
        } else if (mFormat.Classify(line) == TextFormat::kEntry) {
            mFormat.DecodeEntry(line, &mKey, &mValue);
            mLine.clear();
            mFormat.AppendEntry(&mLine, mKey, mValue);
        } else {
            continue;
        }
        mSections[mCurrent].AppendLine(mLine);
    }
    return 1;
}

bool MultiSectionConfigFile::FindLine(const char* key, size_t* at, size_t* length) const {
    mKey.clear();
    mFormat.AppendEntryPrefix(&mKey, key);
    const std::string_view text = mSections[mCurrent].Text();
    for (size_t pos = 0; pos < text.size();) {
        const size_t end = text.find('\n', pos);
        assert(end != std::string_view::npos);  // only whole lines are stored
        if (text.compare(pos, mKey.size(), mKey) == 0) {
            *at = pos;
            *length = end + 1 - pos;
            return true;
        }
        pos = end + 1;
    }
    return false;
}

void MultiSectionConfigFile::WriteText(std::string* out) const {
    WriteText([out](const std::string& piece) { out->append(piece); }, 64 * 1024);
}

void MultiSectionConfigFile::WriteText(const std::function<void(const std::string&)>& emit,
                                       size_t chunk) const {
    std::string piece;
    piece.reserve(chunk + chunk / 4);
    for (size_t i = 0; i < mSections.size(); ++i) {
        mFormat.AppendSectionBegin(&piece);
        piece.append(mSections[i].Text());
        mFormat.AppendSectionEnd(&piece);
        if (piece.size() >= chunk) {
            emit(piece);
            piece.clear();
        }
    }
    if (!piece.empty())
        emit(piece);
}

void MultiSectionConfigFile::WriteTextPieces(
    const std::function<void(const struct iovec*, int)>& emit, int maxPieces) const {
    assert(maxPieces >= 3 && maxPieces <= System::kMaxPieces);  // a section is three pieces
    struct iovec batch[System::kMaxPieces];
    int count = 0;
    auto add = [&](const void* data, size_t size) {
        if (size == 0)
            return;
        batch[count].iov_base = const_cast<void*>(data);  // only read by writev
        batch[count].iov_len = size;
        if (++count == maxPieces) {
            emit(batch, count);
            count = 0;
        }
    };
    const std::string& begin = mFormat.SectionBeginLine();
    const std::string& end = mFormat.SectionEndLine();
    for (size_t i = 0; i < mSections.size(); ++i) {
        const std::string_view text = mSections[i].Text();
        add(begin.data(), begin.size());
        add(text.data(), text.size());
        add(end.data(), end.size());
    }
    if (count > 0)
        emit(batch, count);
}

void MultiSectionConfigFile::ReadText(std::string_view text) {
    mNotes.Clear();
    std::string cleaned;
    text = TextFormat::Clean(text, &cleaned, &mNotes);
    SectionRing sections;
    // Entries are gathered in one reused block, then copied out at their exact
    // size, in the form this format writes (what was read may differ in blanks
    // and escapes).
    PackedSection scratch;
    std::string encoded;
    bool inSection = false;
    unsigned lineNo = 0, openedAt = 0;
    std::string key, value;
    std::string_view line;
    auto close = [&] {
        sections.push_back(scratch.Clone());
        scratch.Clear();
        inSection = false;
    };
    for (size_t pos = 0; TextFormat::NextLine(text, &pos, &line);) {
        ++lineNo;
        // Nearly every line of a file this library wrote is an entry in the
        // form it writes: kept as it stands, with its line end, unclassified
        // (such a line can be nothing else).
        const size_t end = static_cast<size_t>(line.data() - text.data()) + line.size();
        if (inSection && end < text.size() && text[end] == '\n' && mFormat.IsCanonicalEntry(line)) {
            scratch.AppendLine(text.substr(end - line.size(), line.size() + 1));
            continue;
        }
        switch (mFormat.Classify(line)) {
            case TextFormat::kBlank:
            case TextFormat::kComment:
                break;
            case TextFormat::kSectionBegin:
                if (inSection) {
                    close();
                    mNotes.Add(openedAt,
                               "section not closed; ended at line " + std::to_string(lineNo),
                               false);
                }
                inSection = true;
                openedAt = lineNo;
                break;
            case TextFormat::kSectionEnd:
                if (inSection)
                    close();
                else
                    mNotes.Add(lineNo, "section end without a begin; skipped", false);
                break;
            case TextFormat::kEntry:
                if (!inSection) {
                    mNotes.Add(lineNo, "entry outside a section; skipped", true);
                    break;
                }
                mFormat.DecodeEntry(line, &key, &value);
                encoded.clear();
                mFormat.AppendEntry(&encoded, key, value);
                scratch.AppendLine(encoded);
                break;
            case TextFormat::kStray:
                mNotes.Add(lineNo, "stray line; skipped", true);
                break;
        }
    }
    if (inSection) {
        close();
        mNotes.Add(openedAt, "last section cut short; kept with its entries", false);
    }
    mSections.swap(sections);
    mWriting = -1;  // the section being written went with the old ones
    mCurrent = -1;
    mNext = 0;
}

void MultiSectionConfigFile::CompleteWriting() {
    if (mWriting < 0)
        return;
    PackedSection& section = mSections[static_cast<size_t>(mWriting)];
    PackedSection home;
    if (mPool.Take(section.PackedBytes(), &home))
        home.CopyFrom(section);
    else
        home = section.Clone(32);  // sizes in steps of 32 match kept blocks more often
    mScratch = std::move(section);
    section = std::move(home);
    mWriting = -1;
}

}  // namespace Configuration
