#include <netkit/http/AsyncMultiRequest.h>
#include <netkit/http/ResponseCheck.h>
#include <netkit/util/ErrorTranslation.h>

#include <orix/ErrorCodes.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>

namespace Orix::Utility {

struct AsyncMultiRequest::Item {
    bool post = false;
    std::string uri;
    std::string body;
    http::Timeout timeout;
    http::HttpCompletion completion;
    http::Headers headers;
    http::RequestHandlePtr handle;
    std::uint32_t result = Ok;
    bool cancelled = false;
};

namespace {

// The same verdict as checkHttpAnswer, without its log lines: the requests'
// own completions log with their owners' prefixes.
std::uint32_t answerResult(const boost::system::error_code& error, const std::string& body,
                           const http::HttpResponse& response)
{
    if (error)
        return translateSystemError(error);
    if (!isSuccessStatus(response.status))
        return translateResponseError(response);
    if (body.empty())
        return GenericFailure;
    return Ok;
}

} // namespace

AsyncMultiRequest::AsyncMultiRequest(asio::ConnectionInfoPtr info, boost::asio::io_context& io)
    : info_(std::move(info)), io_(io)
{
}

std::shared_ptr<AsyncMultiRequest> AsyncMultiRequest::create(asio::ConnectionInfoPtr info,
                                                             boost::asio::io_context& io)
{
    return std::shared_ptr<AsyncMultiRequest>(new AsyncMultiRequest(std::move(info), io));
}

void AsyncMultiRequest::addGetRequest(const std::string& uri, http::Timeout timeout,
                                      http::HttpCompletion completion)
{
    auto item = std::make_shared<Item>();
    item->uri = uri;
    item->timeout = timeout;
    item->completion = std::move(completion);
    add(std::move(item));
}

void AsyncMultiRequest::addPostRequest(const std::string& uri, std::string body,
                                       http::Timeout timeout, http::HttpCompletion completion,
                                       http::Headers headers)
{
    auto item = std::make_shared<Item>();
    item->post = true;
    item->uri = uri;
    item->body = std::move(body);
    item->timeout = timeout;
    item->completion = std::move(completion);
    item->headers = std::move(headers);
    add(std::move(item));
}

void AsyncMultiRequest::add(std::shared_ptr<Item> item)
{
    std::size_t index = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        index = items_.size();
        items_.push_back(item);
        if (!started_)
            return;
        // Added while running (from a request's own completion, before
        // that request counts as finished): it joins the running set.
        ++pending_;
    }
    launch(index, item);
}

void AsyncMultiRequest::start(std::function<void(std::uint32_t)> done)
{
    std::vector<std::shared_ptr<Item>> items;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = std::move(done);
        pending_ = items_.size();
        started_ = true;
        items = items_;
    }
    auto self = shared_from_this();
    if (items.empty()) {
        boost::asio::post(io_, [self] {
            std::function<void(std::uint32_t)> done;
            {
                std::lock_guard<std::mutex> lock(self->mutex_);
                done = std::move(self->done_);
            }
            if (done)
                done(Ok);
        });
        return;
    }
    for (std::size_t index = 0; index < items.size(); ++index)
        launch(index, items[index]);
}

void AsyncMultiRequest::launch(std::size_t index, const std::shared_ptr<Item>& item)
{
    auto self = shared_from_this();
    auto completion = [self, index](const boost::system::error_code& ec, const std::string& body,
                                    const http::HttpResponse& response) {
        std::shared_ptr<Item> it;
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            it = self->items_[index];
        }
        if (it->completion)
            it->completion(ec, body, response);
        self->finishOne(index, answerResult(ec, body, response));
    };
    http::RequestHandlePtr handle =
        item->post ? http::asyncPostEx(info_, item->uri, item->body, io_, item->timeout,
                                       std::move(completion), item->headers)
                   : http::asyncGetEx(info_, item->uri, io_, item->timeout, std::move(completion));
    bool cancelNow = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        item->handle = handle;
        cancelNow = item->cancelled;
    }
    if (cancelNow)
        handle->cancel();
}

void AsyncMultiRequest::cancel()
{
    std::vector<http::RequestHandlePtr> handles;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& item : items_) {
            item->cancelled = true;
            if (item->handle)
                handles.push_back(item->handle);
        }
    }
    for (const auto& handle : handles)
        handle->cancel();
}

void AsyncMultiRequest::finishOne(std::size_t index, std::uint32_t result)
{
    std::function<void(std::uint32_t)> done;
    std::uint32_t first = Ok;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        items_[index]->result = result;
        if (pending_ == 0 || --pending_ != 0)
            return;
        for (const auto& item : items_) {
            if (item->result != Ok) {
                first = item->result;
                break;
            }
        }
        done = std::move(done_);
    }
    if (done)
        done(first);
}

} // namespace Orix::Utility
