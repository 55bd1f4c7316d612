#pragma once

#include "tracehook/resourcebundle.h"

#include <optional>
#include <string>
#include <string_view>

namespace tracehook {

// The monitor's label lookup: both bundles are loaded once, when the object is made, and
// the same four operations as JspResource answer from them.
class JspMonitorResource {
public:
    JspMonitorResource();

    std::string getToolString(std::string_view key) const;
    std::string getJSPString(std::string_view key) const;
    std::string getToolString(std::string_view key, bool fromServerRoot) const;
    std::string getJSPString(std::string_view key, bool fromServerRoot) const;

private:
    std::optional<ResourceBundle> jspExeResourceBundle;
    std::optional<ResourceBundle> jspToolResourceBundle;
};

} // namespace tracehook
