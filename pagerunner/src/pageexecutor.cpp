#include "pagerunner/pageexecutor.h"

#include "pagerunner/htmlsplitter.h"
#include "pagerunner/monitorconnection.h"
#include "pagerunner/stopsignal.h"
#include "tracehook/compileerrorcodes.h"
#include "tracehook/decimal.h"
#include "tracehook/jspsourceinfo.h"
#include "tracehook/pageruntimerecords.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace pagerunner {
namespace {

using tracehook::CompileErrorCodes;
using tracehook::JspSourceInfo;
using tracehook::MonitorReplies;
using tracehook::PageRuntimeRecords;
using Reply = MonitorReplies::Reply;

// The body of a "%S" record for a page that has reported no line yet.
constexpr const char* noPosition = "0&0&0&0&0";
// A text for the last field of a record: "%%%END" could run into the terminator and
// end the record early, so it gets a blank inside.
std::string lastFieldText(std::string text) {
    for (std::size_t at = text.find("%%%END"); at != std::string::npos;
         at = text.find("%%%END", at + 4))
        text.insert(at + 3, " ");
    return text;
}

} // namespace

PageExecutor::PageExecutor(const CompiledPage& page, MonitorConnection& connection,
                           RequestContext& request, int fileId)
    : page_(page), request_(request), fileId_(fileId), fileIdText_(std::to_string(fileId)),
      position_(request.position(fileId)),
      evaluator_(
          [this](std::string_view name) -> std::optional<std::int64_t> {
              for (auto it = frames_.rbegin(); it != frames_.rend(); ++it)
                  if (it->loop->variable == name)
                      return it->value;
              for (const Local& local : locals_)
                  if (local.name == name && local.value && local.value->isNumber)
                      return local.value->number;
              return std::nullopt;
          },
          request.params()),
      session_(connection, fileId,
               {[this](int id, std::int32_t line, std::int32_t action) {
                    request_.setBreakpoint(id, line, action);
                },
                [this](const std::string& id) { return switchRecord(id); },
                [this] {
                    if (request_.stop().stopped())
                        throw ConnectionError(ConnectionError::Kind::Stopped,
                                              "the run was stopped");
                }}) {
    position_.sourceTable = page.sourceTable;
    position_.javaLine = 0;
}

PageResult PageExecutor::run() {
    try {
        if (page_.page.failed()) {
            walkCompileErrors();
            return {PageResult::Kind::CompileFailed, {}};
        }
        std::optional<std::string> fileRecord = page_.sourceTable->getFileInfoStr(fileId_, false);
        exchange(*fileRecord); // both file names are always set
        walk();
        flushHtml();
        session_.endWith(PageRuntimeRecords::clientExit());
        return {PageResult::Kind::Ended, {}};
    } catch (const MonitorClosed&) {
        return {page_.page.failed() ? PageResult::Kind::CompileFailed
                                    : PageResult::Kind::MonitorClosed,
                {}};
    } catch (const PageAbort& abort) {
        try {
            flushHtml();
            std::optional<tracehook::JspLineSourceInfo> at =
                page_.sourceTable->getJspLineSourceInfo(abort.javaLine);
            const std::string message = lastFieldText(abort.message);
            session_.endWith(at ? PageRuntimeRecords::abnormalExit(fileIdText_, *at, message)
                                : PageRuntimeRecords::abnormalExitFreeForm(
                                      PageRuntimeRecords::safeField(message)));
        } catch (const MonitorClosed&) {
            return {PageResult::Kind::MonitorClosed, {}};
        }
        return {PageResult::Kind::Abnormal, abort.message};
    }
}

void PageExecutor::walk() {
    const std::vector<PageStatement>& statements = page_.page.statements;
    std::size_t pc = 0;
    while (pc < statements.size()) {
        const PageStatement& st = statements[pc];
        if (st.reported)
            reportLine(st.javaLine);
        switch (st.kind) {
        case PageStatement::Kind::Output:
            html_ += st.text;
            break;
        case PageStatement::Kind::Expression:
            html_ += evaluator_.print(st.text);
            break;
        case PageStatement::Kind::Code:
            for (const Assignment& assignment : st.assignments)
                assign(assignment);
            for (const PrintCall& call : st.prints) {
                html_ += evaluator_.print(call.expression);
                if (call.newline)
                    html_ += '\n';
            }
            if (st.thrown)
                throw PageAbort{st.javaLine, *st.thrown};
            if (st.loop && !enterLoop(pc, st)) {
                const std::size_t close = frames_.back().close;
                frames_.pop_back();
                if (st.reported)
                    flushHtml();
                pc = after(close);
                continue;
            }
            break;
        case PageStatement::Kind::Include:
            flushHtml();
            runInclude(st);
            break;
        }
        if (st.reported)
            flushHtml();
        pc = after(pc);
    }
}

// At a loop header: enters the loop, or counts the next pass when the run came back to
// it. False when the loop is done; its frame is then still on top.
bool PageExecutor::enterLoop(std::size_t index, const PageStatement& st) {
    if (frames_.empty() || frames_.back().header != index) {
        std::optional<std::int64_t> from = evaluator_.evaluateInteger(st.loop->from);
        std::optional<std::int64_t> bound = evaluator_.evaluateInteger(st.loop->to);
        if (!from || !bound)
            return true; // bounds unknown here: the body runs once, as plain code
        frames_.push_back({index, st.loopClose, &*st.loop, *from, *bound});
    }
    return loopContinues(frames_.back());
}

bool PageExecutor::loopContinues(const LoopFrame& f) const {
    switch (f.loop->compare) {
    case CountedLoop::Compare::Less:
        return f.value < f.bound;
    case CountedLoop::Compare::LessEqual:
        return f.value <= f.bound;
    case CountedLoop::Compare::Greater:
        return f.value > f.bound;
    case CountedLoop::Compare::GreaterEqual:
        return f.value >= f.bound;
    }
    return false;
}

// The statement that runs after index: back to the loop header when index closes the
// innermost loop, else the next one.
std::size_t PageExecutor::after(std::size_t index) {
    if (!frames_.empty() && frames_.back().close == index) {
        LoopFrame& f = frames_.back();
        f.value += f.loop->step;
        return f.header;
    }
    return index + 1;
}

void PageExecutor::reportLine(std::int32_t javaLine) {
    std::optional<std::string> record = page_.sourceTable->getLineInfoStr(fileId_, javaLine);
    if (!record)
        return;
    position_.javaLine = javaLine;
    page_.sourceTable->line(javaLine); // the trace hook, silent unless tracing is on
    if (request_.variablesWanted())
        exchange(tracehook::PageVariables::record(fileIdText_, variables()));
    exchange(*record);
}

void PageExecutor::assign(const Assignment& assignment) {
    Local local{assignment.name, assignment.type, evaluator_.evaluate(assignment.expression),
                assignment.expression};
    for (Local& known : locals_) {
        if (known.name != assignment.name)
            continue;
        if (local.type.empty())
            local.type = known.type;
        known = std::move(local);
        return;
    }
    locals_.push_back(std::move(local));
}

std::vector<tracehook::PageVariable> PageExecutor::variables() const {
    using tracehook::PageVariable;
    using tracehook::PageVariables;
    std::vector<PageVariable> out;
    std::vector<PageVariable> locals;
    auto known = [&locals](const std::string& name) {
        for (const PageVariable& v : locals)
            if (v.name == name)
                return true;
        return false;
    };
    // Innermost loop first: it hides an outer variable of the same name.
    for (auto it = frames_.rbegin(); it != frames_.rend(); ++it)
        if (!known(it->loop->variable))
            locals.push_back({1, it->loop->variable, "int", std::to_string(it->value)});
    for (const Local& local : locals_) {
        if (known(local.name))
            continue;
        std::string type = local.type;
        std::string value = "[" + local.expression + "]"; // not worked out here
        if (local.value && local.value->isNumber) {
            value = std::to_string(local.value->number);
            if (type.empty())
                type = "int";
        } else if (local.value) {
            value = PageVariables::quoted(local.value->text);
            if (type.empty())
                type = "java.lang.String";
        }
        bool cut = false;
        value = PageVariables::cutValue(std::move(value), &cut);
        locals.push_back({1, local.name, type, std::move(value), cut});
    }
    if (!locals.empty()) {
        out.push_back({0, PageVariables::localsGroup, "", "", false, true});
        out.insert(out.end(), locals.begin(), locals.end());
    }
    if (!request_.params().empty()) {
        out.push_back({0, PageVariables::parametersGroup, "", "", false, true});
        for (const auto& [name, value] : request_.params()) {
            bool cut = false;
            std::string shown = PageVariables::cutValue(PageVariables::quoted(value), &cut);
            out.push_back({1, name, "java.lang.String", std::move(shown), cut});
        }
    }
    return out;
}

void PageExecutor::flushHtml() {
    if (html_.empty())
        return;
    const std::string html = std::move(html_);
    html_.clear();
    for (std::string_view piece : HtmlSplitter::split(html))
        exchange(PageRuntimeRecords::html(fileIdText_, piece));
}

// "%S" F and the position of page F: this page's current line, or where another page of
// the request stopped, or no position.
std::string PageExecutor::switchRecord(const std::string& fileIdText) const {
    std::optional<std::string> body;
    if (std::optional<int> id = tracehook::parseDecimalInt32(fileIdText)) {
        if (const RequestContext::PagePosition* p = request_.findPosition(*id);
            p && p->sourceTable && p->javaLine != 0)
            body = p->sourceTable->getResumeHighlightInfoStr(*id, p->javaLine);
    }
    return PageRuntimeRecords::positioned(JspSourceInfo::switchFileToken, fileIdText,
                                          body.value_or(noPosition));
}

void PageExecutor::walkCompileErrors() {
    const tracehook::JspDebugCompileErrHandler& errors = *page_.compileErrors;
    std::optional<std::string> fileRecord = errors.getFileInfoStr(fileId_);
    const int maxIndex = errors.getComErrInfoLstMaxIndex();
    int index = -1;
    Reply reply = exchange(*fileRecord);
    while (true) {
        std::optional<std::string> record;
        if (maxIndex >= 0) {
            const int code = reply.code.value_or(CompileErrorCodes::NOT_ERR);
            if (code == CompileErrorCodes::NEXT_ERR)
                index = std::min(index + 1, maxIndex);
            else if (code == CompileErrorCodes::PREV_ERR)
                index = std::max(index - 1, 0);
            else
                index = std::max(index, 0);
            record = errors.getLineInfoStr(fileId_, index);
        }
        if (!record) { // nothing readable in the compiler's message: end the page with it
            const std::string message = page_.page.compileMessage.value_or("");
            session_.endWith(PageRuntimeRecords::abnormalExitFreeForm(
                PageRuntimeRecords::safeField(lastFieldText(
                    "The page could not be compiled: " + message.substr(0, message.find('\n'))))));
            throw MonitorClosed{};
        }
        reply = exchange(*record);
    }
}

std::string PageExecutor::resolveInclude(const std::string& target) const {
    namespace fs = std::filesystem;
    fs::path base = target.starts_with("/") ? fs::path(request_.rootDir())
                                            : fs::path(page_.page.jspPath).parent_path();
    return (base / fs::path(target).relative_path()).lexically_normal().string();
}

void PageExecutor::runInclude(const PageStatement& st) {
    if (request_.depth() + 1 >= RequestContext::maxIncludeDepth)
        throw PageAbort{st.javaLine, "Includes nested more than " +
                                         std::to_string(RequestContext::maxIncludeDepth) +
                                         " pages deep at " + st.text};
    CompiledPage included;
    try {
        included = request_.compiler().compile(resolveInclude(st.text));
    } catch (const PageError& e) {
        throw PageAbort{st.javaLine, std::string("Cannot include ") + st.text + ": " + e.what()};
    }
    PageResult result;
    {
        MonitorConnection connection(request_.port(), request_.stop());
        request_.enter();
        struct Leave {
            RequestContext& r;
            ~Leave() { r.leave(); }
        } leave{request_};
        result = PageExecutor(included, connection, request_, request_.newFileId()).run();
    }
    if (result.kind == PageResult::Kind::Abnormal)
        throw PageAbort{st.javaLine, result.message};
    if (result.kind == PageResult::Kind::CompileFailed)
        throw PageAbort{st.javaLine, "The included page " + st.text + " could not be compiled"};

    // Back in this page: tell the monitor where it stands.
    session_.drainUnsolicited();
    exchange(switchRecord(fileIdText_));
}

} // namespace pagerunner
