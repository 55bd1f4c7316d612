#include "jdwp/sourcemap.h"

#include "jdwp/error.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace jdwp {

namespace {

// Jasper's maps are a few kilobytes; anything near this is not a source map.
constexpr std::size_t maxTextSize = 16 * 1024 * 1024;
constexpr std::int64_t maxNumber = std::numeric_limits<std::int32_t>::max();
// Maps have a stratum or two; a lookup walks them.
constexpr std::size_t maxStrata = 100;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// A short, printable excerpt of map text for a message.
std::string quoted(std::string_view s) {
    constexpr std::size_t maxShown = 40;
    std::string out = "'";
    for (const char c : s.substr(0, maxShown))
        out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    if (s.size() > maxShown)
        out += "...";
    return out + "'";
}

// The map's lines, ending in LF, CR LF or CR, numbered from 1 for messages.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}

    bool atEnd() const { return pos_ >= text_.size(); }
    int lineNumber() const { return number_; }

    // The next line without its end; call only when not atEnd().
    std::string_view next() {
        const std::size_t end = std::min(text_.find_first_of("\r\n", pos_), text_.size());
        const std::string_view line = text_.substr(pos_, end - pos_);
        const bool crlf = text_.substr(end, 2) == "\r\n";
        pos_ = std::min(end + (crlf ? 2 : 1), text_.size());
        ++number_;
        return line;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    int number_ = 0;
};

[[noreturn]] void fail(int mapLine, const std::string& what) {
    throw SourceMapError("source map line " + std::to_string(mapLine) + ": " + what);
}

// Reads the tokens of one entry of a file or line section.
class EntryCursor {
public:
    EntryCursor(std::string_view text, int mapLine) : text_(text), mapLine_(mapLine) {}

    void skipBlanks() {
        while (pos_ < text_.size() && isBlank(text_[pos_]))
            ++pos_;
    }
    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[pos_]; }
    bool eat(char c) {
        skipBlanks();
        if (peek() != c)
            return false;
        ++pos_;
        return true;
    }
    std::string_view rest() const { return text_.substr(pos_); }

    // A decimal number from 0 to 2^31-1, called `what` in messages.
    int number(const char* what) {
        skipBlanks();
        const std::size_t start = pos_;
        if (peek() == '-' || peek() == '+')
            fail(mapLine_, std::string(what) + " must be an unsigned number in " + quoted(text_));
        std::int64_t value = 0;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            if (value <= maxNumber)
                value = value * 10 + (text_[pos_] - '0');
            ++pos_;
        }
        if (pos_ == start)
            fail(mapLine_, std::string("expected ") + what + " in " + quoted(text_));
        if (value > maxNumber)
            fail(mapLine_, std::string(what) + " " + quoted(text_.substr(start, pos_ - start)) +
                               " is larger than 2147483647");
        return static_cast<int>(value);
    }

private:
    std::string_view text_;
    int mapLine_;
    std::size_t pos_ = 0;
};

// A line entry as read, before its file id is checked against the stratum's files.
struct ReadEntry {
    int inputStart = 0;
    int fileId = 0;
    int repeatCount = 1;
    int outputStart = 0;
    int outputIncrement = 1;
    int mapLine = 0;
};

} // namespace

// Reads a map section by section, then checks what only the whole map can tell.
class SmapParser {
public:
    explicit SmapParser(std::string_view text) : lines_(text) {}

    SourceMap run() {
        readHeader();
        while (!ended_) {
            if (lines_.atEnd())
                fail(lines_.lineNumber(), "the map ends without its end section *E");
            readLine(trimmed(lines_.next()));
        }
        return finish();
    }

private:
    enum class Section { None, Files, Lines, Vendor };

    // What one stratum section holds while it is read.
    struct ReadStratum {
        std::string name;
        int mapLine = 0;
        std::vector<SourceFile> files;
        std::unordered_map<int, std::size_t> fileIndexById;
        std::vector<ReadEntry> entries;
        bool hasFiles = false;
        bool hasLines = false;
    };

    std::string_view headerLine(const char* what) {
        if (lines_.atEnd())
            fail(lines_.lineNumber() + 1, std::string("the map ends before its ") + what);
        const std::string_view line = trimmed(lines_.next());
        if (line.empty())
            fail(lines_.lineNumber(), std::string("empty ") + what);
        return line;
    }

    void readHeader() {
        if (headerLine("header") != "SMAP")
            fail(1, "a source map starts with the line SMAP");
        outputFileName_ = headerLine("output file name");
        defaultStratum_ = headerLine("default stratum");
    }

    void readLine(std::string_view line) {
        if (!line.empty() && line.front() == '*') {
            readSectionStart(line);
            return;
        }
        const int mapLine = lines_.lineNumber();
        switch (section_) {
        case Section::Vendor:
            return;
        case Section::None:
            fail(mapLine, "text outside any section: " + quoted(line));
        case Section::Files:
            readFileEntry(line, mapLine);
            return;
        case Section::Lines:
            readLineEntry(line, mapLine);
            return;
        }
    }

    ReadStratum& currentStratum(char section) {
        if (strata_.empty())
            fail(lines_.lineNumber(),
                 std::string("section *") + section + " before any stratum section *S");
        return strata_.back();
    }

    void readSectionStart(std::string_view line) {
        const int mapLine = lines_.lineNumber();
        const char kind = line.size() > 1 ? line[1] : '\0';
        if (kind == 'O' || kind == 'C')
            fail(mapLine, "embedded source maps (*O ... *C) are not supported: the compiler "
                          "that made the class should have resolved them");
        if (std::string_view("SFLVE").find(kind) == std::string_view::npos)
            fail(mapLine, "unknown section " + quoted(line));
        const std::string_view rest = trimmed(line.substr(2));
        if (kind != 'S' && kind != 'V' && !rest.empty())
            fail(mapLine, "unexpected text after the section start: " + quoted(line));
        switch (kind) {
        case 'S':
            startStratum(rest, mapLine);
            section_ = Section::None;
            return;
        case 'F': {
            ReadStratum& stratum = currentStratum(kind);
            if (stratum.hasFiles)
                fail(mapLine, "stratum " + stratum.name + " has a second file section");
            stratum.hasFiles = true;
            section_ = Section::Files;
            return;
        }
        case 'L': {
            ReadStratum& stratum = currentStratum(kind);
            if (stratum.hasLines)
                fail(mapLine, "stratum " + stratum.name + " has a second line section");
            stratum.hasLines = true;
            lineFileId_ = 0;
            section_ = Section::Lines;
            return;
        }
        case 'V':
            section_ = Section::Vendor;
            return;
        default: // 'E'
            ended_ = true;
            return;
        }
    }

    void startStratum(std::string_view name, int mapLine) {
        if (name.empty())
            fail(mapLine, "stratum section *S without a stratum name");
        if (name == SourceMap::javaStratum)
            fail(mapLine, "a map cannot redefine the stratum Java");
        if (!strataNames_.emplace(name).second)
            fail(mapLine, "stratum " + std::string(name) + " is defined twice");
        if (strata_.size() == maxStrata)
            fail(mapLine, "more than " + std::to_string(maxStrata) + " strata");
        ReadStratum stratum;
        stratum.name = name;
        stratum.mapLine = mapLine;
        strata_.push_back(std::move(stratum));
    }

    // "id name" or "+ id name" followed by a line with the file's path.
    void readFileEntry(std::string_view line, int mapLine) {
        EntryCursor cursor(line, mapLine);
        const bool hasPath = cursor.eat('+');
        SourceFile file;
        file.id = cursor.number("file id");
        if (!isBlank(cursor.peek()))
            fail(mapLine, "expected a blank and a file name after the file id in " + quoted(line));
        file.name = trimmed(cursor.rest()); // not empty: the line ends in a non-blank
        file.path = file.name;
        if (hasPath) {
            if (lines_.atEnd())
                fail(mapLine + 1, "the map ends before the path of file " + quoted(file.name));
            file.path = trimmed(lines_.next());
            if (file.path.empty())
                fail(lines_.lineNumber(), "empty path for file " + quoted(file.name));
        }
        ReadStratum& stratum = strata_.back();
        if (!stratum.fileIndexById.emplace(file.id, stratum.files.size()).second)
            fail(mapLine, "file id " + std::to_string(file.id) + " is declared twice in stratum " +
                              stratum.name);
        stratum.files.push_back(std::move(file));
    }

    // InputStartLine [#LineFileID] [,RepeatCount] : OutputStartLine [,OutputLineIncrement]
    void readLineEntry(std::string_view line, int mapLine) {
        EntryCursor cursor(line, mapLine);
        ReadEntry entry;
        entry.mapLine = mapLine;
        entry.inputStart = cursor.number("input start line");
        if (cursor.eat('#'))
            lineFileId_ = cursor.number("line file id");
        entry.fileId = lineFileId_;
        if (cursor.eat(','))
            entry.repeatCount = cursor.number("repeat count");
        if (!cursor.eat(':'))
            fail(mapLine, "expected ':' in line entry " + quoted(line));
        entry.outputStart = cursor.number("output start line");
        if (cursor.eat(','))
            entry.outputIncrement = cursor.number("output line increment");
        cursor.skipBlanks();
        if (!cursor.atEnd())
            fail(mapLine, "unexpected text at the end of line entry " + quoted(line));
        if (entry.inputStart < 1 || entry.outputStart < 1)
            fail(mapLine, "line numbers start at 1 in line entry " + quoted(line));
        if (entry.repeatCount < 1)
            fail(mapLine, "repeat count must be at least 1 in line entry " + quoted(line));
        if (std::int64_t{entry.inputStart} + entry.repeatCount - 1 > maxNumber)
            fail(mapLine, "input lines run past 2147483647 in line entry " + quoted(line));
        strata_.back().entries.push_back(entry);
    }

    SourceMap finish() {
        if (strata_.empty())
            fail(lines_.lineNumber(), "the map has no stratum section *S");
        SourceMap map;
        map.outputFileName_ = outputFileName_;
        map.defaultStratum_ = defaultStratum_;
        map.strata_.push_back(javaStratum());
        bool defaultFound = defaultStratum_ == SourceMap::javaStratum;
        for (ReadStratum& read : strata_) {
            defaultFound = defaultFound || read.name == defaultStratum_;
            map.strata_.push_back(resolved(read));
        }
        if (!defaultFound)
            fail(3, "the default stratum " + quoted(defaultStratum_) + " has no stratum section");
        return map;
    }

    // The Java stratum maps every Java line of the class onto itself.
    SourceMap::Stratum javaStratum() const {
        SourceMap::Stratum java;
        java.name = SourceMap::javaStratum;
        java.files.push_back(SourceFile{1, outputFileName_, outputFileName_});
        java.entries.push_back({1, SourceMap::maxJavaLine, 1, 1, 0});
        java.spans = SourceMap::firstMatchSpans(java.entries);
        return java;
    }

    static SourceMap::Stratum resolved(ReadStratum& read) {
        if (!read.hasFiles)
            fail(read.mapLine, "stratum " + read.name + " has no file section *F");
        if (!read.hasLines)
            fail(read.mapLine, "stratum " + read.name + " has no line section *L");
        SourceMap::Stratum stratum;
        stratum.name = std::move(read.name);
        stratum.entries.reserve(read.entries.size());
        for (const ReadEntry& e : read.entries) {
            const auto file = read.fileIndexById.find(e.fileId);
            if (file == read.fileIndexById.end())
                fail(e.mapLine, "line entry refers to file id " + std::to_string(e.fileId) +
                                    ", which stratum " + stratum.name + " does not declare");
            stratum.entries.push_back(
                {e.inputStart, e.repeatCount, e.outputStart, e.outputIncrement, file->second});
        }
        stratum.files = std::move(read.files);
        stratum.spans = SourceMap::firstMatchSpans(stratum.entries);
        return stratum;
    }

    LineReader lines_;
    std::string outputFileName_;
    std::string defaultStratum_;
    std::vector<ReadStratum> strata_;
    std::unordered_set<std::string> strataNames_;
    Section section_ = Section::None;
    int lineFileId_ = 0;
    bool ended_ = false;
};

SourceMap SourceMap::parse(std::string_view text) {
    if (text.size() > maxTextSize)
        throw SourceMapError("source map of " + std::to_string(text.size()) +
                             " bytes is too large to be one");
    return SmapParser(text).run();
}

// Earlier entries take precedence: each entry gets only the Java lines no earlier entry
// covers. `covered` holds the lines taken so far as merged runs, so an entry walks only
// the runs it overlaps and merges them: the whole build is O(n log n) for n entries.
std::vector<SourceMap::Span> SourceMap::firstMatchSpans(const std::vector<LineEntry>& entries) {
    std::vector<Span> spans;
    std::map<std::int64_t, std::int64_t> covered; // first line -> last line
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const LineEntry& e = entries[i];
        const std::int64_t first = std::max<std::int64_t>(e.outputStart, 1);
        const std::int64_t last = std::min<std::int64_t>(
            std::int64_t{e.outputStart} + std::int64_t{e.repeatCount} * e.outputIncrement - 1,
            maxJavaLine);
        if (first > last)
            continue;
        auto run = covered.upper_bound(first);
        if (run != covered.begin() && std::prev(run)->second >= first - 1)
            --run;
        std::int64_t cursor = first, mergedFirst = first, mergedLast = last;
        while (run != covered.end() && run->first <= last + 1) {
            if (run->first > cursor)
                spans.push_back({static_cast<int>(cursor), static_cast<int>(run->first - 1), i});
            cursor = std::max(cursor, run->second + 1);
            mergedFirst = std::min(mergedFirst, run->first);
            mergedLast = std::max(mergedLast, run->second);
            run = covered.erase(run);
        }
        if (cursor <= last)
            spans.push_back({static_cast<int>(cursor), static_cast<int>(last), i});
        covered.emplace(mergedFirst, mergedLast);
    }
    std::sort(spans.begin(), spans.end(),
              [](const Span& a, const Span& b) { return a.first < b.first; });
    return spans;
}

const SourceMap::Stratum* SourceMap::findStratum(std::string_view name) const {
    if (name.empty())
        name = defaultStratum_;
    for (const Stratum& s : strata_)
        if (s.name == name)
            return &s;
    return nullptr;
}

std::vector<std::string> SourceMap::strata() const {
    std::vector<std::string> names;
    for (const Stratum& s : strata_)
        names.push_back(s.name);
    return names;
}

std::vector<SourceFile> SourceMap::files(std::string_view stratum) const {
    const Stratum* s = findStratum(stratum);
    return s ? s->files : std::vector<SourceFile>();
}

std::optional<SourceLocation> SourceMap::toSource(int javaLine, std::string_view stratum) const {
    const Stratum* s = findStratum(stratum);
    if (!s)
        return std::nullopt;
    auto span = std::upper_bound(s->spans.begin(), s->spans.end(), javaLine,
                                 [](int line, const Span& sp) { return line < sp.first; });
    if (span == s->spans.begin() || javaLine > std::prev(span)->last)
        return std::nullopt;
    const LineEntry& e = s->entries[std::prev(span)->entry];
    const int line = e.inputStart + (javaLine - e.outputStart) / e.outputIncrement;
    return SourceLocation{s->files[e.file], line};
}

std::vector<int> SourceMap::toJava(std::string_view file, int line,
                                   std::string_view stratum) const {
    std::vector<int> javaLines;
    const Stratum* s = findStratum(stratum);
    if (!s)
        return javaLines;
    for (const Span& span : s->spans) {
        const LineEntry& e = s->entries[span.entry];
        const SourceFile& f = s->files[e.file];
        if (f.path != file && f.name != file)
            continue;
        const std::int64_t n = std::int64_t{line} - e.inputStart;
        if (n < 0 || n >= e.repeatCount)
            continue;
        const std::int64_t first = e.outputStart + n * e.outputIncrement;
        const std::int64_t from = std::max<std::int64_t>(first, span.first);
        const std::int64_t to = std::min<std::int64_t>(first + e.outputIncrement - 1, span.last);
        for (std::int64_t j = from; j <= to; ++j)
            javaLines.push_back(static_cast<int>(j));
    }
    return javaLines;
}

} // namespace jdwp
