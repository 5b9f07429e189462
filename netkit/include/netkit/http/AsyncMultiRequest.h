#pragma once
// Several HTTP requests to one camera, run together; one completion when all
// have ended. The result is 0 when every request succeeded (no transport
// error, status 200-299 or 302, non-empty body), else the translated code of
// the first failure in the order the requests were added.
#include <functional>
#include <memory>
#include <mutex>
#include <netkit/http/HttpClient.h>

namespace Orix::Utility {

class AsyncMultiRequest : public std::enable_shared_from_this<AsyncMultiRequest> {
public:
    static std::shared_ptr<AsyncMultiRequest> create(asio::ConnectionInfoPtr info,
                                                     boost::asio::io_context& io);

    // A request added after start (from another request's completion) runs
    // at once and is waited for like the others.
    void addGetRequest(const std::string& uri, http::Timeout timeout,
                       http::HttpCompletion completion);
    void addPostRequest(const std::string& uri, std::string body, http::Timeout timeout,
                        http::HttpCompletion completion, http::Headers headers = {});
    // Each request's own completion runs first, then done once, on io (an
    // empty set completes with 0, never inline).
    void start(std::function<void(std::uint32_t)> done);
    // Ends every request still running with http::error::cancelled. Safe from
    // any thread, before or after start.
    void cancel();

private:
    AsyncMultiRequest(asio::ConnectionInfoPtr info, boost::asio::io_context& io);
    struct Item;
    void add(std::shared_ptr<Item> item);
    void launch(std::size_t index, const std::shared_ptr<Item>& item);
    void finishOne(std::size_t index, std::uint32_t result);

    asio::ConnectionInfoPtr info_;
    boost::asio::io_context& io_;
    std::vector<std::shared_ptr<Item>> items_;
    std::function<void(std::uint32_t)> done_;
    std::size_t pending_ = 0;
    bool started_ = false;
    std::mutex mutex_; // the request completions may run on several threads of io
};

} // namespace Orix::Utility
