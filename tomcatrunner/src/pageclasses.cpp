#include "tomcatrunner/pageclasses.h"

#include "jdwp/error.h"
#include "jdwp/jaspernames.h"

#include <fstream>

namespace tomcatrunner {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view PagePackage = "Lorg/apache/jsp/";

bool isPageMethod(std::string_view name) {
    // Tag bodies and fragments run in methods of their own; the rest of a page class
    // (_jspInit, getDependants, ...) is Jasper's.
    return name == "_jspService" || name == "doTag" || name.starts_with("_jspx_meth_") ||
           name.starts_with("invoke");
}

} // namespace

std::string classNameOfSignature(std::string_view signature) {
    if (signature.size() >= 2 && signature.front() == 'L' && signature.back() == ';') {
        signature = signature.substr(1, signature.size() - 2);
    }
    std::string name(signature);
    for (char& c : name) {
        if (c == '/') {
            c = '.';
        }
    }
    return name;
}

PageClass::PageClass(jdwp::ReferenceTypeId typeId, std::string className, jdwp::SourceMap map,
                     fs::path javaFile)
    : typeId_(typeId), className_(std::move(className)), map_(std::move(map)),
      javaFile_(std::move(javaFile)) {}

std::optional<jdwp::SourceFile> PageClass::pageFile() const {
    if (!pageFile_) {
        pageFile_ = findPageFile();
    }
    return *pageFile_;
}

std::optional<jdwp::SourceFile> PageClass::findPageFile() const {
    const auto files = map_.files();
    if (files.empty()) {
        return std::nullopt;
    }
    // A fragment's $Helper belongs to the page of its outer class.
    const std::string outer = className_.substr(0, className_.find('$'));
    for (const jdwp::SourceFile& file : files) {
        try {
            const std::string path = file.path.starts_with('/') ? file.path : "/" + file.path;
            if (jdwp::JasperNames(path).className() == outer) {
                return file;
            }
        } catch (const jdwp::Error&) {
            // A path Jasper names no class after.
        }
    }
    return files.front();
}

void PageClass::setJavaFile(fs::path javaFile) {
    javaFile_ = std::move(javaFile);
    javaLines_.reset();
    hasErrorPage_.reset();
}

const std::vector<std::string>& PageClass::javaLines() const {
    if (!javaLines_) {
        javaLines_.emplace();
        std::ifstream in(javaFile_);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            javaLines_->push_back(std::move(line));
        }
    }
    return *javaLines_;
}

bool PageClass::javaSourceContains(std::string_view text) const {
    for (const std::string& line : javaLines()) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

bool PageClass::hasErrorPage() const {
    if (!hasErrorPage_) {
        hasErrorPage_ = namesErrorPage();
    }
    return *hasErrorPage_;
}

bool PageClass::namesErrorPage() const {
    // Jasper passes the error page's URL, or null, on the line after getPageContext(.
    const auto& lines = javaLines();
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].find("_jspxFactory.getPageContext(") != std::string::npos) {
            const std::string& next = lines[i + 1];
            const std::size_t first = next.find_first_not_of(" \t");
            return first != std::string::npos && next[first] == '"';
        }
    }
    return false;
}

std::optional<int> PageClass::javaLine(jdwp::Debuggee& vm, jdwp::MethodId method,
                                       std::uint64_t index) const {
    auto it = lineTables_.find(method);
    if (it == lineTables_.end()) {
        it = lineTables_.emplace(method, vm.method.lineTable(typeId_, method)).first;
    }
    // The entry with the greatest start index not after the index holds it.
    std::optional<int> line;
    std::uint64_t best = 0;
    for (const jdwp::LineTableEntry& e : it->second.lines) {
        if (e.lineCodeIndex <= index && (!line || e.lineCodeIndex >= best)) {
            best = e.lineCodeIndex;
            line = e.lineNumber;
        }
    }
    return line;
}

PageClasses::PageClasses(jdwp::Debuggee& vm, fs::path generatedRoot)
    : vm_(vm), generatedRoot_(std::move(generatedRoot)) {}

PageClasses::~PageClasses() {
    try {
        disarm();
    } catch (const jdwp::Error&) {
        // The VM is gone, and its requests with it.
    }
}

void PageClasses::arm() {
    if (armed()) {
        return;
    }
    // The request first, so that no class prepared during the scan is missed.
    prepareRequest_ =
        vm_.eventRequest.set(jdwp::EventRequest::classPrepare().classMatch("org.apache.jsp.*"));
    for (const jdwp::ClassInfo& c : vm_.vm.allClasses()) {
        if (c.signature.starts_with(PagePackage) &&
            (c.status & jdwp::ClassStatusPrepared) != 0) {
            add(c.typeId, c.signature);
        }
    }
    for (const auto& [type, starts] : starts_) {
        setBreakpoints(starts);
    }
}

void PageClasses::disarm() {
    if (!armed()) {
        return;
    }
    const jdwp::RequestId prepare = prepareRequest_;
    prepareRequest_ = 0;
    auto entries = std::move(entries_);
    entries_.clear();
    vm_.eventRequest.clear(jdwp::EventKind::ClassPrepare, prepare);
    for (const auto& [request, entry] : entries) {
        vm_.eventRequest.clear(jdwp::EventKind::Breakpoint, request);
    }
}

void PageClasses::setBreakpoints(const std::vector<MethodStart>& starts) {
    for (const MethodStart& start : starts) {
        entries_[vm_.eventRequest.set(jdwp::EventRequest::breakpoint(start.location))] =
            start.entry;
    }
}

bool PageClasses::prepared(const jdwp::ClassPrepareEvent& event) {
    if (!event.signature.starts_with(PagePackage)) {
        return false;
    }
    const bool known = classes_.count(event.typeId) != 0;
    add(event.typeId, event.signature);
    if (!known && armed() && starts_.count(event.typeId) != 0) {
        setBreakpoints(starts_[event.typeId]);
    }
    return classes_.count(event.typeId) != 0;
}

fs::path PageClasses::javaFileOf(const std::string& className) const {
    std::string outer = className.substr(0, className.find('$'));
    for (char& c : outer) {
        if (c == '.') {
            c = '/';
        }
    }
    return generatedRoot_.empty() ? fs::path() : generatedRoot_ / (outer + ".java");
}

void PageClasses::add(jdwp::ReferenceTypeId typeId, const std::string& signature) {
    if (classes_.count(typeId) != 0) {
        return;
    }
    std::string smap;
    try {
        smap = vm_.referenceType.sourceDebugExtension(typeId);
    } catch (const jdwp::VmError&) {
        return; // no source map: not a class the runner can show
    }
    std::optional<jdwp::SourceMap> map;
    try {
        map = jdwp::SourceMap::parse(smap);
    } catch (const jdwp::SourceMapError&) {
        return;
    }
    const std::string name = classNameOfSignature(signature);
    auto page = std::make_unique<PageClass>(typeId, name, std::move(*map), javaFileOf(name));
    std::vector<MethodStart> starts;
    for (const jdwp::MethodInfo& m : vm_.referenceType.methods(typeId)) {
        if (!isPageMethod(m.name)) {
            continue;
        }
        const jdwp::LineTable table = vm_.method.lineTable(typeId, m.methodId);
        if (table.lines.empty() || table.start < 0) {
            continue;
        }
        const jdwp::Location at{jdwp::TypeTag::Class, typeId, m.methodId,
                                static_cast<std::uint64_t>(table.start)};
        const bool service = m.name == "_jspService" || m.name == "doTag";
        starts.push_back(MethodStart{
            at, EntryPoint{service ? EntryPoint::Kind::PageService : EntryPoint::Kind::PageMethod,
                           typeId}});
    }
    starts_.emplace(typeId, std::move(starts));
    classes_.emplace(typeId, std::move(page));
}

void PageClasses::setGeneratedRoot(const fs::path& root) {
    if (root == generatedRoot_) {
        return;
    }
    generatedRoot_ = root;
    for (auto& [type, page] : classes_) {
        page->setJavaFile(javaFileOf(page->className()));
    }
}

const PageClass* PageClasses::find(jdwp::ReferenceTypeId typeId) const {
    const auto it = classes_.find(typeId);
    return it == classes_.end() ? nullptr : it->second.get();
}

std::optional<EntryPoint> PageClasses::entryPoint(jdwp::RequestId request) const {
    const auto it = entries_.find(request);
    if (it == entries_.end()) {
        return std::nullopt;
    }
    return it->second;
}

} // namespace tomcatrunner
