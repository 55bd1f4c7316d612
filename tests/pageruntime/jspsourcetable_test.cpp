#include "tracehook/debugconstants.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/jspsourcetable.h"
#include "tracehook/pageruntimerecords.h"

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using tracehook::DebugConstants;
using tracehook::infoStrParser;
using tracehook::JspLineSourceInfo;
using tracehook::JspSourceInfo;
using tracehook::JspSourceTable;
using tracehook::PageRuntimeRecords;

namespace {

class TraceSwitch {
public:
    explicit TraceSwitch(bool on) { DebugConstants::force(on, false); }
    ~TraceSwitch() { DebugConstants::lookAgain(); }
};

std::string makeTempDir() {
    std::string pattern = testing::TempDir() + "/sourcetable.XXXXXX";
    return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

void writeFileWithTime(const std::string& path, std::int64_t millis) {
    std::ofstream(path) << "x";
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(millis / 1000);
    times[0].tv_nsec = times[1].tv_nsec = static_cast<long>((millis % 1000) * 1'000'000);
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

} // namespace

TEST(JspSourceTable, LineRecordOfAMappedLine) {
    JspSourceTable table("page.jsp", "page.java");
    table.add(40, 7, 2, 9, 0);
    EXPECT_EQ(table.getLineInfoStr(3, 40), "%L3&40&7&2&9&0");
    EXPECT_EQ(table.getResumeHighlightInfoStr(3, 40), "40&7&2&9&0");
    EXPECT_EQ(table.getJspLineInfoStr(40), "7&2&9&0");
    EXPECT_EQ(table.getJspStartLine(40), 7);
    EXPECT_EQ(table.getJspEndLine(40), 9);
    EXPECT_EQ(table.getJspEndPos(40), 0);
    EXPECT_EQ(table.getJspLineSourceInfo(40), JspLineSourceInfo(40, 7, 2, 9, 0));
}

TEST(JspSourceTable, UnmappedLineGivesNoRecordAndZeroValues) {
    JspSourceTable table("page.jsp", "page.java");
    table.add(40, 7, 2, 9, 5);
    for (std::int32_t javaLine : {0, 39, 41, -1}) {
        EXPECT_FALSE(table.getLineInfoStr(1, javaLine));
        EXPECT_FALSE(table.getResumeHighlightInfoStr(1, javaLine));
        EXPECT_FALSE(table.getJspLineInfoStr(javaLine));
        EXPECT_FALSE(table.getJspLineSourceInfo(javaLine));
        EXPECT_EQ(table.getJspStartLine(javaLine), 0);
        EXPECT_EQ(table.getJspEndLine(javaLine), 0);
        EXPECT_EQ(table.getJspEndPos(javaLine), 0);
    }
}

TEST(JspSourceTable, SecondRowForALineReplacesTheFirst) {
    JspSourceTable table("page.jsp", "page.java");
    table.add(40, 7, 2, 9, 0);
    table.add(40, 11, 1, 12, 3);
    EXPECT_EQ(table.size(), 1u);
    EXPECT_EQ(table.getLineInfoStr(3, 40), "%L3&40&11&1&12&3");
}

TEST(JspSourceTable, SpanTextShowsUnknownLinesAsLineOne) {
    JspSourceTable table("page.jsp", "page.java");
    table.add(5, 0, 4, 0, 6);
    table.add(6, 0, 0, 3, 2);
    EXPECT_EQ(table.getJspLineInfoStr(5), "1&4&1&6");
    EXPECT_EQ(table.getJspLineInfoStr(6), "1&0&3&2");
    // Only the span text changes lines; the line record reports the row as it is.
    EXPECT_EQ(table.getLineInfoStr(1, 5), "%L1&5&0&4&0&6");
}

TEST(JspSourceTable, ResumeBodyDoesNotDependOnTheFileId) {
    JspSourceTable table("page.jsp", "page.java");
    table.add(12, 3, 0, 4, 0);
    EXPECT_EQ(table.getResumeHighlightInfoStr(9, 12), table.getResumeHighlightInfoStr(1, 12));
}

TEST(JspSourceTable, NegativeAndExtremeNumbersAreWrittenInShortestForm) {
    JspSourceTable table("page.jsp", "page.java");
    table.add(INT32_MAX, -1, INT32_MIN, 0, 7);
    EXPECT_EQ(table.getLineInfoStr(-2, INT32_MAX), "%L-2&2147483647&-1&-2147483648&0&7");
}

TEST(JspSourceTable, FileRecord) {
    JspSourceTable table("/site/page.jsp", "/work/page_jsp.java");
    EXPECT_EQ(table.getFileInfoStr(4, false), "%F4&/site/page.jsp&/work/page_jsp.java");
    EXPECT_EQ(table.getJSPSourceFilename(), "/site/page.jsp");
    EXPECT_EQ(table.getJavaSourceFilename(), "/work/page_jsp.java");
}

TEST(JspSourceTable, FileRecordNeedsBothNames) {
    EXPECT_FALSE(JspSourceTable(std::nullopt, "page.java").getFileInfoStr(1, false));
    EXPECT_FALSE(JspSourceTable("page.jsp", std::nullopt).getFileInfoStr(1, true));
}

TEST(JspSourceTable, FileRecordWithTimesCarriesEachFilesModificationTime) {
    const std::string dir = makeTempDir();
    ASSERT_FALSE(dir.empty());
    const std::string jsp = dir + "/page.jsp", java = dir + "/page_jsp.java";
    writeFileWithTime(jsp, 1'700'000'000'123);
    writeFileWithTime(java, 1'700'000'004'567);
    EXPECT_EQ(JspSourceTable(jsp, java).getFileInfoStr(8, true),
              "%F8&" + jsp + "&1700000000123&" + java + "&1700000004567");
    // A file whose time cannot be read contributes 0.
    EXPECT_EQ(JspSourceTable(jsp, dir + "/missing.java").getFileInfoStr(8, true),
              "%F8&" + jsp + "&1700000000123&" + dir + "/missing.java&0");
    // The five-field form is not one the monitor's reader takes.
    EXPECT_FALSE(infoStrParser(*JspSourceTable(jsp, java).getFileInfoStr(8, true)));
    std::filesystem::remove_all(dir);
}

TEST(JspSourceTable, RecordsReadBackAsTheSameValues) {
    JspSourceTable table("/site/dir/page.jsp", "/work/page_jsp.java");
    table.add(40, 7, 2, 9, 0);
    table.add(-3, 0, 0, 0, 0);

    auto file = infoStrParser(*table.getFileInfoStr(12, false));
    ASSERT_TRUE(file);
    EXPECT_EQ(*file, JspSourceInfo("12", "/site/dir/page.jsp", "/work/page_jsp.java", false));

    for (std::int32_t javaLine : {40, -3}) {
        const JspLineSourceInfo row = *table.getJspLineSourceInfo(javaLine);
        auto line = infoStrParser(*table.getLineInfoStr(12, javaLine));
        ASSERT_TRUE(line);
        EXPECT_EQ(*line,
                  JspSourceInfo("12", row.getJavaLine(), row.getJspStartLine(),
                                row.getJspStartPos(), row.getJspEndLine(), row.getJspEndPos()));

        const std::string body = *table.getResumeHighlightInfoStr(12, javaLine);
        for (auto [token, type] :
             {std::pair{JspSourceInfo::resumeHighlightInfoToken,
                        JspSourceInfo::RESUME_HIGHLIGHT_INFO},
              std::pair{JspSourceInfo::switchFileToken, JspSourceInfo::SWITCH_FILE_INFO}}) {
            auto resume = infoStrParser(PageRuntimeRecords::positioned(token, "12", body));
            ASSERT_TRUE(resume);
            EXPECT_EQ(*resume,
                      JspSourceInfo(type, "12", row.getJavaLine(), row.getJspStartLine(),
                                    row.getJspStartPos(), row.getJspEndLine(), row.getJspEndPos()));
        }
    }
}

TEST(JspSourceTable, LineTracePrintsTheRowOnlyWhenTracing) {
    JspSourceTable table("page.jsp", "page.java");
    table.add(40, 7, 2, 9, 0);
    {
        TraceSwitch off(false);
        testing::internal::CaptureStdout();
        table.line(40);
        table.prtSourceTable();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    }
    TraceSwitch on(true);
    testing::internal::CaptureStdout();
    table.line(40);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "java source line = 40\n"
                                                      "jsp source start line  = 7\n"
                                                      "start position   = 2\n"
                                                      "jsp source stop line  = 9\n"
                                                      "end position     = 0\n"
                                                      " \n");
    // An unmapped line is reported, not a failure.
    testing::internal::CaptureStdout();
    table.line(41);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "java source line = 41\nno jsp source span is mapped to this line\n \n");
}

TEST(JspSourceTable, PrintedTableListsEveryRowByJavaLine) {
    JspSourceTable table("page.jsp", "page.java");
    for (std::int32_t javaLine : {30, 10, 20})
        table.add(javaLine, javaLine / 10, 0, javaLine / 10, 1);
    TraceSwitch on(true);
    testing::internal::CaptureStdout();
    table.prtSourceTable();
    const std::string out = testing::internal::GetCapturedStdout();
    const std::size_t first = out.find("java source line = 10\n");
    const std::size_t second = out.find("java source line = 20\n");
    const std::size_t third = out.find("java source line = 30\n");
    ASSERT_NE(third, std::string::npos);
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
}

// Rows are added while other threads look lines up and print the table; run under
// ThreadSanitizer this shows that the map is guarded.
TEST(JspSourceTable, ConcurrentAddAndLookup) {
    JspSourceTable table("page.jsp", "page.java");
    constexpr std::int32_t rows = 4000;
    std::atomic<bool> writersDone{false};
    std::vector<std::thread> threads;
    for (int w = 0; w < 2; ++w) {
        threads.emplace_back([&table, w] {
            for (std::int32_t line = w; line < rows; line += 2)
                table.add(line, line + 1, 0, line + 1, 5);
        });
    }
    std::atomic<int> malformed{0};
    for (int r = 0; r < 2; ++r) {
        threads.emplace_back([&] {
            while (!writersDone.load()) {
                for (std::int32_t line = 0; line < rows; line += 97) {
                    // A row is either absent or whole: never a mixture of two rows.
                    if (auto record = table.getLineInfoStr(1, line)) {
                        auto parsed = infoStrParser(*record);
                        if (!parsed || parsed->getJspStartLine() != line + 1 ||
                            parsed->getJspEndPos() != 5)
                            ++malformed;
                    }
                    (void)table.getJspEndLine(line);
                }
                table.prtSourceTable();
            }
        });
    }
    threads[0].join();
    threads[1].join();
    writersDone = true;
    threads[2].join();
    threads[3].join();
    EXPECT_EQ(malformed.load(), 0);
    EXPECT_EQ(table.size(), static_cast<std::size_t>(rows));
    EXPECT_EQ(table.getLineInfoStr(2, rows - 1), "%L2&" + std::to_string(rows - 1) + "&" +
                                                     std::to_string(rows) + "&0&" +
                                                     std::to_string(rows) + "&5");
}
