#pragma once

#include "pagerunner/jsptext.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pagerunner {

// A JSP span: start inclusive, end exclusive.
struct JspSpan {
    JspPosition start;
    JspPosition end;

    friend bool operator==(const JspSpan&, const JspSpan&) = default;
};

// The header of a counted loop, "for (int i = A; i < B; i++) {". The bounds are
// expressions, evaluated when the loop is entered.
struct CountedLoop {
    enum class Compare { Less, LessEqual, Greater, GreaterEqual };

    std::string variable;
    std::string from;
    std::string to;
    Compare compare = Compare::Less;
    std::int64_t step = 1;
};

// An out.print(expression) call in scriptlet code; println adds a line break.
struct PrintCall {
    std::string expression;
    bool newline = false;

    friend bool operator==(const PrintCall&, const PrintCall&) = default;
};

// A local variable set in scriptlet code: "int n = 2 * 3;" (type given) or "n = 4;".
struct Assignment {
    std::string type; // empty for an assignment to a variable declared before
    std::string name;
    std::string expression;

    friend bool operator==(const Assignment&, const Assignment&) = default;
};

// One line of the generated _jspService body, in the order the page runs them.
struct PageStatement {
    enum class Kind {
        Output,     // template text: text is the HTML written
        Expression, // text is the expression printed
        Code,       // scriptlet code as written
        Include,    // text is the page to include
    };

    Kind kind = Kind::Output;
    int javaLine = 0;
    // Mapped lines report their position before they run; unmapped ones (template text
    // that is only blanks and line breaks) run silently.
    bool reported = false;
    std::string text;
    // Code: the loop this line opens, and the index of the statement that closes it.
    std::optional<CountedLoop> loop;
    std::size_t loopClose = 0;
    // Code: the exception a "throw new X(...)" here ends the page with ("X: message").
    std::optional<std::string> thrown;
    // Code: what out.print(...), out.println(...) and out.write(...) calls here write.
    std::vector<PrintCall> prints;
    // Code: the local variables it sets, in order.
    std::vector<Assignment> assignments;
};

// One row of the source map, with the bytes of the JSP text it covers, for listings.
struct MappedLine {
    enum class Role { Template, Expression, Scriptlet, Declaration, Directive, Comment, Include };

    int javaLine = 0;
    JspSpan span;
    std::size_t jspBegin = 0; // byte offsets of the spanned JSP text
    std::size_t jspEnd = 0;
    Role role = Role::Template;
};

// What the page compiler makes of one JSP page.
struct TranslatedPage {
    std::string jspPath;
    std::string javaPath;
    std::string jspSource;              // the page as read
    std::vector<std::string> javaLines; // the generated servlet, line 1 first
    std::vector<MappedLine> mappedLines;
    std::vector<PageStatement> statements;
    // The page compiler's whole message when the page failed to compile: JSP errors
    // ("line,col: message") or Java errors on the generated file.
    std::optional<std::string> compileMessage;
    // False when translation stopped at a JSP error, so no Java file exists.
    bool javaGenerated = false;

    bool failed() const { return compileMessage.has_value(); }
    std::string javaSource() const;
};

} // namespace pagerunner
