#include "tracehook/applicationstatus.h"

#include "filetime.h"
#include "tracehook/atomicfile.h"
#include "tracehook/bringapptofrontevent.h"
#include "tracehook/properties.h"
#include "tracehook/tracer.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <unistd.h>

namespace tracehook {
namespace {

constexpr std::string_view kClassName = "tracehook::ApplicationStatus";

// Serialises the status-file writes and the liveness tests of the whole process.
std::mutex& fileLock() {
    static std::mutex lock;
    return lock;
}

std::string statusFileFor(std::string_view name) {
    // Only a dot of the last path component starts the extension.
    const std::size_t slash = name.rfind('/');
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash))
        name = name.substr(0, dot);
    return std::string(name) + ".properties";
}

// The file system's current time: the time stamp of a scratch file created next to path,
// or the system clock when none can be created there.
std::int64_t fileSystemNowNanos(const std::string& path) {
    std::filesystem::path dir = std::filesystem::path(path).parent_path();
    std::string scratch =
        (dir.empty() ? std::filesystem::path(".") : dir).string() + "/.appstatus-clock.XXXXXX";
    int fd = ::mkstemp(scratch.data());
    if (fd >= 0) {
        struct stat st {};
        const bool ok = ::fstat(fd, &st) == 0;
        ::close(fd);
        ::unlink(scratch.c_str());
        if (ok)
            return detail::toNanos(st.st_mtim);
    }
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return detail::toNanos(now);
}

bool isFresh(const std::string& path) {
    std::optional<std::int64_t> age = ApplicationStatus::getFileAge(path);
    return age && *age <= ApplicationStatus::TOUCH_FILE_INTERVAL;
}

// Writes the header and the keys; without bringToFront only the running key. Returns
// an empty text on success, else what failed.
std::string writeStatus(const std::string& path, bool running, std::optional<bool> bringToFront) {
    if (path.empty())
        return "no status file";
    Properties prop;
    prop.set(std::string(ApplicationStatus::isAppRunningProperty), running ? "true" : "false");
    if (bringToFront)
        prop.set(std::string(ApplicationStatus::isBringAppToFrontProperty),
                 *bringToFront ? "true" : "false");
    std::string text(ApplicationStatus::appStatusHeader);
    text += '\n';
    text += prop.toText();
    return AtomicFile::write(path, text);
}

enum class Round { Ended, Quiet, BringToFront };

// One round of the keep-alive loop: takes in what another program wrote, then rewrites
// the file. Checked under the file lock, so that a stopped loop never writes after the
// stop has written its final state.
template <class StillCurrent>
Round touchFile(ApplicationStatus& status, std::optional<detail::FileStamp>& lastWritten,
                StillCurrent stillCurrent) {
    const std::string& path = status.getStatusFilename();
    std::lock_guard lock(fileLock());
    if (!stillCurrent())
        return Round::Ended;
    bool bringToFront = false;
    if (detail::fileStamp(path) != lastWritten) {
        // Changed since this loop wrote it: a request, however long ago this round came.
        status.readOwnAppStatus(path);
        bringToFront = status.getIsBringAppToFront();
        status.setIsBringAppToFront(false);
    }
    std::string error = writeStatus(path, true, false);
    if (error.empty()) {
        lastWritten = detail::fileStamp(path);
    } else {
        ApplicationStatus::printFileWriteError(path);
        Tracer::trace(kClassName, "run", error);
    }
    return bringToFront ? Round::BringToFront : Round::Quiet;
}

} // namespace

ApplicationStatus::ApplicationStatus() : statusFilename(defaultStatusFilename) {}

ApplicationStatus::ApplicationStatus(std::string_view name) : statusFilename(statusFileFor(name)) {}

ApplicationStatus::~ApplicationStatus() {
    stopApp();
    setIsKeepFileAlive(false);
    collectThreads();
    // Only a listener that (wrongly) destroys its ApplicationStatus gets here with its own
    // thread still listed.
    std::lock_guard lock(threadsMutex_);
    for (std::thread& thread : threads_)
        thread.detach();
}

bool ApplicationStatus::startApp() {
    std::uint64_t mine = 0;
    {
        std::lock_guard lock(mutex_);
        if (currentStatus == APP_RUNNING)
            return true;
        // Claimed before anything is written, so that two starts never run two loops.
        currentStatus = APP_RUNNING;
        isKeepFileAlive = true;
        mine = ++generation;
    }
    collectThreads();
    if (!saveAppStatus(statusFilename, true, false)) {
        std::lock_guard lock(mutex_);
        if (generation == mine)
            currentStatus = APP_NOT_RUNNING;
        return false;
    }
    std::thread thread([this, mine] { run(mine); });
    std::lock_guard lock(threadsMutex_);
    threads_.push_back(std::move(thread));
    return true;
}

void ApplicationStatus::stopApp() {
    {
        std::lock_guard lock(mutex_);
        if (currentStatus != APP_RUNNING)
            return;
        currentStatus = APP_NOT_RUNNING;
        isKeepFileAlive = false;
        ++generation;
    }
    // Woken, not waited out: the loop ends at once.
    wake_.notify_all();
    collectThreads();
    std::lock_guard lock(fileLock());
    std::string error = writeStatus(statusFilename, false, std::nullopt);
    if (!error.empty()) {
        Tracer::printLine("Cannot write to the file \"" + statusFilename +
                          "\"the application exit state is not saved.");
        Tracer::trace(kClassName, "stopApp", error);
    }
}

void ApplicationStatus::collectThreads() {
    const std::thread::id self = std::this_thread::get_id();
    std::vector<std::thread> ended;
    {
        std::lock_guard lock(threadsMutex_);
        auto own = std::partition(threads_.begin(), threads_.end(),
                                  [self](const std::thread& t) { return t.get_id() == self; });
        std::move(own, threads_.end(), std::back_inserter(ended));
        threads_.erase(own, threads_.end());
    }
    // Joined outside the lock: a thread being joined may itself be stopping the loop
    // from a listener.
    for (std::thread& thread : ended)
        thread.join();
}

void ApplicationStatus::run(std::uint64_t mine) {
    std::optional<detail::FileStamp> lastWritten;
    auto stillCurrent = [this, mine] {
        return isCurrent(mine);
    };
    do {
        const Round round = touchFile(*this, lastWritten, stillCurrent);
        if (round == Round::Ended)
            return;
        if (round != Round::BringToFront)
            continue;
        try {
            fireAppStatusEvent(BringAppToFrontEvent(std::any(this)));
        } catch (const std::exception& e) {
            // A failing listener must not end the keep-alive loop.
            Tracer::printLine(std::string("Error: An application status listener failed: ") +
                              e.what());
        } catch (...) {
            Tracer::printLine("Error: An application status listener failed.");
        }
    } while (keepAliveWait(mine));
}

bool ApplicationStatus::isCurrent(std::uint64_t mine) const {
    std::lock_guard lock(mutex_);
    return isKeepFileAlive && generation == mine;
}

bool ApplicationStatus::keepAliveWait(std::uint64_t mine) {
    std::unique_lock lock(mutex_);
    auto ended = [&] {
        return !isKeepFileAlive || generation != mine;
    };
    wake_.wait_for(lock, std::chrono::milliseconds(TOUCH_FILE_INTERVAL), ended);
    return !ended();
}

bool ApplicationStatus::saveAppStatus(const std::string& name, bool running, bool bringToFront) {
    std::lock_guard lock(fileLock());
    std::string error = writeStatus(name, running, bringToFront);
    if (error.empty())
        return true;
    printFileWriteError(name);
    Tracer::trace(kClassName, "saveAppStatus", error);
    return false;
}

bool ApplicationStatus::sendBringAppToFront(const std::string& name) {
    return saveAppStatus(name, true, true);
}

bool ApplicationStatus::getIsAppRunning(const std::string& name) {
    constexpr int attempts = 3;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        {
            std::lock_guard lock(fileLock());
            if (!isFresh(name))
                return false;
            if (std::optional<Properties> prop = Properties::load(name)) {
                if (std::optional<std::string> running = prop->get(isAppRunningProperty))
                    return *running == "true";
                Tracer::trace(
                    kClassName, "getIsAppRunning",
                    "Cannot find the resource: isApplicationRunning\n\tfrom the resource file: " +
                        name);
            } else {
                Tracer::printLine("Cannot open the resource file: " + name);
            }
        }
        if (attempt < attempts)
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    return false;
}

std::optional<std::int64_t> ApplicationStatus::getFileAge(const std::string& file) {
    std::optional<detail::FileStamp> stamp = detail::fileStamp(file);
    if (!stamp)
        return std::nullopt;
    return (fileSystemNowNanos(file) - stamp->modifiedNanos) / 1'000'000;
}

void ApplicationStatus::printFileWriteError(std::string_view name) {
    Tracer::printLine("The file \"" + std::string(name) +
                      "\" cannot be written, the application status cannot be stored.");
}

void ApplicationStatus::readAppStatus(const std::string& file) {
    if (!isFresh(file))
        return;
    readOwnAppStatus(file);
}

void ApplicationStatus::readOwnAppStatus(const std::string& file) {
    std::optional<Properties> prop = Properties::load(file);
    if (!prop)
        return;
    std::lock_guard lock(mutex_);
    isAppRunning = prop->value(isAppRunningProperty) == "true";
    isBringAppToFront = prop->value(isBringAppToFrontProperty) == "true";
}

void ApplicationStatus::addEventListener(AppStatusEventListener* listener) {
    std::lock_guard lock(listenersMutex_);
    eventListenerList.push_back(listener);
}

void ApplicationStatus::removeEventListener(AppStatusEventListener* listener) {
    std::lock_guard lock(listenersMutex_);
    auto it = std::find(eventListenerList.begin(), eventListenerList.end(), listener);
    if (it != eventListenerList.end())
        eventListenerList.erase(it);
}

void ApplicationStatus::fireAppStatusEvent(const AppStatusEvent& event) {
    std::lock_guard lock(listenersMutex_);
    // A copy, so that a listener may add or remove listeners while being called.
    const std::vector<AppStatusEventListener*> listeners = eventListenerList;
    for (AppStatusEventListener* listener : listeners)
        listener->handleAppStatusEvent(event);
}

int ApplicationStatus::getCurrentStatus() const {
    std::lock_guard lock(mutex_);
    return currentStatus;
}

void ApplicationStatus::setCurrentStatus(int status) {
    std::lock_guard lock(mutex_);
    currentStatus = status;
}

bool ApplicationStatus::getIsAppRunning() const {
    std::lock_guard lock(mutex_);
    return isAppRunning;
}

void ApplicationStatus::setIsAppRunning(bool running) {
    std::lock_guard lock(mutex_);
    isAppRunning = running;
}

bool ApplicationStatus::getIsBringAppToFront() const {
    std::lock_guard lock(mutex_);
    return isBringAppToFront;
}

void ApplicationStatus::setIsBringAppToFront(bool bringToFront) {
    std::lock_guard lock(mutex_);
    isBringAppToFront = bringToFront;
}

bool ApplicationStatus::getIsKeepFileAlive() const {
    std::lock_guard lock(mutex_);
    return isKeepFileAlive;
}

void ApplicationStatus::setIsKeepFileAlive(bool keepAlive) {
    {
        std::lock_guard lock(mutex_);
        isKeepFileAlive = keepAlive;
    }
    wake_.notify_all();
}

} // namespace tracehook
