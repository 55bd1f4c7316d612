#pragma once

#include <string>
#include <string_view>

namespace tracehook {

// Lookup of user-visible texts in the two label bundles: the tool labels
// ("com.zet.kwo.jsp.debugger.JspToolLabel") and the execution labels
// ("com.zet.kwo.jsp.debugger.JspExeLabel"). A missing key or bundle prints a message on
// standard output and yields a single blank; nothing fails hard.
class JspResource {
public:
    static constexpr const char* toolBundleName = "com.zet.kwo.jsp.debugger.JspToolLabel";
    static constexpr const char* exeBundleName = "com.zet.kwo.jsp.debugger.JspExeLabel";
    static constexpr const char* bundleDirectory = "com/zet/kwo/jsp/debugger";

    // From the bundle on the class path, for the default locale.
    static std::string getToolString(std::string_view key);
    static std::string getJSPString(std::string_view key);

    // From the bundle's file below the test-environment root (fromServerRoot) or below the
    // working directory ("user.dir"): the localised file, else the unlocalised one.
    static std::string getToolString(std::string_view key, bool fromServerRoot);
    static std::string getJSPString(std::string_view key, bool fromServerRoot);

    // The common lookup behind the operations above.
    static std::string fromClassPath(std::string_view bundleName, std::string_view key);
    static std::string fromFile(std::string_view bundleName, std::string_view key,
                                bool fromServerRoot);
};

} // namespace tracehook
