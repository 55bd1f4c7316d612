#pragma once

#include "pagerunner/jspparser.h"
#include "pagerunner/jsptext.h"
#include "pagerunner/translatedpage.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tomcatrunner {

// Tells which part of a JSP line a line of Jasper's generated servlet came from. In its
// mapped mode Jasper writes each piece of template text of a JSP line, each expression
// and each EL expression on a Java line of its own, so the Java statement names the
// piece: out.write("...") a template chunk, out.print(...) a <%= %> expression, an
// evaluate("${...}") call an EL expression. Anything else (scriptlet code, tags) is the
// part of its element on that line, or the whole line.
class SpanFinder {
public:
    explicit SpanFinder(std::string jspText);

    // The span of JSP line `jspLine` (1-based) that Java statement `javaStatement` ran.
    pagerunner::JspSpan find(std::string_view javaStatement, int jspLine) const;
    int lineCount() const { return static_cast<int>(text_.lines().size()); }

    // The text a Java string or char literal stands for ("a\"b\n" gives a"b and a line
    // break); nullopt when the text is not one literal.
    static std::optional<std::string> unescapeJavaLiteral(std::string_view literal);

private:
    pagerunner::JspSpan wholeLine(int jspLine) const;
    std::optional<pagerunner::JspSpan> textOnLine(std::string_view text, int jspLine) const;
    std::optional<pagerunner::JspSpan> expressionOnLine(std::string_view expression,
                                                        int jspLine) const;
    std::optional<pagerunner::JspSpan> elementPartOnLine(int jspLine) const;

    pagerunner::JspText text_;
    std::vector<pagerunner::JspElement> elements_;
};

} // namespace tomcatrunner
