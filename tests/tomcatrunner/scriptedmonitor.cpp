#include "scriptedmonitor.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace tomcattest {

std::string fileIdOf(const std::string& record) {
    if (record.size() < 3 || record[0] != '%') {
        return {};
    }
    const auto amp = record.find('&');
    return record.substr(2, amp == std::string::npos ? std::string::npos : amp - 2);
}

std::optional<std::string> ScriptedMonitor::continueAll(const Record& record) {
    if (record.text.starts_with("%E") || record.text.starts_with("%A")) {
        return "%T";
    }
    const std::string id = fileIdOf(record.text);
    return "%N" + (id.empty() ? std::string("1") : id) + "&1";
}

ScriptedMonitor::ScriptedMonitor(Script script) : script_(std::move(script)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0 ||
        ::pipe(wake_) != 0) {
        throw std::runtime_error("cannot listen on the loopback address");
    }
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
}

ScriptedMonitor::~ScriptedMonitor() {
    stopping_ = true;
    (void)!::write(wake_[1], "x", 1);
    thread_.join();
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

std::vector<ScriptedMonitor::Record> ScriptedMonitor::records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

std::vector<std::string> ScriptedMonitor::recordsOf(int connection) const {
    std::vector<std::string> out;
    for (const Record& r : records()) {
        if (r.connection == connection) {
            out.push_back(r.text);
        }
    }
    return out;
}

std::string ScriptedMonitor::html() const {
    std::string out;
    for (const Record& r : records()) {
        if (r.text.starts_with("%H")) {
            out += r.text.substr(r.text.find('&') + 1);
        }
    }
    return out;
}

bool ScriptedMonitor::waitFor(const std::function<bool(const std::vector<Record>&)>& done,
                              std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (done(records())) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done(records());
}

void ScriptedMonitor::serve() {
    struct Peer {
        int fd;
        tracehook::RecordFramer framer{"%%%END%%%"};
    };
    std::vector<std::unique_ptr<Peer>> peers;
    while (!stopping_) {
        std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        for (const auto& p : peers) {
            fds.push_back({p->fd, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) <= 0) {
            continue;
        }
        if (fds[1].revents != 0) {
            const int c = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) {
                const int one = 1;
                ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                peers.push_back(std::make_unique<Peer>(Peer{c}));
            }
        }
        for (std::size_t i = 0; i + 2 < fds.size(); ++i) {
            if (fds[i + 2].revents == 0) {
                continue;
            }
            Peer& peer = *peers[i];
            if (peer.fd < 0) {
                continue;
            }
            char buffer[65536];
            const ssize_t n = ::recv(peer.fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                ::close(peer.fd);
                peer.fd = -1;
                continue;
            }
            peer.framer.append(std::string_view(buffer, static_cast<std::size_t>(n)));
            while (auto text = peer.framer.next()) {
                Record record{static_cast<int>(i), *text};
                {
                    std::lock_guard lock(mutex_);
                    records_.push_back(record);
                }
                const std::optional<std::string> reply = script_(record);
                if (!reply) {
                    continue;
                }
                if (reply->empty()) {
                    ::close(peer.fd);
                    peer.fd = -1;
                    break;
                }
                const std::string line = *reply + "\n";
                (void)!::send(peer.fd, line.data(), line.size(), MSG_NOSIGNAL);
            }
        }
    }
    for (const auto& p : peers) {
        if (p->fd >= 0) {
            ::close(p->fd);
        }
    }
}

} // namespace tomcattest
