#pragma once

#include "pagerunner/translatedpage.h"

#include <string>

namespace pagerunner {

// The page compiler: turns the text of a JSP page into a generated Java servlet whose
// mapped lines start with the instrumentation call "vlmAgent.line(N);" (N is the Java
// line itself), the source map of those lines, and the statements the executor walks.
//
// Template text gives one out.write line per JSP line it touches (mapped unless it is
// only blanks), an expression one out.print line, scriptlet and declaration code one line
// per JSP line of code, a directive or comment a mapped Java comment line, and
// <jsp:include> (or an include directive) a pageContext.include line.
class JspTranslator {
public:
    // jspPath and javaPath name the files in the output; the text is the page itself.
    static TranslatedPage translate(const std::string& jspPath, const std::string& javaPath,
                                    std::string text);

    // The class name for a page file name: its stem with every character that cannot
    // stand in a Java name replaced by '_', then "_jsp".
    static std::string className(const std::string& jspPath);

    // A Java string literal body for text: quotes, backslashes and control characters
    // escaped, other bytes (UTF-8 text included) kept.
    static std::string javaStringBody(std::string_view text);

    // The page compiler's JSP error line: "line,col: message", or "line,col:\"message\""
    // when the message itself holds a colon.
    static std::string jspErrorLine(int line, int column, const std::string& message);
};

} // namespace pagerunner
