#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tracehook {

// Error dialogs. The library has no user interface of its own: a presenter shows the
// dialog. The default presenter writes "title: message" to standard error; the monitor
// installs one that shows a modal dialog.
class MessageHandler {
public:
    struct Dialog {
        std::string title;
        std::string message;
        std::string buttonLabel;
    };
    using Presenter = std::function<void(const Dialog&)>;

    // Title "L-Error" and button "L-OK" from the tool labels.
    static void showToolError(std::string_view message);
    // The same with both texts from the execution labels.
    static void showJSPError(std::string_view message);

    // Installs a presenter; an empty one restores the default. Returns the previous one.
    static Presenter setPresenter(Presenter presenter);
};

} // namespace tracehook
