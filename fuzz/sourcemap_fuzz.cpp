// JSR-45 source maps: arbitrary bytes are read as a map; a map that reads must map both
// ways consistently: toJava lists exactly the Java lines toSource sends to a file's line.
#include "jdwp/error.h"
#include "jdwp/sourcemap.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

[[noreturn]] void fault(const char* what, int javaLine, int line) {
    std::fprintf(stderr, "%s (Java line %d, source line %d)\n", what, javaLine, line);
    std::abort();
}

bool sameFileAndLine(const std::optional<jdwp::SourceLocation>& location, std::string_view file,
                     int line) {
    return location && location->line == line &&
           (location->file.path == file || location->file.name == file);
}

void checkStratum(const jdwp::SourceMap& map, const std::string& stratum) {
    const int probes[] = {-1, 0, 1, 2, 3, 5, 10, 50, 100, 125, 500, 65534, 65535, 65536};
    // One toJava per source line: a line can have 65535 Java lines.
    std::map<std::pair<std::string, int>, std::vector<int>> listed;
    for (int javaLine = 0; javaLine <= 300; ++javaLine) {
        const auto location = map.toSource(javaLine, stratum);
        if (!location)
            continue;
        auto [back, added] = listed.try_emplace({location->file.path, location->line});
        if (added)
            back->second = map.toJava(location->file.path, location->line, stratum);
        if (!std::binary_search(back->second.begin(), back->second.end(), javaLine))
            fault("toJava misses a Java line toSource maps", javaLine, location->line);
    }
    for (const jdwp::SourceFile& file : map.files(stratum)) {
        for (int line = 0; line <= 40; ++line) {
            const std::vector<int> javaLines = map.toJava(file.name, line, stratum);
            if (javaLines.size() > jdwp::SourceMap::maxJavaLine ||
                !std::is_sorted(javaLines.begin(), javaLines.end()) ||
                std::adjacent_find(javaLines.begin(), javaLines.end()) != javaLines.end())
                fault("toJava lines are not ascending and distinct", 0, line);
            for (std::size_t i = 0; i < javaLines.size() && i < 100; ++i)
                if (!sameFileAndLine(map.toSource(javaLines[i], stratum), file.name, line))
                    fault("toJava lists a Java line toSource maps elsewhere", javaLines[i], line);
        }
    }
    for (const int javaLine : probes)
        (void)map.toSource(javaLine, stratum);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const jdwp::SourceMap map = jdwp::SourceMap::parse(text);
        for (const std::string& stratum : map.strata())
            checkStratum(map, stratum);
        (void)map.toSource(1, "no such stratum");
    } catch (const jdwp::SourceMapError&) {
        // Refusing a map is the expected answer to most inputs.
    }
    return 0;
}
