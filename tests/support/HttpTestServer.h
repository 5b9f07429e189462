#pragma once
// A scripted HTTP(S) server on loopback for client tests. Each received
// request is recorded and handed to the test's script, whose reply is sent as
// raw bytes (built by hand, never by the client's serializer), or withheld,
// or replaced by closing the connection.
//
//   HttpTestServer server([](const RecordedRequest& r) {
//       return ScriptedReply::raw(httpAnswer(200, "OK", {}, "hello"));
//   });
//   info->endpoint = {"127.0.0.1", server.port()};
#include "ScriptedRequest.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace TestSupport {

struct RecordedRequest : RecordedHeaders {
    std::string method;
    std::string target;
    std::string body;
    std::size_t connection = 0; // accepted connection number, from 1
};

using ServerScript = std::function<ScriptedReply(const RecordedRequest&)>;

// "HTTP/1.1 <status> <reason>\r\n" + headers + Content-Length + body.
std::string httpAnswer(unsigned status, const std::string& reason,
                       const std::vector<std::string>& headerLines, const std::string& body);

class HttpTestServer {
public:
    struct Tls {
        std::string certificateFile; // PEM
        std::string keyFile;         // PEM
    };

    explicit HttpTestServer(ServerScript script, const std::string& bindAddress = "127.0.0.1",
                            std::optional<Tls> tls = std::nullopt);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    std::uint16_t port() const;
    std::vector<RecordedRequest> requests() const;
    std::size_t requestCount() const;
    // True once count requests arrived; false after the limit.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds limit) const;

    struct Impl; // the io thread and its connections, in the .cpp

private:
    std::unique_ptr<Impl> impl_;
};

// Whether the machine can bind a loopback IPv6 socket.
bool ipv6LoopbackAvailable();

} // namespace TestSupport
