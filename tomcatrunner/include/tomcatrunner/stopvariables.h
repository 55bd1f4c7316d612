#pragma once

#include "jdwp/debuggee.h"
#include "jdwp/pipeline.h"
#include "tomcatrunner/containerreader.h"
#include "tomcatrunner/valuedescriber.h"
#include "tomcatrunner/variablenode.h"
#include "tomcatrunner/vmobjects.h"
#include "tracehook/pagevariables.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tomcatrunner {

// What a JSP page holds where its request's thread stopped, read from Tomcat's and Jasper's
// objects without running anything in the server: the locals of the stopped method, named
// as the page's author wrote them; the request's parameters; the attributes of the page,
// request, session and application scopes; and the fields the page declares (<%! %>).
// Unless all are asked for, Jasper's and Tomcat's own are left out: Jasper's locals and
// the implicit objects, which Jasper also keeps in the page scope, and the attributes
// Tomcat keeps in the application scope.
// A scope whose objects are not as expected is left out. Each value is shown with what it
// holds one level down. One reader serves one request: what it keeps of the request's
// objects does not carry over to the next.
class StopVariables {
public:
    StopVariables(jdwp::Debuggee& vm, bool allVariables);

    // Where a request's thread stopped. `pageRun` tells one run of a page apart from
    // another (0: not known) and `pageClass` is that page's class: within one run, the
    // page class's methods share one page context, which is then read once.
    struct Stop {
        jdwp::ThreadId thread = 0;
        jdwp::Location at;
        std::uint64_t pageRun = 0;
        jdwp::ReferenceTypeId pageClass = 0;
    };

    // The entries of the variables record for the stop. Throws jdwp::DisconnectedError or
    // jdwp::TimeoutError when the VM goes away or does not answer.
    std::vector<tracehook::PageVariable> read(const Stop& stop);

    // The round trips and the commands of the last read.
    int lastRounds() const { return lastRounds_; }
    int lastCommands() const { return lastCommands_; }

private:
    struct Groups;

    // Reads the locals, and the page context unless `contextRun` (the page run it is kept
    // for, 0 for none) already knows it.
    void readFrame(jdwp::ThreadId thread, const jdwp::Frame& frame,
                   const jdwp::VariableTable* table, std::uint64_t contextRun, bool contextKnown,
                   Groups& groups);
    void readScopes(jdwp::ObjectId pageContext, Groups& groups);
    void readApplication(jdwp::ObjectId servletContext, Groups& groups);
    void unwrapRequest(jdwp::ObjectId request, int hops, Groups& groups);
    void readRequest(jdwp::ObjectId request, Groups& groups);
    void readParameters(jdwp::ObjectId coyoteRequest, bool parsed, VariableNode& group);
    void readParametersFromMap(jdwp::ObjectId map, VariableNode& group);
    void readParameterValues(jdwp::ObjectId list, VariableNode& node);
    void readParametersFromQuery(jdwp::ObjectId queryBytes, VariableNode& group);
    // The entries of an attribute map; those `containers` calls the container's are left
    // out unless all are asked for.
    void readAttributes(jdwp::ObjectId map, VariableNode& group,
                        bool (*containers)(std::string_view));
    void readPageFields(jdwp::ObjectId page, VariableNode& group);
    bool shownLocal(const jdwp::Variable& v) const;

    bool allVariables_;
    jdwp::Pipeline pipeline_;
    VmObjects objects_;
    ContainerReader containers_;
    ValueDescriber describer_;
    // Variable tables by class and method; nullopt when the class has none.
    std::map<std::pair<jdwp::ReferenceTypeId, jdwp::MethodId>, std::optional<jdwp::VariableTable>>
        tables_;
    // The page context of each page run, once read.
    std::map<std::uint64_t, jdwp::ObjectId> pageContexts_;
    int lastRounds_ = 0;
    int lastCommands_ = 0;
};

} // namespace tomcatrunner
