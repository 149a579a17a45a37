// CDRManager: the read command, the records that the page and cdrctl show.
#include "cdr/CDRManager.h"
#include "platform/msg/RecordSearch.h"
#include "platform/msg/WireFormat.h"

int CDRManager::OnReadRecords(const RecordQuery& query) {
    TRACEX("OnReadRecords\n");
    RecordPage page;
    {
        // The records unsaved and journaled are in the files in memory, so
        // the page shows every record the recorder holds. The lock is held
        // for one page's work (docs/performance.md has its cost).
        ThreadMutexLock hold(*mpFiles->mpLock);
        const Configuration::MultiSectionConfigFile* files[3] = {
            mpFiles->mpFile[0], mpFiles->mpFile[1], mpFiles->mpFile[2]};
        RecordSearch::Run(query, files, WireFormat::kRecordsRoom, &page);
    }
    Records(page);
    return 1;
}
