#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tomcatrunner {

// A request that failed: no connection, a reset, or a response that is not HTTP.
class HttpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One GET request and its response, read as it arrives without blocking the caller: the
// runner steps the page that produces the response while it comes in, and the body
// received so far is part of the page's output so far.
class HttpExchange {
public:
    using Timeout = std::chrono::milliseconds;

    using Headers = std::vector<std::pair<std::string, std::string>>;

    // Connects to host:port and sends "GET target HTTP/1.1" with Connection: close and the
    // extra headers. Throws HttpError when no connection can be made within the timeout.
    HttpExchange(const std::string& host, int port, const std::string& target,
                 Timeout connectTimeout, const Headers& headers = {});
    ~HttpExchange();
    HttpExchange(const HttpExchange&) = delete;
    HttpExchange& operator=(const HttpExchange&) = delete;

    // Reads what has arrived, waiting up to `wait` for the first byte. True once the whole
    // response is in. Throws HttpError for a reset or a response that is not HTTP.
    bool pump(Timeout wait);
    // Pumps until the response is complete; HttpError when it is not within the timeout.
    void finish(Timeout timeout);

    bool complete() const { return complete_; }
    bool headersComplete() const { return status_ != 0; }
    int status() const { return status_; }
    // A response header by its name, in any case.
    std::optional<std::string> header(std::string_view name) const;
    // The body received so far, without its transfer coding.
    const std::string& body() const { return body_; }
    // The socket, for poll() beside other inputs.
    int pollHandle() const { return fd_; }

private:
    void take(std::string_view bytes);
    void parseHead();
    void parseBody();
    void closeSocket();

    enum class BodyMode { Length, Chunked, UntilClose };

    int fd_ = -1;
    std::string where_;
    std::string raw_;
    int status_ = 0;
    std::map<std::string, std::string> headers_; // names in lower case
    BodyMode mode_ = BodyMode::UntilClose;
    std::size_t remaining_ = 0;  // of the body (Length) or of the current chunk (Chunked)
    bool inChunkData_ = false;
    bool complete_ = false;
    std::string body_;
};

} // namespace tomcatrunner
