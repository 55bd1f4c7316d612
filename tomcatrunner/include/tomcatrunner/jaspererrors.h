#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tomcatrunner {

// What Jasper could not turn into a servlet.
enum class JasperErrorKind {
    Jsp,  // the page's JSP syntax, a directive, a tag library
    Java, // the Java compiler's, on code of the page
    El,   // an expression that does not parse
};

// A place in a file as Jasper names it.
struct JasperPlace {
    std::string file; // path in the webapp ("/dir/page.jsp"), or on disk for a generated servlet
    int line = 0;     // 1-based; 0 when Jasper gives none
    // Characters before the place on its line (0 = the line's start), counted as Jasper
    // counts them: one per character of the page as it decoded it (one per byte for a page
    // read as ISO-8859-1, Jasper's default; one per UTF-16 unit for UTF-8), a tab is one.
    std::optional<int> column;

    friend bool operator==(const JasperPlace&, const JasperPlace&) = default;
};

// One error of a page that failed to translate or compile.
struct JasperError {
    JasperErrorKind kind = JasperErrorKind::Jsp;
    // Where it is. file is empty when Jasper names no file (an EL error, a missing tag
    // library): the requested page is meant. line is 0 when Jasper gives no line; only
    // JSP errors have a column.
    std::string file;
    int line = 0;
    std::optional<int> column;
    // Readable text: unescaped, on one line, trimmed.
    std::string message;
    // For a JSP error in a statically included file: the include directives that led to
    // it, the requested page's first.
    std::vector<JasperPlace> includedFrom;
    // For a Java error in generated code that no JSP line produced (a page's imports):
    // the generated servlet on disk and its line; file is then empty and line 0.
    std::optional<JasperPlace> generated;

    friend bool operator==(const JasperError&, const JasperError&) = default;
};

// Reads a page's compile errors from Tomcat's answer to the request for it.
//
// It reads the response body rather than the log: the body answers our own request, so
// it is about the page asked for and complete when the response is; the log
// (logs/localhost.DATE.log) is shared by every request and thread, written by an
// asynchronous handler that may lag behind the response, rotated daily, and laid out as
// logging.properties says. Both hold the same text of Jasper's exception, the body
// HTML-escaped once more. The body is missing only where the webapp maps status 500 to
// an error page of its own.
//
// Reads Tomcat 10.1 with Jasper's English messages. Never throws for any input.
class JasperErrorReader {
public:
    // The errors in Tomcat's error page for a page that failed to translate or compile.
    // Empty for any other body: a page that ran, a page that compiled and then failed
    // (even when what failed was the compile of a page it includes at run time), a page
    // that does not exist (Tomcat answers 404: that is not a compile error), or a body
    // that is not Tomcat's error page.
    static std::vector<JasperError> fromErrorPage(std::string_view body);

    // The message of any Tomcat error page, unescaped ("JSP file [/x.jsp] not found"),
    // to say what happened when there is no compile error; nullopt when the body is not
    // one.
    static std::optional<std::string> errorPageMessage(std::string_view body);
};

// The page that was asked for and failed to compile.
struct FailedPage {
    int fileId = 0;
    std::filesystem::path webapp;  // the folder Tomcat serves at the root path
    std::filesystem::path jspFile; // the requested page on disk, inside webapp
    // The servlet Jasper generated for it, when it wrote one (it keeps the .java file of
    // a page whose Java does not compile).
    std::optional<std::filesystem::path> javaFile;
};

// The records that show a failed page and its errors in the monitor, as
// tracehook::JspDebugCompileErrHandler builds them for pages compiled by pagerunner: the
// "%M" record that opens the page, then the "%P" record of error i, sent for index i as
// the monitor walks the list with replies 22 (previous) and 23 (next).
struct CompileErrorRecords {
    std::string fileRecord;
    std::vector<std::string> errorRecords; // without the record terminator
};

// Places Jasper's errors in the JSP files that the monitor shows.
//
// The monitor shows one file per page: the requested page when an error is in it, else
// the file of the first error (an included file). Every error lands there at its place,
// in the monitor's columns (1-based, a tab two columns, one per UTF-16 unit): a JSP error
// at its line and column, a Java error on its whole JSP line, an error Jasper gives no
// place for (EL, tag library) on the first occurrence in the page of the text it quotes
// in brackets ("[${1 +}]"), else on line 1. An error in another file is put on the
// directive that includes it, else on line 1, and its message says where it is. EL errors
// go as JSP errors: the monitor knows no other kind of translation error. The "%M" record
// names the servlet only for Java errors; their Java line is 0 (Jasper turns compiler
// lines into JSP lines) unless Jasper names one of the servlet. Messages are made safe as
// record fields. No errors give no "%P" record: end the page with an abnormal exit, as
// pagerunner does with a compiler message it cannot read.
//
// Reads the JSP files involved (below page.webapp) to turn Jasper's columns into the
// monitor's; a file it cannot read keeps Jasper's numbers. Throws std::invalid_argument
// for a file name the records cannot carry (one holding "&", the field separator).
CompileErrorRecords buildCompileErrorRecords(const FailedPage& page,
                                             const std::vector<JasperError>& errors);

} // namespace tomcatrunner
