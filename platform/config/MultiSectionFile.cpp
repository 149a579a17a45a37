#include "platform/config/MultiSectionFile.h"

#include "platform/config/DurableFile.h"

namespace Configuration {

MultiSectionFile::MultiSectionFile(const char* path, bool, bool, bool, const char*,
                                   const char* sectionBegin, const char* sectionEnd,
                                   const char* separator, const char* comment)
    : MultiSectionConfigFile(sectionBegin, sectionEnd, separator, comment),
      mPath(path ? path : "") {
    FileBuffer text;
    if (DurableFile::ReadOwn(mPath, &text))
        ReadText(text.View());
}

int MultiSectionFile::Save(bool, void*) {
    CompleteWriting();
    // Written straight from the sections: a save makes no copy of the file.
    DurableFile::ReplaceFromPieces(mPath, [this](const DurableFile::EmitPieces& emit) {
        WriteTextPieces(emit, DurableFile::kMaxPieces);
    });
    return 1;
}

}  // namespace Configuration
