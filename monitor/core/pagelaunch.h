#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tracewin {

// A page the user asked the monitor to start: which page runtime fits it and how it is
// told where the page is and where the monitor listens.
struct PageLaunchRequest {
    enum class Kind {
        JspFile,     // one JSP file, run by the stand-in test server
        WebappPage,  // a page of a webapp folder, run in a private Tomcat
        AttachTomcat // a Tomcat that runs with a debugger agent, attached to
    };
    Kind kind = Kind::JspFile;
    std::string page;                // the JSP file (JspFile, WebappPage)
    std::string webapp;              // the webapp folder (WebappPage; empty: the page's folder)
    std::string agent;               // HOST:PORT of the debugger agent (AttachTomcat)
    std::string url;                 // the request to send (AttachTomcat; empty: wait for requests)
    std::vector<std::string> params; // NAME=VALUE request parameters

    friend bool operator==(const PageLaunchRequest&, const PageLaunchRequest&) = default;
};

// The program and arguments that start a request's page runtime against the monitor's port.
struct PageLaunchCommand {
    std::string program; // file name of the runtime, found beside the monitor's program
    std::vector<std::string> arguments;
};

// The command for a request, or the reason it cannot be started ("No JSP file chosen.").
struct PageLaunchPlan {
    std::optional<PageLaunchCommand> command;
    std::string problem;
};
PageLaunchPlan planPageLaunch(const PageLaunchRequest& request, int monitorPort);

// The last request, kept in the monitor's install folder so that the next Open page offers
// it again. Written whole, so a crash never leaves half a file.
class PageLaunchSettings {
public:
    explicit PageLaunchSettings(std::string path) : path_(std::move(path)) {}
    // com/zet/kwo/jsp/ui/openPage.properties in the monitor's install folder.
    static PageLaunchSettings inProgramDir(const std::string& programDir);

    // The request saved last; an unreadable or missing file gives an empty JSP-file request.
    PageLaunchRequest load() const;
    // False (and a line on standard output) when the file cannot be written.
    bool save(const PageLaunchRequest& request) const;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace tracewin
