#include "pagerunner/sourcemaplisting.h"

#include <cstdio>
#include <sstream>

namespace pagerunner {
namespace {

std::string escape(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string unescape(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
    }
    return out;
}

} // namespace

const char* SourceMapListing::roleName(MappedLine::Role role) {
    switch (role) {
    case MappedLine::Role::Template:
        return "template";
    case MappedLine::Role::Expression:
        return "expression";
    case MappedLine::Role::Scriptlet:
        return "scriptlet";
    case MappedLine::Role::Declaration:
        return "declaration";
    case MappedLine::Role::Directive:
        return "directive";
    case MappedLine::Role::Comment:
        return "comment";
    case MappedLine::Role::Include:
        return "include";
    }
    return "?";
}

std::string SourceMapListing::pathFor(const std::string& javaPath) {
    const std::string suffix = ".java";
    if (javaPath.size() > suffix.size() &&
        javaPath.compare(javaPath.size() - suffix.size(), suffix.size(), suffix) == 0)
        return javaPath.substr(0, javaPath.size() - suffix.size()) + ".map";
    return javaPath + ".map";
}

std::string SourceMapListing::write(const TranslatedPage& page) {
    std::string out = "# Source map of " + page.jspPath + "\n# Java file " + page.javaPath +
                      "\n# java line, JSP span (start inclusive, end exclusive), role, JSP text\n";
    for (const MappedLine& row : page.mappedLines) {
        char span[96];
        std::snprintf(span, sizeof span, "%d:%d-%d:%d", row.span.start.line, row.span.start.column,
                      row.span.end.line, row.span.end.column);
        out +=
            std::to_string(row.javaLine) + "\t" + span + "\t" + roleName(row.role) + "\t" +
            escape(
                std::string_view(page.jspSource).substr(row.jspBegin, row.jspEnd - row.jspBegin)) +
            "\n";
    }
    return out;
}

std::optional<std::vector<SourceMapListing::Row>>
SourceMapListing::read(const std::string& listing) {
    std::vector<Row> rows;
    std::istringstream in(listing);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t t1 = line.find('\t');
        const std::size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
        const std::size_t t3 = t2 == std::string::npos ? t2 : line.find('\t', t2 + 1);
        if (t3 == std::string::npos)
            return std::nullopt;
        Row row;
        char tail = 0;
        if (std::sscanf(line.c_str(), "%d", &row.javaLine) != 1 ||
            std::sscanf(line.substr(t1 + 1, t2 - t1 - 1).c_str(), "%d:%d-%d:%d%c",
                        &row.span.start.line, &row.span.start.column, &row.span.end.line,
                        &row.span.end.column, &tail) != 4)
            return std::nullopt;
        row.role = line.substr(t2 + 1, t3 - t2 - 1);
        row.jspText = unescape(std::string_view(line).substr(t3 + 1));
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace pagerunner
