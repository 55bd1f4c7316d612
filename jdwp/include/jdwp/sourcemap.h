#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jdwp {

// One source file of a stratum. The path is the name when the map gives no path.
struct SourceFile {
    int id = 0;
    std::string name;
    std::string path;

    bool operator==(const SourceFile&) const = default;
};

// A line of a source file of a stratum.
struct SourceLocation {
    SourceFile file;
    int line = 0;

    bool operator==(const SourceLocation&) const = default;
};

// A class's JSR-45 source map (the text of its SourceDebugExtension), resolved the way the
// JDK's debugger resolves it: in a stratum the first line entry that covers a Java line
// wins; an entry "in#file,count:out,inc" maps input line in+n to the Java lines
// out+n*inc .. out+(n+1)*inc-1, so an entry with increment 0 maps no Java line at all; the
// stratum "Java" maps the Java file onto itself. Embedded maps (*O ... *C) must have been
// resolved by the compiler: they are refused.
//
// An empty stratum name means the map's default stratum. An unknown stratum maps nothing.
class SourceMap {
public:
    // The line numbers of a class file are 16-bit: no Java line beyond this is mapped.
    static constexpr int maxJavaLine = 65535;
    static constexpr std::string_view javaStratum = "Java";

    // Throws SourceMapError, saying what is wrong at which line of the map.
    static SourceMap parse(std::string_view text);

    const std::string& outputFileName() const { return outputFileName_; }
    const std::string& defaultStratum() const { return defaultStratum_; }
    // Every stratum the map answers for: "Java" first, then the map's own in their order.
    std::vector<std::string> strata() const;
    // The files of a stratum in the map's order; empty for an unknown stratum.
    std::vector<SourceFile> files(std::string_view stratum = {}) const;

    std::optional<SourceLocation> toSource(int javaLine, std::string_view stratum = {}) const;
    // Every Java line whose source is line `line` of `file` (a file's path or its name), in
    // ascending order: exactly the lines for which toSource gives that file and line.
    std::vector<int> toJava(std::string_view file, int line, std::string_view stratum = {}) const;

private:
    // One entry of a line section; `file` indexes the stratum's files.
    struct LineEntry {
        int inputStart = 0;
        int repeatCount = 0;
        int outputStart = 0;
        int outputIncrement = 0;
        std::size_t file = 0;
    };
    // Java lines first..last, all mapped by the entry `entry` (the first entry covering
    // them). A stratum's spans are disjoint and sorted, so a lookup is a binary search.
    struct Span {
        int first = 0;
        int last = 0;
        std::size_t entry = 0;
    };
    struct Stratum {
        std::string name;
        std::vector<SourceFile> files;
        std::vector<LineEntry> entries;
        std::vector<Span> spans;
    };
    friend class SmapParser;

    SourceMap() = default;
    const Stratum* findStratum(std::string_view name) const;
    static std::vector<Span> firstMatchSpans(const std::vector<LineEntry>& entries);

    std::string outputFileName_;
    std::string defaultStratum_;
    std::vector<Stratum> strata_;
};

} // namespace jdwp
