#pragma once

#include "pagerunner/jsptext.h"

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pagerunner {

// One piece of a JSP page: template text or one of the JSP elements.
struct JspElement {
    enum class Kind { Template, Expression, Scriptlet, Declaration, Directive, Comment, Include };

    Kind kind = Kind::Template;
    std::size_t begin = 0;     // offset of the first byte (the opening delimiter)
    std::size_t end = 0;       // offset just past the closing delimiter
    std::size_t bodyBegin = 0; // the text between the delimiters
    std::size_t bodyEnd = 0;
    std::string name;                              // Directive: "page", "include", ...
    std::map<std::string, std::string> attributes; // Directive and Include
};

// A translation error in the page compiler's JSP form: a position and a message.
struct JspSyntaxError {
    JspPosition at;
    std::string message;
};

// Cuts a JSP page into template text and elements: <%= %>, <% %>, <%! %>, <%@ %>,
// <%-- --%> and <jsp:include page="..."/>. The first element that is not closed ends the
// page with an error, since everything after it belongs to it.
class JspParser {
public:
    struct Result {
        std::vector<JspElement> elements;
        std::optional<JspSyntaxError> error;
    };

    static Result parse(const JspText& text);
};

} // namespace pagerunner
