#pragma once

#include "tracehook/recordframer.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tomcattest {

// A stand-in monitor on a loopback port of its own, serving every connection a page
// runtime opens from one thread. Each record is kept, in the order it arrived, with the
// connection it came on (0 for the first), and answered by the script: the reply line it
// returns is sent (nothing when it returns nullopt; "" closes the connection).
class ScriptedMonitor {
public:
    struct Record {
        int connection = 0;
        std::string text;
    };
    using Script = std::function<std::optional<std::string>(const Record&)>;

    // By default: "%N" F "&1" to every record, "%T" after the end of a page.
    static std::optional<std::string> continueAll(const Record& record);

    explicit ScriptedMonitor(Script script = continueAll);
    ~ScriptedMonitor();
    ScriptedMonitor(const ScriptedMonitor&) = delete;
    ScriptedMonitor& operator=(const ScriptedMonitor&) = delete;

    int port() const { return port_; }
    std::vector<Record> records() const;
    // The records of one connection.
    std::vector<std::string> recordsOf(int connection) const;
    // The HTML of every "%H" record, in order, whatever its connection.
    std::string html() const;
    // Waits until a record satisfies the predicate (bounded by the timeout).
    bool waitFor(const std::function<bool(const std::vector<Record>&)>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(60)) const;

private:
    void serve();

    Script script_;
    int listener_ = -1;
    int port_ = 0;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<Record> records_;
    std::thread thread_;
};

// The file id of a record ("%L3&..." gives "3"); "" for records without one.
std::string fileIdOf(const std::string& record);

} // namespace tomcattest
