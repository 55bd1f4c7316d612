#pragma once

#include "jdwp/debuggee.h"
#include "jdwp/sourcemap.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tomcatrunner {

// Where a breakpoint the runner set sits: the first line of a page's _jspService (a page
// starts running) or of another method of a page class (a tag's body, a fragment).
struct EntryPoint {
    enum class Kind { PageService, PageMethod };
    Kind kind = Kind::PageService;
    jdwp::ReferenceTypeId typeId = 0;
};

// A class Jasper generated for a page or a tag file, or its $Helper, as the VM holds it: its
// source map, its methods' line tables (read when first needed) and the generated Java
// source when it can be read.
class PageClass {
public:
    PageClass(jdwp::ReferenceTypeId typeId, std::string className, jdwp::SourceMap map,
              std::filesystem::path javaFile);
    // Where the generated Java source is, once it is known.
    void setJavaFile(std::filesystem::path javaFile);

    jdwp::ReferenceTypeId typeId() const { return typeId_; }
    // Dotted, "org.apache.jsp.index_jsp" or "org.apache.jsp.index_jsp$Helper".
    const std::string& className() const { return className_; }
    const jdwp::SourceMap& sourceMap() const { return map_; }
    // The JSP file or tag file the class was generated from, among the files of its map
    // (which may list a prelude first); the map's first file when none is named for it.
    std::optional<jdwp::SourceFile> pageFile() const;
    const std::filesystem::path& javaFile() const { return javaFile_; }
    // The generated Java source, line 1 first; empty when it cannot be read.
    const std::vector<std::string>& javaLines() const;
    // The Java line of a code index in a method, from its line table.
    std::optional<int> javaLine(jdwp::Debuggee& vm, jdwp::MethodId method,
                                std::uint64_t index) const;
    // Whether the Java source holds `text` (read from the generated file).
    bool javaSourceContains(std::string_view text) const;
    // Whether the page names an error page (<%@ page errorPage %>): an exception that
    // reaches its service method's end is then handled by the page, which forwards to it.
    bool hasErrorPage() const;

private:
    std::optional<jdwp::SourceFile> findPageFile() const;
    bool namesErrorPage() const;

    jdwp::ReferenceTypeId typeId_;
    std::string className_;
    jdwp::SourceMap map_;
    std::filesystem::path javaFile_;
    mutable std::optional<std::vector<std::string>> javaLines_;
    // Asked each time the class's page is entered: found once.
    mutable std::optional<std::optional<jdwp::SourceFile>> pageFile_;
    mutable std::optional<bool> hasErrorPage_;
    mutable std::map<jdwp::MethodId, jdwp::LineTable> lineTables_;
};

// The page classes loaded in the VM. While armed (a request is being debugged), each has
// breakpoints at the start of its methods, so that the thread of a request is caught when
// it enters a page, a tag method or a fragment, and classes prepared meanwhile are caught
// before they run. Disarmed, nothing of it stops a thread: a server between two debugged
// requests serves as if no debugger were there.
class PageClasses {
public:
    // `generatedRoot` is the folder of Jasper's generated sources for the webapp
    // (work/Catalina/localhost/ROOT below a managed Tomcat's base); empty when unknown.
    PageClasses(jdwp::Debuggee& vm, std::filesystem::path generatedRoot);
    ~PageClasses();
    PageClasses(const PageClasses&) = delete;
    PageClasses& operator=(const PageClasses&) = delete;

    // Takes the page classes loaded now, asks for ClassPrepare events of new ones
    // (suspending the preparing thread) and sets the entry breakpoints.
    void arm();
    // Clears every request arm() made. Threads already stopped by them are the caller's
    // to resume.
    void disarm();
    bool armed() const { return prepareRequest_ != 0; }
    // Takes a class that was prepared; false when it is not a page class.
    bool prepared(const jdwp::ClassPrepareEvent& event);

    const PageClass* find(jdwp::ReferenceTypeId typeId) const;
    // The folder of Jasper's generated sources, once known (a server the runner attached to).
    void setGeneratedRoot(const std::filesystem::path& root);
    const std::filesystem::path& generatedRoot() const { return generatedRoot_; }
    // The page class whose service method or other method a breakpoint request stands for.
    std::optional<EntryPoint> entryPoint(jdwp::RequestId request) const;
    bool isClassPrepareRequest(jdwp::RequestId request) const { return request == prepareRequest_; }

private:
    // Where a method of a page class starts, to stop there.
    struct MethodStart {
        jdwp::Location location;
        EntryPoint entry;
    };

    void add(jdwp::ReferenceTypeId typeId, const std::string& signature);
    void setBreakpoints(const std::vector<MethodStart>& starts);
    std::filesystem::path javaFileOf(const std::string& className) const;

    jdwp::Debuggee& vm_;
    std::filesystem::path generatedRoot_;
    jdwp::RequestId prepareRequest_ = 0;
    std::map<jdwp::ReferenceTypeId, std::unique_ptr<PageClass>> classes_;
    std::map<jdwp::ReferenceTypeId, std::vector<MethodStart>> starts_;
    std::map<jdwp::RequestId, EntryPoint> entries_; // while armed
};

// "org.apache.jsp.index_jsp" for "Lorg/apache/jsp/index_jsp;".
std::string classNameOfSignature(std::string_view signature);

} // namespace tomcatrunner
