// Records and reply lines from the wire, cut by the framer and parsed.
#include "tracehook/jspsourceinfo.h"
#include "tracehook/monitorreplies.h"
#include "tracehook/recordframer.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)tracehook::infoStrParser(bytes);
    (void)tracehook::MonitorReplies::parse(bytes);
    tracehook::RecordFramer framer("%%%END%%%", 4096);
    // Feed in uneven pieces so that terminators fall across reads.
    for (std::size_t pos = 0, step = 1; pos < bytes.size(); pos += step, step = step % 7 + 1) {
        framer.append(bytes.substr(pos, step));
        while (std::optional<std::string> record = framer.next()) {
            if (std::optional<tracehook::JspSourceInfo> info = tracehook::infoStrParser(*record))
                (void)info->infoDump();
        }
    }
    return 0;
}
