#include "jdwp/error.h"
#include "jdwp/sourcemap.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <random>

namespace jdwp {

// Failures show files and locations readably.
void PrintTo(const SourceFile& f, std::ostream* os) {
    *os << "{" << f.id << " " << f.name << " " << f.path << "}";
}
void PrintTo(const SourceLocation& l, std::ostream* os) {
    PrintTo(l.file, os);
    *os << ":" << l.line;
}

} // namespace jdwp

using jdwp::SourceFile;
using jdwp::SourceLocation;
using jdwp::SourceMap;
using jdwp::SourceMapError;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// The whole format: two strata, a default one, files with and without paths, a
// line file id that carries over to later entries, repeat counts, increments above 1 and
// of 0, overlapping entries, a vendor section, and a line file id that starts again at 0
// in the second stratum.
const std::string wholeFormat = "SMAP\n"
                                "Page_jsp.java\n"
                                "JSP\n"
                                "*S JSP\n"
                                "*F\n"
                                "+ 0 page.jsp\n"
                                "web/page.jsp\n"
                                "1 header.jspf\n"
                                "+ 2 footer.jspf\n"
                                "web/WEB-INF/footer.jspf\n"
                                "*L\n"
                                "1,3:10\n"     // page 1..3 -> 10, 11, 12
                                "4:13,3\n"     // page 4 -> 13..15
                                "1#1,2:20,2\n" // header 1 -> 20, 21; header 2 -> 22, 23
                                "5:24\n"       // header 5 -> 24: the file id carries over
                                "7,3:30,0\n"   // increment 0: no Java line
                                "11#2:50,4\n"  // footer 11 -> 50..53
                                "1#0:51\n"     // page 1 -> 51, but footer 11 took 51 first
                                "10#2:12\n"    // footer 10 -> 12, but page 3 took 12 first
                                "*V\n"
                                "Some-Vendor\n"
                                "anything: 1,2:3\n"
                                "*S XML\n"
                                "*F\n"
                                "0 page.jspx\n"
                                "1 other.jspx\n"
                                "*L\n"
                                "3:10,5\n" // no "#": file 0 again in a new line section
                                "6#1:20\n"
                                "*E\n";

struct ToSourceCase {
    const char* stratum;
    int javaLine;
    std::optional<SourceLocation> expected;
};

SourceLocation at(int id, const char* name, const char* path, int line) {
    return SourceLocation{SourceFile{id, name, path}, line};
}

TEST(SourceMapToSource, ResolvesEveryKindOfEntry) {
    const SourceMap map = SourceMap::parse(wholeFormat);
    const auto page = [](int line) {
        return at(0, "page.jsp", "web/page.jsp", line);
    };
    const auto header = [](int line) {
        return at(1, "header.jspf", "header.jspf", line);
    };
    const auto footer = [](int line) {
        return at(2, "footer.jspf", "web/WEB-INF/footer.jspf", line);
    };
    const ToSourceCase cases[] = {
        {"", 9, std::nullopt},
        {"", 10, page(1)},
        {"", 12, page(3)},
        {"JSP", 13, page(4)},
        {"JSP", 15, page(4)},
        {"JSP", 16, std::nullopt},
        {"JSP", 20, header(1)},
        {"JSP", 22, header(2)},
        {"JSP", 23, header(2)},
        {"JSP", 24, header(5)},
        {"JSP", 30, std::nullopt},
        {"JSP", 50, footer(11)},
        {"JSP", 51, footer(11)},
        {"JSP", 53, footer(11)},
        {"JSP", 54, std::nullopt},
        {"JSP", -5, std::nullopt},
        {"XML", 10, at(0, "page.jspx", "page.jspx", 3)},
        {"XML", 14, at(0, "page.jspx", "page.jspx", 3)},
        {"XML", 15, std::nullopt},
        {"XML", 20, at(1, "other.jspx", "other.jspx", 6)},
        {"Java", 24, at(1, "Page_jsp.java", "Page_jsp.java", 24)},
        {"Java", 65535, at(1, "Page_jsp.java", "Page_jsp.java", 65535)},
        {"Java", 65536, std::nullopt},
        {"Kotlin", 10, std::nullopt},
    };
    for (const ToSourceCase& c : cases)
        EXPECT_EQ(map.toSource(c.javaLine, c.stratum), c.expected)
            << "stratum '" << c.stratum << "', Java line " << c.javaLine;
}

struct ToJavaCase {
    const char* stratum;
    const char* file;
    int line;
    std::vector<int> expected;
};

TEST(SourceMapToJava, ListsEveryJavaLineThatMapsBack) {
    const SourceMap map = SourceMap::parse(wholeFormat);
    const ToJavaCase cases[] = {
        {"", "page.jsp", 1, {10}},
        {"", "page.jsp", 3, {12}},
        {"", "web/page.jsp", 4, {13, 14, 15}},
        {"JSP", "page.jsp", 7, {}},
        {"JSP", "page.jsp", 5, {}},
        {"JSP", "header.jspf", 2, {22, 23}},
        {"JSP", "header.jspf", 5, {24}},
        {"JSP", "footer.jspf", 10, {}},
        {"JSP", "web/WEB-INF/footer.jspf", 11, {50, 51, 52, 53}},
        {"JSP", "web/WEB-INF", 11, {}},
        {"JSP", "page.jspx", 3, {}},
        {"XML", "page.jspx", 3, {10, 11, 12, 13, 14}},
        {"XML", "other.jspx", 6, {20}},
        {"Java", "Page_jsp.java", 77, {77}},
        {"Java", "Page_jsp.java", 0, {}},
        {"Java", "Page_jsp.java", 65536, {}},
        {"Kotlin", "page.jsp", 1, {}},
    };
    for (const ToJavaCase& c : cases)
        EXPECT_EQ(map.toJava(c.file, c.line, c.stratum), c.expected)
            << "stratum '" << c.stratum << "', " << c.file << ":" << c.line;
}

TEST(SourceMapReading, GivesTheHeaderStrataAndFiles) {
    const SourceMap map = SourceMap::parse(wholeFormat);
    EXPECT_EQ(map.outputFileName(), "Page_jsp.java");
    EXPECT_EQ(map.defaultStratum(), "JSP");
    EXPECT_THAT(map.strata(), ElementsAre("Java", "JSP", "XML"));
    EXPECT_THAT(map.files(), ElementsAre(SourceFile{0, "page.jsp", "web/page.jsp"},
                                         SourceFile{1, "header.jspf", "header.jspf"},
                                         SourceFile{2, "footer.jspf", "web/WEB-INF/footer.jspf"}));
    EXPECT_THAT(map.files("XML"), ElementsAre(SourceFile{0, "page.jspx", "page.jspx"},
                                              SourceFile{1, "other.jspx", "other.jspx"}));
    EXPECT_THAT(map.files("Java"), ElementsAre(SourceFile{1, "Page_jsp.java", "Page_jsp.java"}));
    EXPECT_TRUE(map.files("Kotlin").empty());
}

TEST(SourceMapReading, DefaultStratumJavaMapsLinesOntoThemselves) {
    const SourceMap map = SourceMap::parse("SMAP\nA.java\nJava\n*S JSP\n*F\n0 a.jsp\n*L\n"
                                           "1:10\n*E\n");
    EXPECT_EQ(map.toSource(10), at(1, "A.java", "A.java", 10));
    EXPECT_EQ(map.toSource(10, "JSP"), at(0, "a.jsp", "a.jsp", 1));
    EXPECT_THAT(map.toJava("A.java", 3), ElementsAre(3));
}

// The same map must read the same whatever its line ends and however its entries are
// spaced; text after *E is not looked at.
TEST(SourceMapReading, LineEndsAndBlanksDoNotChangeTheMap) {
    const auto replaced = [](std::string text, const std::string& from, const std::string& to) {
        for (std::size_t pos = text.find(from); pos != std::string::npos;
             pos = text.find(from, pos + to.size()))
            text.replace(pos, from.size(), to);
        return text;
    };
    const std::string spaced =
        replaced(replaced(replaced(replaced(wholeFormat, "1#1,2:20,2", " 1 # 1 , 2 : 20 , 2 "),
                                   "+ 2 ", "+\t2\t"),
                          "*S XML", "*S   XML  "),
                 "*E\n", "*E\nanything after the end\n*Q\n");
    const std::string variants[] = {
        replaced(wholeFormat, "\n", "\r\n"),
        replaced(wholeFormat, "\n", "\r"),
        replaced(replaced(wholeFormat, "*F\n", "*F\r"), "*L\n", "*L\r\n"),
        wholeFormat.substr(0, wholeFormat.size() - 1), // no line end after *E
        spaced,
    };
    const SourceMap reference = SourceMap::parse(wholeFormat);
    for (const std::string& text : variants) {
        const SourceMap map = SourceMap::parse(text);
        EXPECT_EQ(map.files("JSP"), reference.files("JSP"));
        EXPECT_EQ(map.strata(), reference.strata());
        for (const char* stratum : {"JSP", "XML"})
            for (int line = 1; line < 60; ++line)
                EXPECT_EQ(map.toSource(line, stratum), reference.toSource(line, stratum))
                    << "Java line " << line << " of " << stratum << " in\n"
                    << text;
    }
}

struct LimitCase {
    const char* entry;
    int javaLine;
    std::optional<int> sourceLine;
    int sourceLineAsked;
    std::size_t javaLineCount;
};

// Numbers up to 2^31-1 are taken; Java lines past 65535 cannot be in a class and are not
// mapped, so no entry makes toJava list more than 65535 lines.
TEST(SourceMapLimits, HugeEntriesAreClippedToClassLineNumbers) {
    const LimitCase cases[] = {
        {"1,100000:1", 65535, 65535, 65536, 0},
        {"1,100000:1", 65535, 65535, 70000, 0},
        {"1,2147483647:1,2147483647", 65535, 1, 1, 65535},
        {"1,2147483647:1,2147483647", 65535, 1, 2, 0},
        {"1:2147483647,2147483647", 65535, std::nullopt, 1, 0},
        {"2147483647:65535", 65535, 2147483647, 2147483647, 1},
        {"1:65535,10", 65535, 1, 1, 1},
        {"1,65535:1", 1000, 1000, 1000, 1},
    };
    for (const LimitCase& c : cases) {
        const SourceMap map = SourceMap::parse(std::string("SMAP\nA.java\nJSP\n*S JSP\n*F\n"
                                                           "0 a.jsp\n*L\n") +
                                               c.entry + "\n*E\n");
        const auto location = map.toSource(c.javaLine);
        EXPECT_EQ(location ? std::optional<int>(location->line) : std::nullopt, c.sourceLine)
            << c.entry;
        EXPECT_EQ(map.toJava("a.jsp", c.sourceLineAsked).size(), c.javaLineCount) << c.entry;
    }
}

struct MalformedCase {
    const char* what;
    std::string text;
    std::vector<const char*> message;
};

std::string withLines(const std::string& lines) {
    return "SMAP\nA.java\nJSP\n*S JSP\n*F\n+ 0 a.jsp\nweb/a.jsp\n*L\n" + lines;
}

TEST(SourceMapErrors, SayWhatIsWrongAndWhere) {
    const MalformedCase cases[] = {
        {"empty text", "", {"line 1:", "ends before its header"}},
        {"other header", "SMAPX\nA.java\nJSP\n", {"line 1:", "starts with the line SMAP"}},
        {"header only", "SMAP\nA.java\n", {"line 3:", "ends before its default stratum"}},
        {"empty output file name", "SMAP\n\nJSP\n", {"line 2:", "empty output file name"}},
        {"no end", withLines("1:10\n"), {"line 9:", "ends without its end section *E"}},
        {"cut in a file entry",
         "SMAP\nA.java\nJSP\n*S JSP\n*F\n+ 0 a.jsp",
         {"line 7:", "ends before the path of file 'a.jsp'"}},
        {"unknown section", withLines("*Q\n*E\n"), {"line 9:", "unknown section '*Q'"}},
        {"embedded map",
         withLines("*O XML\nSMAP\n*C XML\n*E\n"),
         {"line 9:", "embedded source maps"}},
        {"close of embedded map", withLines("*C XML\n*E\n"), {"line 9:", "embedded source maps"}},
        {"letters for a number", withLines("1:x\n*E\n"), {"line 9:", "expected output start line"}},
        {"empty repeat count", withLines("1,:2\n*E\n"), {"line 9:", "expected repeat count"}},
        {"empty line", withLines("\n*E\n"), {"line 9:", "expected input start line"}},
        {"negative input line",
         withLines("-1:2\n*E\n"),
         {"line 9:", "input start line must be an unsigned number"}},
        {"negative increment",
         withLines("1:2,-1\n*E\n"),
         {"line 9:", "output line increment must be an unsigned number"}},
        {"past int32",
         withLines("2147483648:1\n*E\n"),
         {"line 9:", "input start line '2147483648' is larger than 2147483647"}},
        {"far past int64",
         withLines("1:99999999999999999999999999\n*E\n"),
         {"line 9:", "is larger than 2147483647"}},
        {"input lines past int32",
         withLines("2147483647,2:1\n*E\n"),
         {"line 9:", "input lines run past 2147483647"}},
        {"repeat count 0", withLines("1,0:5\n*E\n"), {"line 9:", "repeat count must be at least"}},
        {"input line 0", withLines("0:5\n*E\n"), {"line 9:", "line numbers start at 1"}},
        {"output line 0", withLines("1:0\n*E\n"), {"line 9:", "line numbers start at 1"}},
        {"unknown file id",
         withLines("1:10\n2#3:11\n*E\n"),
         {"line 10:", "refers to file id 3, which stratum JSP does not declare"}},
        {"no colon", withLines("1 10\n*E\n"), {"line 9:", "expected ':'"}},
        {"text after an entry", withLines("1:10 x\n*E\n"), {"line 9:", "unexpected text"}},
        {"text after *E", withLines("1:10\n*E x\n"), {"line 10:", "unexpected text after"}},
        {"file without name",
         "SMAP\nA.java\nJSP\n*S JSP\n*F\n0  \n*L\n*E\n",
         {"line 6:", "expected a blank and a file name"}},
        {"file name glued to id",
         "SMAP\nA.java\nJSP\n*S JSP\n*F\n0a.jsp\n*L\n*E\n",
         {"line 6:", "expected a blank and a file name"}},
        {"empty path",
         "SMAP\nA.java\nJSP\n*S JSP\n*F\n+ 0 a.jsp\n\n*L\n*E\n",
         {"line 7:", "empty path for file 'a.jsp'"}},
        {"file id twice",
         "SMAP\nA.java\nJSP\n*S JSP\n*F\n0 a.jsp\n0 b.jsp\n*L\n*E\n",
         {"line 7:", "file id 0 is declared twice"}},
        {"stratum twice",
         "SMAP\nA.java\nJSP\n*S JSP\n*F\n*L\n*S JSP\n*E\n",
         {"line 7:", "stratum JSP is defined twice"}},
        {"stratum Java",
         "SMAP\nA.java\nJava\n*S Java\n*F\n*L\n*E\n",
         {"line 4:", "cannot redefine the stratum Java"}},
        {"stratum without name", "SMAP\nA.java\nJSP\n*S\n*E\n", {"line 4:", "without a stratum"}},
        {"files before a stratum",
         "SMAP\nA.java\nJSP\n*F\n*E\n",
         {"line 4:", "section *F before any stratum section"}},
        {"text outside sections",
         "SMAP\nA.java\nJSP\n*S JSP\n1 a.jsp\n*E\n",
         {"line 5:", "text outside any section"}},
        {"second file section",
         "SMAP\nA.java\nJSP\n*S JSP\n*F\n*F\n*L\n*E\n",
         {"line 6:", "second file section"}},
        {"second line section",
         "SMAP\nA.java\nJSP\n*S JSP\n*F\n*L\n*L\n*E\n",
         {"line 7:", "second line section"}},
        {"no line section", "SMAP\nA.java\nJSP\n*S JSP\n*F\n*E\n", {"line 4:", "no line section"}},
        {"no file section", "SMAP\nA.java\nJSP\n*S JSP\n*L\n*E\n", {"line 4:", "no file section"}},
        {"no stratum", "SMAP\nA.java\nJava\n*E\n", {"line 4:", "no stratum section"}},
        {"default stratum missing",
         "SMAP\nA.java\nXML\n*S JSP\n*F\n*L\n*E\n",
         {"line 3:", "default stratum 'XML' has no stratum section"}},
        {"control characters quoted", withLines("1:\x01\x02\n*E\n"), {"in '1:??"}},
    };
    for (const MalformedCase& c : cases) {
        try {
            (void)SourceMap::parse(c.text);
            ADD_FAILURE() << c.what << ": no error";
        } catch (const SourceMapError& e) {
            for (const char* part : c.message)
                EXPECT_THAT(e.what(), HasSubstr(part)) << c.what;
        }
    }
}

TEST(SourceMapErrors, RefusesMapsTooLargeOrWithTooManyStrata) {
    EXPECT_THROW((void)SourceMap::parse(std::string(16 * 1024 * 1024 + 1, '\n')), SourceMapError);
    std::string manyStrata = "SMAP\nA.java\nJava\n";
    for (int i = 0; i < 101; ++i)
        manyStrata += "*S S" + std::to_string(i) + "\n*F\n*L\n";
    try {
        (void)SourceMap::parse(manyStrata + "*E\n");
        ADD_FAILURE() << "no error";
    } catch (const SourceMapError& e) {
        EXPECT_THAT(e.what(), HasSubstr("more than 100 strata"));
    }
}

// The JDK's rule, entry by entry, as an oracle for the index.
struct PlainEntry {
    int in, file, count, out, inc;
};

std::optional<std::pair<int, int>> firstMatch(const std::vector<PlainEntry>& entries, int java) {
    for (const PlainEntry& e : entries)
        if (e.inc > 0 && java >= e.out && java <= e.out + e.count * e.inc - 1)
            return std::make_pair(e.file, e.in + (java - e.out) / e.inc);
    return std::nullopt;
}

TEST(SourceMapIndex, AgreesWithTheFirstMatchingEntryOnRandomMaps) {
    std::mt19937 random(45);
    const auto upTo = [&](int n) {
        return std::uniform_int_distribution<int>(0, n)(random);
    };
    for (int round = 0; round < 300; ++round) {
        std::vector<PlainEntry> entries(static_cast<std::size_t>(upTo(25)));
        std::string text = "SMAP\nA.java\nJSP\n*S JSP\n*F\n0 f0.jsp\n1 f1.jsp\n2 f2.jsp\n*L\n";
        for (PlainEntry& e : entries) {
            e = {1 + upTo(20), upTo(2), 1 + upTo(6), 1 + upTo(80), upTo(3)};
            text += std::to_string(e.in) + "#" + std::to_string(e.file) + "," +
                    std::to_string(e.count) + ":" + std::to_string(e.out) + "," +
                    std::to_string(e.inc) + "\n";
        }
        const SourceMap map = SourceMap::parse(text + "*E\n");
        for (int java = 0; java <= 110; ++java) {
            const auto expected = firstMatch(entries, java);
            const auto got = map.toSource(java);
            ASSERT_EQ(got.has_value(), expected.has_value()) << text << "Java line " << java;
            if (!got)
                continue;
            EXPECT_EQ(got->file.id, expected->first) << text << "Java line " << java;
            EXPECT_EQ(got->line, expected->second) << text << "Java line " << java;
        }
        for (int file = 0; file < 3; ++file) {
            for (int line = 0; line <= 30; ++line) {
                std::vector<int> expected;
                for (int java = 1; java <= 110; ++java)
                    if (firstMatch(entries, java) == std::make_pair(file, line))
                        expected.push_back(java);
                EXPECT_EQ(map.toJava("f" + std::to_string(file) + ".jsp", line), expected)
                    << text << "file " << file << " line " << line;
            }
        }
    }
}

// Thousands of short entries, then thousands that each cover all of them: the later ones
// get only the gaps. Built naively this takes quadratic time.
TEST(SourceMapIndex, ManyOverlappingEntriesKeepFirstMatchPrecedence) {
    constexpr int count = 20000;
    std::string text = "SMAP\nA.java\nJSP\n*S JSP\n*F\n0 short.jsp\n1 wide.jsp\n*L\n";
    for (int i = 0; i < count; ++i)
        text += std::to_string(i + 1) + "#0:" + std::to_string(2 * i + 1) + "\n";
    for (int i = 0; i < count; ++i)
        text += std::to_string(i + 1) + "#1:1," + std::to_string(2 * count) + "\n";
    const SourceMap map = SourceMap::parse(text + "*E\n");
    EXPECT_EQ(map.toSource(2 * 777 + 1), at(0, "short.jsp", "short.jsp", 778));
    EXPECT_EQ(map.toSource(2 * 777 + 2), at(1, "wide.jsp", "wide.jsp", 1));
    EXPECT_EQ(map.toJava("wide.jsp", 1).size(), static_cast<std::size_t>(count));
    EXPECT_TRUE(map.toJava("wide.jsp", 2).empty());
}

} // namespace
