#pragma once

#include <ctime>
#include <string>
#include <sys/types.h>

namespace tracehook {

// Whether the monitor asks for variables records: the key SendVariables=true in its debug
// settings file. The monitor writes the key while its Variables view is shown, so a page
// runtime asks at every stop; the file is read again only when its identity (the monitor
// replaces it whole, so a new file), modification time or size changed, so asking costs one
// status call. A missing or unreadable file, or any other value, means no.
class VariablesSwitch {
public:
    static constexpr const char* key = "SendVariables";

    explicit VariablesSwitch(std::string settingsPath);

    bool enabled();

private:
    struct Seen {
        ino_t inode = 0;
        dev_t device = 0;
        off_t size = -1;
        timespec modified{};
    };

    std::string path_;
    Seen seen_;
    bool enabled_ = false;
};

} // namespace tracehook
