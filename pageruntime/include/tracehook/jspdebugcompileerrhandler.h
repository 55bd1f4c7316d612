#pragma once

#include "tracehook/compileerrorcodes.h"
#include "tracehook/jspsourcetable.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tracehook {

// Reads the page compiler's error text for a page that failed to compile and builds the
// records that show the page and its errors in the monitor: "%M" (the failed page) and
// one "%P" per error, which the user walks with Previous error and Next error.
//
// Two line forms are read. A JSP translation error: line "," column ":" message. A Java
// compiler error: drive ":" path ":" line ":" message, or path ":" line ":" message for a
// path without a drive letter, followed by the echoed source line and a marker line whose
// caret gives the column. Other lines are skipped.
//
// One handler serves one failed compilation on one thread; it is not thread-safe.
class JspDebugCompileErrHandler : public CompileErrorCodes {
public:
    using Text = std::optional<std::string>;

    struct CompileErrInfo {
        CompileErrInfo(int errTypeValue, std::int32_t lineNumValue, std::int32_t posNumValue,
                       std::string errMsgValue)
            : errType(errTypeValue), lineNum(lineNumValue), posNum(posNumValue),
              errMsg(std::move(errMsgValue)) {}

        int errType;
        std::int32_t lineNum;
        std::int32_t posNum; // 1-based column
        std::string errMsg;

        friend bool operator==(const CompileErrInfo&, const CompileErrInfo&) = default;
    };

    // No list until initialize().
    JspDebugCompileErrHandler() = default;
    JspDebugCompileErrHandler(Text jspFilename, Text javaFilename, Text message);

    // Parses the message, then keeps the two file names; prints the errors when tracing.
    void initialize(Text jspFilename, Text javaFilename, Text message);
    // Replaces the list with the errors read from message (none for an absent message).
    void parseCompileErr(const Text& message);

    // True when the last parse read no error.
    bool getIsUnknownMsg() const { return isUnknownMsg; }
    // True without a list, or when every error is a JSP error.
    bool getIsOnlyJspErr() const;
    // The number of errors minus 1 (-1 for none); 0 without a list.
    int getComErrInfoLstMaxIndex() const;
    // The errors in the order found; empty without a list.
    std::span<const CompileErrInfo> getCompileErrInfoLst() const;

    // A new, empty source table for this page's two files.
    std::unique_ptr<JspSourceTable> createSourceTable() const;
    // The table that places Java errors in the JSP source.
    void saveSourceTbl(std::shared_ptr<const JspSourceTable> table);

    // "%M" F "&" jspFile, plus "&" javaFile when any error is not a JSP error. nullopt when
    // either file name is missing.
    Text getFileInfoStr(int fileId) const;
    // The "%P" record of error index (0-based): F "&" kind "&" JL "&" JP "&" SL "&" SP "&"
    // EL "&" EP "&" message "&" position in the list. nullopt for an index outside the
    // list or an error of unknown kind. The message is made safe as a field (no "&", no
    // record terminator, never empty); a Java error on a line that the source table does
    // not map is placed on the first JSP line.
    Text getLineInfoStr(int fileId, int index) const;

    // A readable list of the errors, as printCompileErrInfo() writes it.
    std::string compileErrInfoDump() const;
    // Writes compileErrInfoDump() to standard output.
    void printCompileErrInfo() const;

private:
    std::string javaErrSpan(std::int32_t javaLine) const;

    std::optional<std::vector<CompileErrInfo>> compileErrInfoLst;
    Text jspFilename;
    Text javaFilename;
    bool isUnknownMsg = false;
    std::shared_ptr<const JspSourceTable> sourceTbl;
};

} // namespace tracehook
