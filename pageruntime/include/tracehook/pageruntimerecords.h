#pragma once

#include "tracehook/jsplinesourceinfo.h"

#include <optional>
#include <string>
#include <string_view>

namespace tracehook {

// Builders of the records a page runtime sends that no source table or compile-error
// handler builds. Like those, they return the record without its terminator; framed()
// appends it.
class PageRuntimeRecords {
public:
    // "%H" F "&" html. An empty html cannot be read back, so callers send none.
    static std::string html(std::string_view fileId, std::string_view html);
    // "%E".
    static std::string clientExit();
    // "%A" F "&" JL "&" SL "&" SP "&" EL "&" EP, then "&" message when one is given. The
    // message must not be empty; an "&" inside it survives, as it is the last field only
    // when it holds none, so it is replaced by U+FF06.
    static std::string abnormalExit(std::string_view fileId, const JspLineSourceInfo& at,
                                    std::optional<std::string_view> message);
    // "%A" text: an abnormal end without a position.
    static std::string abnormalExitFreeForm(std::string_view text);
    // "%C" text.
    static std::string comment(std::string_view text);
    // "%N".
    static std::string continueInfo();
    // token F "&" body, for "%R" and "%S" with the body of
    // JspSourceTable::getResumeHighlightInfoStr.
    static std::string positioned(std::string_view token, std::string_view fileId,
                                  std::string_view body);

    // The record followed by the terminator "%%%END%%%".
    static std::string framed(std::string_view record);

    // A text made safe as a record field: "&" replaced by U+FF06, an empty text as " ".
    static std::string safeField(std::string_view text);
};

} // namespace tracehook
