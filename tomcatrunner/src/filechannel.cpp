#include "tomcatrunner/filechannel.h"

namespace tomcatrunner {

FileChannel::FileChannel(std::unique_ptr<pagerunner::MonitorConnection> connectionValue,
                         int fileId, pagerunner::MonitorSession::Hooks hooks, std::string jspPath,
                         std::string javaPath, std::string jspText)
    : connection(std::move(connectionValue)), session(*connection, fileId, std::move(hooks)),
      table(std::make_shared<tracehook::JspSourceTable>(std::move(jspPath), std::move(javaPath))),
      spans(std::move(jspText)) {}

} // namespace tomcatrunner
