#pragma once

#include <string>

// The configuration base directory: $KELT_PATH when set (even to an empty
// text), else "/etc/kelt-conf/". Used as a plain prefix: "sysconfig/..." is
// appended without a separator. Read from the environment at each call.
class ConfigurationBase {
public:
    static std::string Directory();
};
