#include "tools/web/CallLog.h"

#include <sys/stat.h>

#include <cerrno>
#include <exception>

#include "platform/msg/RecordSearch.h"
#include "platform/sys/System.h"
#include "platform/util/GeneralPaths.h"
#include "tools/TextPieces.h"

namespace {

// The database files at the paths cdrd uses, as it builds them; a default
// name is used but never stored from here. False with *ERROR when the
// general paths cannot be read.
bool DatabasePaths(std::string paths[3], std::string* error) {
    try {
        GeneralPaths* general = GeneralPaths::GetInstance(true);
        if (!general) {
            *error = "the general paths file cannot be read";
            return false;
        }
        for (int db = 0; db < 3; ++db) paths[db] = general->GetPath(db);
        GeneralPaths::CloseInstance();
        return true;
    } catch (const std::exception& e) {
        GeneralPaths::CloseInstance();
        *error = e.what();
        return false;
    }
}

}  // namespace

void CallLog::Open(uint8_t kinds) {
    if (mLink.Connect()) {
        mLive = true;
        return;
    }
    mDaemonError =
        TextPieces::Join({mLink.Error(), mLink.Unreachable() ? ". Is cdrd running?" : "."});
    std::string error;
    if (!DatabasePaths(mPath, &error)) {
        for (std::string& e : mFileError)
            e = TextPieces::Join({"The database's path is not known: ", error, "."});
        return;
    }
    for (int db = 0; db < 3; ++db) {
        if (!(kinds & (1 << db)))
            continue;
        struct stat st;
        if (System::Default().Lstat(mPath[db].c_str(), &st) != 0 && errno == ENOENT) {
            mFileError[db] =
                "The file does not exist yet: cdrd makes it with the first record "
                "it saves.";
            continue;
        }
        // Only read: cdrd replaces a file whole when it saves, so this sees
        // the old file or the new one, and never waits for cdrd.
        try {
            mFiles[db].reset(new Configuration::RecordFile(mPath[db].c_str()));
        } catch (const std::exception& e) {
            mFileError[db] = TextPieces::Join({"The file cannot be read: ", e.what()});
        }
    }
}

bool CallLog::Read(const RecordQuery& query, RecordPage* page) {
    if (mLive) {
        if (mLink.Read(query, page))
            return true;
        mDaemonError = mLink.Error();
        return false;
    }
    const Configuration::MultiSectionConfigFile* files[3] = {mFiles[0].get(), mFiles[1].get(),
                                                             mFiles[2].get()};
    // No answer to fit: the whole page at once.
    RecordSearch::Run(query, files, SIZE_MAX, page);
    return true;
}

bool CallLog::Status(RecorderStatus* status) {
    if (!mLive)
        return false;
    if (mLink.Status(status))
        return true;
    mDaemonError = mLink.Error();
    return false;
}
