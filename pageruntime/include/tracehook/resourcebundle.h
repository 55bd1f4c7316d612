#pragma once

#include "tracehook/properties.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tracehook {

// A label bundle: the properties files of one base name, most specific locale first
// ("JspToolLabel_de_CH", "JspToolLabel_de", "JspToolLabel"); a key missing from a
// localised file is looked up in the less specific ones.
class ResourceBundle {
public:
    // Finds the files of a dotted base name ("com.zet.kwo.jsp.debugger.JspToolLabel")
    // on the class path. nullopt when not even the unlocalised file exists.
    static std::optional<ResourceBundle> fromClassPath(std::string_view baseName,
                                                       std::string_view locale);

    std::optional<std::string> get(std::string_view key) const;
    bool empty() const { return levels_.empty(); }

    // The process's locale ("de_CH"), from LC_ALL, LC_MESSAGES or LANG; "" for C/POSIX.
    // Tests override it.
    static std::string defaultLocale();
    static void setDefaultLocale(std::optional<std::string> locale);

    // Locale suffixes to try, most specific first: "de_CH" gives {"_de_CH", "_de", ""}.
    static std::vector<std::string> candidateSuffixes(std::string_view locale);

    void addLevel(Properties props) { levels_.push_back(std::move(props)); }

private:
    std::vector<Properties> levels_;
};

} // namespace tracehook
