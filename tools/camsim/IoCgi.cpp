#include "IoCgi.h"

#include "Camera.h"
#include "ControlEndpoint.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

namespace Camsim {

namespace {

constexpr auto kKeepAliveInterval = std::chrono::seconds(15);

// "1,3" -> {1, 3}; nullopt for anything that is not a list of port numbers.
std::optional<std::vector<unsigned>> portList(const std::string& text)
{
    std::vector<unsigned> ports;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const auto comma = text.find(',', pos);
        const std::string item = text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        if (item.empty() || item.size() > 3 || item.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        ports.push_back(static_cast<unsigned>(std::stoul(item)));
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
    return ports;
}

HttpResponse error(const std::string& message)
{
    return HttpResponse::text(400, "Error: " + message + "\n");
}

const char* kVirtualHead =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<VirtualInputResponse xmlns=\"http://www.axis.com/vapix/http_cgi/virtualinput1\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" SchemaVersion=\"1.1\" "
    "xsi:schemaLocation=\"http://www.axis.com/vapix/http_cgi/virtualinput1 "
    "http://www.axis.com/vapix/http_cgi/virtualinput1_0.xsd\">\n";

HttpResponse virtualSuccess(bool activate, bool changed)
{
    const char* element = activate ? "ActivateSuccess" : "DeactivateSuccess";
    return HttpResponse::text(200,
                              std::string(kVirtualHead) + "  <Success>\n    <" + element + ">\n      <StateChanged>" +
                                  (changed ? "true" : "false") + "</StateChanged>\n    </" + element +
                                  ">\n  </Success>\n</VirtualInputResponse>\n",
                              "text/xml");
}

HttpResponse virtualError(int code, const std::string& description)
{
    return HttpResponse::text(200,
                              std::string(kVirtualHead) + "  <Error>\n    <GeneralError>\n      <ErrorCode>" +
                                  std::to_string(code) + "</ErrorCode>\n      <ErrorDescription>" + description +
                                  "</ErrorDescription>\n    </GeneralError>\n  </Error>\n</VirtualInputResponse>\n",
                              "text/xml");
}

} // namespace

// Sends the keep-alive part to every monitor while camsim runs.
struct IoCgi::KeepAlive : std::enable_shared_from_this<KeepAlive> {
    KeepAlive(boost::asio::io_context& io, IoPorts& ports) : timer(io), ports(ports) {}

    void arm()
    {
        timer.expires_after(kKeepAliveInterval);
        timer.async_wait([weak = weak_from_this()](const boost::system::error_code& ec) {
            auto self = weak.lock();
            if (ec || !self)
                return;
            self->ports.keepAlive();
            self->arm();
        });
    }

    boost::asio::steady_timer timer;
    IoPorts& ports;
};

IoCgi::IoCgi(Camera& camera, boost::asio::io_context& io)
    : ports_(camera.withModel([](Model& m) { return std::make_unique<IoPorts>(m); }))
{
    keepAlive_ = std::make_shared<KeepAlive>(io, *ports_);
    keepAlive_->arm();
}

IoCgi::~IoCgi()
{
    keepAlive_->timer.cancel();
}

void IoCgi::registerRoutes(Router& router)
{
    router.add("/axis-cgi/io/port.cgi", [this](const HttpRequest& r) { return port(r); });
    if (ports_->virtualInputs()) {
        router.add("/axis-cgi/virtualinput/activate.cgi", [this](const HttpRequest& r) { return virtualInput(r, true); });
        router.add("/axis-cgi/virtualinput/deactivate.cgi",
                   [this](const HttpRequest& r) { return virtualInput(r, false); });
    }
    router.addControl("/camsim/io", [this](const HttpRequest& r) { return control(r); });
}

HttpResponse IoCgi::port(const HttpRequest& request)
{
    const auto args = requestArgs(request);
    if (!args)
        return error("malformed arguments");
    if (const auto check = formValue(*args, "check")) {
        const auto ports = portList(*check);
        if (!ports)
            return error("invalid port list");
        std::string body;
        for (const unsigned number : *ports) {
            if (const auto state = ports_->port(number))
                body += "port" + std::to_string(number) + "=" + (state->active ? "1" : "0") + "\n";
        }
        return HttpResponse::text(200, body);
    }
    if (const auto monitor = formValue(*args, "monitor")) {
        const auto ports = portList(*monitor);
        if (!ports)
            return error("invalid port list");
        for (const unsigned number : *ports) {
            if (!ports_->hasPort(number))
                return error("no port " + std::to_string(number));
        }
        HttpResponse response;
        response.contentType = std::string("multipart/x-mixed-replace; boundary=") + IoPorts::kBoundary;
        response.stream = [ports = *ports, io = ports_.get()](std::shared_ptr<StreamSink> sink) {
            io->addMonitor(ports, std::move(sink));
        };
        return response;
    }
    if (const auto action = formValue(*args, "action")) {
        // "2:/" or "2:\"; pulse trains are not simulated.
        const auto colon = action->find(':');
        const auto ports = portList(action->substr(0, colon));
        if (colon == std::string::npos || !ports || ports->size() != 1 || action->size() != colon + 2 ||
            ((*action)[colon + 1] != '/' && (*action)[colon + 1] != '\\'))
            return error("unsupported action " + *action);
        const unsigned number = ports->front();
        const auto state = ports_->port(number);
        if (!state || !state->output)
            return error("port " + std::to_string(number) + " is not an output");
        ports_->set(number, (*action)[colon + 1] == '/');
        return HttpResponse::text(200, "");
    }
    return error("no action");
}

HttpResponse IoCgi::virtualInput(const HttpRequest& request, bool activate)
{
    const auto args = requestArgs(request);
    const auto schema = args ? formValue(*args, "schemaversion") : std::nullopt;
    const auto port = args ? formValue(*args, "port") : std::nullopt;
    if (!schema || !port)
        return virtualError(10, "Missing or invalid argument");
    if (*schema != "1")
        return virtualError(30, "Unsupported schema version");
    const auto number = portList(*port);
    if (!number || number->size() != 1)
        return virtualError(10, "Missing or invalid argument");
    const auto before = ports_->setVirtual(number->front(), activate);
    if (!before)
        return virtualError(20, "Invalid port number");
    return virtualSuccess(activate, *before != activate);
}

HttpResponse IoCgi::control(const HttpRequest& request)
{
    if (request.method == "GET")
        return json(200, ports_->toJson());
    if (request.method != "POST")
        return jsonError(405, "method not allowed");
    const auto body = parseJsonObject(request.body);
    if (!body)
        return jsonError(400, "body must be a JSON object");
    if ((*body)["cut"].asBool()) {
        Json::Value out;
        out["cut"] = static_cast<Json::UInt64>(ports_->cutMonitors());
        return json(200, out);
    }
    const Json::Value& port = (*body)["port"];
    const Json::Value& active = (*body)["active"];
    if (!port.isUInt() || !active.isBool())
        return jsonError(400, "expected {\"port\":N,\"active\":true|false} or {\"cut\":true}");
    if (!ports_->set(port.asUInt(), active.asBool()))
        return jsonError(404, "no port " + std::to_string(port.asUInt()));
    return json(200, ports_->toJson());
}

} // namespace Camsim
