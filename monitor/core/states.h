#pragma once

#include <atomic>
#include <optional>
#include <string>

namespace tracewin {

// The execution state: what the monitor last asked the page runtime to do. The debugging
// session holds the monitor's one instance.
class States {
public:
    static constexpr int STEP = 0;
    static constexpr int RUN = 1;
    static constexpr int TERMINATE = 2;
    static constexpr int EXIT = 2;
    static constexpr int PREV_ERR = 4;
    static constexpr int NEXT_ERR = 5;

    int getCurrentState() const { return currentState.load(std::memory_order_relaxed); }
    // Any integer is stored as it is.
    void setCurrentState(int state) { currentState.store(state, std::memory_order_relaxed); }

    std::string toString() const;

private:
    std::atomic<int> currentState{STEP};
};

// Which of the six execution commands are enabled, for one page (file id) or live.
struct ButtonStates {
    ButtonStates() = default;
    ButtonStates(bool step_, bool run_, bool fastForward_, bool terminate_, bool prevErr_,
                 bool nextErr_)
        : step(step_), run(run_), fastForward(fastForward_), terminate(terminate_),
          prevErr(prevErr_), nextErr(nextErr_) {}
    ButtonStates(std::optional<int> fileId, bool step_, bool run_, bool fastForward_,
                 bool terminate_, bool prevErr_, bool nextErr_)
        : fileIdInt(fileId), step(step_), run(run_), fastForward(fastForward_),
          terminate(terminate_), prevErr(prevErr_), nextErr(nextErr_) {}

    std::optional<int> fileIdInt;
    bool step = false;
    bool run = false;
    bool fastForward = false;
    bool terminate = false;
    bool prevErr = false;
    bool nextErr = false;

    // Equal flags, whatever the file id.
    bool sameFlags(const ButtonStates& other) const {
        return step == other.step && run == other.run && fastForward == other.fastForward &&
               terminate == other.terminate && prevErr == other.prevErr && nextErr == other.nextErr;
    }
    std::string toString() const;
};

} // namespace tracewin
