#include "tracehook/jspresource.h"

#include "tracehook/jspdebugdynamicpathfactory.h"
#include "tracehook/resourcebundle.h"
#include "tracehook/systemproperties.h"
#include "tracehook/tracer.h"

namespace tracehook {
namespace {

std::string simpleName(std::string_view bundleName) {
    std::size_t dot = bundleName.find_last_of('.');
    return std::string(dot == std::string_view::npos ? bundleName : bundleName.substr(dot + 1));
}

} // namespace

std::string JspResource::fromClassPath(std::string_view bundleName, std::string_view key) {
    std::optional<ResourceBundle> bundle =
        ResourceBundle::fromClassPath(bundleName, ResourceBundle::defaultLocale());
    if (bundle) {
        if (std::optional<std::string> text = bundle->get(key))
            return *text;
    }
    Tracer::printLine("Cannot find the resource: " + std::string(key) +
                      "\n\tfrom the resource file: " + std::string(bundleName));
    return " ";
}

std::string JspResource::fromFile(std::string_view bundleName, std::string_view key,
                                  bool fromServerRoot) {
    std::optional<std::string> base = fromServerRoot
                                          ? JspDebugDynamicPathFactory::getHarbeckFullPath()
                                          : SystemProperties::get("user.dir");
    const std::string dir = base.value_or(".") + "/" + bundleDirectory + "/";
    const std::string name = simpleName(bundleName);
    std::optional<Properties> props;
    std::string path;
    for (const std::string& suffix :
         ResourceBundle::candidateSuffixes(ResourceBundle::defaultLocale())) {
        path = dir + name + suffix + ".properties";
        props = Properties::load(path);
        if (props)
            break;
    }
    if (!props) {
        Tracer::printLine("Cannot open the resource file: " + path);
        return " ";
    }
    if (std::optional<std::string> text = props->get(key))
        return *text;
    Tracer::printLine("Cannot find the resource: " + std::string(key) +
                      "\n\tfrom the resource file: " + path);
    return " ";
}

std::string JspResource::getToolString(std::string_view key) {
    return fromClassPath(toolBundleName, key);
}
std::string JspResource::getJSPString(std::string_view key) {
    return fromClassPath(exeBundleName, key);
}
std::string JspResource::getToolString(std::string_view key, bool fromServerRoot) {
    return fromFile(toolBundleName, key, fromServerRoot);
}
std::string JspResource::getJSPString(std::string_view key, bool fromServerRoot) {
    return fromFile(exeBundleName, key, fromServerRoot);
}

} // namespace tracehook
