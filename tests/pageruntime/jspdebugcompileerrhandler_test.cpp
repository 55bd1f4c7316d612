#include "compileerrorrecordcheck.h"
#include "tracehook/debugconstants.h"
#include "tracehook/jspdebugcompileerrhandler.h"
#include "tracehook/jspsourceinfo.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

using tracehook::infoStrParser;
using tracehook::JspSourceInfo;
using tracehook::JspSourceTable;
using Handler = tracehook::JspDebugCompileErrHandler;
using Error = Handler::CompileErrInfo;

namespace {

std::vector<Error> parse(const std::string& message) {
    Handler handler("page.jsp", "page_jsp.java", message);
    return {handler.getCompileErrInfoLst().begin(), handler.getCompileErrInfoLst().end()};
}

const char* const fullwidthAmpersand = "\xEF\xBC\x86";

} // namespace

struct ParseCase {
    const char* name;
    std::string message;
    std::vector<Error> expected;
};

class CompileErrParse : public testing::TestWithParam<ParseCase> {};

TEST_P(CompileErrParse, ReadsTheErrors) {
    const ParseCase& c = GetParam();
    EXPECT_EQ(parse(c.message), c.expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Forms, CompileErrParse, testing::Values(
    ParseCase{"QuotedJspMessage", "12,5:\"unterminated <% tag: here\"",
              {Error(Handler::JSP_ERR, 12, 5, "\"unterminated <% tag: here\"")}},
    ParseCase{"ColumnZeroBecomesOne", "3,0:missing end", {Error(Handler::JSP_ERR, 3, 1, "missing end")}},
    ParseCase{"LastCommaBeforeTheColon", "1,2,7:x", {}},
    ParseCase{"DriveLetterJavaError",
              "C:\\work\\page_jsp.java:40: ';' expected: really\n    int x = 1\n        ^\n",
              {Error(Handler::JAVA_ERR, 40, 9, " ';' expected: really")}},
    ParseCase{"JavaErrorOnTheLastLineGetsColumnOne", "C:\\w\\p.java:7: oops",
              {Error(Handler::JAVA_ERR, 7, 1, " oops")}},
    ParseCase{"JavaErrorWithSourceLineButNoMarker", "C:\\w\\p.java:7: oops\n  x = ;",
              {Error(Handler::JAVA_ERR, 7, 1, " oops")}},
    ParseCase{"MarkerWithoutCaret", "C:\\w\\p.java:7: oops\n  x = ;\n   \n",
              {Error(Handler::JAVA_ERR, 7, 1, " oops")}},
    ParseCase{"JavaErrorWithEmptyMessage", "C:\\w\\p.java:7:\nsrc\n  ^",
              {Error(Handler::JAVA_ERR, 7, 3, "")}},
    ParseCase{"UnixJavacForm",
              "/work/page_jsp.java:40: error: cannot find symbol\n    out.prnt(x);\n       ^\n"
              "  symbol:   method prnt(int)\n  location: class page_jsp\n1 error\n",
              {Error(Handler::JAVA_ERR, 40, 8, " error: cannot find symbol")}},
    ParseCase{"UnixFormWithoutSecondMessageColon", "page_jsp.java:12: missing return\n  }\n  ^",
              {Error(Handler::JAVA_ERR, 12, 3, " missing return")}},
    ParseCase{"DriveFormReadsTheSameAsBefore", "C:12:34:msg", {Error(Handler::JAVA_ERR, 34, 1, "msg")}},
    ParseCase{"MixedErrorsInOrder",
              "2,4:bad directive\nC:\\p.java:9: x\nsrc\n ^\n/u/p.java:11: error: y\n",
              {Error(Handler::JSP_ERR, 2, 4, "bad directive"), Error(Handler::JAVA_ERR, 9, 2, " x"),
               Error(Handler::JAVA_ERR, 11, 1, " error: y")}},
    ParseCase{"BadNumberSkipsOnlyItsLine", "x,1:bad\n4,y:bad\n5,6:good",
              {Error(Handler::JSP_ERR, 5, 6, "good")}},
    ParseCase{"UnreadableJavaLineDoesNotSwallowTheNextLines", "C:\\p.java:abc:msg\n5,6:good\n7,8:too",
              {Error(Handler::JSP_ERR, 5, 6, "good"), Error(Handler::JSP_ERR, 7, 8, "too")}},
    ParseCase{"NumberOutOfRange", "99999999999,1:big\n1,99999999999:big", {}},
    ParseCase{"NoColons", "no colons here\nnor here, at all", {}},
    ParseCase{"ColonsOnly", ":\n::\n:::\n::::::::::", {}},
    ParseCase{"CommasOnly", ",,,,,,\n,,,:\n,,,:x\n,:,:,", {}},
    ParseCase{"ColonAtLineEnd", "12,5:\nC:\\p.java:", {}},
    ParseCase{"BlankLinesBetweenErrors", "\n\n1,1:a\n\n\n2,2:b\n\n",
              {Error(Handler::JSP_ERR, 1, 1, "a"), Error(Handler::JSP_ERR, 2, 2, "b")}},
    ParseCase{"CrLfLineEndsKeepTheCarriageReturnInTheMessage",
              "1,2:first\r\nC:\\p.java:3: second\r\n  x\r\n  ^\r\n",
              {Error(Handler::JSP_ERR, 1, 2, "first\r"), Error(Handler::JAVA_ERR, 3, 3, " second\r")}},
    ParseCase{"NonAsciiTextAndCaretColumnInCharacters",
              "4,2:Fehler \xC3\xBC" "berz\xC3\xA4hlige Klammer\nC:\\d\xC3\xA9j\xC3\xA0\\p.java:8: \xE2\x80\x9C;\xE2\x80\x9D\n"
              "  s = \"\xC3\xA9\xC3\xA9\";\n\xC2\xA0\xC2\xA0 ^\n",
              {Error(Handler::JSP_ERR, 4, 2, "Fehler \xC3\xBC" "berz\xC3\xA4hlige Klammer"),
               Error(Handler::JAVA_ERR, 8, 4, " \xE2\x80\x9C;\xE2\x80\x9D")}},
    ParseCase{"BinaryGarbage", std::string("\x01\xFF:\x00,:\xFE", 7), {}}),
    [](const testing::TestParamInfo<ParseCase>& param) { return std::string(param.param.name); });
// clang-format on

TEST(CompileErrHandler, UnreadableMessageIsUnknown) {
    Handler handler("page.jsp", "page_jsp.java", "javac: out of memory\n");
    EXPECT_TRUE(handler.getIsUnknownMsg());
    EXPECT_EQ(handler.getComErrInfoLstMaxIndex(), -1);
    EXPECT_FALSE(handler.getLineInfoStr(1, 0));

    handler.parseCompileErr("1,1:x");
    EXPECT_FALSE(handler.getIsUnknownMsg());
    EXPECT_EQ(handler.getComErrInfoLstMaxIndex(), 0);
}

TEST(CompileErrHandler, AbsentMessageAndListBeforeInitialize) {
    Handler empty;
    EXPECT_TRUE(empty.getIsOnlyJspErr());
    EXPECT_EQ(empty.getComErrInfoLstMaxIndex(), 0);
    EXPECT_FALSE(empty.getFileInfoStr(1));
    EXPECT_FALSE(empty.getLineInfoStr(1, 0));

    Handler noMessage("page.jsp", "page_jsp.java", std::nullopt);
    EXPECT_FALSE(noMessage.getIsUnknownMsg());
    EXPECT_EQ(noMessage.getComErrInfoLstMaxIndex(), -1);
}

TEST(CompileErrHandler, ParsingAgainReplacesTheList) {
    Handler handler("page.jsp", "page_jsp.java", "1,1:a\n2,2:b");
    handler.parseCompileErr("3,3:c");
    ASSERT_EQ(handler.getCompileErrInfoLst().size(), 1u);
    EXPECT_EQ(handler.getCompileErrInfoLst()[0], Error(Handler::JSP_ERR, 3, 3, "c"));
}

TEST(CompileErrHandler, TenThousandLineMessage) {
    std::string message;
    for (int i = 1; i <= 10'000; ++i) {
        if (i % 3 == 0)
            message += std::to_string(i) + ",1:error " + std::to_string(i) + "\n";
        else
            message += "noise line " + std::to_string(i) + " with a comma, but no colon\n";
    }
    Handler handler("page.jsp", "page_jsp.java", message);
    EXPECT_EQ(handler.getComErrInfoLstMaxIndex(), 3332);
    EXPECT_EQ(handler.getLineInfoStr(1, 3332), "%P1&2&1&1&9999&1&10000&0&error 9999&13");

    // One line of 10,000 message lines' worth of text.
    Handler longLine("page.jsp", "page_jsp.java", "5,5:" + std::string(10'000 * 80, 'm'));
    ASSERT_EQ(longLine.getCompileErrInfoLst().size(), 1u);
    EXPECT_EQ(longLine.getCompileErrInfoLst()[0].errMsg.size(), 800'000u);
}

TEST(CompileErrHandler, FileRecordNamesTheJavaFileOnlyForJavaErrors) {
    Handler jspOnly("/site/page.jsp", "/work/page_jsp.java", "1,1:a\n2,2:b");
    EXPECT_TRUE(jspOnly.getIsOnlyJspErr());
    EXPECT_EQ(jspOnly.getFileInfoStr(6), "%M6&/site/page.jsp");

    Handler withJava("/site/page.jsp", "/work/page_jsp.java",
                     "1,1:a\n/work/page_jsp.java:3: error: b");
    EXPECT_FALSE(withJava.getIsOnlyJspErr());
    EXPECT_EQ(withJava.getFileInfoStr(6), "%M6&/site/page.jsp&/work/page_jsp.java");

    EXPECT_FALSE(Handler(std::nullopt, "x.java", "1,1:a").getFileInfoStr(6));
    EXPECT_FALSE(Handler("x.jsp", std::nullopt, "1,1:a").getFileInfoStr(6));
}

TEST(CompileErrHandler, ErrorRecordsCarryTheirPlaceInTheList) {
    Handler three("page.jsp", "page_jsp.java", "1,1:a\n2,2:b\n3,3:c");
    EXPECT_EQ(three.getLineInfoStr(4, 0), "%P4&2&1&1&1&1&2&0&a&12");
    EXPECT_EQ(three.getLineInfoStr(4, 1), "%P4&2&1&1&2&2&3&0&b&11");
    EXPECT_EQ(three.getLineInfoStr(4, 2), "%P4&2&1&1&3&3&4&0&c&13");
    EXPECT_FALSE(three.getLineInfoStr(4, 3));
    EXPECT_FALSE(three.getLineInfoStr(4, -1));

    Handler one("page.jsp", "page_jsp.java", "1,1:a");
    EXPECT_EQ(one.getLineInfoStr(4, 0), "%P4&2&1&1&1&1&2&0&a&14");
}

TEST(CompileErrHandler, JavaErrorIsPlacedThroughTheSourceTable) {
    Handler handler("page.jsp", "page_jsp.java",
                    "C:\\p.java:40: ';' expected\n  x\n  ^\n/p.java:41: error: z");
    std::shared_ptr<JspSourceTable> table = handler.createSourceTable();
    EXPECT_EQ(table->getFileInfoStr(1, false), "%F1&page.jsp&page_jsp.java");
    table->add(40, 7, 2, 9, 0);
    table->add(41, 0, 3, 0, 8);
    handler.saveSourceTbl(table);
    EXPECT_EQ(handler.getLineInfoStr(2, 0), "%P2&3&40&3&7&2&9&0& ';' expected&12");
    EXPECT_EQ(handler.getLineInfoStr(2, 1), "%P2&3&41&1&1&3&1&8& error: z&13");
}

TEST(CompileErrHandler, RecordsThatTheMonitorWouldRejectAreMadeReadable) {
    Handler handler("page.jsp", "page_jsp.java",
                    "1,1:a & b && c\nC:\\p.java:5:\nsrc\n^\nC:\\p.java:6: x %%%END%%% y\n");
    // No source table at all, and then one without a row for line 5.
    for (bool withTable : {false, true}) {
        if (withTable)
            handler.saveSourceTbl(std::make_shared<JspSourceTable>("page.jsp", "page_jsp.java"));
        EXPECT_EQ(handler.getLineInfoStr(1, 0),
                  std::string("%P1&2&1&1&1&1&2&0&a ") + fullwidthAmpersand + " b " +
                      fullwidthAmpersand + fullwidthAmpersand + " c&12");
        // An empty message is sent as one blank; an unmapped Java line shows on JSP line 1.
        EXPECT_EQ(handler.getLineInfoStr(1, 1), "%P1&3&5&1&1&0&2&0& &11");
        // The record terminator inside a message would cut the record in two.
        std::string third = *handler.getLineInfoStr(1, 2);
        EXPECT_EQ(third.find(JspSourceInfo::infoEndingToken), std::string::npos);
        EXPECT_EQ(third, "%P1&3&6&1&1&0&2&0& x \xEF\xBC\x85%%END%%% y&13");
    }
}

TEST(CompileErrHandler, ErrorRecordsReadBackAsTheSameValues) {
    Handler handler("/site/page.jsp", "/work/page_jsp.java",
                    "12,5:\"bad & worse\"\n/work/page_jsp.java:40: error: x\n  y\n    ^\n"
                    "C:\\w\\p.java:77: unmapped\n  z\n ^\n2147483647,3:last line\n");
    auto table = std::make_shared<JspSourceTable>("/site/page.jsp", "/work/page_jsp.java");
    table->add(40, 7, 2, 9, 0);
    handler.saveSourceTbl(table);

    auto file = infoStrParser(*handler.getFileInfoStr(3));
    ASSERT_TRUE(file);
    EXPECT_EQ(*file, JspSourceInfo("3", "/site/page.jsp", "/work/page_jsp.java", true));

    const std::vector<JspSourceInfo> expected = {
        JspSourceInfo("3", Handler::JSP_ERR, 1, 1, 12, 5, 13, 0,
                      std::string("\"bad ") + fullwidthAmpersand + " worse\"", Handler::FIRST_ERR),
        JspSourceInfo("3", Handler::JAVA_ERR, 40, 5, 7, 2, 9, 0, " error: x", Handler::NORMAL_ERR),
        JspSourceInfo("3", Handler::JAVA_ERR, 77, 2, 1, 0, 2, 0, " unmapped", Handler::NORMAL_ERR),
        JspSourceInfo("3", Handler::JSP_ERR, 1, 1, 2147483647, 3, 2147483647, 0, "last line",
                      Handler::LAST_ERR),
    };
    ASSERT_EQ(handler.getComErrInfoLstMaxIndex(), 3);
    for (int i = 0; i <= 3; ++i) {
        auto record = infoStrParser(*handler.getLineInfoStr(3, i));
        ASSERT_TRUE(record) << i;
        EXPECT_EQ(*record, expected[static_cast<std::size_t>(i)]) << i;
    }

    Handler jspOnly("a.jsp", "a.java", "1,1:x");
    auto twoFields = infoStrParser(*jspOnly.getFileInfoStr(5));
    ASSERT_TRUE(twoFields);
    EXPECT_EQ(*twoFields, JspSourceInfo("5", "a.jsp", std::nullopt, true));
}

TEST(CompileErrHandler, PrintedErrorList) {
    Handler handler("page.jsp", "page_jsp.java", "3,0:missing end\nC:\\p.java:40: x");
    EXPECT_EQ(handler.compileErrInfoDump(),
              "Errors during compiling the JSP file:\n"
              "\tError type: JSP\n\tLine number: 3\n\tPosition number: 1\n"
              "\tError message: missing end\n"
              "\tError type: Java\n\tLine number: 40\n\tPosition number: 1\n"
              "\tError message:  x\n");
    testing::internal::CaptureStdout();
    handler.printCompileErrInfo();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), handler.compileErrInfoDump());

    EXPECT_EQ(Handler("a.jsp", "a.java", "nothing").compileErrInfoDump(),
              "Errors during compiling the JSP file:\n\tThere is no pagecompile error.\n");
}

TEST(CompileErrHandler, TracingPrintsTheErrorsOnInitialize) {
    tracehook::DebugConstants::force(true, false);
    testing::internal::CaptureStdout();
    Handler handler("page.jsp", "page_jsp.java", "3,0:missing end");
    const std::string out = testing::internal::GetCapturedStdout();
    tracehook::DebugConstants::lookAgain();
    EXPECT_NE(out.find("Received JSP syntax error: 3, 1: 3,0:missing end"), std::string::npos)
        << out;
    EXPECT_NE(out.find("Errors during compiling the JSP file:\n\tError type: JSP"),
              std::string::npos)
        << out;
}

// Messages stitched from the pieces that steer the reader: whatever they say, every
// record built from them reads back on the monitor's side.
TEST(CompileErrHandler, EveryRecordOfARandomMessageIsReadable) {
    const std::vector<std::string> pieces = {
        "C",      ":",        ",",           "\"",         "^",       " ",           "\r",
        "\n",     "\n",       "&",           "%%%END%%%",  "0",       "7",           "12",
        "-",      "a",        "\xC3\xA9",    "2147483648", "\t",      "::",          "40",
        "\n3,4:", "\n1,0:\"", "C:\\p.java:", "/p.java:9:", " error:", "\n  x\n  ^\n"};
    std::mt19937 random(20261208);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(0, 60);
    for (int round = 0; round < 3000; ++round) {
        std::string message;
        for (int n = length(random); n > 0; --n)
            message += pieces[pick(random)];
        std::optional<std::string> fault = tracehook::checks::findUnreadableErrorRecord(message);
        ASSERT_FALSE(fault) << *fault << "\nmessage: " << testing::PrintToString(message);
    }
}
