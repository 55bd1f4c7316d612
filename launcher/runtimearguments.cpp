#include "runtimearguments.h"

#include <algorithm>
#include <string_view>

namespace tracewin {

namespace {

constexpr std::string_view FLAG_PREFIX = "-J";

bool isRuntimeFlag(std::string_view argument) {
    return argument.starts_with(FLAG_PREFIX);
}

} // namespace

std::optional<RuntimeArguments> RuntimeArguments::fromCommandLine(int argc,
                                                                  const char* const* argv) {
    std::vector<std::string_view> flags;
    std::vector<std::string_view> others;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (isRuntimeFlag(argument)) {
            flags.push_back(argument.substr(FLAG_PREFIX.size()));
        } else {
            others.push_back(argument);
        }
    }
    if (others.empty()) {
        return std::nullopt;
    }

    std::vector<std::string> texts;
    texts.reserve(flags.size() + others.size() + 2);
    texts.emplace_back(PROGRAM_NAME);
    texts.insert(texts.end(), flags.begin(), flags.end());
    texts.emplace_back(MAIN_CLASS);
    texts.insert(texts.end(), others.begin(), others.end());
    // The runtime is given a block of (argument count + 4) entries, null after the last.
    return RuntimeArguments(std::move(texts), static_cast<std::size_t>(argc) + 4);
}

RuntimeArguments::RuntimeArguments(std::vector<std::string> texts, std::size_t blockSize)
    : texts_(std::move(texts)), pointers_(std::max(blockSize, texts_.size() + 1), nullptr) {
    for (std::size_t i = 0; i < texts_.size(); ++i) {
        pointers_[i] = texts_[i].data();
    }
}

} // namespace tracewin
