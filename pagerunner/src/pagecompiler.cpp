#include "pagerunner/pagecompiler.h"

#include "pagerunner/jsptranslator.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace pagerunner {
namespace {

std::string readWhole(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec))
        throw PageError("cannot read the page " + path + ": it is a folder");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw PageError("cannot read the page " + path + ": " + std::strerror(errno));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw PageError("cannot read the page " + path);
    return text;
}

// Written to a temporary file of this process and renamed over the old one, so that a
// reader (the monitor) never sees half a file, even with two runs on one work folder.
void writeWhole(const std::string& path, const std::string& text) {
    static std::atomic<unsigned> serial{0};
    const std::string temp =
        path + "." + std::to_string(::getpid()) + "-" + std::to_string(++serial) + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            const int err = errno;
            std::error_code ignored;
            fs::remove(temp, ignored);
            throw PageError("cannot write the generated file " + path + ": " + std::strerror(err));
        }
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        throw PageError("cannot write the generated file " + path + ": " + ec.message());
    }
}

} // namespace

PageCompiler::PageCompiler(std::string workDir) : workDir_(std::move(workDir)) {}

std::string PageCompiler::javaPathFor(const std::string& absoluteJspPath) {
    auto known = javaPaths_.find(absoluteJspPath);
    if (known != javaPaths_.end())
        return known->second;
    const std::string base = JspTranslator::className(absoluteJspPath);
    std::string name = base;
    for (int n = 2; takenNames_.count(name); ++n)
        name = base + std::to_string(n);
    takenNames_.insert(name);
    std::string path = (fs::absolute(workDir_) / (name + ".java")).lexically_normal().string();
    javaPaths_[absoluteJspPath] = path;
    return path;
}

CompiledPage PageCompiler::compile(const std::string& jspPath) {
    const std::string absolute = fs::absolute(jspPath).lexically_normal().string();
    std::string text = readWhole(absolute);
    const std::string javaPath = javaPathFor(absolute);
    // File names travel as record fields, which cannot hold the field separator.
    for (const std::string* name : {&absolute, &javaPath})
        if (name->find('&') != std::string::npos)
            throw PageError("the monitor cannot be told about " + *name +
                            ": its name holds an '&', which separates the fields of a record");

    CompiledPage compiled;
    compiled.page = JspTranslator::translate(absolute, javaPath, std::move(text));
    auto table = std::make_shared<tracehook::JspSourceTable>(absolute, javaPath);
    for (const MappedLine& row : compiled.page.mappedLines)
        table->add(row.javaLine, row.span.start.line, row.span.start.column, row.span.end.line,
                   row.span.end.column);
    compiled.sourceTable = table;

    if (compiled.page.javaGenerated) {
        std::error_code ec;
        fs::create_directories(workDir_, ec);
        if (ec)
            throw PageError("cannot create the work folder " + workDir_ + ": " + ec.message());
        writeWhole(javaPath, compiled.page.javaSource());
    }
    if (compiled.page.failed()) {
        compiled.compileErrors = std::make_unique<tracehook::JspDebugCompileErrHandler>(
            absolute, javaPath, compiled.page.compileMessage);
        compiled.compileErrors->saveSourceTbl(table);
    }
    return compiled;
}

} // namespace pagerunner
