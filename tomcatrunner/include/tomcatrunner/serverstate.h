#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tomcatrunner {

// The files by which runs and the keeper of a kept server (see serverkeeper.h) find and
// share it, in its base (the CATALINA_BASE of the work folder):
//   server.state     what the keeper serves (ServerState), written atomically by the keeper
//   server.lock      held by a run while it uses the server, and by the keeper while it
//                    stops an idle server: two runs never start two servers, and an idle
//                    stop never takes the server from under a run
//   server.alive     held by the keeper and, inherited, by its JVM while either lives: when
//                    it is free both are gone, whoever has their pids now
//   server.used      rewritten by each run when it takes and leaves the server (UseMark)
//   logs/keeper.log  what the keeper did, and why it stopped
class ServerFiles {
public:
    explicit ServerFiles(std::filesystem::path base) : base_(std::move(base)) {}
    // The base of the server kept for a work folder.
    static std::filesystem::path baseFor(const std::filesystem::path& workDir);

    const std::filesystem::path& base() const { return base_; }
    std::filesystem::path state() const { return base_ / "server.state"; }
    std::filesystem::path runLock() const { return base_ / "server.lock"; }
    std::filesystem::path aliveLock() const { return base_ / "server.alive"; }
    std::filesystem::path used() const { return base_ / "server.used"; }
    std::filesystem::path keeperLog() const { return base_ / "logs" / "keeper.log"; }
    std::filesystem::path tomcatLog() const { return base_ / "logs" / "catalina.out"; }
    // Jasper's scratch folder, where the pages' classes go.
    std::filesystem::path jasperWork() const { return base_ / "work"; }

private:
    std::filesystem::path base_;
};

// What a keeper serves, as "name=value" lines. A keeper still starting Tomcat names only
// itself, so that it can be stopped before it is ready.
struct ServerState {
    pid_t keeper = 0;
    pid_t jvm = 0;
    int httpPort = 0;
    int jdwpPort = 0;
    std::filesystem::path webapp;

    // Whether Tomcat is up: every field known.
    bool ready() const;
    std::string format() const;
    // nullopt for a text that names no keeper; a value that cannot be read leaves its field
    // unknown, and lines of other names are skipped.
    static std::optional<ServerState> parse(std::string_view text);
    // nullopt when the file is missing or names no keeper.
    static std::optional<ServerState> read(const std::filesystem::path& file);
    // Replaces the file whole. Throws std::runtime_error when it cannot be written.
    void write(const std::filesystem::path& file) const;

    bool operator==(const ServerState&) const = default;
};

// The last use of a kept server, and the idle time after which its keeper stops it: the
// file's time and its text, so that the idle time of the latest run counts.
struct UseMark {
    static constexpr std::chrono::seconds DefaultIdle{30 * 60};

    std::chrono::file_clock::time_point lastUse;
    std::chrono::seconds idle = DefaultIdle;

    // Marks a use now. Returns "" on success, else what failed.
    static std::string write(const std::filesystem::path& file, std::chrono::seconds idle);
    // nullopt when the file is missing; its time alone when its text cannot be read.
    static std::optional<UseMark> read(const std::filesystem::path& file);
};

} // namespace tomcatrunner
