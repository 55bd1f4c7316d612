#include "tracehook/compileerrorcodes.h"
#include "tracehook/debugconstants.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/monitorreplies.h"
#include "tracehook/pageruntimerecords.h"

#include <gtest/gtest.h>

using tracehook::CompileErrorCodes;
using tracehook::infoStrParser;
using tracehook::JspLineSourceInfo;
using tracehook::JspSourceInfo;
using tracehook::MonitorReplies;
using tracehook::PageRuntimeRecords;
using Text = JspSourceInfo::Text;

namespace {

struct ParseCase {
    const char* name;
    std::string record;
    std::optional<JspSourceInfo> expected;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

class ParserTable : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParserTable, ParsesToTheExpectedRecord) {
    const ParseCase& c = GetParam();
    std::optional<JspSourceInfo> got = infoStrParser(c.record);
    ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.record.substr(0, 80);
    if (got) {
        EXPECT_EQ(*got, *c.expected) << got->infoDump() << "expected\n" << c.expected->infoDump();
    }
}

using J = JspSourceInfo;
const Text none = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Layouts, ParserTable,
    ::testing::Values(
        ParseCase{"line", "%L5&12&3&0&4&0", J("5", 12, 3, 0, 4, 0)},
        ParseCase{"line_with_empty_field", "%L5&12&3&&4&0", std::nullopt},
        ParseCase{"line_runs_of_separators", "%L&&5&&12&3&0&&&4&0&&", J("5", 12, 3, 0, 4, 0)},
        ParseCase{"line_negative", "%L5&-1&3&0&4&-7", J("5", -1, 3, 0, 4, -7)},
        ParseCase{"line_too_many", "%L5&12&3&0&4&0&9", std::nullopt},
        ParseCase{"line_non_digit", "%L5&12&3x&0&4&0", std::nullopt},
        ParseCase{"line_plus_sign", "%L5&+12&3&0&4&0", std::nullopt},
        ParseCase{"line_huge_number", "%L5&99999999999&3&0&4&0", std::nullopt},
        ParseCase{"line_int_max", "%L5&2147483647&3&0&4&-2147483648",
                  J("5", 2147483647, 3, 0, 4, -2147483647 - 1)},
        ParseCase{"line_blank_number", "%L5& 12&3&0&4&0", std::nullopt},
        ParseCase{"html", "%H7&a&b", J("7", "a&b", J::HTML_INFO)},
        ParseCase{"html_line_breaks", "%H7&<p>\r\n&amp;</p>\n",
                  J("7", "<p>\r\n&amp;</p>\n", J::HTML_INFO)},
        ParseCase{"html_empty_body", "%H7&", std::nullopt},
        ParseCase{"html_no_separator", "%H7", std::nullopt},
        ParseCase{"html_empty_id", "%H&x", J("", "x", J::HTML_INFO)},
        ParseCase{"file", "%F1&/p/a.jsp&/w/a_jsp.java",
                  J("1", "/p/a.jsp", Text("/w/a_jsp.java"), false)},
        ParseCase{"file_blank_probe", "%F1& & ", J("1", " ", Text(" "), false)},
        ParseCase{"file_with_times", "%F1&a.jsp&100&a.java&200", std::nullopt},
        ParseCase{"file_short", "%F1&a.jsp", std::nullopt},
        ParseCase{"compile_file", "%M3&page.jsp&page.java",
                  J("3", "page.jsp", Text("page.java"), true)},
        ParseCase{"compile_file_no_java", "%M3&page.jsp", J("3", "page.jsp", none, true)},
        ParseCase{"compile_file_one_field", "%M3", std::nullopt},
        ParseCase{"compile_error", "%P4&2&40&0&7&2&9&0&missing quote&12",
                  J("4", CompileErrorCodes::JSP_ERR, 40, 0, 7, 2, 9, 0, "missing quote", 12)},
        ParseCase{"compile_error_nine", "%P4&2&40&0&7&2&9&0&12", std::nullopt},
        ParseCase{"compile_error_text_status", "%P4&2&40&0&7&2&9&0&msg&x", std::nullopt},
        ParseCase{"compile_error_eleven", "%P4&2&40&0&7&2&9&0&msg&12&13", std::nullopt},
        ParseCase{"line_many_fields", "%L5&12&3&0&4&0&1&2&3&4&5&6&7", std::nullopt},
        ParseCase{"exit", "%E", J()}, ParseCase{"exit_trailing", "%Eanything", J()},
        ParseCase{"abnormal", "%A2&10&4&1&5&0X",
                  J(J::ABNORMAL_CLIENT_EXIT_COMMAND, "2", 10, 4, 1, 5, 0)},
        ParseCase{"abnormal_with_text", "%A2&10&4&1&5&3&boom",
                  J(J::ABNORMAL_CLIENT_EXIT_COMMAND, "2", 10, 4, 1, 5, 3, "boom")},
        ParseCase{"abnormal_free_form", "%Aoops", J("oops", J::ABNORMAL_CLIENT_EXIT_COMMAND)},
        ParseCase{"abnormal_free_form_two_fields", "%Aa&b",
                  J("a&b", J::ABNORMAL_CLIENT_EXIT_COMMAND)},
        ParseCase{"abnormal_free_form_twelve_fields", "%A1&2&3&4&5&6&7&8&9&10&11&12",
                  J("1&2&3&4&5&6&7&8&9&10&11&12", J::ABNORMAL_CLIENT_EXIT_COMMAND)},
        ParseCase{"abnormal_empty", "%A", J("", J::ABNORMAL_CLIENT_EXIT_COMMAND)},
        ParseCase{"abnormal_end_pos_no_digits", "%A2&10&4&1&5&X", std::nullopt},
        ParseCase{"abnormal_line_not_number", "%A2&x&4&1&5&0", std::nullopt},
        ParseCase{"resume", "%R9&40&7&2&9&0", J(J::RESUME_HIGHLIGHT_INFO, "9", 40, 7, 2, 9, 0)},
        ParseCase{"resume_short", "%R9&40&7&2&9", std::nullopt},
        ParseCase{"switch", "%S9&40&7&2&9&0", J(J::SWITCH_FILE_INFO, "9", 40, 7, 2, 9, 0)},
        ParseCase{"switch_bare", "%S9", std::nullopt},
        ParseCase{"continue", "%N", J(" ", J::CONTINUE_INFO)},
        ParseCase{"continue_anything", "%N5&0&&x", J(" ", J::CONTINUE_INFO)},
        ParseCase{"comment", "%Chello & goodbye", J(std::string("hello & goodbye"))},
        ParseCase{"comment_empty", "%C", J(std::string(""))}, ParseCase{"empty", "", std::nullopt},
        ParseCase{"one_char", "%", std::nullopt}, ParseCase{"unknown_token", "%X1&2", std::nullopt},
        ParseCase{"lower_case_token", "%l5&12&3&0&4&0", std::nullopt},
        ParseCase{"reply_token_breakpoint", "%B1&2&1", std::nullopt},
        ParseCase{"reply_token_exit", "%T", std::nullopt},
        ParseCase{"only_separators", "&&&&&&", std::nullopt},
        ParseCase{"non_ascii_file", "%F1&/p/\xC3\xA9t\xC3\xA9.jsp&/w/\xE6\x97\xA5.java",
                  J("1", "/p/\xC3\xA9t\xC3\xA9.jsp", Text("/w/\xE6\x97\xA5.java"), false)},
        ParseCase{"invalid_utf8_html", "%H1&\xff\xfe\x80", J("1", "\xff\xfe\x80", J::HTML_INFO)},
        ParseCase{"nul_inside_html", std::string("%H1&a\0b", 7),
                  J("1", std::string("a\0b", 3), J::HTML_INFO)}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(InfoStrParser, KeepsALargeHtmlBodyWhole) {
    std::string body(1 << 20, 'x');
    for (std::size_t i = 0; i < body.size(); i += 97)
        body[i] = '&';
    std::optional<JspSourceInfo> info = infoStrParser("%H12&" + body);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->getFileIdStr(), Text("12"));
    EXPECT_EQ(info->getHtmlString(), Text(body));
}

TEST(InfoStrParser, SurvivesEveryPrefixOfValidRecords) {
    for (std::string record : {"%L5&12&3&0&4&0", "%P4&2&40&0&7&2&9&0&msg&12", "%A2&10&4&1&5&0&why",
                               "%H1&x", "%M3&a.jsp&a.java", "%F1&a&b", "%R1&2&3&4&5&6"}) {
        for (std::size_t n = 0; n <= record.size(); ++n)
            (void)infoStrParser(record.substr(0, n));
    }
}

TEST(JspSourceInfo, ConstructorsSetTheDocumentedFields) {
    EXPECT_EQ(J().getInfoType(), J::CLIENT_EXIT_COMMAND);
    EXPECT_EQ(J(42).getContinueString(), Text("42"));
    EXPECT_EQ(J(42).getInfoType(), J::CONTINUE_INFO);
    EXPECT_EQ(J(std::string("c")).getCommentString(), Text("c"));
    EXPECT_EQ(J("t", J::COMMENT_INFO).getCommentString(), Text("t"));
    EXPECT_EQ(J("t", J::CONTINUE_INFO).getContinueString(), Text("t"));
    EXPECT_EQ(J("t", J::HTML_INFO).getHtmlString(), Text("t"));
    J abnormal("t", J::ABNORMAL_CLIENT_EXIT_COMMAND);
    EXPECT_EQ(abnormal.getHtmlString(), Text("t"));
    EXPECT_EQ(abnormal.getFileIdStr(), none);
    J other("t", J::FILE_INFO);
    EXPECT_EQ(other.getInfoType(), J::FILE_INFO);
    EXPECT_EQ(other.getCommentString(), none);
    EXPECT_EQ(other.getHtmlString(), none);
    J notHtml("1", "h", J::COMMENT_INFO);
    EXPECT_EQ(notHtml.getFileIdStr(), none);
    EXPECT_EQ(notHtml.getInfoType(), J::COMMENT_INFO);
    J line("5", 12, 3, 1, 4, 2);
    EXPECT_EQ(line.getJavaPos(), 0);
    EXPECT_EQ(line.getJavaLine(), 12);
    EXPECT_EQ(line.getJspEndPos(), 2);
    J err("4", CompileErrorCodes::JAVA_ERR, 40, 6, 7, 2, 9, 0, "m", CompileErrorCodes::LAST_ERR);
    EXPECT_EQ(err.getInfoType(), J::COMPILE_ERR_LINE_INFO);
    EXPECT_EQ(err.getJavaPos(), 6);
    EXPECT_EQ(err.getErrStatus(), CompileErrorCodes::LAST_ERR);
    EXPECT_EQ(err.getCompileErrStr(), none);
    EXPECT_EQ(err.getCompileErrFilename(), none);
}

TEST(JspSourceInfo, DisplayErrorMessageDropsOneCarriageReturn) {
    tracehook::DebugConstants::force(false, false);
    EXPECT_EQ(J("4", CompileErrorCodes::UNKNOWN_ERR, 1, 0, 1, 0, 1, 0, "broken\r\r", 11)
                  .getDisplayErrMsg(),
              Text("broken\r"));
    EXPECT_EQ(J("4", CompileErrorCodes::UNKNOWN_ERR, 1, 0, 1, 0, 1, 0, "", 11).getDisplayErrMsg(),
              Text(""));
    EXPECT_EQ(J().getDisplayErrMsg(), none);
}

TEST(JspSourceInfo, DumpNamesTheFieldsOfEachType) {
    EXPECT_NE(J("7", "<b>", J::HTML_INFO).infoDump().find("\thtml line = |<b>|"),
              std::string::npos);
    EXPECT_NE(J("5", 12, 3, 0, 4, 0).infoDump().find("\tjava source line  = 12"),
              std::string::npos);
    EXPECT_NE(J("1", "a.jsp", Text("a.java"), false).infoDump().find("\tjsp file name: a.jsp"),
              std::string::npos);
    EXPECT_NE(J().infoDump().find("\tClient exit command."), std::string::npos);
    EXPECT_EQ(J("x", 77).infoDump(),
              "Warning: Unknown info type: 77\n\tSource info is not printed.\n");
}

TEST(PageRuntimeRecords, BuildWhatTheParserReadsBack) {
    using R = PageRuntimeRecords;
    EXPECT_EQ(infoStrParser(R::html("3", "<p>a&b</p>")), J("3", "<p>a&b</p>", J::HTML_INFO));
    EXPECT_EQ(infoStrParser(R::clientExit()), J());
    EXPECT_EQ(infoStrParser(R::abnormalExit("2", JspLineSourceInfo(10, 4, 1, 5, 3), std::nullopt)),
              J(J::ABNORMAL_CLIENT_EXIT_COMMAND, "2", 10, 4, 1, 5, 3));
    EXPECT_EQ(infoStrParser(R::abnormalExit("2", JspLineSourceInfo(10, 4, 1, 5, 3), "x & y")),
              J(J::ABNORMAL_CLIENT_EXIT_COMMAND, "2", 10, 4, 1, 5, 3, "x \xEF\xBC\x86 y"));
    EXPECT_EQ(infoStrParser(R::abnormalExit("2", JspLineSourceInfo(10, 4, 1, 5, 3), "")),
              J(J::ABNORMAL_CLIENT_EXIT_COMMAND, "2", 10, 4, 1, 5, 3, " "));
    EXPECT_EQ(infoStrParser(R::abnormalExitFreeForm("gone")),
              J("gone", J::ABNORMAL_CLIENT_EXIT_COMMAND));
    EXPECT_EQ(infoStrParser(R::comment("note")), J(std::string("note")));
    EXPECT_EQ(infoStrParser(R::continueInfo()), J(" ", J::CONTINUE_INFO));
    EXPECT_EQ(infoStrParser(R::positioned(J::switchFileToken, "9", "40&7&2&9&0")),
              J(J::SWITCH_FILE_INFO, "9", 40, 7, 2, 9, 0));
    EXPECT_EQ(infoStrParser(R::positioned(J::resumeHighlightInfoToken, "9", "40&7&2&9&0")),
              J(J::RESUME_HIGHLIGHT_INFO, "9", 40, 7, 2, 9, 0));
    EXPECT_EQ(R::framed("%E"), "%E%%%END%%%");
    EXPECT_EQ(R::safeField(""), " ");
    EXPECT_EQ(R::safeField("&&"), "\xEF\xBC\x86\xEF\xBC\x86");
}

TEST(MonitorReplies, ResumeCarriesTheStateOrTheErrorWalk) {
    EXPECT_EQ(MonitorReplies::getResumeReturnStr("5", 0, CompileErrorCodes::NOT_ERR), "%N5&0");
    EXPECT_EQ(MonitorReplies::getResumeReturnStr("5", 1, CompileErrorCodes::NOT_ERR), "%N5&1");
    EXPECT_EQ(MonitorReplies::getResumeReturnStr("5", std::nullopt, CompileErrorCodes::NOT_ERR),
              "%N5");
    EXPECT_EQ(MonitorReplies::getResumeReturnStr("5", 1, CompileErrorCodes::PREV_ERR), "%N5&22");
    EXPECT_EQ(MonitorReplies::getResumeReturnStr("5", std::nullopt, CompileErrorCodes::NEXT_ERR),
              "%N5&23");
    EXPECT_EQ(MonitorReplies::getSetBreakptStr("5", 12, true), "%B5&12&1");
    EXPECT_EQ(MonitorReplies::getSetBreakptStr("5", 12, false), "%B5&12&2");
    EXPECT_EQ(MonitorReplies::getSwitchFileStr("8"), "%S8");
    EXPECT_EQ(MonitorReplies::getServerExitStr(), "%T");
}

TEST(MonitorReplies, PageRuntimeReadsEveryReplyBack) {
    using Kind = MonitorReplies::Reply::Kind;
    auto r = MonitorReplies::parse(
        MonitorReplies::getResumeReturnStr("5", 1, CompileErrorCodes::NOT_ERR) + "\r\n");
    EXPECT_EQ(r.kind, Kind::Continue);
    EXPECT_EQ(r.fileId, "5");
    EXPECT_EQ(r.code, std::optional<std::int32_t>(1));
    r = MonitorReplies::parse(
        MonitorReplies::getResumeReturnStr("5", std::nullopt, CompileErrorCodes::NOT_ERR) + "\n");
    EXPECT_EQ(r.kind, Kind::Continue);
    EXPECT_FALSE(r.code);
    r = MonitorReplies::parse(
        MonitorReplies::getResumeReturnStr("5", std::nullopt, CompileErrorCodes::NEXT_ERR));
    EXPECT_EQ(r.code, std::optional<std::int32_t>(23));
    r = MonitorReplies::parse(MonitorReplies::getSetBreakptStr("6", 14, false));
    EXPECT_EQ(r.kind, Kind::Breakpoint);
    EXPECT_EQ(r.fileId, "6");
    EXPECT_EQ(r.line, 14);
    EXPECT_EQ(r.action, 2);
    r = MonitorReplies::parse(MonitorReplies::getSwitchFileStr("8"));
    EXPECT_EQ(r.kind, Kind::SwitchFile);
    EXPECT_EQ(r.fileId, "8");
    EXPECT_EQ(MonitorReplies::parse("%T\r\n").kind, Kind::ServerExit);
}

TEST(MonitorReplies, MalformedRepliesAreUnknown) {
    using Kind = MonitorReplies::Reply::Kind;
    for (const char* bad : {"", "%", "%N", "%Nx", "%N5&", "%N5&x", "%B5", "%B5&1", "%B5&a&1", "%S",
                            "%S5&1", "%Q5", "N5&0", "%N99999999999&0"}) {
        EXPECT_EQ(MonitorReplies::parse(bad).kind, Kind::Unknown) << bad;
    }
}

} // namespace
