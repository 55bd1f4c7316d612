#pragma once

#include <filesystem>
#include <string>

namespace tomcatrunner {

// A private CATALINA_BASE: the configuration of one Tomcat that serves one webapp on
// loopback only, with no shutdown port and no auto-deploy, and with Jasper set up for
// debugging (source maps, local variable tables, one Java line per template chunk, and the
// real compile error on every request of a page that fails).
class TomcatBase {
public:
    // Writes the tree below `base`: conf/ (server.xml and web.xml of our own making, the
    // rest from the installed skeleton), logs/, webapps/, work/, temp/, and the context
    // file that serves `webapp` at the root path. Throws std::runtime_error when the
    // skeleton cannot be read or the tree cannot be written.
    static void prepare(const std::filesystem::path& base,
                        const std::filesystem::path& catalinaHome, int httpPort,
                        const std::filesystem::path& webapp);

    // The server.xml: one connector on 127.0.0.1:httpPort, no shutdown port.
    static std::string serverXml(int httpPort);
    // The skeleton's web.xml with the debugging settings added to Jasper's servlet.
    static std::string jasperWebXml(const std::string& skeletonWebXml);
    // Escapes a text for an XML attribute value.
    static std::string xmlAttribute(const std::string& text);
};

} // namespace tomcatrunner
