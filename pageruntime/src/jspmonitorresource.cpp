#include "tracehook/jspmonitorresource.h"

#include "tracehook/jspresource.h"
#include "tracehook/tracer.h"

namespace tracehook {
namespace {
std::string lookup(const std::optional<ResourceBundle>& bundle, const char* bundleName,
                   std::string_view key) {
    if (bundle) {
        if (std::optional<std::string> text = bundle->get(key))
            return *text;
    }
    Tracer::printLine("Cannot find the resource: " + std::string(key) +
                      "\n\tfrom the resource file: " + bundleName);
    return " ";
}
} // namespace

JspMonitorResource::JspMonitorResource()
    : jspExeResourceBundle(ResourceBundle::fromClassPath(JspResource::exeBundleName,
                                                         ResourceBundle::defaultLocale())),
      jspToolResourceBundle(ResourceBundle::fromClassPath(JspResource::toolBundleName,
                                                          ResourceBundle::defaultLocale())) {}

std::string JspMonitorResource::getToolString(std::string_view key) const {
    return lookup(jspToolResourceBundle, JspResource::toolBundleName, key);
}
std::string JspMonitorResource::getJSPString(std::string_view key) const {
    return lookup(jspExeResourceBundle, JspResource::exeBundleName, key);
}
std::string JspMonitorResource::getToolString(std::string_view key, bool fromServerRoot) const {
    return JspResource::getToolString(key, fromServerRoot);
}
std::string JspMonitorResource::getJSPString(std::string_view key, bool fromServerRoot) const {
    return JspResource::getJSPString(key, fromServerRoot);
}

} // namespace tracehook
