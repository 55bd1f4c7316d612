#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace tomcatrunner {

// The commands that manage the server kept for a work folder rather than run a page:
// --stop-server, and --keep-server, the keeper's own mode (it logs to `err`). nullopt for
// any other command line: runCommandLine runs it, and reports one it cannot read. Apart
// from runCommandLine, because the keeper handles its signals itself.
std::optional<int> runServerCommand(const std::vector<std::string>& args, std::ostream& out,
                                    std::ostream& err);

} // namespace tomcatrunner
