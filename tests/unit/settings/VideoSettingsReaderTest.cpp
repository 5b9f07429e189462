#include "AsyncSettingsSupport.h"
#include "VideoSettingsReader.h"

#include <boost/asio/io_context.hpp>
#include <json/reader.h>
#include <orix/ErrorCodes.h>

using namespace Vapixcam;
using namespace SettingsTest;
using TestSupport::HttpTestServer;

namespace {

const std::string kImageSourceDefinitions =
    "/axis-cgi/param.cgi?action=listdefinitions&listformat=xmlschema&group=ImageSource.I0,PTZ.ImageSource.I0";
const std::string kImageDefinitions =
    "/axis-cgi/param.cgi?action=listdefinitions&listformat=xmlschema&group=Image.I0";
const std::string kProfiles =
    "/axis-cgi/param.cgi?action=list&group=StreamProfile,Properties.Image.I0.Resolution";
const std::string kLights = "/axis-cgi/lightcontrol.cgi";

// As an M1065-LW on 9.10.1 lists its profiles after the driver made Profile101.
const char* const kProfileList =
    "root.StreamProfile.MaxGroups=26\n"
    "root.StreamProfile.S0.Description=profile_1_description\n"
    "root.StreamProfile.S0.Name=profile_1\n"
    "root.StreamProfile.S0.Parameters=videocodec=h264\n"
    "root.StreamProfile.S3.Description=\n"
    "root.StreamProfile.S3.Name=Profile101\n"
    "root.StreamProfile.S3.Parameters=videocodec=h264&resolution=640x360&fps=25&videobitratemode=mbr\n"
    "root.Properties.Image.I0.Resolution=1920x1080,1280x960,1280x720,640x360,320x240\n";

ScriptedCamera m1065()
{
    ScriptedCamera camera;
    camera.answers[kImageSourceDefinitions] = {200, readFixture("M1065-LW_9.10.1_listdefinitions_ImageSource.I0.xml")};
    camera.answers[kImageDefinitions] = {200, readFixture("C-Bullet-LE_9.80.2.2_listdefinitions_Image.I0.xml")};
    camera.answers[kLights] = {200, readFixture("light-information_IR.json")};
    camera.answers[kProfiles] = {200, kProfileList};
    return camera;
}

// One acquisition against a scripted camera, run to its end.
struct Acquisition {
    explicit Acquisition(ScriptedCamera camera, std::uint32_t stream = 0, bool cancelFirst = false) : server(std::move(camera))
    {
        boost::asio::io_context io;
        VideoSettingsReaderInputs inputs;
        inputs.info = cameraAt(server.port());
        inputs.stream = stream;
        inputs.model = "M1065-LW";
        inputs.driverInfo = shippedRepository();
        inputs.codecs = {"H264", "MJPEG"};
        inputs.codec = "H264";
        inputs.values = &values;
        reader = VideoSettingsReader::create(io, inputs, logger, "vs 0." + std::to_string(stream));
        if (cancelFirst)
            reader->cancel();
        reader->start([this](std::uint32_t r, const std::string& j) {
            result = r;
            json = j;
            ++calls;
        });
        io.run();
    }

    HttpTestServer server;
    std::shared_ptr<TestSupport::CapturingLogger> logger = std::make_shared<TestSupport::CapturingLogger>();
    Orix::Utility::ParametersContainer values;
    std::shared_ptr<VideoSettingsReader> reader;
    std::uint32_t result = 0xffffffff;
    int calls = 0;
    std::string json;
};

Json::Value parse(const std::string& text)
{
    Json::Value root;
    std::istringstream(text) >> root; // throws on malformed text
    return root;
}

// group -> property names, in document order.
std::map<std::string, std::vector<std::string>> namesByGroup(const Json::Value& groups)
{
    std::map<std::string, std::vector<std::string>> out;
    for (const auto& group : groups)
        for (const auto& property : group["properties"])
            out[group["group"].asString()].push_back(property["name"].asString());
    return out;
}

const Json::Value* findProperty(const Json::Value& groups, const std::string& name)
{
    for (const auto& group : groups)
        for (const auto& property : group["properties"])
            if (property["name"].asString() == name)
                return &property;
    return nullptr;
}

} // namespace

TEST(VideoSettingsReader, MainStreamReadsDefinitionsThenLightsAndReports)
{
    const Acquisition run(m1065());
    const auto& server = run.server;
    const auto& logger = run.logger;
    const auto& values = run.values;
    ASSERT_EQ(run.calls, 1);
    ASSERT_EQ(run.result, Orix::Ok) << logger->all();
    EXPECT_EQ(targets(server),
              (std::vector<std::string>{"GET " + kImageSourceDefinitions, "GET " + kImageDefinitions,
                                        "POST " + kLights}));
    const auto requests = server.requests();
    EXPECT_EQ(requests[2].body,
              "{\n\t\"apiVersion\": \"1.0\",\n\t\"context\": \"context\",\n"
              "\t\"method\": \"getLightInformation\",\n\t\"params\": {\n\t}\n}");
    EXPECT_EQ(requests[2].header("Content-Type"), "application/json");

    const Json::Value doc = parse(run.json);
    EXPECT_EQ(doc["schemaVersion"].asInt(), 1);
    const auto image = namesByGroup(doc["settings"]);
    EXPECT_EQ(image.at("image"), (std::vector<std::string>{"brightness", "contrast", "saturation",
                                                           "sharpness", "localContrast", "whiteBalance"}));
    EXPECT_EQ(image.at("exposure"),
              (std::vector<std::string>{"exposure", "exposureZone", "exposurePriority", "exposureValue"}));
    EXPECT_EQ(image.at("dayNight"), (std::vector<std::string>{"irCutFilter", "dayNightShiftLevel"}));
    EXPECT_EQ(image.at("light"),
              (std::vector<std::string>{"led0lightEnabled", "led0lightState", "led0lightSync"}));
    EXPECT_EQ(image.at("zipstream"),
              (std::vector<std::string>{"zipStream", "zFPSmode", "zGOPmode", "zMaxGopLength"}));
    EXPECT_EQ(image.at("wideDynamicRange"), (std::vector<std::string>{"WDR"}));
    EXPECT_EQ(image.at("ptz"), (std::vector<std::string>{"digitalPtz"}));
    EXPECT_EQ(image.count("other"), 0u);

    const auto streaming = namesByGroup(doc["videoStreamingSettings"]);
    EXPECT_EQ(streaming.at("stream"),
              (std::vector<std::string>{"transportProtocol", "codec", "resolution", "fps", "compression",
                                        "sensorCaptureMode", "captureFrequency", "colorEnabled",
                                        "imageRotate", "imageMirror"}));
    EXPECT_EQ(streaming.at("rateControl"),
              (std::vector<std::string>{"bitrateControl", "keyFrameInterval", "h264Profile"}));
    EXPECT_EQ(streaming.at("overlay").size(), 8u);

    const Json::Value* transport = findProperty(doc["videoStreamingSettings"], "transportProtocol");
    ASSERT_NE(transport, nullptr);
    EXPECT_EQ((*transport)["current"].asString(), "tcp");
    EXPECT_EQ((*transport)["enum"].size(), 4u);
    const Json::Value* codec = findProperty(doc["videoStreamingSettings"], "codec");
    ASSERT_NE(codec, nullptr);
    EXPECT_EQ((*codec)["enum"][1].asString(), "MJPEG");
    const Json::Value* rate = findProperty(doc["videoStreamingSettings"], "bitrateControl");
    ASSERT_NE(rate, nullptr);
    EXPECT_EQ((*rate)["current"].asString(), "Variable bit rate");

    // The values are the channel's current values from now on.
    EXPECT_EQ(values.getInt("brightness"), 50);
    EXPECT_EQ(values.getString("bitrateControl"), "vbr");
    EXPECT_EQ(values.getString("sensorCaptureMode"), "1");
    EXPECT_TRUE(values.getBool("led0lightEnabled"));
    EXPECT_TRUE(logger->contains("Property 'maxGain' skipped by checker"));
    EXPECT_TRUE(logger->contains("Reading parameters is finished successfully"));
    EXPECT_EQ(run.reader->acquired().lights.size(), 1u);
}

TEST(VideoSettingsReader, SecondStreamReadsItsProfileFirst)
{
    const Acquisition run(m1065(), 1);
    ASSERT_EQ(run.result, Orix::Ok) << run.logger->all();
    EXPECT_EQ(targets(run.server),
              (std::vector<std::string>{"GET " + kProfiles, "GET " + kImageSourceDefinitions,
                                        "GET " + kImageDefinitions, "POST " + kLights}));
    ASSERT_TRUE(run.reader->acquired().profileIndex.has_value());
    EXPECT_EQ(*run.reader->acquired().profileIndex, 3u);
    const Json::Value doc = parse(run.json);
    EXPECT_EQ((*findProperty(doc["videoStreamingSettings"], "fps"))["current"].asInt(), 25);
    EXPECT_EQ((*findProperty(doc["videoStreamingSettings"], "resolution"))["current"].asString(),
              "640x360 (16:9)");
    EXPECT_EQ((*findProperty(doc["videoStreamingSettings"], "bitrateControl"))["current"].asString(),
              "Maximum bit rate");
    // mbr brings the maximum bit rate in.
    EXPECT_NE(findProperty(doc["videoStreamingSettings"], "maxBitrate"), nullptr);
    EXPECT_EQ(findProperty(doc["videoStreamingSettings"], "bitRate"), nullptr);
}

TEST(VideoSettingsReader, CameraWithoutLightsStillReports)
{
    ScriptedCamera camera = m1065();
    camera.answers.erase(kLights);
    const Acquisition run(camera);
    ASSERT_EQ(run.result, Orix::Ok) << run.logger->all();
    EXPECT_EQ(findProperty(parse(run.json)["settings"], "led0lightEnabled"), nullptr);
    EXPECT_TRUE(run.logger->contains("Light control is not available"));
}

TEST(VideoSettingsReader, FailedRequestEndsTheAcquisitionOnce)
{
    struct Case {
        const char* name;
        std::string target;
        unsigned status;
        std::string body;
        std::uint32_t result;
        std::size_t requests;
        const char* logLine;
    };
    const Case cases[] = {
        {"unauthorized", kImageSourceDefinitions, 401, "", Orix::Unauthorized, 1, "HTTP request is finished with error"},
        {"server error on Image", kImageDefinitions, 500, "Internal error", Orix::ServerError, 2,
         "HTTP response has error code: 500"},
        {"empty answer", kImageSourceDefinitions, 200, "", Orix::GenericFailure, 1, "HTTP responce is empty"},
        {"camera refusal", kImageDefinitions, 200,
         "# Error: Error -1 getting param in group 'Image.I0'\n", Orix::ProtocolError, 2,
         "Reading parameters is finished. Unexpected exception: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedCamera camera = m1065();
        camera.answers[c.target] = {c.status, c.body};
        const Acquisition run(camera);
        EXPECT_EQ(run.calls, 1);
        EXPECT_EQ(run.result, c.result);
        EXPECT_EQ(run.json, "");
        EXPECT_EQ(run.server.requestCount(), c.requests);
        EXPECT_TRUE(run.logger->contains(c.logLine)) << run.logger->all();
    }
}

TEST(VideoSettingsReader, CancelledBeforeStartSendsNothing)
{
    const Acquisition run(m1065(), 0, true);
    EXPECT_EQ(run.calls, 1);
    EXPECT_EQ(run.result, Orix::Cancelled);
    EXPECT_EQ(run.server.requestCount(), 0u);
}
