#include "tools/web/CallLog.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "platform/msg/CDRKind.h"
#include "platform/sys/System.h"
#include "tools/TextPieces.h"

void CallLog::Open(uint8_t kinds) {
    if (mLink.Connect()) {
        mLive = true;
        return;
    }
    TextPieces::Assign(mDaemonError, "%t%s", mLink.Error().data(), mLink.Error().size(),
                       mLink.Unreachable() ? ". Is cdrd running?" : ".");
    OpenFiles(kinds);
}

void CallLog::FilesFailed(uint8_t kinds, const std::string& why) {
    for (int db = 0; db < 3; ++db)
        if (kinds & kCDRKinds[db])
            TextPieces::Set(mFileError[db], why);
}

void CallLog::OpenFiles(uint8_t kinds) {
    std::string error;
    // The reader's standard input is one end of a socket pair; the page
    // asks it as it would ask cdrd.
    int fds[2];
    const char mask[2] = {static_cast<char>('0' + (kinds & 7)), '\0'};
    const char* const args[] = {"cdrctl", "serve-saved", mask, nullptr};
    if (System::Default().Socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) {
        TextPieces::Assign(error, "socketpair: %s", strerror(errno));
    } else {
        if (!mReader.Start(args, fds[1], -1, -1, &error))
            System::Default().Close(fds[0]);
        System::Default().Close(fds[1]);
    }
    std::string why;
    if (!error.empty()) {
        TextPieces::Format(why, "The saved files cannot be read: %t.", error.data(), error.size());
        return FilesFailed(kinds, why);
    }
    mLink.Adopt(fds[0], CtlProcess::Program());
    if (!mLink.ReadStatus(&mFilesAnswer, &mFiles)) {
        mFiles = StatusView();  // no path is known
        TextPieces::Format(why, "The saved files cannot be read: %s did not answer (%t).",
                           CtlProcess::Program(), mLink.Error().data(), mLink.Error().size());
        return FilesFailed(kinds, why);
    }
    mFilesRead = true;
    // A problem is a file not read, under its path; one under any other
    // file kept every path from being known.
    for (const ProblemView& problem : mFiles.mProblems) {
        bool placed = false;
        for (int db = 0; db < 3; ++db) {
            if (!Path(db).empty() && problem.mFile == Path(db)) {
                TextPieces::Set(mFileError[db], problem.mWhat);
                placed = true;
            }
        }
        if (!placed) {
            const std::string where = DescribeProblem(problem);
            TextPieces::Assign(why, "The database's path is not known: %t.", where.data(),
                               where.size());
            FilesFailed(kinds, why);
        }
    }
}

bool CallLog::Read(const RecordQuery& query, RecordList* list) {
    if (!mLive && !mFilesRead) {
        list->mView = RecordsView();  // nothing open: the page says why per database
        return true;
    }
    if (mLink.ReadList(query, list))
        return true;
    TextPieces::Set(mDaemonError, mLink.Error());
    return false;
}

bool CallLog::Status(std::string* answer, StatusView* status) {
    if (!mLive)
        return false;
    if (mLink.ReadStatus(answer, status))
        return true;
    TextPieces::Set(mDaemonError, mLink.Error());
    return false;
}
