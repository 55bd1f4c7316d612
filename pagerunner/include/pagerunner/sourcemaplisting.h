#pragma once

#include "pagerunner/translatedpage.h"

#include <optional>
#include <string>
#include <vector>

namespace pagerunner {

// A readable listing of a page's source map, one row per mapped Java line:
//   JAVA_LINE <tab> START_LINE:START_COL-END_LINE:END_COL <tab> ROLE <tab> JSP TEXT
// The JSP text is the text the span covers, with backslash, tab, CR and LF written as
// \\, \t, \r and \n so that each row stays on one line. Lines starting with "#" are
// comments. read() gives the rows back.
class SourceMapListing {
public:
    struct Row {
        int javaLine = 0;
        JspSpan span;
        std::string role;
        std::string jspText;
    };

    static std::string write(const TranslatedPage& page);
    // Rows of a listing; nullopt when a row cannot be read.
    static std::optional<std::vector<Row>> read(const std::string& listing);

    static const char* roleName(MappedLine::Role role);
    // The path of the listing beside the generated Java file: ".java" becomes ".map".
    static std::string pathFor(const std::string& javaPath);
};

} // namespace pagerunner
