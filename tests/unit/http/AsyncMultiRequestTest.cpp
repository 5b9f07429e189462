#include <netkit/http/AsyncMultiRequest.h>

#include "support/HttpTestServer.h"

#include <boost/asio/io_context.hpp>
#include <gtest/gtest.h>

#include <thread>

using namespace Orix;
using namespace TestSupport;
using namespace std::chrono_literals;

namespace {

ScriptedReply cameraAnswer(const RecordedRequest& request)
{
    if (request.target == "/axis-cgi/param.cgi?action=list&group=Brand")
        return ScriptedReply::raw(httpAnswer(200, "OK", {}, "root.Brand.Brand=AXIS\n"));
    if (request.target == "/axis-cgi/lightcontrol.cgi")
        return ScriptedReply::raw(httpAnswer(200, "OK", {}, R"({"apiVersion":"1.0","data":{}})"));
    if (request.target == "/axis-cgi/io/virtualinput.cgi?action=6:/")
        return ScriptedReply::raw(httpAnswer(200, "OK", {}, ""));
    if (request.target == "/axis-cgi/record/list.cgi")
        return ScriptedReply::raw(httpAnswer(503, "Service Unavailable", {}, "busy"));
    if (request.target == "/hang")
        return ScriptedReply::silent();
    return ScriptedReply::raw(httpAnswer(404, "Not Found", {}, "not here"));
}

std::shared_ptr<asio::ConnectionInfo> cameraAt(std::uint16_t port)
{
    auto info = std::make_shared<asio::ConnectionInfo>();
    info->host = "127.0.0.1";
    info->port = port;
    info->endpoint = {"127.0.0.1", port};
    return info;
}

} // namespace

TEST(AsyncMultiRequest, ResultIsTheFirstFailureInTheOrderAdded)
{
    HttpTestServer server(cameraAnswer);
    const std::string brand = "/axis-cgi/param.cgi?action=list&group=Brand";
    const struct {
        const char* name;
        std::vector<std::string> gets;
        bool withPost;
        std::uint32_t result;
    } cases[] = {
        {"all succeed", {brand}, true, 0},
        {"404 before 503", {brand, "/axis-cgi/missing.cgi", "/axis-cgi/record/list.cgi"}, false, 0x203},
        {"503 before 404", {"/axis-cgi/record/list.cgi", "/axis-cgi/missing.cgi"}, true, 0x206},
        {"empty body", {brand, "/axis-cgi/io/virtualinput.cgi?action=6:/"}, false, 1},
        {"nothing to do", {}, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        boost::asio::io_context io;
        auto multi = Utility::AsyncMultiRequest::create(cameraAt(server.port()), io);
        std::vector<std::string> events;
        for (const auto& uri : c.gets)
            multi->addGetRequest(uri, 5000ms, [&events, uri](const auto&, const std::string&, const http::HttpResponse&) {
                events.push_back(uri);
            });
        if (c.withPost)
            multi->addPostRequest(
                "/axis-cgi/lightcontrol.cgi", R"({"apiVersion":"1.0","method":"getServiceInfo"})", 5000ms,
                [&events](const boost::system::error_code& ec, const std::string& body, const http::HttpResponse&) {
                    EXPECT_FALSE(ec);
                    EXPECT_EQ(body, R"({"apiVersion":"1.0","data":{}})");
                    events.push_back("post");
                },
                {{"Content-Type", "application/json"}});
        std::vector<std::uint32_t> results;
        multi->start([&](std::uint32_t r) {
            results.push_back(r);
            events.push_back("done");
        });
        EXPECT_TRUE(results.empty());
        io.run();
        EXPECT_EQ(results, std::vector<std::uint32_t>{c.result});
        ASSERT_EQ(events.size(), c.gets.size() + (c.withPost ? 1 : 0) + 1);
        EXPECT_EQ(events.back(), "done");
    }
}

TEST(AsyncMultiRequest, CancelEndsEveryRequest)
{
    HttpTestServer server(cameraAnswer);
    boost::asio::io_context io;
    auto multi = Utility::AsyncMultiRequest::create(cameraAt(server.port()), io);
    int cancelled = 0;
    for (int i = 0; i < 2; ++i)
        multi->addGetRequest("/hang", 30000ms, [&](const boost::system::error_code& ec, const std::string&, const http::HttpResponse&) {
            cancelled += ec == http::error::cancelled;
        });
    std::vector<std::uint32_t> results;
    multi->start([&](std::uint32_t r) { results.push_back(r); });
    std::thread runner([&] { io.run(); });
    ASSERT_TRUE(server.waitForRequests(2, 10s));
    multi->cancel();
    runner.join();
    EXPECT_EQ(cancelled, 2);
    EXPECT_EQ(results, std::vector<std::uint32_t>{0x107u});
}

// A request added from another's completion is waited for, and its failure
// counts in the order it was added.
TEST(AsyncMultiRequest, RequestAddedWhileRunningIsWaitedFor)
{
    HttpTestServer server(cameraAnswer);
    boost::asio::io_context io;
    auto multi = Utility::AsyncMultiRequest::create(cameraAt(server.port()), io);
    std::vector<std::string> events;
    std::weak_ptr<Utility::AsyncMultiRequest> weak = multi;
    multi->addGetRequest("/axis-cgi/param.cgi?action=list&group=Brand", 5000ms,
                         [&](const auto&, const std::string&, const http::HttpResponse&) {
                             events.push_back("list");
                             weak.lock()->addGetRequest(
                                 "/axis-cgi/record/list.cgi", 5000ms,
                                 [&](const auto&, const std::string&, const http::HttpResponse&) {
                                     events.push_back("added");
                                 });
                         });
    std::vector<std::uint32_t> results;
    multi->start([&](std::uint32_t r) {
        results.push_back(r);
        events.push_back("done");
    });
    io.run();
    EXPECT_EQ(events, (std::vector<std::string>{"list", "added", "done"}));
    EXPECT_EQ(results, std::vector<std::uint32_t>{0x206u});
}
