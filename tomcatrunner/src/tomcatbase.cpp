#include "tomcatrunner/tomcatbase.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tomcatrunner {

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + file.string());
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

} // namespace

std::string TomcatBase::xmlAttribute(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string TomcatBase::serverXml(int httpPort) {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<!-- Written by tomcatrunner: a private server on loopback, without a shutdown port. -->
<Server port="-1" shutdown="SHUTDOWN">
  <Service name="Catalina">
    <Connector address="127.0.0.1" port=")" +
           std::to_string(httpPort) + R"(" protocol="HTTP/1.1"
               connectionTimeout="20000" maxParameterCount="1000"/>
    <Engine name="Catalina" defaultHost="localhost">
      <Host name="localhost" appBase="webapps" unpackWARs="false" autoDeploy="false"
            deployOnStartup="true"/>
    </Engine>
  </Service>
</Server>
)";
}

std::string TomcatBase::jasperWebXml(const std::string& skeletonWebXml) {
    const std::string anchor = "<servlet-class>org.apache.jasper.servlet.JspServlet</servlet-class>";
    const auto at = skeletonWebXml.find(anchor);
    if (at == std::string::npos) {
        throw std::runtime_error("the installed web.xml declares no JSP servlet");
    }
    // A source map and local variable tables in every class; each template chunk on a
    // Java line of its own; a page that failed is compiled again on every request, so
    // that its real error is reported rather than a missing class.
    std::string params;
    for (const auto& [name, value] :
         {std::pair{"suppressSmap", "false"}, {"classdebuginfo", "true"}, {"mappedfile", "true"},
          {"development", "true"}, {"modificationTestInterval", "0"},
          {"recompileOnFail", "true"}, {"keepgenerated", "true"}}) {
        params += std::string("\n        <init-param>\n            <param-name>") + name +
                  "</param-name>\n            <param-value>" + value +
                  "</param-value>\n        </init-param>";
    }
    std::string out = skeletonWebXml;
    out.insert(at + anchor.size(), params);
    return out;
}

void TomcatBase::prepare(const fs::path& base, const fs::path& catalinaHome, int httpPort,
                         const fs::path& webapp) {
    const fs::path skeleton = catalinaHome / "skel" / "conf";
    const fs::path conf = base / "conf";
    std::error_code ec;
    for (const char* dir : {"conf/Catalina/localhost", "logs", "webapps", "work", "temp"}) {
        fs::create_directories(base / dir, ec);
        if (ec) {
            throw std::runtime_error("cannot create " + (base / dir).string() + ": " +
                                     ec.message());
        }
    }
    for (const char* file : {"catalina.properties", "context.xml", "logging.properties"}) {
        writeFile(conf / file, readFile(skeleton / file));
    }
    writeFile(conf / "server.xml", serverXml(httpPort));
    writeFile(conf / "web.xml", jasperWebXml(readFile(skeleton / "web.xml")));
    writeFile(conf / "Catalina" / "localhost" / "ROOT.xml",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Context docBase=\"" +
                  xmlAttribute(fs::absolute(webapp).lexically_normal().string()) + "\"/>\n");
}

} // namespace tomcatrunner
