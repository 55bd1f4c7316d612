#include "core/states.h"

namespace tracewin {

std::string States::toString() const {
    return "States[currentState=" + std::to_string(getCurrentState()) + "]";
}

std::string ButtonStates::toString() const {
    auto flag = [](bool b) {
        return b ? "T" : "F";
    };
    std::string out =
        "ButtonStates[fileId=" + (fileIdInt ? std::to_string(*fileIdInt) : std::string("none")) +
        " ";
    out += flag(step);
    out += flag(run);
    out += flag(fastForward);
    out += flag(terminate);
    out += flag(prevErr);
    out += flag(nextErr);
    out += "]";
    return out;
}

} // namespace tracewin
