#include "tomcatrunner/httpexchange.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tomcatrunner {

namespace {

using Clock = std::chrono::steady_clock;

// A head or a chunk-size line longer than this is not one Tomcat sends.
constexpr std::size_t MaxHeadBytes = 64 * 1024;
constexpr std::size_t MaxChunkLine = 1024;

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

int pollFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, left > 0 ? static_cast<int>(std::min<long>(left, 1 << 30)) : 0);
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

} // namespace

HttpExchange::HttpExchange(const std::string& host, int port, const std::string& target,
                           Timeout connectTimeout, const Headers& headers)
    : where_(host + ":" + std::to_string(port)) {
    const auto deadline = Clock::now() + connectTimeout;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
        rc != 0) {
        throw HttpError("cannot connect to " + where_ + ": " + ::gai_strerror(rc));
    }
    std::string why = "no address";
    for (const addrinfo* ai = found; ai != nullptr && fd_ < 0; ai = ai->ai_next) {
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                                ai->ai_protocol);
        if (fd < 0) {
            why = std::strerror(errno);
            continue;
        }
        if (::connect(fd, ai->ai_addr, ai->ai_addrlen) == 0) {
            fd_ = fd;
            break;
        }
        if (errno == EINPROGRESS && pollFor(fd, POLLOUT, deadline) > 0) {
            int err = 0;
            socklen_t len = sizeof err;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
            if (err == 0) {
                fd_ = fd;
                break;
            }
            why = std::strerror(err);
        } else {
            why = errno == EINPROGRESS ? "timed out" : std::strerror(errno);
        }
        ::close(fd);
    }
    ::freeaddrinfo(found);
    if (fd_ < 0) {
        throw HttpError("cannot connect to " + where_ + ": " + why);
    }
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::string request = "GET " + target + " HTTP/1.1\r\nHost: " + where_ +
                          "\r\nConnection: close\r\nUser-Agent: tomcatrunner\r\n";
    for (const auto& [name, value] : headers) {
        request += name + ": " + value + "\r\n";
    }
    request += "\r\n";
    std::string_view rest = request;
    while (!rest.empty()) {
        const ssize_t n = ::send(fd_, rest.data(), rest.size(), MSG_NOSIGNAL);
        if (n > 0) {
            rest.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN && pollFor(fd_, POLLOUT, deadline) > 0) {
            continue;
        } else {
            const std::string reason = n < 0 ? std::strerror(errno) : "nothing sent";
            closeSocket();
            throw HttpError("cannot send the request to " + where_ + ": " + reason);
        }
    }
}

HttpExchange::~HttpExchange() {
    closeSocket();
}

void HttpExchange::closeSocket() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::optional<std::string> HttpExchange::header(std::string_view name) const {
    const auto it = headers_.find(lower(name));
    if (it == headers_.end()) {
        return std::nullopt;
    }
    return it->second;
}

bool HttpExchange::pump(Timeout wait) {
    if (complete_) {
        return true;
    }
    const auto deadline = Clock::now() + wait;
    char buffer[64 * 1024];
    for (bool first = true;; first = false) {
        // After the first read, take only what is there already.
        if (pollFor(fd_, POLLIN, first ? deadline : Clock::now()) <= 0) {
            return complete_;
        }
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            throw HttpError("the connection to " + where_ + " broke: " + std::strerror(errno));
        }
        if (n == 0) {
            if (status_ != 0 && mode_ == BodyMode::UntilClose) {
                complete_ = true;
                closeSocket();
                return true;
            }
            throw HttpError("the server at " + where_ + " closed the connection before the " +
                            (status_ == 0 ? "response's head" : "end of the response"));
        }
        take(std::string_view(buffer, static_cast<std::size_t>(n)));
        if (complete_) {
            closeSocket();
            return true;
        }
    }
}

void HttpExchange::finish(Timeout timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!pump(std::chrono::duration_cast<Timeout>(deadline - Clock::now()))) {
        if (Clock::now() >= deadline) {
            throw HttpError("no complete response from " + where_ + " within " +
                            std::to_string(timeout.count()) + " ms");
        }
    }
}

void HttpExchange::take(std::string_view bytes) {
    raw_.append(bytes);
    if (status_ == 0) {
        parseHead();
    }
    if (status_ != 0) {
        parseBody();
    }
}

void HttpExchange::parseHead() {
    const auto end = raw_.find("\r\n\r\n");
    if (end == std::string::npos) {
        if (raw_.size() > MaxHeadBytes) {
            throw HttpError("the response of " + where_ + " has no end to its head");
        }
        return;
    }
    const std::string_view head(raw_.data(), end);
    std::size_t lineEnd = head.find("\r\n");
    const std::string_view statusLine = head.substr(0, lineEnd);
    // "HTTP/1.1 200 OK"
    if (statusLine.substr(0, 5) != "HTTP/" || statusLine.size() < 12 || statusLine[8] != ' ' ||
        !std::isdigit(static_cast<unsigned char>(statusLine[9])) ||
        !std::isdigit(static_cast<unsigned char>(statusLine[10])) ||
        !std::isdigit(static_cast<unsigned char>(statusLine[11]))) {
        throw HttpError("the server at " + where_ + " did not answer in HTTP");
    }
    const int status = (statusLine[9] - '0') * 100 + (statusLine[10] - '0') * 10 +
                       (statusLine[11] - '0');
    while (lineEnd != std::string_view::npos) {
        const std::size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string_view line = head.substr(start, lineEnd == std::string_view::npos
                                                             ? std::string_view::npos
                                                             : lineEnd - start);
        const auto colon = line.find(':');
        if (colon != std::string_view::npos) {
            headers_[lower(trim(line.substr(0, colon)))] = std::string(trim(line.substr(colon + 1)));
        }
    }
    raw_.erase(0, end + 4);
    status_ = status;
    if (lower(header("Transfer-Encoding").value_or("")).find("chunked") != std::string::npos) {
        mode_ = BodyMode::Chunked;
    } else if (const auto length = header("Content-Length")) {
        mode_ = BodyMode::Length;
        try {
            remaining_ = std::stoull(*length);
        } catch (const std::exception&) {
            throw HttpError("the response of " + where_ + " has a bad Content-Length");
        }
    }
    // Responses without a body.
    if (status_ / 100 == 1 || status_ == 204 || status_ == 304) {
        complete_ = true;
    } else if (mode_ == BodyMode::Length && remaining_ == 0) {
        complete_ = true;
    }
}

void HttpExchange::parseBody() {
    if (complete_) {
        return;
    }
    if (mode_ == BodyMode::UntilClose) {
        body_.append(raw_);
        raw_.clear();
        return;
    }
    if (mode_ == BodyMode::Length) {
        const std::size_t n = std::min(remaining_, raw_.size());
        body_.append(raw_, 0, n);
        raw_.erase(0, n);
        remaining_ -= n;
        complete_ = remaining_ == 0;
        return;
    }
    std::size_t pos = 0;
    for (;;) {
        if (inChunkData_) {
            const std::size_t n = std::min(remaining_, raw_.size() - pos);
            body_.append(raw_, pos, n);
            pos += n;
            remaining_ -= n;
            if (remaining_ > 0) {
                break;
            }
            // The CR LF after the chunk's data.
            if (raw_.size() - pos < 2) {
                break;
            }
            pos += 2;
            inChunkData_ = false;
            continue;
        }
        const auto lineEnd = raw_.find("\r\n", pos);
        if (lineEnd == std::string::npos) {
            if (raw_.size() - pos > MaxChunkLine) {
                throw HttpError("the response of " + where_ + " has a bad chunk");
            }
            break;
        }
        std::size_t size = 0;
        std::size_t i = pos;
        for (; i < lineEnd && std::isxdigit(static_cast<unsigned char>(raw_[i])); ++i) {
            if (size > (std::size_t{1} << 40)) {
                throw HttpError("the response of " + where_ + " has a chunk too large");
            }
            const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(raw_[i])));
            size = size * 16 + static_cast<std::size_t>(c <= '9' ? c - '0' : c - 'a' + 10);
        }
        if (i == pos) {
            throw HttpError("the response of " + where_ + " has a bad chunk size");
        }
        pos = lineEnd + 2;
        if (size == 0) {
            // The last chunk; trailers, if any, are not needed.
            complete_ = true;
            break;
        }
        remaining_ = size;
        inChunkData_ = true;
    }
    raw_.erase(0, pos);
}

} // namespace tomcatrunner
