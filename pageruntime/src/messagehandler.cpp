#include "tracehook/messagehandler.h"

#include "tracehook/jspresource.h"

#include <cstdio>
#include <mutex>

namespace tracehook {
namespace {

void writeToStandardError(const MessageHandler::Dialog& dialog) {
    std::string line = dialog.title + ": " + dialog.message + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

std::mutex presenterMutex;
MessageHandler::Presenter& currentPresenter() {
    static MessageHandler::Presenter presenter = writeToStandardError;
    return presenter;
}

void present(MessageHandler::Dialog dialog) {
    MessageHandler::Presenter presenter;
    {
        std::lock_guard lock(presenterMutex);
        presenter = currentPresenter();
    }
    presenter(dialog);
}

} // namespace

void MessageHandler::showToolError(std::string_view message) {
    present({JspResource::getToolString("L-Error"), std::string(message),
             JspResource::getToolString("L-OK")});
}

void MessageHandler::showJSPError(std::string_view message) {
    present({JspResource::getJSPString("L-Error"), std::string(message),
             JspResource::getJSPString("L-OK")});
}

MessageHandler::Presenter MessageHandler::setPresenter(Presenter presenter) {
    std::lock_guard lock(presenterMutex);
    Presenter previous = std::move(currentPresenter());
    currentPresenter() = presenter ? std::move(presenter) : Presenter(writeToStandardError);
    return previous;
}

} // namespace tracehook
