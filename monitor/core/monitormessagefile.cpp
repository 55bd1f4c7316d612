#include "core/monitormessagefile.h"

#include "tracehook/resourcebundle.h"
#include "tracehook/tracer.h"

#include <filesystem>
#include <fstream>
#include <mutex>

namespace tracewin {
namespace {
std::mutex sharedMutex;
std::string& sharedBase() {
    static std::string base;
    return base;
}
} // namespace

MonitorMessageFile::MonitorMessageFile(const std::string& baseName) {
    tracehook::Tracer::trace("MonitorMessageFile", "", "MonitorMsgFilename is: " + baseName);
    initMsgInfo(baseName);
}

void MonitorMessageFile::setSharedBase(std::string baseName) {
    std::lock_guard lock(sharedMutex);
    sharedBase() = std::move(baseName);
}

MonitorMessageFile& MonitorMessageFile::createMonitorMessageFile() {
    static MonitorMessageFile shared([] {
        std::lock_guard lock(sharedMutex);
        return sharedBase();
    }());
    return shared;
}

bool MonitorMessageFile::initMsgInfo(const std::string& baseName) {
    msgLst.clear();
    std::string fileName = baseName + ".properties";
    const std::string locale = tracehook::ResourceBundle::defaultLocale();
    if (!locale.empty()) {
        std::error_code ec;
        std::string localised = baseName + "_" + locale + ".properties";
        if (std::filesystem::is_regular_file(localised, ec))
            fileName = localised;
    }
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        tracehook::Tracer::printLine("Error: Cannot read the file \"" + fileName +
                                     "\".\n\tCannot get offset info of this file");
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::size_t eq = line.find(strAssignToken);
        if (eq == std::string::npos)
            continue;
        msgLst.insert_or_assign(line.substr(0, eq), line.substr(eq + 1));
    }
    return true;
}

std::optional<std::string> MonitorMessageFile::getMsgStr(std::string_view id) const {
    auto it = msgLst.find(id);
    if (it == msgLst.end())
        return std::nullopt;
    return it->second;
}

std::string MonitorMessageFile::getMsgStr(std::string_view id,
                                          const std::vector<std::string>& args) const {
    std::optional<std::string> templ = getMsgStr(id);
    return templ ? format(*templ, args) : std::string();
}

std::string MonitorMessageFile::format(std::string_view templ,
                                       const std::vector<std::string>& args) {
    std::string out;
    out.reserve(templ.size());
    for (std::size_t i = 0; i < templ.size(); ++i) {
        char c = templ[i];
        if (c != '%') {
            out += c;
            continue;
        }
        const bool digitFollows =
            i + 1 < templ.size() && templ[i + 1] >= '1' && templ[i + 1] <= '9';
        if (!digitFollows) {
            out += c;
            continue;
        }
        std::size_t n = static_cast<std::size_t>(templ[i + 1] - '0');
        if (n <= args.size())
            out += args[n - 1];
        else
            out.append(templ.substr(i, 2));
        ++i;
    }
    return out;
}

} // namespace tracewin
