#include "tools/SavedDatabases.h"

#include <sys/stat.h>

#include <cerrno>
#include <exception>

#include "platform/msg/CDRKind.h"
#include "platform/msg/RecordSearch.h"
#include "platform/msg/WireFormat.h"
#include "platform/sys/System.h"
#include "platform/util/GeneralPaths.h"

void SavedDatabases::Refuse(const std::string& file, const std::string& why) {
    Problem problem;
    problem.mFile = file;
    problem.mWhat = why;
    mStatus.mProblems.push_back(problem);
}

void SavedDatabases::Load(uint8_t kinds) {
    for (int db = 0; db < 3; ++db) mStatus.mDatabases[db].mName = KindName(db);
    std::string why = "the system cannot read it";
    try {
        if (GeneralPaths* general = GeneralPaths::GetInstance(true)) {
            for (int db = 0; db < 3; ++db) mStatus.mDatabases[db].mPath = general->GetPath(db);
            why.clear();
        }
    } catch (const std::exception& e) {
        why = e.what();
    }
    GeneralPaths::CloseInstance();
    if (!why.empty()) {
        Refuse(GeneralPaths::Path(), why);
        return;
    }
    for (int db = 0; db < 3; ++db) {
        RecorderStatus::Database& d = mStatus.mDatabases[db];
        if (!(kinds & kCDRKinds[db]))
            continue;
        struct stat st;
        if (System::Default().Lstat(d.mPath.c_str(), &st) != 0 && errno == ENOENT) {
            Refuse(d.mPath,
                   "The file does not exist yet: cdrd makes it with the first record it saves.");
            continue;
        }
        try {
            mFiles[db].reset(new Configuration::RecordFile(d.mPath.c_str()));
            d.mOpen = true;
            d.mRecords = static_cast<uint32_t>(mFiles[db]->GetSectionCount());
        } catch (const std::exception& e) {
            Refuse(d.mPath, std::string("The file cannot be read: ") + e.what());
        }
    }
}

void SavedDatabases::Read(const RecordQuery& query, RecordPage* page) const {
    const Configuration::MultiSectionConfigFile* files[3] = {mFiles[0].get(), mFiles[1].get(),
                                                             mFiles[2].get()};
    RecordSearch::Run(query, files, WireFormat::kRecordsRoom, page);
}
