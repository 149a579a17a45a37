#include "platform/util/ConfigurationBase.h"

#include <cstdlib>

std::string ConfigurationBase::Directory() {
    const char* base = std::getenv("KELT_PATH");
    return base ? base : "/etc/kelt-conf/";
}
