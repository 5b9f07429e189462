// The CGIs the detectors configure: application control, VMD 4 JSON, the
// VMD 3 configuration, shock detection; requests as the driver sends them,
// answers in the firmware's words.
#include "AnalyticsCgi.h"
#include "ApplicationsCgi.h"
#include "Camera.h"
#include "ModelLoader.h"

#include <boost/asio/io_context.hpp>

#include <gtest/gtest.h>

using namespace Camsim;

namespace {

HttpRequest request(const std::string& method, const std::string& target, const std::string& body = {})
{
    HttpRequest r;
    r.method = method;
    r.target = target;
    r.body = body;
    return r;
}

struct Rig {
    explicit Rig(const std::vector<std::string>& apps)
        : camera(load()),
          applications(apps),
          engine(std::make_shared<EventEngine>(camera, io,
                                               [this](const std::string& n) { return applications.running(n); })),
          cgi(*engine, applications)
    {
    }
    static Model load()
    {
        std::string error;
        auto m = ModelLoader::load(CAMSIM_DATA_DIR, "P3245-LVE", error);
        if (!m)
            throw std::runtime_error(error);
        return std::move(*m);
    }
    boost::asio::io_context io;
    Camera camera;
    ApplicationsCgi applications;
    std::shared_ptr<EventEngine> engine;
    AnalyticsCgi cgi;
};

} // namespace

TEST(EventCgi, ApplicationControlAnswers)
{
    Rig rig({"vmd", "VMD3:stopped"});
    const struct {
        const char* target;
        const char* body;
        bool vmd3Running;
    } steps[] = {
        {"/axis-cgi/applications/control.cgi?action=start&package=vmd", "Error: 6", false},
        {"/axis-cgi/applications/control.cgi?action=start&package=VMD3", "OK\r\n", true},
        {"/axis-cgi/applications/control.cgi?action=start&package=VMD3", "Error: 6", true},
        {"/axis-cgi/applications/control.cgi?action=stop&package=VMD3", "OK\r\n", false},
        {"/axis-cgi/applications/control.cgi?action=stop&package=VMD3", "Error: 7", false},
        {"/axis-cgi/applications/control.cgi?action=restart&package=VMD3", "OK\r\n", true},
        {"/axis-cgi/applications/control.cgi?action=start&package=QVT", "Error: 4", true},
        {"/axis-cgi/applications/control.cgi?action=launch&package=VMD3", "Error: 10", true},
        {"/axis-cgi/applications/control.cgi?action=remove&package=VMD3", "OK\r\n", false},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.target);
        const auto answer = rig.applications.control(request("GET", s.target));
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.body, s.body);
        EXPECT_EQ(rig.applications.running("VMD3"), s.vmd3Running);
    }
    EXPECT_EQ(rig.applications.handle(request("GET", "/axis-cgi/applications/list.cgi")).body.find("VMD3"),
              std::string::npos);
}

TEST(EventCgi, Vmd4Answers)
{
    Rig rig({"vmd"});
    const std::string profile =
        "{\"name\":\"Profile 1\",\"uid\":1,\"camera\":1,\"filters\":[{\"type\":\"sizePercentage\",\"data\":[5,5],"
        "\"active\":true},{\"type\":\"timeShortLivedLimit\",\"active\":false,\"data\":1},{\"type\":"
        "\"distanceSwayingObject\",\"active\":true,\"data\":5},{\"type\":\"excludeArea\",\"data\":[[-1,1],[0,1],[0,0]]}"
        "],\"triggers\":[{\"type\":\"includeArea\",\"data\":[[-1,1],[1,1],[1,-1],[-1,-1]]}]}";
    std::string outside = profile;
    outside.replace(outside.rfind("[-1,-1]"), 7, "[-1,-1.5]");
    auto set = [](const std::string& profiles) {
        return "{\"apiVersion\":\"1.0\",\"context\":\"\",\"method\":\"setConfiguration\",\"params\":{\"cameras\":[{"
               "\"active\":true,\"id\":1,\"rotation\":0}],\"profiles\":[" +
               profiles + "]}}";
    };
    const struct {
        const char* name;
        std::string body;
        std::string expected; // the whole answer, or a part of it
        bool whole;
    } cases[] = {
        {"configuration as the driver writes it", set(profile),
         "{\"apiVersion\":\"1.0\",\"context\":\"\",\"data\":{},\"method\":\"setConfiguration\"}", true},
        {"stored", "{\"method\" : \"getConfiguration\"}",
         "\"configurationStatus\":2,\"profiles\":[{\"camera\":1,\"filters\":[{\"active\":true,\"data\":[5,5],"
         "\"type\":\"sizePercentage\"}",
         false},
        {"capabilities", "{\"apiVersion\": \"1.4\",\"method\" : \"getConfigurationCapabilities\"}",
         "{\"default\":5,\"defaultActive\":true,\"max\":100,\"min\":0,\"type\":\"sizePercentage\"}", false},
        {"no profiles", set(""), "\"data\":{}", false},
        {"empty configuration", "{\"method\":\"getConfiguration\"}", "\"configurationStatus\":26,\"profiles\":[]",
         false},
        {"point outside the frame", set(outside),
         "\"error\":{\"code\":\"2001\"", false},
        {"two profiles with one uid", set(profile + "," + profile), "\"code\":\"2001\"", false},
        {"unknown filter", set("{\"name\":\"P\",\"uid\":2,\"camera\":1,\"filters\":[{\"type\":\"speed\"}],"
                               "\"triggers\":[{\"type\":\"includeArea\",\"data\":[[0,0],[1,0],[1,1]]}]}"),
         "\"code\":\"2001\"", false},
        {"not JSON", "{\"method\":\"setConfiguration\",", "\"code\":\"2001\"", false},
        {"version 2", "{\"apiVersion\":\"2.0\",\"context\":\"Axis library\",\"method\":\"getConfiguration\"}",
         "{\"apiVersion\":\"2.0\",\"context\":\"Axis library\",\"error\":{\"code\":\"2000\",\"message\":\"The "
         "requested version of the application is not supported.\"},\"method\":\"getConfiguration\"}",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string answer = rig.cgi.vmdAnswer(c.body);
        if (c.whole)
            EXPECT_EQ(answer, c.expected);
        else
            EXPECT_NE(answer.find(c.expected), std::string::npos) << answer;
    }
    // The stored profiles are the VMD 4 event instances.
    EXPECT_EQ(rig.engine->vmd4(1, 1, true).status, 404);
    rig.cgi.vmdAnswer(set(profile));
    EXPECT_EQ(rig.engine->vmd4(1, 1, true).status, 200);
    // Not running: the application's CGI is not there to answer.
    rig.applications.setStatus("vmd", "Stopped");
    EXPECT_EQ(rig.cgi.vmd(request("POST", "/local/vmd/control.cgi", "{\"method\":\"getConfiguration\"}")).status, 503);
}

TEST(EventCgi, Vmd3AndShockDetection)
{
    Rig rig({"VMD3"});
    const std::string config = "<config version=\"2.0\">\n<application name=\"VMD3\" nicename=\"Video Motion "
                               "Detection 3\">\n<ruleEngines>\n<ruleEngine status=\"enabled\">\n<namedObjects>\n"
                               "<namedObject name=\"Detection Area\">\n<data knownTypeName=\"geometry.polygon\">\n"
                               "<polygon>\n<point x=\"-1\" y=\"1\" />\n<point x=\"1\" y=\"1\" />\n<point x=\"0\" "
                               "y=\"-1\" />\n</polygon>\n</data>\n</namedObject>\n<namedObject name=\"Object "
                               "Duration\"><data knownTypeName=\"core.int\"><int value=\"-3\" /></data></namedObject>\n"
                               "</namedObjects>\n</ruleEngine>\n</ruleEngines>\n</application>\n</config>";
    std::string outside = config;
    outside.replace(outside.find("x=\"0\""), 5, "x=\"1.2\"");
    const struct {
        const char* name;
        HttpRequest request;
        std::string expected; // part of the answer
    } cases[] = {
        {"modify", request("POST", "/axis-cgi/vaconfig.cgi", "action=modify&name=VMD3\n" + config),
         "<reply result=\"ok\">\n</reply>\n"},
        {"get what was stored", request("GET", "/axis-cgi/vaconfig.cgi?action=get&name=VMD3"),
         "<reply result=\"ok\">\n" + config + "\n</reply>\n"},
        {"point outside", request("POST", "/axis-cgi/vaconfig.cgi", "action=modify&name=VMD3\n" + outside),
         "<reply result=\"error\">\n <error message=\"a point of 'Detection Area' is outside -1..1\" />"},
        {"not XML", request("POST", "/axis-cgi/vaconfig.cgi", "action=modify&name=VMD3\n<config"),
         "<reply result=\"error\">"},
        {"another application", request("GET", "/axis-cgi/vaconfig.cgi?action=get&name=VMD4"),
         "<reply result=\"error\">"},
        {"shock level", request("GET", "/axis-cgi/shockdetection/setsensitivitylevel.cgi?schemaversion=1&level=80"),
         "<SetSensitivityLevelSuccess/>"},
        {"shock level read back", request("GET", "/axis-cgi/shockdetection/getsensitivitylevel.cgi?schemaversion=1"),
         "<Level>80</Level>"},
        {"shock level out of range",
         request("GET", "/axis-cgi/shockdetection/setsensitivitylevel.cgi?schemaversion=1&level=101"),
         "<ErrorCode>2</ErrorCode>"},
        {"enable", request("GET", "/axis-cgi/shockdetection/setenabled.cgi?schemaversion=1&enabled=true"),
         "<SetEnabledSuccess/>"},
        {"no schema version", request("GET", "/axis-cgi/shockdetection/setenabled.cgi?enabled=false"),
         "<ErrorCode>1</ErrorCode>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto answer = c.request.path().find("vaconfig") != std::string::npos ? rig.cgi.vaconfig(c.request)
                                                                                   : rig.cgi.shock(c.request);
        EXPECT_NE(answer.body.find(c.expected), std::string::npos) << answer.body;
    }
    // Enabled, shocks are reported.
    EXPECT_EQ(rig.engine->shock().status, 200);
}
