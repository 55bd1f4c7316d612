// The runner's HTTP client against a canned server: every framing of a body, split at
// every byte, and the answers that are not HTTP.
#include "support/refusingport.h"
#include "tomcatrunner/httpexchange.h"

#include <atomic>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using tomcatrunner::HttpError;
using tomcatrunner::HttpExchange;
using namespace std::chrono_literals;

// Serves one connection: reads the request's head, then writes the answer in pieces of
// the given size and closes.
class CannedServer {
public:
    CannedServer(std::string answer, std::size_t piece) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 1);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this, answer = std::move(answer), piece] {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) {
                return;
            }
            std::string head;
            char ch;
            while (head.find("\r\n\r\n") == std::string::npos && ::recv(c, &ch, 1, 0) == 1) {
                head += ch;
            }
            request = head;
            for (std::size_t at = 0; at < answer.size(); at += piece) {
                ::send(c, answer.data() + at, std::min(piece, answer.size() - at), MSG_NOSIGNAL);
            }
            ::close(c);
        });
    }
    ~CannedServer() {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    int port() const { return port_; }
    std::string request;

private:
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

std::string fetch(const std::string& answer, std::size_t piece, int* status = nullptr) {
    CannedServer server(answer, piece);
    HttpExchange exchange("127.0.0.1", server.port(), "/a.jsp?x=1", 5s);
    exchange.finish(10s);
    if (status != nullptr) {
        *status = exchange.status();
    }
    return exchange.body();
}

TEST(HttpExchange, ReadsEveryBodyFramingWhateverThePieces) {
    const std::string chunked =
        "HTTP/1.1 200 \r\nTransfer-Encoding: chunked\r\nContent-Type: text/html\r\n\r\n"
        "5\r\n<h1>x\r\nA;ext=1\r\n</h1>\r\n<p>\r\n0\r\n\r\n";
    const std::string length = "HTTP/1.1 500 \r\nContent-Length: 11\r\n\r\n<b>error</b>";
    const std::string untilClose = "HTTP/1.0 200 OK\r\n\r\nall of it";
    for (const std::size_t piece :
         {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{4096}}) {
        SCOPED_TRACE(piece);
        int status = 0;
        EXPECT_EQ(fetch(chunked, piece, &status), "<h1>x</h1>\r\n<p>");
        EXPECT_EQ(status, 200);
        EXPECT_EQ(fetch(length, piece, &status), "<b>error</b");
        EXPECT_EQ(status, 500);
        EXPECT_EQ(fetch(untilClose, piece), "all of it");
    }
}

TEST(HttpExchange, SendsAGetForTheTargetAndKeepsTheHeaders) {
    CannedServer server("HTTP/1.1 302 \r\nLocation: /b.jsp\r\nContent-Length: 0\r\n\r\n", 100);
    HttpExchange exchange("127.0.0.1", server.port(), "/dir/a.jsp?x=1&y=%20", 5s);
    exchange.finish(10s);
    EXPECT_EQ(exchange.status(), 302);
    EXPECT_EQ(exchange.header("location"), "/b.jsp");
    EXPECT_FALSE(exchange.header("Set-Cookie"));
    EXPECT_TRUE(exchange.body().empty());
    EXPECT_TRUE(server.request.starts_with("GET /dir/a.jsp?x=1&y=%20 HTTP/1.1\r\n"));
    EXPECT_NE(server.request.find("Connection: close\r\n"), std::string::npos);
}

TEST(HttpExchange, RefusesPeersThatAreNotHttpServers) {
    EXPECT_THROW(fetch("JDWP-Handshake", 100), HttpError);
    EXPECT_THROW(fetch("HTTP/1.1 200 \r\nContent-Length: 50\r\n\r\nshort", 100), HttpError);
    EXPECT_THROW(fetch("HTTP/1.1 200 \r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", 100),
                 HttpError);
    EXPECT_THROW(fetch("", 100), HttpError);

    // Nothing listens.
    const testsupport::RefusingPort refusing;
    EXPECT_THROW(HttpExchange("127.0.0.1", refusing.port(), "/", 5s), HttpError);
}

TEST(HttpExchange, ShowsTheBodyAsItArrives) {
    CannedServer server("HTTP/1.1 200 \r\nContent-Length: 6\r\n\r\nabc", 100);
    HttpExchange exchange("127.0.0.1", server.port(), "/", 5s);
    // The server sends half and closes: what came is there before the error.
    bool broke = false;
    for (int round = 0; round < 100 && !broke; ++round) {
        try {
            exchange.pump(100ms);
        } catch (const HttpError&) {
            broke = true;
        }
    }
    EXPECT_TRUE(broke);
    EXPECT_EQ(exchange.body(), "abc");
    EXPECT_FALSE(exchange.complete());
}

} // namespace
