#pragma once

#include "pagerunner/translatedpage.h"
#include "tracehook/jspdebugcompileerrhandler.h"
#include "tracehook/jspsourcetable.h"

#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>

namespace pagerunner {

// A page that cannot be read, or whose generated file cannot be written.
class PageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A translated page with what the page runtime reports from: its source map and, for a
// page that failed to compile, the compile error handler holding its errors.
struct CompiledPage {
    TranslatedPage page;
    std::shared_ptr<const tracehook::JspSourceTable> sourceTable;
    std::unique_ptr<tracehook::JspDebugCompileErrHandler> compileErrors;
};

// Reads JSP pages, translates them and writes each generated servlet into the work
// folder, under a name of its own for every page of one request.
class PageCompiler {
public:
    explicit PageCompiler(std::string workDir);

    // Throws PageError when the page cannot be read or the work folder not written.
    CompiledPage compile(const std::string& jspPath);

    // The generated file for a page: "<class name>.java" in the work folder, with a
    // number added when another page of this compiler already took the name.
    std::string javaPathFor(const std::string& absoluteJspPath);

    const std::string& workDir() const { return workDir_; }

private:
    std::string workDir_;
    std::map<std::string, std::string> javaPaths_; // absolute JSP path -> Java path
    std::set<std::string> takenNames_;
};

} // namespace pagerunner
