#pragma once

#include "tracehook/jsplinesourceinfo.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tracehook {

// One record of the conversation between a page runtime and the monitor.
//
// The conversation. A page runtime (the servlet engine of the test server, or the
// pagerunner stand-in) opens one TCP connection per page request to the monitor's port on
// the local host (the port is the first line of the monitor's debug settings file,
// "port=8082" by default) and then keeps strictly to request and reply:
//
//  1. It sends the first record: "%F" F "&" jspFile "&" javaFile, built by
//     JspSourceTable::getFileInfoStr(fileId, false), or "%M" from
//     JspDebugCompileErrHandler::getFileInfoStr when the page failed to compile. A "%F"
//     whose two file names are each a single blank only asks the monitor to show its
//     window; the monitor then closes that connection.
//  2. For each reported event it sends one record and then blocks until one reply line
//     arrives. Every record ends with the terminator "%%%END%%%" and is written in one
//     piece (record and terminator in one write, TCP_NODELAY set): "%L" (the line about to
//     execute), "%H" (HTML produced), "%R", "%S", "%P", "%C", "%N".
//  3. It obeys each reply (one line, ended by LF or CR LF):
//       "%N" F            continue;
//       "%N" F "&" n      continue; n is 0 after Step and 1 after Run or Fast forward;
//                         22 asks for the previous and 23 for the next compile error;
//       "%B" F "&" L "&" a  set (a = 1) or clear (a = 2) a breakpoint on JSP line L, then
//                         send the next record (the page does not move for it);
//       "%S" F            report the current position in page F with a "%S" record;
//       "%T"              the monitor is closing this connection: stop reporting to it.
//  4. It ends the request with "%E", or "%A" with the position when one is known.
//
// Extensions, invisible to peers that do not know them:
//  - Variables. While the monitor's debug settings file holds SendVariables=true (the
//    monitor writes it while its Variables view is shown or a breakpoint carries a
//    condition), a runtime that knows the key sends a "%V" record (PageVariables) just
//    before each "%L" and waits for its reply as for any record. The monitor answers it
//    with the continue reply "%N" F "&" n of the run in progress, and the page does not
//    move for it: the "%L" of the same stop follows. A runtime that does not know the key
//    never sends "%V".
//  - Records the monitor does not know. A record after the first whose token the monitor
//    cannot read is reported and answered like "%V", so that a newer runtime never waits
//    on a reply that does not come.
//
// File ids are decimal texts chosen by the page runtime, stable for a page within one
// request. Fields are separated by "&"; a text field other than the last of its record
// must neither contain "&" nor be empty. Numbers are decimal, shortest form.
class JspSourceInfo : public JspLineSourceInfo {
public:
    // Tokens.
    static constexpr std::string_view fileInfoToken = "%F";
    static constexpr std::string_view htmlInfoToken = "%H";
    static constexpr std::string_view commentToken = "%C";
    static constexpr std::string_view continueToken = "%N";
    static constexpr std::string_view clientExitToken = "%E";
    static constexpr std::string_view serverExitToken = "%T";
    static constexpr std::string_view switchFileToken = "%S";
    static constexpr std::string_view compileErrToken = "%P";
    static constexpr std::string_view compileErrFileToken = "%M";
    static constexpr std::string_view breakpointInfoToken = "%B";
    static constexpr std::string_view resumeHighlightInfoToken = "%R";
    static constexpr std::string_view abnormalClientExitToken = "%A";
    static constexpr std::string_view sendJSPFileInfoToken = "%J";
    static constexpr std::string_view sendJavaFileInfoToken = "%V";
    // The variables record (an extension, see above; its layout is in PageVariables).
    static constexpr std::string_view variablesToken = "%V";
    static constexpr std::string_view infoEndingToken = "%%%END%%%";

    // Info types.
    static constexpr int FILE_INFO = 1;
    static constexpr int LINE_INFO = 2;
    static constexpr int HTML_INFO = 3;
    static constexpr int COMMENT_INFO = 4;
    static constexpr int CONTINUE_INFO = 5;
    static constexpr int RESUME_HIGHLIGHT_INFO = 6;
    static constexpr int SWITCH_FILE_INFO = 7;
    static constexpr int CLIENT_EXIT_COMMAND = 8;
    static constexpr int ABNORMAL_CLIENT_EXIT_COMMAND = 9;
    static constexpr int COMPILE_ERR_LINE_INFO = 10;
    static constexpr int COMPILE_ERR_FILE_INFO = 11;

    // Breakpoint actions.
    static constexpr int SET_BREAK_PT = 1;
    static constexpr int CLEAR_BREAK_PT = 2;

    using Text = std::optional<std::string>;

    // A client-exit record.
    JspSourceInfo();
    // A continue record whose text is the decimal n.
    explicit JspSourceInfo(int n);
    // A comment record.
    explicit JspSourceInfo(std::string comment);
    // Type 4: comment; 5: continue text; 3: HTML; 9: HTML text, no file id; others: nothing.
    JspSourceInfo(std::string text, int type);
    // With type 3: file id and HTML text; any other type sets only the type.
    JspSourceInfo(std::string fileId, std::string html, int type);
    // A file record: COMPILE_ERR_FILE_INFO when compileErr, else FILE_INFO.
    JspSourceInfo(std::string fileId, std::string jspFilename, Text javaFilename, bool compileErr);
    // A line record (LINE_INFO).
    JspSourceInfo(std::string fileId, std::int32_t javaLine, std::int32_t jspStartLine,
                  std::int32_t jspStartPos, std::int32_t jspEndLine, std::int32_t jspEndPos);
    // A positioned record of the given type, with an optional comment.
    JspSourceInfo(int type, std::string fileId, std::int32_t javaLine, std::int32_t jspStartLine,
                  std::int32_t jspStartPos, std::int32_t jspEndLine, std::int32_t jspEndPos);
    JspSourceInfo(int type, std::string fileId, std::int32_t javaLine, std::int32_t jspStartLine,
                  std::int32_t jspStartPos, std::int32_t jspEndLine, std::int32_t jspEndPos,
                  std::string comment);
    // A compile-error record (COMPILE_ERR_LINE_INFO).
    JspSourceInfo(std::string fileId, int errType, std::int32_t javaLine, std::int32_t javaPos,
                  std::int32_t jspStartLine, std::int32_t jspStartPos, std::int32_t jspEndLine,
                  std::int32_t jspEndPos, std::string errMsg, int errStatus);

    const Text& getFileIdStr() const { return fileIdStr; }
    const Text& getJspSourceFilename() const { return jspSourceFilename; }
    const Text& getJavaSourceFilename() const { return javaSourceFilename; }
    const Text& getCommentString() const { return commentStr; }
    const Text& getContinueString() const { return continueStr; }
    const Text& getHtmlString() const { return htmlStr; }
    const Text& getCompileErrStr() const { return compileErrStr; }
    const Text& getCompileErrFilename() const { return compileErrFilename; }
    int getErrType() const { return errType; }
    const Text& getErrMsg() const { return errMsg; }
    int getErrStatus() const { return errStatus; }
    int getInfoType() const { return infoType; }

    // The text shown for a compile error: the message without one trailing carriage
    // return, after the label "L-JSPSyntaxError" or "L-JavaSyntaxError" and a blank for
    // JSP and Java errors. nullopt without a message.
    Text getDisplayErrMsg() const;

    // A diagnostic dump of the record, one labelled field per line.
    std::string infoDump() const;
    // Writes infoDump() to standard output.
    void prtInfo() const;

    friend bool operator==(const JspSourceInfo&, const JspSourceInfo&) = default;

private:
    Text fileIdStr;
    Text jspSourceFilename;
    Text javaSourceFilename;
    Text commentStr;
    Text continueStr;
    Text htmlStr;
    Text compileErrStr;
    Text compileErrFilename;
    int errType = 0;
    Text errMsg;
    int errStatus = 0;
    int infoType = 0;
};

// Parses one record text (without its terminator). nullopt for a text shorter than two
// characters, an unknown token, a wrong field count, an "%H" without a body, or a
// numeric field that is not a decimal 32-bit integer.
std::optional<JspSourceInfo> infoStrParser(std::string_view record);

} // namespace tracehook
