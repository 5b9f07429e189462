#include "DefinitionsReader.h"
#include "SettingsTestSupport.h"
#include "VideoParameterTable.h"

#include <boost/property_tree/ptree.hpp>
#include <orix/ErrorCodes.h>

using namespace Vapixcam;
using namespace SettingsTest;
using Orix::GDRV::Property;
using Orix::GDRV::PropertyBool;
using Orix::GDRV::PropertyEditableString;
using Orix::GDRV::PropertyIntRange;
using Orix::GDRV::PropertyStringEnum;

namespace {

constexpr std::int32_t kMin = -2147483647 - 1;
constexpr std::int32_t kMax = 2147483647;

struct Reader {
    explicit Reader(std::set<std::string> ignored = {},
                    const boost::property_tree::ptree* repository = nullptr)
        : logger(std::make_shared<TestSupport::CapturingLogger>()),
          owner(logger),
          reader(VideoParameterTable::descriptors(),
                 repository ? *repository : *shippedRepository()->groups.at("Properties"),
                 std::move(ignored), owner)
    {
    }
    std::uint32_t read(const std::string& xml) { return reader.read(xml, out); }

    std::shared_ptr<TestSupport::CapturingLogger> logger;
    Orix::LoggerOwner owner;
    DefinitionsReader reader;
    AcquiredProperties out;
};

const Property* findProperty(const AcquiredProperties& a, const std::string& name)
{
    if (const auto it = a.image.find(name); it != a.image.end())
        return &it->second;
    if (const auto it = a.streaming.find(name); it != a.streaming.end())
        return &it->second;
    return nullptr;
}

const std::string kBoolYesNo = "<bool true=\"yes\" false=\"no\" />";

} // namespace

// One parameter inside nested groups: nest("RateControl.ABR", parameter(...)).
static std::string nest(const std::string& path, const std::string& inner)
{
    const auto dot = path.find('.');
    return dot == std::string::npos ? group(path, inner) : group(path.substr(0, dot), nest(path.substr(dot + 1), inner));
}

TEST(DefinitionsReader, ConvertsEachKindAsTheCameraDefinesIt)
{
    using PB = PropertyBool;
    using PI = PropertyIntRange;
    using PE = PropertyStringEnum;
    using K = ParameterKind;
    using namespace std::string_literals;
    const std::string onOff = "<enum><entry value=\"off\" /><entry value=\"on\" /></enum>";
    const std::string resolutions = "<enum><entry value=\"1920x1080\" niceValue=\"1920x1080 (16:9)\" />"
                                    "<entry value=\"1280x720\" niceValue=\"1280x720 (16:9)\" /></enum>";
    const std::string whiteBalance = "<enum><entry value=\"auto\" niceValue=\"Automatic\" />"
                                     "<entry value=\"fixed_sodium\" niceValue=\"Fixed sodium\" />"
                                     "<entry value=\"hold\" niceValue=\"Hold current\" /></enum>";
    const struct {
        const char* name;
        const char* top; // ImageSource or Image
        const char* path;
        const char* parameter;
        const char* value;
        std::string type;
        Property expected;
        Orix::Utility::ParamValue stored;
        ParameterKind kind;
    } cases[] = {
        {"bool yes", "ImageSource", "Sensor", "BacklightCompensation", "yes", kBoolYesNo, PB{"backlight", true}, true, K::boolean},
        {"bool Yes with a capital is false", "ImageSource", "Sensor", "BacklightCompensation", "Yes", kBoolYesNo,
         PB{"backlight", false}, false, K::boolean},
        {"bool on", "ImageSource", "DCIris", "Enabled", "on", "<bool true=\"on\" false=\"off\" />", PB{"iris", true}, true, K::boolean},
        {"bool On as the camera spells it", "ImageSource", "DCIris", "Enabled", "On", "<bool true=\"On\" false=\"Off\" />", PB{"iris", true}, true,
         K::boolean},
        {"bool true", "ImageSource", "Sensor", "ManualGainControl", "true", "<bool true=\"true\" false=\"false\" />",
         PB{"manualGainControl", true}, true, K::boolean},
        {"bool 1", "Image", "Text", "DateEnabled", "1", "<bool true=\"1\" false=\"0\" />", PB{"dateOverlay", true}, true, K::boolean},
        {"int within bounds", "ImageSource", "Sensor", "Brightness", "50", "<int min=\"0\" max=\"100\" />",
         PI{"brightness", 0, 100, 50}, 50, K::intRange},
        {"int without bounds", "Image", "Stream", "FPS", "0", "<int />", PI{"fps", kMin, kMax, 0}, 0, K::intRange},
        {"int with a minimum only", "Image", "RateControl.ABR", "MaxBitrate", "0", "<int min=\"0\" />",
         PI{"abrMaxBitRate", 0, kMax, 0}, 0, K::intRange},
        {"int 0..0 at 0 is the full range", "Image", "SizeControl", "MaxFrameSize", "0", "<int min=\"0\" max=\"0\" />",
         PI{"maxFrameSize", kMin, kMax, 0}, 0, K::intRange},
        {"int 0..0 widened to the value", "Image", "RateControl.MBR", "MaxBitRate", "4000", "<int min=\"0\" max=\"0\" />",
         PI{"maxBitrate", 0, 4000, 4000}, 4000, K::intRange},
        {"max bit rate as 9.x firmware names it", "Image", "RateControl", "MaxBitrate", "2000",
         "<int min=\"0\" max=\"50000\" />", PI{"maxBitrate", 0, 50000, 2000}, 2000, K::intRange},
        {"int above its maximum widens the range", "Image", "Appearance", "Compression", "150", "<int min=\"0\" max=\"100\" />",
         PI{"compression", 0, 150, 150}, 150, K::intRange},
        {"empty int takes its minimum when it is 1 or more", "Image", "RateControl.ABR", "RetentionTime", "",
         "<int min=\"1\" max=\"8760\" />", PI{"retentionTime", 1, 8760, 1}, 1, K::intRange},
        {"empty int is 0 when the range holds it", "ImageSource", "Sensor", "MaxExposureTime", "",
         "<int min=\"-60\" max=\"2000000\" />", PI{"maxExposureTime", -60, 2000000, 0}, 0, K::intRange},
        {"zMinFPS without bounds is 0..1023", "Image", "MPEG", "ZMinFps", "0", "<int />", PI{"zMinFPS", 0, 1023, 0}, 0, K::intRange},
        {"zMinFPS with bounds keeps them", "Image", "MPEG", "ZMinFps", "5", "<int min=\"0\" max=\"30\" />", PI{"zMinFPS", 0, 30, 5}, 5,
         K::intRange},
        {"keyFrameInterval shifted by one", "Image", "MPEG", "PCount", "31", "<int min=\"0\" max=\"1022\" />",
         PI{"keyFrameInterval", 1, 1023, 31}, 31, K::intRange},
        {"keyFrameInterval at its maximum keeps the top", "Image", "MPEG", "PCount", "62", "<int min=\"0\" max=\"62\" />",
         PI{"keyFrameInterval", 1, 62, 62}, 62, K::intRange},
        {"keyFrameInterval without bounds tops at 1023", "Image", "MPEG", "PCount", "31", "<int />",
         PI{"keyFrameInterval", kMin + 1, 1023, 31}, 31, K::intRange},
        {"enum with niceValue taken unchanged", "Image", "Appearance", "Resolution", "1280x720", resolutions,
         PE{"resolution", {"1920x1080 (16:9)", "1280x720 (16:9)"}, "1280x720 (16:9)"}, "1280x720"s, K::cameraEnum},
        {"enum without niceValue shows the camera value", "ImageSource", "Sensor", "ExposurePriority", "100",
         "<enum><entry value=\"0\" /><entry value=\"50\" /><entry value=\"100\" /></enum>",
         PE{"exposurePriority", {"0", "50", "100"}, "100"}, "100"s, K::checkedEnum},
        {"enum checked against the repository drops unlisted entries", "ImageSource", "Sensor", "WhiteBalance", "fixed_sodium",
         whiteBalance, PE{"whiteBalance", {"Automatic", "Hold current"}, "Fixed sodium"}, "fixed_sodium"s, K::checkedEnum},
        {"enum on a bool descriptor is checked", "ImageSource", "Sensor", "BacklightCompensation", "on", onOff,
         PE{"backlight", {"off", "on"}, "on"}, "on"s, K::checkedEnum},
        {"string", "Image", "Text", "String", "Main entrance", "<string maxlen=\"80\" />",
         PropertyEditableString{"textOverlay", "Main entrance"}, "Main entrance"s, K::string},
        {"int descriptor defined as string", "ImageSource", "Sensor", "Sharpness", "50", "<string />",
         PropertyEditableString{"sharpness", "50"}, "50"s, K::string},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reader r;
        ASSERT_EQ(r.read(definitions(c.top, nest(c.path, parameter(c.parameter, c.value, c.type)))), Orix::Ok);
        const std::string host = std::visit([](const auto& p) { return p.name; }, c.expected);
        const Property* found = findProperty(r.out, host);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(*found, c.expected);
        ASSERT_EQ(r.out.values.count(host), 1u);
        EXPECT_EQ(r.out.values.at(host), c.stored);
        ASSERT_EQ(r.out.kinds.count(host), 1u);
        EXPECT_EQ(r.out.kinds.at(host), c.kind);
    }
}

TEST(DefinitionsReader, MalformedKnownParametersAreDroppedAndLogged)
{
    const struct {
        const char* name;
        const char* top;
        std::string body;
        const char* host;
        const char* logLine;
    } cases[] = {
        {"bool descriptor without a type", "ImageSource", group("Sensor", parameter("BacklightCompensation", "yes", "")), "backlight",
         "'Bool' type is defined incorrectly for property 'backlight'"},
        {"enum descriptor without a type", "ImageSource", group("Sensor", parameter("Exposure", "auto", "")), "exposure",
         "'Enum' type is defined incorrectly for property 'exposure'"},
        {"int that is no number", "Image", group("Stream", parameter("FPS", "fast", "<int min=\"0\" max=\"30\" />")), "fps",
         "'Int' value 'fast' is defined incorrectly for property 'fps'"},
        {"int beyond 32 bits", "Image", group("Stream", parameter("FPS", "4294967296", "<int />")), "fps",
         "is defined incorrectly for property 'fps'"},
        {"enum whose entries the repository refuses", "ImageSource",
         group("Sensor", parameter("WDR", "dynamic", "<enum><entry value=\"dynamic\" niceValue=\"Dynamic\" /></enum>")), "WDR",
         "Enum property 'WDR' has no value to offer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reader r;
        ASSERT_EQ(r.read(definitions(c.top, c.body)), Orix::Ok);
        EXPECT_EQ(findProperty(r.out, c.host), nullptr);
        EXPECT_EQ(r.out.values.count(c.host), 0u);
        EXPECT_EQ(r.out.kinds.count(c.host), 0u);
        EXPECT_TRUE(r.logger->contains(c.logLine)) << r.logger->all();
    }
}

TEST(DefinitionsReader, RepositoryDecidesWhichEntriesAreOffered)
{
    boost::property_tree::ptree repository;
    repository.put("exposure.values.", "Automatic");
    repository.add("exposure.values.", "Hold current");
    Reader r({}, &repository);
    ASSERT_EQ(r.read(readFixture("M1065-LW_9.10.1_listdefinitions_ImageSource.I0.xml")), Orix::Ok);

    EXPECT_EQ(*findProperty(r.out, "exposure"),
              Property(PropertyStringEnum{"exposure", {"Automatic", "Hold current"}, "Automatic"}));
    EXPECT_TRUE(r.logger->contains("Property 'exposure' has no value 'Flicker-free 50 Hz'"));
    // Not listed at all: every entry is offered and the gap is reported.
    EXPECT_EQ(*findProperty(r.out, "WDR"), Property(PropertyStringEnum{"WDR", {"Off", "On"}, "On"}));
    EXPECT_TRUE(r.logger->contains("Enum property 'WDR' is not defined in rep file"));
    // The translation keeps every entry, offered or not.
    EXPECT_EQ(r.out.translations.at("exposure").at("Flicker-free 60 Hz"), "flickerfree60");
    EXPECT_EQ(r.out.translations.at("WDR").at("On"), "on");
}

TEST(DefinitionsReader, RealDocumentsGiveImageAndStreamingSets)
{
    Reader r;
    ASSERT_EQ(r.read(readFixture("M1065-LW_9.10.1_listdefinitions_ImageSource.I0.xml")), Orix::Ok);
    ASSERT_EQ(r.read(readFixture("C-Bullet-LE_9.80.2.2_listdefinitions_Image.I0.xml")), Orix::Ok);

    std::set<std::string> image;
    for (const auto& [name, p] : r.out.image)
        image.insert(name);
    const std::set<std::string> expectedImage{
        "brightness", "contrast", "digitalPtz", "exposure", "exposurePriority", "exposureValue",
        "exposureZone", "irCutFilter", "dayNightShiftLevel", "localContrast", "maxExposureTime",
        "maxGain", "saturation", "sharpness", "WDR", "whiteBalance", "zFPSmode", "zGOPmode",
        "zMaxGopLength", "zMinFPS", "zipStream"};
    EXPECT_EQ(image, expectedImage);

    std::set<std::string> streaming;
    for (const auto& [name, p] : r.out.streaming)
        streaming.insert(name);
    const std::set<std::string> expectedStreaming{
        "abrMaxBitRate", "abrTargetBitRate", "bitRate", "bitRatePriority", "bitrateControl",
        "captureFrequency", "colorEnabled", "compression", "dateOverlay", "fps", "h264Profile",
        "imageMirror", "imageRotate", "keyFrameInterval", "maxBitrate", "maxFrameSize",
        "resolution", "retentionTime", "sensorCaptureMode", "textOverlay", "textOverlayBGColor",
        "textOverlayColor", "textOverlayEnabled", "textOverlayPosition", "textOverlaySize",
        "timeOverlay"};
    EXPECT_EQ(streaming, expectedStreaming);

    // Values as the documents hold them, enumerations by display value.
    EXPECT_EQ(*findProperty(r.out, "colorEnabled"),
              Property(PropertyStringEnum{"colorEnabled", {"Black & White", "Color"}, "Color"}));
    EXPECT_EQ(*findProperty(r.out, "bitrateControl"),
              Property(PropertyStringEnum{"bitrateControl",
                                          {"Variable bit rate", "Maximum bit rate", "Average bit rate"},
                                          "Variable bit rate"}));
    EXPECT_EQ(*findProperty(r.out, "zipStream"),
              Property(PropertyStringEnum{"zipStream", {"Off", "Low", "Medium", "High", "Higher", "Extreme"},
                                          "Low"}));
    EXPECT_EQ(*findProperty(r.out, "digitalPtz"), Property(PropertyBool{"digitalPtz", true}));
    EXPECT_EQ(*findProperty(r.out, "sensorCaptureMode"),
              Property(PropertyStringEnum{"sensorCaptureMode",
                                          {"1920x1080 (16:9) 25/30 fps", "1920x1080 (16:9) 50/60 fps (no WDR)"},
                                          "1920x1080 (16:9) 25/30 fps"}));
    EXPECT_EQ(r.out.values.at("bitrateControl"), Orix::Utility::ParamValue(std::string("vbr")));
    EXPECT_EQ(r.out.values.at("localContrast"), Orix::Utility::ParamValue(0));
    // Paths the camera defined, for writing back.
    EXPECT_EQ(r.out.paths.count("ImageSource.I%.Sensor.Brightness"), 1u);
    EXPECT_EQ(r.out.paths.count("ImageSource.I%.Video.Brightness"), 0u);
    EXPECT_EQ(r.out.paths.count("Image.I%.RateControl.ABR.RetentionTime"), 1u);
    // Parameters the table does not know pass without a word.
    EXPECT_FALSE(r.logger->contains("AspectRatio"));
    EXPECT_FALSE(r.logger->contains("MaxViewers"));
    EXPECT_FALSE(r.logger->contains("Unknown type"));
}

TEST(DefinitionsReader, DocumentWithoutRootGroupIsRead)
{
    Reader r;
    ASSERT_EQ(r.read(readFixture("P1311_5.00_listdefinitions_ImageSource.I0.xml")), Orix::Ok);
    EXPECT_EQ(*findProperty(r.out, "brightness"), Property(PropertyIntRange{"brightness", 0, 100, 50}));
    EXPECT_EQ(*findProperty(r.out, "backlight"), Property(PropertyBool{"backlight", true}));
    EXPECT_EQ(*findProperty(r.out, "iris"), Property(PropertyBool{"iris", true}));
    EXPECT_EQ(*findProperty(r.out, "irisLevel"), Property(PropertyIntRange{"irisLevel", 1, 100, 1}));
}

TEST(DefinitionsReader, IgnoredNamesAreSkippedAndOtherInstancesLeftAlone)
{
    Reader r({"brightness", "WDR"});
    r.reader.setInstance("I0");
    const std::string xml = definitions(
        "ImageSource", group("Sensor", parameter("Brightness", "50", "<int min=\"0\" max=\"100\" />") +
                                           parameter("Contrast", "40", "<int min=\"0\" max=\"100\" />")));
    const std::string other = definitions(
        "ImageSource", group("Sensor", parameter("Contrast", "90", "<int min=\"0\" max=\"100\" />")), "I1");
    ASSERT_EQ(r.read(xml), Orix::Ok);
    ASSERT_EQ(r.read(other), Orix::Ok);
    EXPECT_EQ(findProperty(r.out, "brightness"), nullptr);
    EXPECT_TRUE(r.logger->contains("Property 'brightness' skipped"));
    EXPECT_EQ(*findProperty(r.out, "contrast"), Property(PropertyIntRange{"contrast", 0, 100, 40}));
}

TEST(DefinitionsReader, SecondStreamProfileValuesReplaceTheChannels)
{
    Reader r;
    r.reader.setProfile({{"videocodec", "h264"}, {"resolution", "640x360"}, {"fps", "25"},
                         {"videobitratemode", "mbr"}, {"mirror", "1"}});
    ASSERT_EQ(r.read(readFixture("C-Bullet-LE_9.80.2.2_listdefinitions_Image.I0.xml")), Orix::Ok);
    EXPECT_EQ(*findProperty(r.out, "resolution"),
              Property(PropertyStringEnum{"resolution",
                                          {"1280x960 (4:3)", "1920x1080 (16:9)", "1280x720 (16:9)", "640x360 (16:9)"},
                                          "640x360 (16:9)"}));
    EXPECT_EQ(*findProperty(r.out, "fps"), Property(PropertyIntRange{"fps", 0, 30, 25}));
    EXPECT_EQ(*findProperty(r.out, "imageMirror"), Property(PropertyBool{"imageMirror", true}));
    EXPECT_EQ(r.out.values.at("bitrateControl"), Orix::Utility::ParamValue(std::string("mbr")));
    // Without a profile key the channel's value stays.
    EXPECT_EQ(*findProperty(r.out, "compression"), Property(PropertyIntRange{"compression", 0, 100, 37}));
}

TEST(DefinitionsReader, BrokenDocumentsEndWithAnError)
{
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"param.cgi refusal", "# Error: Error -1 getting param in group 'ImageSource.I9'\n"},
        {"HTML page", "<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD></HTML>"},
        {"cut short", readFixture("M1065-LW_9.10.1_listdefinitions_ImageSource.I0.xml").substr(0, 900)},
        {"nested beyond reason", std::string(100000, '<').replace(0, 1, "<a>") },
        {"deep but well formed", [] {
             std::string s;
             for (int i = 0; i < 5000; ++i)
                 s += "<g>";
             for (int i = 0; i < 5000; ++i)
                 s += "</g>";
             return s;
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reader r;
        EXPECT_EQ(r.read(c.text), Orix::ProtocolError);
        EXPECT_TRUE(r.logger->contains("Reading parameters is finished. Unexpected exception: "));
        EXPECT_TRUE(r.out.image.empty());
    }
}
