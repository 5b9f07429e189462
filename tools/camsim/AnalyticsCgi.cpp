#include "AnalyticsCgi.h"

#include "ApplicationsCgi.h"
#include "ControlEndpoint.h"
#include "EventDocument.h"
#include "ModelLoader.h"
#include "ParamFormat.h"
#include "Router.h"

#include <boost/filesystem.hpp>
#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <json/writer.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

namespace Camsim {

namespace pt = boost::property_tree;

namespace {

constexpr const char* kVmdApiVersion = "1.4";
constexpr std::size_t kMaxVmdProfiles = 10;
constexpr std::size_t kMaxAreaPoints = 10;
constexpr std::size_t kMaxExcludeAreas = 10;

const char* const kVmd3Config =
    "<config version=\"2.0\">\n"
    "<application name=\"VMD3\" nicename=\"Video Motion Detection 3\">\n"
    "<ruleEngines>\n"
    "<ruleEngine status=\"enabled\">\n"
    "<namedObjects>\n"
    "<namedObject name=\"Detection Area\">\n<data knownTypeName=\"geometry.polygon\">\n<polygon>\n"
    "<point x=\"-0.97\" y=\"0.97\" />\n<point x=\"0.97\" y=\"0.97\" />\n<point x=\"0.97\" y=\"-0.97\" />\n"
    "<point x=\"-0.97\" y=\"-0.97\" />\n</polygon>\n</data>\n</namedObject>\n"
    "<namedObject name=\"Object Duration\"><data knownTypeName=\"core.int\"><int value=\"1\" /></data></namedObject>\n"
    "<namedObject name=\"Object Width\"><data knownTypeName=\"core.int\"><int value=\"5\" /></data></namedObject>\n"
    "<namedObject name=\"Object Height\"><data knownTypeName=\"core.int\"><int value=\"5\" /></data></namedObject>\n"
    "<namedObject name=\"Traveled Distance\"><data knownTypeName=\"core.int\"><int value=\"-5\" /></data></namedObject>\n"
    "</namedObjects>\n"
    "<rules>\n"
    "<rule name=\"detection_0\" function=\"guardIncludeArea\">\n"
    "<parameter name=\"Time\" value=\"Object Duration\" />\n<parameter name=\"Width\" value=\"Object Width\" />\n"
    "<parameter name=\"Height\" value=\"Object Height\" />\n<parameter name=\"Distance\" value=\"Traveled Distance\" />\n"
    "<parameter name=\"Channel\" value=\"1\" />\n<parameter name=\"IncludeArea\" value=\"Detection Area\" />\n"
    "</rule>\n"
    "</rules>\n"
    "</ruleEngine>\n"
    "</ruleEngines>\n"
    "</application>\n"
    "</config>";

std::string vaconfigReply(const std::string& inner) { return "<reply result=\"ok\">\n" + inner + "</reply>\n"; }

std::string vaconfigError(const std::string& message)
{
    return "<reply result=\"error\">\n <error message=\"" + xmlEscape(message) + "\" />\n</reply>\n";
}

bool inUnitRange(const std::string& text)
{
    try {
        std::size_t used = 0;
        const double v = std::stod(text, &used);
        return used == text.size() && v >= -1 && v <= 1;
    } catch (const std::exception&) {
        return false;
    }
}

// Why a VMD 3 <config> document cannot be stored, or empty.
std::string vmd3ConfigProblem(const std::string& xml)
{
    pt::ptree tree;
    try {
        std::istringstream in(xml);
        pt::read_xml(in, tree);
    } catch (const std::exception& e) {
        return std::string("the configuration is not XML: ") + e.what();
    }
    const auto application = tree.get_child_optional("config.application");
    if (!application || application->get<std::string>("<xmlattr>.name", "") != "VMD3")
        return "no <config><application name=\"VMD3\">";
    const auto engines = application->get_child_optional("ruleEngines");
    if (!engines || engines->count("ruleEngine") == 0)
        return "no rule engine";
    for (const auto& engine : *engines) {
        if (engine.first != "ruleEngine")
            continue;
        bool detectionArea = false;
        const auto objects = engine.second.get_child_optional("namedObjects");
        if (!objects)
            return "a rule engine without named objects";
        for (const auto& object : *objects) {
            if (object.first != "namedObject")
                continue;
            const auto polygon = object.second.get_child_optional("data.polygon");
            if (!polygon)
                continue;
            std::size_t points = 0;
            for (const auto& point : *polygon) {
                if (point.first != "point")
                    continue;
                ++points;
                if (!inUnitRange(point.second.get<std::string>("<xmlattr>.x", "")) ||
                    !inUnitRange(point.second.get<std::string>("<xmlattr>.y", "")))
                    return "a point of '" + object.second.get<std::string>("<xmlattr>.name", "") +
                           "' is outside -1..1";
            }
            if (points < 3)
                return "polygon '" + object.second.get<std::string>("<xmlattr>.name", "") + "' has fewer than 3 points";
            detectionArea = detectionArea || object.second.get<std::string>("<xmlattr>.name", "") == "Detection Area";
        }
        if (!detectionArea)
            return "no polygon named Detection Area";
    }
    return {};
}

std::string compact(const Json::Value& v)
{
    Json::StreamWriterBuilder b;
    b["indentation"] = "";
    b["precision"] = 6; // -0.97, not -0.96999999999999997
    return Json::writeString(b, v);
}

bool isPoint(const Json::Value& p)
{
    return p.isArray() && p.size() == 2 && p[0].isNumeric() && p[1].isNumeric() && p[0].asDouble() >= -1 &&
           p[0].asDouble() <= 1 && p[1].asDouble() >= -1 && p[1].asDouble() <= 1;
}

bool isArea(const Json::Value& a)
{
    if (!a["data"].isArray() || a["data"].size() < 3 || a["data"].size() > kMaxAreaPoints)
        return false;
    for (const auto& p : a["data"]) {
        if (!isPoint(p))
            return false;
    }
    return true;
}

std::string filterProblem(const Json::Value& f)
{
    if (!f.isObject() || !f["type"].isString())
        return "a filter without a type";
    const std::string type = f["type"].asString();
    if (type == "excludeArea")
        return isArea(f) ? std::string() : "an exclude area needs 3 to 10 points in -1..1";
    if (f.isMember("active") && !f["active"].isBool())
        return "filter " + type + ": active must be true or false";
    if (type == "sizePercentage") {
        const Json::Value& d = f["data"];
        const bool ok = d.isArray() && d.size() == 2 && d[0].isUInt() && d[1].isUInt() && d[0].asUInt() <= 100 &&
                        d[1].asUInt() <= 100;
        return ok ? std::string() : "sizePercentage takes [width, height] in 0..100";
    }
    if (type == "timeShortLivedLimit" || type == "distanceSwayingObject")
        return f["data"].isUInt() && f["data"].asUInt() <= 100 ? std::string() : type + " takes 0..100";
    return "unknown filter type '" + type + "'";
}

Json::Value capability(const char* type, unsigned min, unsigned max, unsigned def)
{
    Json::Value f;
    f["type"] = type;
    f["min"] = min;
    f["max"] = max;
    f["default"] = def;
    f["defaultActive"] = true;
    return f;
}

Json::Value vmdCapabilities()
{
    Json::Value d;
    d["alarmOverlay"]["supported"] = true;
    d["filters"].append(capability("timeShortLivedLimit", 0, 5, 1));
    d["filters"].append(capability("distanceSwayingObject", 0, 100, 5));
    d["filters"].append(capability("sizePercentage", 0, 100, 5));
    Json::Value exclude;
    exclude["type"] = "excludeArea";
    exclude["maxNbrPoints"] = static_cast<unsigned>(kMaxAreaPoints);
    exclude["maxNbrAreas"] = static_cast<unsigned>(kMaxExcludeAreas);
    d["filters"].append(exclude);
    Json::Value include;
    include["type"] = "includeArea";
    include["maxNbrPoints"] = static_cast<unsigned>(kMaxAreaPoints);
    d["triggers"].append(include);
    d["profiles"]["minNbrProfilesPerCamera"] = 0;
    d["profiles"]["maxNbrProfilesPerCamera"] = static_cast<unsigned>(kMaxVmdProfiles);
    return d;
}

std::string temperatureXml(const std::vector<TemperatureZone>& zones)
{
    auto number = [](double v) {
        char out[32];
        std::snprintf(out, sizeof out, "%g", v);
        return std::string(out);
    };
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<TemperatureResponse SchemaVersion=\"1.0\">\n  <Success>\n    <GetSuccess>\n";
    for (const auto& z : zones) {
        s += "      <TemperatureZone>\n";
        s += "        <Id>" + std::to_string(z.id) + "</Id>\n";
        s += "        <Name>" + xmlEscape(z.name) + "</Name>\n";
        s += "        <Emissivity>" + number(z.emissivity) + "</Emissivity>\n";
        s += "        <DetectionType>" + z.detectionType + "</DetectionType>\n";
        s += "        <Temperature>" + number(z.temperature) + "</Temperature>\n";
        s += "        <TemperatureType>" + z.temperatureType + "</TemperatureType>\n";
        s += "        <DelayTime>" + std::to_string(z.delayTime) + "</DelayTime>\n";
        s += "        <Xleft>" + std::to_string(z.xLeft) + "</Xleft>\n";
        s += "        <Xright>" + std::to_string(z.xRight) + "</Xright>\n";
        s += "        <Ytop>" + std::to_string(z.yTop) + "</Ytop>\n";
        s += "        <Ybottom>" + std::to_string(z.yBottom) + "</Ybottom>\n";
        s += "      </TemperatureZone>\n";
    }
    return s + "    </GetSuccess>\n  </Success>\n</TemperatureResponse>\n";
}

std::string shockReply(const std::string& success)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ShockDetectionResponse SchemaVersion=\"1.0\">\n  <Success>\n    " +
           success + "\n  </Success>\n</ShockDetectionResponse>\n";
}

std::string shockError(int code, const std::string& description)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ShockDetectionResponse SchemaVersion=\"1.0\">\n"
           "  <Error>\n    <GeneralError>\n      <ErrorCode>" +
           std::to_string(code) + "</ErrorCode>\n      <ErrorDescription>" + xmlEscape(description) +
           "</ErrorDescription>\n    </GeneralError>\n  </Error>\n</ShockDetectionResponse>\n";
}

} // namespace

std::string defaultVmd3Config() { return kVmd3Config; }

AnalyticsCgi::AnalyticsCgi(EventEngine& engine, ApplicationsCgi& applications)
    : engine_(engine), applications_(applications)
{
    engine_.withConfig([](AnalyticsConfig& c) {
        c.vmd3 = kVmd3Config;
        return 0;
    });
}

void AnalyticsCgi::registerRoutes(Router& router, bool thermometry, bool shock)
{
    router.add("/axis-cgi/vaconfig.cgi", [this](const HttpRequest& r) { return vaconfig(r); });
    router.add("/local/vmd/control.cgi", [this](const HttpRequest& r) { return vmd(r); });
    if (thermometry)
        router.add("/axis-cgi/temperature_alarm/get.cgi", [this](const HttpRequest& r) { return temperature(r); });
    if (shock) {
        for (const char* name : {"getsensitivitylevel", "setsensitivitylevel", "getenabled", "setenabled"})
            router.add(std::string("/axis-cgi/shockdetection/") + name + ".cgi",
                       [this](const HttpRequest& r) { return this->shock(r); });
    }
}

HttpResponse AnalyticsCgi::vaconfig(const HttpRequest& request)
{
    // A modify carries its arguments on the first line of the body and
    // the <config> document after it, not form-encoded.
    std::string argsText = request.query();
    std::string document;
    if (request.method == "POST" && !request.body.empty()) {
        const auto newline = request.body.find('\n');
        argsText += (argsText.empty() ? "" : "&") + request.body.substr(0, newline);
        if (newline != std::string::npos)
            document = request.body.substr(newline + 1);
    }
    const auto args = parseForm(argsText);
    const auto action = args ? formValue(*args, "action") : std::nullopt;
    const auto name = args ? formValue(*args, "name") : std::nullopt;
    if (!action || !name)
        return HttpResponse::text(200, vaconfigError("action and name are required"), "text/xml");
    if (*name != "VMD3" || !applications_.installed("VMD3"))
        return HttpResponse::text(200, vaconfigError("no application named '" + *name + "'"), "text/xml");
    if (*action == "get") {
        const std::string config = engine_.withConfig([](AnalyticsConfig& c) { return c.vmd3; });
        return HttpResponse::text(200, vaconfigReply(config + "\n"), "text/xml");
    }
    if (*action != "modify")
        return HttpResponse::text(200, vaconfigError("unknown action '" + *action + "'"), "text/xml");
    const std::string problem = vmd3ConfigProblem(document);
    if (!problem.empty())
        return HttpResponse::text(200, vaconfigError(problem), "text/xml");
    engine_.withConfig([&document](AnalyticsConfig& c) {
        c.vmd3 = document;
        return 0;
    });
    return HttpResponse::text(200, vaconfigReply(""), "text/xml");
}

std::string vmd4ConfigurationProblem(const Json::Value& params)
{
    if (!params.isObject() || !params["cameras"].isArray() || !params["profiles"].isArray())
        return "params needs cameras and profiles";
    std::set<unsigned> cameras;
    for (const auto& c : params["cameras"]) {
        if (!c.isObject() || !c["id"].isUInt() || c["id"].asUInt() == 0)
            return "a camera needs an id of 1 or more";
        cameras.insert(c["id"].asUInt());
    }
    if (params["profiles"].size() > kMaxVmdProfiles)
        return "at most 10 profiles";
    std::set<unsigned> uids;
    for (const auto& p : params["profiles"]) {
        if (!p.isObject() || !p["name"].isString() || !p["uid"].isUInt() || !p["camera"].isUInt())
            return "a profile needs name, uid and camera";
        if (!uids.insert(p["uid"].asUInt()).second)
            return "profile uid " + std::to_string(p["uid"].asUInt()) + " twice";
        if (!cameras.count(p["camera"].asUInt()))
            return "profile for an unknown camera";
        if (!p["filters"].isArray() || !p["triggers"].isArray() || p["triggers"].empty())
            return "a profile needs filters and triggers";
        for (const auto& f : p["filters"]) {
            const std::string problem = filterProblem(f);
            if (!problem.empty())
                return problem;
        }
        for (const auto& t : p["triggers"]) {
            if (!t.isObject() || t["type"].asString() != "includeArea" || !isArea(t))
                return "a trigger is an includeArea of 3 to 10 points in -1..1";
        }
    }
    return {};
}

std::string AnalyticsCgi::vmdAnswer(const std::string& body)
{
    Json::Value answer;
    answer["apiVersion"] = kVmdApiVersion;
    const auto request = parseJsonObject(body);
    auto fail = [&answer](const char* code, const std::string& message) {
        answer["error"]["code"] = code;
        answer["error"]["message"] = message;
        return compact(answer);
    };
    if (!request)
        return fail("2001", "The request was not formatted correctly.");
    const Json::Value& r = *request;
    if (r.isMember("context"))
        answer["context"] = r["context"];
    if (r.isMember("method"))
        answer["method"] = r["method"];
    if (r.isMember("apiVersion")) {
        const std::string version = r["apiVersion"].asString();
        answer["apiVersion"] = r["apiVersion"];
        if (!r["apiVersion"].isString() || version.rfind("1.", 0) != 0 || version.size() != 3 || version[2] < '0' ||
            version[2] > kVmdApiVersion[2])
            return fail("2000", "The requested version of the application is not supported.");
    }
    if (!r["method"].isString())
        return fail("2001", "The request was not formatted correctly.");
    const std::string method = r["method"].asString();
    if (method == "getConfiguration") {
        answer["data"] = engine_.withConfig([](AnalyticsConfig& c) {
            Json::Value d = c.vmd4;
            d["configurationStatus"] = c.vmd4["profiles"].empty() ? 26 : 2;
            return d;
        });
    } else if (method == "getConfigurationCapabilities") {
        answer["data"] = vmdCapabilities();
    } else if (method == "getSupportedVersions") {
        answer["data"]["apiVersions"].append(kVmdApiVersion);
    } else if (method == "setConfiguration") {
        const std::string problem = vmd4ConfigurationProblem(r["params"]);
        if (!problem.empty())
            return fail("2001", "The request was not formatted correctly: " + problem + ".");
        engine_.withConfig([&r](AnalyticsConfig& c) {
            c.vmd4["cameras"] = r["params"]["cameras"];
            c.vmd4["profiles"] = r["params"]["profiles"];
            return 0;
        });
        answer["data"] = Json::Value(Json::objectValue);
    } else {
        return fail("2002", "The requested method is not supported.");
    }
    return compact(answer);
}

HttpResponse AnalyticsCgi::vmd(const HttpRequest& request)
{
    if (!applications_.installed("vmd"))
        return HttpResponse::text(404, "404 Not Found\n");
    if (!applications_.running("vmd"))
        return HttpResponse::text(503, "503 Service Unavailable\n");
    if (request.method != "POST")
        return HttpResponse::text(405, "405 Method Not Allowed\n");
    return HttpResponse::text(200, vmdAnswer(request.body), "application/json");
}

HttpResponse AnalyticsCgi::temperature(const HttpRequest&)
{
    const auto zones = engine_.withConfig([](AnalyticsConfig& c) { return c.zones; });
    return HttpResponse::text(200, temperatureXml(zones), "text/xml");
}

HttpResponse AnalyticsCgi::shock(const HttpRequest& request)
{
    const std::string path = request.path();
    const std::string name = path.substr(path.rfind('/') + 1);
    const auto args = requestArgs(request);
    const auto schema = args ? formValue(*args, "schemaversion") : std::nullopt;
    if (!schema || (*schema != "1" && schema->rfind("1.", 0) != 0))
        return HttpResponse::text(200, shockError(1, "Unsupported or missing schemaversion"), "text/xml");
    if (name == "getsensitivitylevel.cgi") {
        const unsigned level = engine_.withConfig([](AnalyticsConfig& c) { return c.shockLevel; });
        return HttpResponse::text(200,
                                  shockReply("<GetSensitivityLevelSuccess>\n      <Level>" + std::to_string(level) +
                                             "</Level>\n    </GetSensitivityLevelSuccess>"),
                                  "text/xml");
    }
    if (name == "getenabled.cgi") {
        const bool enabled = engine_.withConfig([](AnalyticsConfig& c) { return c.shockEnabled; });
        return HttpResponse::text(200,
                                  shockReply(std::string("<GetEnabledSuccess>\n      <Enabled>") +
                                             (enabled ? "true" : "false") + "</Enabled>\n    </GetEnabledSuccess>"),
                                  "text/xml");
    }
    if (name == "setsensitivitylevel.cgi") {
        const auto level = formValue(*args, "level");
        if (!level || level->empty() || level->size() > 3 || level->find_first_not_of("0123456789") != std::string::npos ||
            std::stoul(*level) > 100)
            return HttpResponse::text(200, shockError(2, "level must be 0..100"), "text/xml");
        engine_.withConfig([&level](AnalyticsConfig& c) {
            c.shockLevel = static_cast<unsigned>(std::stoul(*level));
            return 0;
        });
        return HttpResponse::text(200, shockReply("<SetSensitivityLevelSuccess/>"), "text/xml");
    }
    const auto enabled = formValue(*args, "enabled");
    if (!enabled || (*enabled != "true" && *enabled != "false"))
        return HttpResponse::text(200, shockError(2, "enabled must be true or false"), "text/xml");
    engine_.withConfig([&enabled](AnalyticsConfig& c) {
        c.shockEnabled = *enabled == "true";
        return 0;
    });
    return HttpResponse::text(200, shockReply("<SetEnabledSuccess/>"), "text/xml");
}

bool addApplicationParams(Model& model, const std::string& dataDir, const std::vector<std::string>& applications,
                          std::string& error)
{
    namespace fs = boost::filesystem;
    for (const auto& name : applications) {
        if (name.find_first_of("./\\") != std::string::npos)
            continue;
        const fs::path file = fs::path(dataDir) / "common" / ("app-" + name + ".params");
        std::ifstream in(file.string(), std::ios::binary);
        if (!in)
            continue;
        std::ostringstream text;
        text << in.rdbuf();
        const auto app = ModelLoader::parse("app-" + name, text.str(), nullptr, error);
        if (!app)
            return false;
        ParamTree::visit(app->params.root(), "", [&model](const std::string& path, const Param& p) {
            model.params.define(path, p.value, p.type);
        });
    }
    return true;
}

} // namespace Camsim
