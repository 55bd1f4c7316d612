#include "tracehook/applicationstatus.h"
#include "tracehook/bringapptofrontevent.h"
#include "tracehook/eventidnames.h"

#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <vector>

using tracehook::ApplicationStatus;
using tracehook::AppStatusEvent;
using tracehook::AppStatusEventListener;
using tracehook::BringAppToFrontEvent;
using tracehook::EventIDNames;
using namespace std::chrono_literals;

namespace {

const std::string runningFile = "# Application status properties.\n"
                                "isApplicationRunning=true\n"
                                "isBringAppToFrontProperty=false\n";
const std::string stoppedFile = "# Application status properties.\n"
                                "isApplicationRunning=false\n";

class TempDir {
public:
    TempDir() {
        std::string pattern = testing::TempDir() + "/appstatus.XXXXXX";
        if (::mkdtemp(pattern.data()))
            path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path))
            names.push_back(entry.path().filename().string());
        return names;
    }
    std::string path;
};

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

timespec modifiedTime(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mtim;
}

ino_t inode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Sets path's modification time to that of reference minus ms milliseconds.
void makeOlderThan(const std::string& path, const std::string& reference, std::int64_t ms) {
    const timespec ref = modifiedTime(reference);
    std::int64_t ns =
        static_cast<std::int64_t>(ref.tv_sec) * 1'000'000'000 + ref.tv_nsec - ms * 1'000'000;
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    times[0].tv_nsec = times[1].tv_nsec = static_cast<long>(ns % 1'000'000'000);
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Records the events it is told, and on which thread.
class RecordingListener : public AppStatusEventListener {
public:
    void handleAppStatusEvent(const AppStatusEvent& event) override {
        {
            std::lock_guard lock(mutex);
            ids.push_back(event.getEventNameID());
            threads.push_back(std::this_thread::get_id());
            if (const auto* source = std::any_cast<ApplicationStatus*>(&event.getSource()))
                sources.push_back(*source);
            if (onEvent)
                onEvent();
        }
        changed.notify_all();
    }
    bool waitForEvents(std::size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return ids.size() >= count; });
    }
    std::size_t count() {
        std::lock_guard lock(mutex);
        return ids.size();
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> ids;
    std::vector<std::thread::id> threads;
    std::vector<ApplicationStatus*> sources;
    std::function<void()> onEvent;
};

template <class Predicate> bool waitUntil(Predicate done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// Waits until the keep-alive loop has had its first look at its file and rewritten it.
bool waitForFirstRound(const std::string& file) {
    const ino_t started = inode(file);
    return waitUntil([&] { return inode(file) != started; }, 60s);
}

} // namespace

TEST(ApplicationStatus, FileNameDropsTheExtension) {
    EXPECT_EQ(ApplicationStatus("monitor.exe").getStatusFilename(), "monitor.properties");
    EXPECT_EQ(ApplicationStatus("status").getStatusFilename(), "status.properties");
    EXPECT_EQ(ApplicationStatus("appStatus.properties").getStatusFilename(),
              "appStatus.properties");
    EXPECT_EQ(ApplicationStatus("/opt/tool.d/monitor.exe").getStatusFilename(),
              "/opt/tool.d/monitor.properties");
    // A dot in a folder name is not an extension.
    EXPECT_EQ(ApplicationStatus("/opt/tool.d/status").getStatusFilename(),
              "/opt/tool.d/status.properties");
    EXPECT_EQ(ApplicationStatus().getStatusFilename(), "applicationStatus.properties");
}

TEST(ApplicationStatus, RunningFileAndStoppedFile) {
    TempDir dir;
    ApplicationStatus status(dir.path + "/monitor.exe");
    const std::string file = dir.path + "/monitor.properties";
    EXPECT_EQ(status.getCurrentStatus(), ApplicationStatus::APP_NOT_RUNNING);
    EXPECT_FALSE(ApplicationStatus::getIsAppRunning(file));

    ASSERT_TRUE(status.startApp());
    EXPECT_TRUE(status.startApp()); // already running
    EXPECT_EQ(status.getCurrentStatus(), ApplicationStatus::APP_RUNNING);
    EXPECT_EQ(readAll(file), runningFile);
    EXPECT_TRUE(ApplicationStatus::getIsAppRunning(file));

    status.stopApp();
    EXPECT_EQ(status.getCurrentStatus(), ApplicationStatus::APP_NOT_RUNNING);
    EXPECT_EQ(readAll(file), stoppedFile);
    EXPECT_FALSE(ApplicationStatus::getIsAppRunning(file));
    status.stopApp(); // harmless when stopped
    EXPECT_EQ(readAll(file), stoppedFile);
    // No temporary or scratch file is left next to the status file.
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"monitor.properties"});

    // It can run again, and its destructor stops it.
    ASSERT_TRUE(status.startApp());
    EXPECT_TRUE(ApplicationStatus::getIsAppRunning(file));
}

TEST(ApplicationStatus, DestructorStopsTheApplication) {
    TempDir dir;
    const std::string file = dir.path + "/status.properties";
    {
        ApplicationStatus status(dir.path + "/status");
        ASSERT_TRUE(status.startApp());
    }
    EXPECT_EQ(readAll(file), stoppedFile);
}

// A loop that is told to stop never writes after the stop has written its final state.
TEST(ApplicationStatus, QuickRestartsAlwaysEndStopped) {
    TempDir dir;
    ApplicationStatus status(dir.path + "/status");
    for (int round = 0; round < 50; ++round) {
        ASSERT_TRUE(status.startApp());
        if (round % 2 == 0)
            std::this_thread::yield();
        status.stopApp();
        ASSERT_EQ(readAll(status.getStatusFilename()), stoppedFile) << round;
    }
}

TEST(ApplicationStatus, StaleFileReadsAsNotRunning) {
    TempDir dir;
    const std::string file = dir.path + "/status.properties";
    const std::string reference = dir.path + "/reference";
    ASSERT_TRUE(ApplicationStatus::saveAppStatus(file, true, false));
    std::ofstream(reference) << "now";

    makeOlderThan(file, reference, 4001);
    EXPECT_GE(ApplicationStatus::getFileAge(file).value_or(0), 4001);
    EXPECT_FALSE(ApplicationStatus::getIsAppRunning(file));
    ApplicationStatus reader(file);
    reader.readAppStatus(file);
    EXPECT_FALSE(reader.getIsAppRunning());

    makeOlderThan(file, reference, 2000);
    EXPECT_TRUE(ApplicationStatus::getIsAppRunning(file));
    reader.readAppStatus(file);
    EXPECT_TRUE(reader.getIsAppRunning());
    EXPECT_FALSE(reader.getIsBringAppToFront());
    // Measuring the age leaves nothing behind.
    EXPECT_EQ(dir.entries().size(), 2u);
}

TEST(ApplicationStatus, FreshFilesThatDoNotSayRunning) {
    TempDir dir;
    const std::string file = dir.path + "/status.properties";
    EXPECT_FALSE(ApplicationStatus::getFileAge(file));
    EXPECT_FALSE(ApplicationStatus::getIsAppRunning(file)); // missing

    ASSERT_TRUE(ApplicationStatus::saveAppStatus(file, false, true));
    EXPECT_FALSE(ApplicationStatus::getIsAppRunning(file));

    std::ofstream(file) << "isApplicationRunning=TRUE\n";
    EXPECT_FALSE(ApplicationStatus::getIsAppRunning(file));

    std::ofstream(file) << "garbage without the key\n\x01\x02";
    EXPECT_FALSE(ApplicationStatus::getIsAppRunning(file));
}

TEST(ApplicationStatus, ReadTakesBothValuesFromAFreshFile) {
    TempDir dir;
    const std::string file = dir.path + "/status.properties";
    ApplicationStatus reader(file);
    ASSERT_TRUE(ApplicationStatus::sendBringAppToFront(file));
    EXPECT_EQ(readAll(file), "# Application status properties.\n"
                             "isApplicationRunning=true\n"
                             "isBringAppToFrontProperty=true\n");
    reader.readAppStatus(file);
    EXPECT_TRUE(reader.getIsAppRunning());
    EXPECT_TRUE(reader.getIsBringAppToFront());
    // A file that cannot be read leaves the last values.
    reader.readAppStatus(dir.path + "/missing.properties");
    EXPECT_TRUE(reader.getIsBringAppToFront());
}

TEST(ApplicationStatus, UnwritableFileIsReported) {
    ApplicationStatus status("/nonexistent-folder/of/status.exe");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(status.startApp());
    EXPECT_FALSE(ApplicationStatus::saveAppStatus("", true, false));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("The file \"/nonexistent-folder/of/status.properties\" cannot be written, "
                       "the application "
                       "status cannot be stored.\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(status.getCurrentStatus(), ApplicationStatus::APP_NOT_RUNNING);
    status.stopApp(); // not running: nothing to write, nothing printed
}

TEST(ApplicationStatus, ListenersAreCalledInOrderAndRemovedOnce) {
    ApplicationStatus status("unused");
    std::vector<int> calls;
    struct Numbered : AppStatusEventListener {
        Numbered(std::vector<int>& c, int n) : calls(c), number(n) {}
        void handleAppStatusEvent(const AppStatusEvent&) override { calls.push_back(number); }
        std::vector<int>& calls;
        int number;
    } one(calls, 1), two(calls, 2);
    status.addEventListener(&one);
    status.addEventListener(&two);
    status.addEventListener(&one);
    status.fireAppStatusEvent(AppStatusEvent(std::any(1)));
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 1}));

    calls.clear();
    status.removeEventListener(&one);
    status.fireAppStatusEvent(BringAppToFrontEvent());
    EXPECT_EQ(calls, (std::vector<int>{2, 1}));
}

// Two users of one file in one process: one asks, the other comes to the front.
TEST(ApplicationStatus, BringToFrontRequestFiresOneEventAndIsCleared) {
    TempDir dir;
    ApplicationStatus running(dir.path + "/monitor.exe");
    RecordingListener listener;
    running.addEventListener(&listener);
    ASSERT_TRUE(running.startApp());
    // Ask only once the keep-alive thread has had its first look and gone to sleep.
    ASSERT_TRUE(waitForFirstRound(running.getStatusFilename()));

    ApplicationStatus asking(dir.path + "/monitor");
    const std::string file = asking.getStatusFilename();
    ASSERT_EQ(file, running.getStatusFilename());
    ASSERT_TRUE(ApplicationStatus::getIsAppRunning(file));

    ASSERT_TRUE(ApplicationStatus::sendBringAppToFront(file));
    // Seen at the status thread's next turn (every TOUCH_FILE_INTERVAL ms); the bound is
    // generous for a loaded machine.
    ASSERT_TRUE(listener.waitForEvents(1, 60s));
    // The flag was cleared in the file before the listener was told.
    EXPECT_EQ(readAll(file), runningFile);
    {
        std::lock_guard lock(listener.mutex);
        EXPECT_EQ(listener.ids,
                  std::vector<std::string>{std::string(EventIDNames::bringAppToFrontEventID)});
        EXPECT_NE(listener.threads.front(), std::this_thread::get_id());
        EXPECT_EQ(listener.sources, std::vector<ApplicationStatus*>{&running});
    }

    // The next rewrite of the file brings no second event.
    const ino_t before = inode(file);
    ASSERT_TRUE(waitUntil([&] { return inode(file) != before; }, 60s));
    EXPECT_EQ(listener.count(), 1u);
    EXPECT_EQ(readAll(file), runningFile);

    running.stopApp();
    EXPECT_EQ(readAll(file), stoppedFile);
    EXPECT_EQ(listener.count(), 1u);
}

TEST(ApplicationStatus, ARequestIsTakenHoweverLateTheNextRoundComes) {
    TempDir dir;
    ApplicationStatus running(dir.path + "/status");
    RecordingListener listener;
    running.addEventListener(&listener);
    ASSERT_TRUE(running.startApp());
    const std::string file = running.getStatusFilename();
    ASSERT_TRUE(waitForFirstRound(file));
    // A request written just after that round, which on a loaded machine comes more than
    // one interval later: the file then looks older than the interval.
    ASSERT_TRUE(ApplicationStatus::sendBringAppToFront(file));
    const std::string reference = dir.path + "/reference";
    std::ofstream(reference) << "now";
    makeOlderThan(file, reference, ApplicationStatus::TOUCH_FILE_INTERVAL + 2000);
    EXPECT_TRUE(listener.waitForEvents(1, 60s)) << "the request was lost";
    running.stopApp();
}

TEST(ApplicationStatus, ListenerMayStopTheApplication) {
    TempDir dir;
    ApplicationStatus status(dir.path + "/status");
    RecordingListener listener;
    listener.onEvent = [&status] {
        status.stopApp();
    };
    status.addEventListener(&listener);
    ASSERT_TRUE(status.startApp());
    ASSERT_TRUE(ApplicationStatus::sendBringAppToFront(status.getStatusFilename()));
    ASSERT_TRUE(listener.waitForEvents(1, 60s));
    EXPECT_TRUE(waitUntil(
        [&] { return status.getCurrentStatus() == ApplicationStatus::APP_NOT_RUNNING; }, 30s));
    EXPECT_EQ(readAll(status.getStatusFilename()), stoppedFile);
    // It can be started again from this thread; the retired thread is collected.
    listener.onEvent = nullptr;
    EXPECT_TRUE(status.startApp());
    status.stopApp();
}
