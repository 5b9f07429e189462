#include "Simulator.h"

#include "AnalyticsCgi.h"
#include "ApplicationsCgi.h"
#include "Camera.h"
#include "AudioCgi.h"
#include "ControlEndpoint.h"
#include "EventControl.h"
#include "EventDeclarations.h"
#include "EventEngine.h"
#include "FirmwareCgi.h"
#include "SnapshotCgi.h"
#include "HttpServer.h"
#include "IoCgi.h"
#include "LightControlCgi.h"
#include "MdnsResponder.h"
#include "ModelLoader.h"
#include "OpticsCgi.h"
#include "ParamCgi.h"
#include "PtzCgi.h"
#include "RecordCgi.h"
#include "RecordingStore.h"
#include "RequestDispatcher.h"
#include "RequestLog.h"
#include "Router.h"
#include "RtspServer.h"
#include "TlsIdentity.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ssl/context.hpp>

#include <json/value.h>
#include <json/writer.h>

#include <thread>

namespace Camsim {

namespace asio = boost::asio;

struct Simulator::Impl {
    explicit Impl(SimulatorConfig c) : config(std::move(c)) {}

    bool start(std::string& error);
    bool listenAll(std::string& error);
    bool applyParams(std::string& error);
    bool startMdns(std::string& error);
    void registerRoutes();
    std::string mediaDir() const { return config.mediaDir.empty() ? std::string(CAMSIM_MEDIA_DIR) : config.mediaDir; }
    void powerOff();
    void powerOn();

    SimulatorConfig config;
    // Declared before everything that holds handlers on it.
    asio::io_context io;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    std::unique_ptr<Camera> camera;
    std::unique_ptr<Authenticator> auth;
    FaultInjector faults;
    std::unique_ptr<RequestLog> log;
    Router router;
    std::unique_ptr<ParamCgi> paramCgi;
    std::unique_ptr<OpticsCgi> opticsCgi;
    std::unique_ptr<LightControlCgi> lightCgi;
    std::unique_ptr<FirmwareCgi> firmwareCgi;
    std::unique_ptr<SnapshotCgi> snapshotCgi;
    std::unique_ptr<PtzCgi> ptzCgi;
    std::unique_ptr<ApplicationsCgi> applicationsCgi;
    std::shared_ptr<EventEngine> events;
    std::unique_ptr<EventControl> eventControl;
    std::unique_ptr<AnalyticsCgi> analyticsCgi;
    std::unique_ptr<MdnsResponder> mdns;
    std::unique_ptr<RecordingStore> recordings;
    std::unique_ptr<RecordCgi> recordCgi;
    std::unique_ptr<IoCgi> ioCgi;
    std::unique_ptr<AudioCgi> audioCgi;
    unsigned short poweredHttpPort = 0, poweredHttpsPort = 0, poweredRtspPort = 0; // kept over a restart
    std::unique_ptr<ControlEndpoint> control;
    std::unique_ptr<RequestDispatcher> dispatcher;
    std::unique_ptr<asio::ssl::context> tls;
    std::optional<TlsIdentity> tlsIdentity;
    std::unique_ptr<HttpServer> http;
    std::unique_ptr<HttpServer> https;
    std::unique_ptr<RtspServer> rtsp;
    std::vector<std::thread> threads;
    bool running = false;
};

void Simulator::Impl::registerRoutes()
{
    // Newer firmware decides by the user's role on /axis-cgi/param.cgi;
    // older firmware has one path per role.
    for (const char* path : {"/axis-cgi/param.cgi", "/axis-cgi/admin/param.cgi", "/axis-cgi/operator/param.cgi",
                             "/axis-cgi/view/param.cgi"})
        router.add(path, [this](const HttpRequest& r) {
            auto response = paramCgi->handle(r);
            if (ptzCgi) // guard tours start and stop through param.cgi
                ptzCgi->paramsChanged();
            return response;
        });
    if (camera->hasOptics())
        router.add("/axis-cgi/opticssetup.cgi", [this](const HttpRequest& r) { return opticsCgi->handle(r); });
    if (camera->withModel([](Model& m) { return LightControlCgi::available(m); }))
        router.add("/axis-cgi/lightcontrol.cgi", [this](const HttpRequest& r) { return lightCgi->handle(r); });
    if (camera->withModel([](Model& m) { return FirmwareCgi::available(m); }))
        router.add("/axis-cgi/firmwaremanagement.cgi", [this](const HttpRequest& r) { return firmwareCgi->handle(r); });
    router.add("/axis-cgi/jpg/image.cgi", [this](const HttpRequest& r) { return snapshotCgi->handle(r); });
    if (ptzCgi)
        ptzCgi->registerRoutes(router);
    router.add("/axis-cgi/applications/list.cgi",
               [this](const HttpRequest& r) { return applicationsCgi->handle(r); });
    router.add("/axis-cgi/applications/control.cgi",
               [this](const HttpRequest& r) { return applicationsCgi->control(r); });
    router.add("/vapix/services", [this](const HttpRequest& r) { return eventServices(*events, r); });
    eventControl->registerRoutes(router);
    analyticsCgi->registerRoutes(
        router, camera->withModel([](Model& m) { return m.value(kTemperatureDetectionProperty) == "yes"; }),
        camera->withModel([](Model& m) { return m.value(kShockDetectionProperty) == "yes"; }));
    router.add("/axis-cgi/disks/list.cgi", [this](const HttpRequest& r) { return recordCgi->disks(r); });
    router.add("/axis-cgi/record/list.cgi", [this](const HttpRequest& r) { return recordCgi->list(r); });
    ioCgi->registerRoutes(router);
    control->registerRoutes(router);
    audioCgi->registerRoutes(router);
}

bool Simulator::Impl::listenAll(std::string& error)
{
    // RTSP first: the HTTP servers hand it their tunnel requests.
    RtspServer::Options rtspOptions;
    rtspOptions.bindAddress = config.bindAddress;
    rtspOptions.mediaDir = mediaDir();
    rtspOptions.auth = config.auth;
    rtspOptions.user = config.user;
    rtspOptions.password = config.password;
    rtspOptions.realm = camera->realm();
    rtspOptions.nonceLifetime = std::chrono::seconds(config.nonceLifetimeSeconds);
    rtspOptions.refuseTcp = config.refuseRtspTcp;
    rtspOptions.recordings = recordings.get();
    rtspOptions.events = events.get();
    rtsp = std::make_unique<RtspServer>(io, *camera, faults, *log, *auth, rtspOptions);

    http = std::make_unique<HttpServer>(io, *dispatcher, nullptr);
    http->setRtspTunnel(rtsp.get());
    http->setStreamingRoutes(audioCgi.get());
    if (auto ec = http->listen(config.bindAddress, config.httpPort)) {
        error = "cannot listen for HTTP on " + config.bindAddress + ":" + std::to_string(config.httpPort) + ": " +
                ec.message();
        return false;
    }
    if (config.httpsPort) {
        tlsIdentity = config.tlsCertFile.empty()
                          ? generateSelfSigned(toLower(camera->realm().substr(0, 4)) + "-" +
                                                   toLower(camera->realm().substr(5)),
                                               error)
                          : loadTlsIdentity(config.tlsCertFile, config.tlsKeyFile, error);
        if (!tlsIdentity)
            return false;
        tls = std::make_unique<asio::ssl::context>(asio::ssl::context::tls_server);
        if (!configureServerContext(*tls, *tlsIdentity, error))
            return false;
        https = std::make_unique<HttpServer>(io, *dispatcher, tls.get());
        https->setRtspTunnel(rtsp.get());
        https->setStreamingRoutes(audioCgi.get());
        if (auto ec = https->listen(config.bindAddress, *config.httpsPort)) {
            error = "cannot listen for HTTPS on port " + std::to_string(*config.httpsPort) + ": " + ec.message();
            return false;
        }
    }
    if (config.rtspPort >= 0) {
        if (config.rtspPort > 65535) {
            error = "RTSP port out of range";
            return false;
        }
        if (auto ec = rtsp->listen(config.bindAddress, static_cast<unsigned short>(config.rtspPort))) {
            error = "cannot listen for RTSP on port " + std::to_string(config.rtspPort) + ": " + ec.message();
            return false;
        }
    }
    return true;
}

bool Simulator::Impl::applyParams(std::string& error)
{
    return camera->withModel([&](Model& model) {
        // The ports the camera announces are the ones it really listens on.
        if (rtsp && rtsp->listening()) {
            if (Param* p = model.params.findParam("Network.RTSP.Port"))
                p->value = std::to_string(rtsp->port());
        }
        if (https) {
            if (Param* p = model.params.findParam("HTTPS.Port"))
                p->value = std::to_string(https->port());
        }
        for (const auto& assignment : config.params) {
            Param* p = model.params.findParam(assignment.first);
            if (!p) {
                error = "--param: no parameter " + assignment.first + " in model " + model.name;
                return false;
            }
            if (!p->type.accepts(assignment.second)) {
                error = "--param: '" + assignment.second + "' is not a valid value for " + assignment.first;
                return false;
            }
            p->value = assignment.second;
        }
        return true;
    });
}

// A restart: every port closes with its connections, then opens again on
// the same number.
void Simulator::Impl::powerOff()
{
    poweredHttpPort = http ? http->port() : 0;
    poweredHttpsPort = https ? https->port() : 0;
    poweredRtspPort = rtsp ? rtsp->port() : 0;
    if (http)
        http->stop();
    if (https)
        https->stop();
    if (rtsp)
        rtsp->stop();
}

void Simulator::Impl::powerOn()
{
    if (http && poweredHttpPort)
        http->listen(config.bindAddress, poweredHttpPort);
    if (https && poweredHttpsPort)
        https->listen(config.bindAddress, poweredHttpsPort);
    if (rtsp && poweredRtspPort)
        rtsp->listen(config.bindAddress, poweredRtspPort);
}

bool Simulator::Impl::start(std::string& error)
{
    auto model = ModelLoader::load(config.dataDir, config.model, error);
    if (!model)
        return false;
    camera = std::make_unique<Camera>(std::move(*model));

    Authenticator::Options options;
    options.mode = config.auth;
    options.user = config.user;
    options.password = config.password;
    options.realm = camera->realm();
    options.nonceLifetime = std::chrono::seconds(config.nonceLifetimeSeconds);
    options.maxNonceUses = config.nonceUses;
    auth = std::make_unique<Authenticator>(options);

    log = std::make_unique<RequestLog>(config.requestLogFile);
    if (!log->fileOk()) {
        error = "cannot open request log " + config.requestLogFile;
        return false;
    }
    for (const auto& f : config.faults)
        faults.set(f.first, f.second);

    paramCgi = std::make_unique<ParamCgi>(*camera);
    opticsCgi = std::make_unique<OpticsCgi>(*camera);
    lightCgi = std::make_unique<LightControlCgi>(*camera);
    firmwareCgi = std::make_unique<FirmwareCgi>(
        *camera, io, FirmwareCgi::Power{[this] { powerOff(); }, [this] { powerOn(); }},
        std::chrono::milliseconds(static_cast<long long>(config.rebootSeconds * 1000)));
    snapshotCgi = std::make_unique<SnapshotCgi>(*camera, mediaDir());
    if (PtzCgi::available(*camera)) {
        PtzOptions ptz;
        ptz.queueReply = config.ptzQueuePage ? PtzOptions::QueueReply::Page : PtzOptions::QueueReply::Redirect;
        ptz.maxPresets = config.ptzMaxPresets;
        ptzCgi = std::make_unique<PtzCgi>(*camera, ptz);
    }
    applicationsCgi = std::make_unique<ApplicationsCgi>(config.applications);
    events = std::make_shared<EventEngine>(*camera, io, [this](const std::string& name) {
        return applicationsCgi->running(name);
    });
    eventControl = std::make_unique<EventControl>(*events, *applicationsCgi);
    analyticsCgi = std::make_unique<AnalyticsCgi>(*events, *applicationsCgi);
    if (!camera->withModel([&](Model& m) {
            return addApplicationParams(m, config.dataDir, applicationsCgi->names(), error);
        }))
        return false;
    recordings = std::make_unique<RecordingStore>();
    recordCgi = std::make_unique<RecordCgi>(*recordings);
    ioCgi = std::make_unique<IoCgi>(*camera, io);
    control = std::make_unique<ControlEndpoint>(*camera, faults, *log);
    audioCgi = std::make_unique<AudioCgi>(*camera, mediaDir());
    registerRoutes();
    dispatcher = std::make_unique<RequestDispatcher>(router, *auth, faults, *log, camera->webServer());

    if (!listenAll(error) || !applyParams(error))
        return false;
    if (config.mdns && !startMdns(error))
        return false;

    work.emplace(io.get_executor());
    const unsigned n = config.threads == 0 ? 1 : config.threads;
    for (unsigned i = 0; i < n; ++i)
        threads.emplace_back([this] { io.run(); });
    running = true;
    return true;
}

// The camera's Bonjour identity: its friendly name as instance, the host
// name "axis-" + lower-case MAC, and the MAC as TXT "macaddress".
bool Simulator::Impl::startMdns(std::string& error)
{
    MdnsService service;
    const auto [friendly, mac] = camera->withModel([](Model& m) {
        return std::make_pair(m.value("Network.Bonjour.FriendlyName"), m.value("Network.eth0.MACAddress"));
    });
    std::string bare;
    for (char c : mac)
        if (c != ':')
            bare += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    service.instance = !config.mdnsInstance.empty() ? config.mdnsInstance
                       : !friendly.empty()          ? friendly
                                                    : "AXIS " + camera->modelName() + " - " + bare;
    service.host = "axis-" + toLower(bare);
    service.port = http->port();
    service.txt = {{"macaddress", bare}};
    mdns = std::make_unique<MdnsResponder>(io, std::move(service));
    std::string why;
    if (!mdns->start(mdnsInterfaceAddresses(config.bindAddress), why)) {
        error = "mDNS: " + why;
        return false;
    }
    return true;
}

Simulator::Simulator(SimulatorConfig config) : impl_(std::make_unique<Impl>(std::move(config))) {}

Simulator::~Simulator() { stop(); }

bool Simulator::start(std::string& error) { return impl_->start(error); }

void Simulator::stop()
{
    if (impl_->http)
        impl_->http->stop();
    if (impl_->https)
        impl_->https->stop();
    if (impl_->rtsp)
        impl_->rtsp->stop();
    impl_->work.reset();
    impl_->io.stop();
    for (auto& t : impl_->threads) {
        if (t.joinable())
            t.join();
    }
    impl_->threads.clear();
    if (impl_->mdns)
        impl_->mdns->stop();
    impl_->running = false;
}

unsigned short Simulator::httpPort() const { return impl_->http ? impl_->http->port() : 0; }

std::optional<unsigned short> Simulator::rtspPort() const
{
    return impl_->rtsp && impl_->rtsp->listening() ? std::optional<unsigned short>(impl_->rtsp->port())
                                                   : std::nullopt;
}

std::optional<unsigned short> Simulator::httpsPort() const
{
    return impl_->https ? std::optional<unsigned short>(impl_->https->port()) : std::nullopt;
}

std::string Simulator::readyLine() const
{
    auto number = [](const std::optional<unsigned short>& p) {
        return p ? std::to_string(*p) : std::string("null");
    };
    Json::StreamWriterBuilder b;
    b["indentation"] = "";
    std::string line = "{\"ready\":true,\"httpPort\":" + std::to_string(httpPort()) +
                       ",\"rtspPort\":" + number(rtspPort()) + ",\"httpsPort\":" + number(httpsPort()) +
                       ",\"model\":" + Json::writeString(b, Json::Value(impl_->config.model));
    if (impl_->tlsIdentity)
        line += ",\"httpsCertSha256\":\"" + impl_->tlsIdentity->sha256Fingerprint + "\"";
    return line + "}";
}

Camera& Simulator::camera() { return *impl_->camera; }
FaultInjector& Simulator::faults() { return impl_->faults; }
RequestLog& Simulator::requestLog() { return *impl_->log; }
asio::io_context& Simulator::io() { return impl_->io; }

std::optional<std::pair<std::string, std::string>> splitAssignment(const std::string& text)
{
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        return std::nullopt;
    return std::make_pair(text.substr(0, eq), text.substr(eq + 1));
}

} // namespace Camsim
