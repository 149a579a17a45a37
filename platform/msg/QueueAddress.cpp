#include "platform/msg/QueueAddress.h"

#include <cstdlib>

#include "platform/util/DecimalText.h"

std::string QueueAddress::Directory() {
    const char* dir = std::getenv("MSGQ_DIR");
    return dir && *dir ? dir : "/var/run/msgq";
}

std::string QueueAddress::PathOf(int queueId) {
    char id[DecimalText::kMaxText];
    DecimalText::Write(queueId, id);
    return Directory().append("/q").append(id);
}
