#include "platform/config/MultiSectionFile.h"

#include "platform/config/DurableFile.h"

namespace Configuration {

MultiSectionFile::MultiSectionFile(const char* path, bool, bool, bool, const char*,
                                   const char* sectionBegin, const char* sectionEnd,
                                   const char* separator, const char* comment, FileSystem* fs)
    : MultiSectionConfigFile(sectionBegin, sectionEnd, separator, comment),
      mPath(path ? path : ""),
      mpFs(fs ? fs : FileSystem::Default()) {
    FileBuffer text;
    if (DurableFile::Read(*mpFs, mPath, &text))
        ReadText(text.View(), mPath);
}

int MultiSectionFile::Save(bool, void*) {
    CompleteWriting();
    // Written in pieces: a save needs no second copy of the file in memory.
    DurableFile::Replace(*mpFs, mPath, [this](const DurableFile::Emit& emit) {
        WriteText([&emit](const std::string& piece) { emit(piece.data(), piece.size()); },
                  64 * 1024);
    });
    return 1;
}

}  // namespace Configuration
