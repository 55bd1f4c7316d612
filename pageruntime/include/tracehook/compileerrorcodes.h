#pragma once

namespace tracehook {

// The codes of compile-error records and of the monitor's error-walk replies.
struct CompileErrorCodes {
    // Error kind.
    static constexpr int UNKNOWN_ERR = 1;
    static constexpr int JSP_ERR = 2;
    static constexpr int JAVA_ERR = 3;
    // Where an error stands in the list of a page's errors.
    static constexpr int NORMAL_ERR = 11;
    static constexpr int FIRST_ERR = 12;
    static constexpr int LAST_ERR = 13;
    static constexpr int FIRST_AND_LAST_ERR = 14;
    // Error navigation sent with a resume reply.
    static constexpr int NOT_ERR = 21;
    static constexpr int PREV_ERR = 22;
    static constexpr int NEXT_ERR = 23;
};

} // namespace tracehook
