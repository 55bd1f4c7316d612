#pragma once

#include "pagerunner/translatedpage.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pagerunner {

// Reads the scriptlet code of a generated servlet line by line, as the Java compiler
// would see it: matches braces (outside string and character literals and comments),
// finds counted loops and their closing lines, and "throw new" statements. Unbalanced
// braces become errors in the Java compiler's message form on the generated file.
class ScriptletAnalyzer {
public:
    static constexpr std::size_t noStatement = static_cast<std::size_t>(-1);

    struct Loop {
        std::size_t header = 0; // statement index of the "for" line
        std::size_t close = 0;  // statement index of the line with its closing brace
    };

    struct BraceError {
        int javaLine = 0;
        int javaColumn = 1; // 1-based, counted as the monitor counts columns
        std::string message;
        std::string javaLineText;
    };

    // A line of code: its statement (noStatement for class-level declarations), its Java
    // line number and text, and the offset of the code within that text.
    void feed(std::size_t statement, int javaLine, std::string_view javaLineText,
              std::size_t codeOffset);
    // Call after the last line: every brace still open is an error.
    void finish();

    std::size_t depth() const { return open_.size(); }
    const std::vector<Loop>& loops() const { return loops_; }
    const std::vector<BraceError>& errors() const { return errors_; }

    // Parses a loop header at the start of code, "for (int i = A; i < B; i++) {".
    static std::optional<CountedLoop> parseLoopHeader(std::string_view code);
    // "X: message" for code holding throw new X("message"), "X" without a message.
    static std::optional<std::string> parseThrow(std::string_view code);
    // The local variables code sets, in order: declarations with a value
    // ("String s = request.getParameter(\"user\");") and plain assignments ("n = n + 1;").
    static std::vector<Assignment> parseAssignments(std::string_view code);
    // The out.print, out.println and out.write calls in code, in order.
    static std::vector<PrintCall> parsePrints(std::string_view code);

    // The error report: "PATH:LINE: MESSAGE", the source line and a caret marker
    // line for each error, then a count, as the Java compiler writes them.
    static std::string javaCompilerMessage(const std::string& javaPath,
                                           const std::vector<BraceError>& errors);

private:
    struct OpenBrace {
        std::size_t statement;
        int javaLine;
        int javaColumn;
        std::string javaLineText;
        bool opensLoop;
    };

    std::vector<OpenBrace> open_;
    std::vector<Loop> loops_;
    std::vector<BraceError> errors_;
    bool inBlockComment_ = false;
};

} // namespace pagerunner
