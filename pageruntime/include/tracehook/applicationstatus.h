#pragma once

#include "tracehook/appstatusevent.h"
#include "tracehook/appstatuseventlistener.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tracehook {

// A status file through which a running program tells others that it is alive, and
// through which another program can ask it to come to the front.
//
// While running (startApp to stopApp) a keep-alive thread rewrites the file every
// TOUCH_FILE_INTERVAL ms with "isApplicationRunning=true"; a file older than that means
// the program is gone. Another program sets "isBringAppToFrontProperty=true"
// (sendBringAppToFront); the keep-alive thread notices the foreign write on its next
// round, clears the flag and fires a BringAppToFrontEvent.
//
// Each object has its own file, keep-alive thread and listeners. The events it raises
// reach its listeners on its keep-alive thread (a std::thread), not on the thread that
// started it. A listener may call stopApp; it must not destroy the object. A listener
// removed by removeEventListener is not called again once that call returns. Writes
// replace the file whole (a temporary file renamed over it) and, like the liveness test,
// are serialised within the process. A relative file name is taken relative to the
// working directory, so programs started from different folders should pass an absolute
// path.
class ApplicationStatus {
public:
    static constexpr std::string_view defaultStatusFilename = "applicationStatus.properties";
    static constexpr std::string_view isAppRunningProperty = "isApplicationRunning";
    static constexpr std::string_view isBringAppToFrontProperty = "isBringAppToFrontProperty";
    static constexpr std::string_view appStatusHeader = "# Application status properties.";
    static constexpr std::int64_t TOUCH_FILE_INTERVAL = 4000;
    static constexpr int APP_NOT_RUNNING = 0;
    static constexpr int APP_RUNNING = 1;

    // The file "applicationStatus.properties".
    ApplicationStatus();
    // The file name is name without its extension, followed by ".properties":
    // "monitor.exe" and "monitor" both give "monitor.properties".
    explicit ApplicationStatus(std::string_view name);
    // Stops the keep-alive thread as stopApp() does.
    ~ApplicationStatus();
    ApplicationStatus(const ApplicationStatus&) = delete;
    ApplicationStatus& operator=(const ApplicationStatus&) = delete;

    const std::string& getStatusFilename() const { return statusFilename; }

    // Writes the file (running, no bring-to-front request) and starts the keep-alive
    // thread. False, with a message on standard output, when the file cannot be written.
    // True at once when already running.
    bool startApp();
    // Ends the keep-alive thread at once (it is woken, not waited out) and writes the file
    // with "isApplicationRunning=false" and no bring-to-front key. Does nothing when not
    // running.
    void stopApp();

    // Writes the status file with both keys. False, with a message on standard output,
    // when it cannot be written (an empty name names no file).
    static bool saveAppStatus(const std::string& name, bool running, bool bringToFront);
    // Asks the program that keeps the named file to come to the front.
    static bool sendBringAppToFront(const std::string& name);
    // True when the named file exists, is at most TOUCH_FILE_INTERVAL ms old and says
    // "isApplicationRunning=true". An unreadable file is tried 3 times, 300 ms apart.
    static bool getIsAppRunning(const std::string& name);
    // The file's age in ms against the file system's own clock, read from a scratch file
    // created and removed beside it (so a file on another machine's file system is judged
    // by that machine's time); the system clock where no scratch file can be made. nullopt
    // for a missing file.
    static std::optional<std::int64_t> getFileAge(const std::string& file);
    static void printFileWriteError(std::string_view name);

    // When the file is fresh, takes both values from it; otherwise keeps the last ones.
    void readAppStatus(const std::string& file);
    // Takes both values from the file however old it is: the keep-alive loop reads its own
    // file, which a request may have rewritten just after the loop's last round.
    void readOwnAppStatus(const std::string& file);

    void addEventListener(AppStatusEventListener* listener);
    // Removes the first registration of listener.
    void removeEventListener(AppStatusEventListener* listener);
    // Calls every listener in registration order, on the calling thread.
    void fireAppStatusEvent(const AppStatusEvent& event);

    int getCurrentStatus() const;
    void setCurrentStatus(int status);
    // The values last read from the file.
    bool getIsAppRunning() const;
    void setIsAppRunning(bool running);
    bool getIsBringAppToFront() const;
    void setIsBringAppToFront(bool bringToFront);
    // False ends the keep-alive loop at its next check, which comes at once.
    bool getIsKeepFileAlive() const;
    void setIsKeepFileAlive(bool keepAlive);

private:
    void run(std::uint64_t generation);
    // Whether the keep-alive thread of that generation is still to run.
    bool isCurrent(std::uint64_t generation) const;
    // Waits one interval; false when this thread's loop is to end.
    bool keepAliveWait(std::uint64_t generation);
    // Joins every ended keep-alive thread except the calling one.
    void collectThreads();

    const std::string statusFilename;

    mutable std::mutex mutex_; // guards the fields below
    std::condition_variable wake_;
    int currentStatus = APP_NOT_RUNNING;
    bool isKeepFileAlive = true;
    bool isAppRunning = false;
    bool isBringAppToFront = false;
    std::uint64_t generation = 0; // of the current keep-alive thread; a stale one ends

    std::recursive_mutex listenersMutex_; // held while delivering, so removal waits for it
    std::vector<AppStatusEventListener*> eventListenerList;

    // The keep-alive thread, and ones told to end but not yet joined (one that was
    // stopped from its own listener cannot join itself).
    std::mutex threadsMutex_;
    std::vector<std::thread> threads_;
};

} // namespace tracehook
