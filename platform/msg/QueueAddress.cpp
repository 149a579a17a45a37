#include "platform/msg/QueueAddress.h"

#include <cstdlib>

std::string QueueAddress::Directory() {
    const char* dir = std::getenv("MSGQ_DIR");
    return dir && *dir ? dir : "/var/run/msgq";
}

std::string QueueAddress::PathOf(int queueId) {
    return Directory() + "/q" + std::to_string(queueId);
}
