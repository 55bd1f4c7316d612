#pragma once

#include "tracehook/properties.h"

#include <memory>
#include <string>

namespace tracewin {

// The monitor's small flag files are read on every step of a run. This keeps each file's
// parsed contents with the identity of the file it came from (device, inode, size and
// change times), so that a read costs one stat while the file is unchanged. A replaced or
// edited file has another identity and is read again; a removed one reads as missing.
// Thread-safe.
class SettingsFileCache {
public:
    // The file's properties, or null when it cannot be read.
    static std::shared_ptr<const tracehook::Properties> load(const std::string& path);
    // Forgets every file (tests that rewrite files within one clock tick use it).
    static void clear();
};

} // namespace tracewin
