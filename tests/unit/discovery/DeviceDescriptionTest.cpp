#include "DeviceDescriptionBuilder.h"
#include "support/FakeHost.h"

#include <gtest/gtest.h>
#include <json/json.h>
#include <map>
#include <netkit/discovery/GenericAutodetect.h>
#include <netkit/http/HttpError.h>

namespace {

using Answers = std::map<std::string, std::string>;

const char* const kTopologyUri =
    "/axis-cgi/param.cgi?action=list&group=Network.RTSP.Port,Brand.ProdNbr,Properties.Firmware.Version,"
    "AudioSource.NbrOfSources,ImageSource.NbrOfSources,StreamProfile,Input.NbrOfInputs,Output.NbrOfOutputs,"
    "Properties.Image.Format,Properties.Image.Resolution,Properties.Audio.Decoder.Format,"
    "Properties.VirtualInput,Network.eth0.MACAddress,PTZ.Various";
const char* const kApplicationsUri = "/axis-cgi/applications/list.cgi";
const char* const kDefinitionsUri =
    "/axis-cgi/param.cgi?action=listdefinitions&listformat=xmlschema&group=Properties.Motion,"
    "Properties.Tampering,Properties.TemperatureAlarm,AudioSource";
const char* const kPtzUri = "/axis-cgi/param.cgi?action=list&group=Properties.PTZ.PTZ,ptz.Support.S1,ptz.Limit.L1";

// listdefinitions as AXIS OS 9 writes it, cut to the parameters that matter.
std::string definitions(const std::string& groups)
{
    return "<?xml version=\"1.0\" encoding=\"iso-8859-1\" ?>\n<parameterDefinitions\n"
           "xmlns=\"http://www.axis.com/ParameterDefinitionsSchema\"\nversion=\"1.0\">\n"
           "  <model>AXIS P7214</model>\n  <firmwareVersion>5.51.5</firmwareVersion>\n"
           "  <group name=\"root\">\n" + groups + "  </group>\n</parameterDefinitions>\n";
}

const std::string kMotionAndAudioAlarm = definitions(
    "    <group name=\"Properties\">\n      <group name=\"Motion\">\n"
    "        <parameter name=\"MaxNbrOfWindows\" value=\"10\" securityLevel=\"7707\" niceName=\"Max nbr of windows\">"
    "<type readonly=\"true\"><string /></type></parameter>\n"
    "        <parameter name=\"Motion\" value=\"yes\" securityLevel=\"7707\" niceName=\"Motion\">"
    "<type readonly=\"true\"><string /></type></parameter>\n      </group>\n    </group>\n"
    "    <group name=\"AudioSource\">\n      <group name=\"A0\">\n"
    "        <parameter name=\"AlarmLevel\" value=\"50\" securityLevel=\"7714\" niceName=\"Alarm level\">"
    "<type><int min=\"0\" max=\"100\" /></type></parameter>\n      </group>\n    </group>\n");

Json::Value parse(const std::string& text)
{
    Json::Value value;
    std::string errors;
    const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &value, &errors)) << errors << text;
    return value;
}

Json::Value describe(const Answers& answers)
{
    auto sink = std::make_shared<TestSupport::CapturingLogger>(0);
    Orix::LoggerOwner logger(sink);
    Vapixcam::DeviceDescriptionBuilder builder(
        [&](const std::string& uri, std::string& body) {
            const auto it = answers.find(uri);
            if (it == answers.end())
                return make_error_code(Orix::http::error::notFound);
            body = it->second;
            return boost::system::error_code();
        },
        logger);
    std::string topology;
    return parse(builder.build(topology));
}

TEST(DeviceDescription, TwoChannelEncoderWithOneAudioSource)
{
    const Answers answers = {
        {kTopologyUri,
         "root.AudioSource.NbrOfSources=1\nroot.Brand.ProdNbr=P7214\nroot.ImageSource.NbrOfSources=2\n"
         "root.Input.NbrOfInputs=4\nroot.Network.eth0.MACAddress=00:40:8C:BE:B3:6A\n"
         "root.Network.RTSP.Port=554\nroot.Output.NbrOfOutputs=4\n"
         "root.Properties.Audio.Decoder.Format=g711\nroot.Properties.Firmware.Version=5.51.5\n"
         "root.Properties.Image.Format=jpeg,mpeg4,h264\nroot.Properties.VirtualInput.VirtualInput=no\n"
         "root.StreamProfile.MaxGroups=26\n"},
        {kApplicationsUri, "<reply result=\"ok\">\n</reply>\n"},
        {kDefinitionsUri, kMotionAndAudioAlarm},
        {kPtzUri, "root.Properties.PTZ.PTZ=no\n"},
    };
    const auto motion = R"({"events":[{"id":"MotionDetection","type":"twoPhase"}],"id":"motionDetection","maxCount":1,
        "settings":[{"current":"MotionDetector","keep":true,"name":"detectorsGroup","title":"detectorsGroup","type":"string"}]})";
    const auto audio = R"({"events":[{"id":"TriggerLevel","type":"twoPhase"}],"id":"audioDetection","maxCount":1,
        "settings":[{"current":"AudioDetector","keep":true,"name":"detectorsGroup","title":"detectorsGroup","type":"string"}]})";
    const std::string expected = std::string(R"({
        "schemaVersion": 1,
        "videoSources": {"items": [
            {"videoStreamings": {"count": 1}, "detectors": {"items": [)") + motion + "," + audio + R"(]}},
            {"videoStreamings": {"count": 1}, "detectors": {"items": [)" + motion + R"(]}}]},
        "ioDevices": {"items": [{"rayCount": 4, "relayCount": 4, "relatedChannel": -1}]},
        "embeddedStorages": {"items": [{"supportsRecordingSearch": 1, "supportsRecordingPlayback": 1,
                                        "supportsTurnOffRateControl": 1, "supportsAudio": 1}]},
        "audioSources": {"count": 1},
        "audioDestinations": {"items": [{"settings": [
            {"name": "algorithm", "type": "string", "keep": true, "current": "G.711", "enum": ["G.711"]},
            {"name": "encoding", "type": "string", "keep": true, "current": "u-law", "enum": ["u-law"]},
            {"name": "bitRate", "type": "integer", "keep": true, "current": 64000, "enum": [64000]},
            {"name": "samplerate", "type": "integer", "keep": true, "current": 8000, "enum": [8000]}]}]},
        "brand": "Axis", "model": "generic", "firmware": "auto", "macaddress": "00:40:8C:BE:B3:6A"
    })";
    EXPECT_EQ(describe(answers), parse(expected));
}

// One camera shape per case, each compared on the member it decides.
TEST(DeviceDescription, CameraShapes)
{
    const std::string singleChannel =
        "root.AudioSource.NbrOfSources=0\nroot.Brand.ProdNbr=Q6075-E\nroot.ImageSource.NbrOfSources=1\n"
        "root.Input.NbrOfInputs=0\nroot.Output.NbrOfOutputs=0\nroot.Properties.Firmware.Version=10.12.114\n"
        "root.Network.eth0.MACAddress=AC:CC:8E:F7:DE:6B\n";
    const struct {
        const char* name;
        Answers answers;
        const char* member;
        const char* expected;
    } cases[] = {
        {"PTZ without MinTilt",
         {{kTopologyUri, singleChannel},
          {kPtzUri,
           "root.Properties.PTZ.PTZ=yes\nroot.PTZ.Support.S1.AbsolutePan=true\nroot.PTZ.Support.S1.AbsoluteTilt=true\n"
           "root.PTZ.Support.S1.AbsoluteZoom=true\nroot.PTZ.Support.S1.AreaZoom=true\n"
           "root.PTZ.Support.S1.ContinuousPan=true\nroot.PTZ.Support.S1.ContinuousTilt=true\n"
           "root.PTZ.Support.S1.ContinuousZoom=true\nroot.PTZ.Support.S1.RelativePan=true\n"
           "root.PTZ.Support.S1.RelativeTilt=true\nroot.PTZ.Support.S1.RelativeZoom=false\n"
           "root.PTZ.Limit.L1.MaxPan=180\nroot.PTZ.Limit.L1.MinPan=-180\nroot.PTZ.Limit.L1.MaxTilt=20\n"
           "root.PTZ.Limit.L1.MaxZoom=9999\nroot.PTZ.Limit.L1.MinZoom=1\n"}},
         "telemetries",
         R"({"items": [{"presetCount": 20, "presetSpeed": 100, "supportsDiscreteMove": 1, "panStep": 100,
             "tiltStep": 100, "supportsDirectMove": 1, "panSpeed": 100, "tiltSpeed": 100,
             "directPanMaxPosition": 180, "directPanMinPosition": -180, "directTiltMaxPosition": 20}]})"},
        {"virtual inputs only",
         {{kTopologyUri, singleChannel + "root.Properties.VirtualInput.VirtualInput=yes\n"}},
         "ioDevices",
         R"({"items": [{"rayCount": 0, "relayCount": 32, "relatedChannel": 0}]})"},
        {"stream profiles Profile1a and Profile1b",
         {{kTopologyUri,
           singleChannel + "root.StreamProfile.MaxGroups=26\nroot.StreamProfile.S0.Description=Day\n"
                           "root.StreamProfile.S0.Name=Profile1a\nroot.StreamProfile.S0.Parameters=videocodec=h264\n"
                           "root.StreamProfile.S1.Name=Quality\nroot.StreamProfile.S2.Name=Profile1b\n"
                           "root.StreamProfile.S2.Parameters=videocodec=h264&resolution=640x360\n"},
          {kApplicationsUri,
           "<reply result=\"ok\">\n <application Name=\"VMD3\" NiceName=\"AXIS Video Motion Detection\" "
           "Vendor=\"Axis Communications\" Version=\"3.2-1\" ApplicationID=\"46396\" License=\"None\" "
           "Status=\"Stopped\" ConfigurationPage=\"local/VMD3/setup.html\" VendorHomePage=\"http://www.axis.com\" />\n"
           " <application Name=\"fenceguard\" NiceName=\"AXIS Fence Guard\" Vendor=\"Axis Communications\" "
           "Version=\"2.2-6\" ApplicationID=\"47775\" License=\"None\" Status=\"Running\" />\n</reply>\n"}},
         "videoSources",
         R"({"items": [{"videoStreamings": {"count": 3}, "detectors": {"items": [
             {"events": [{"id": "VMD3/vmd3_video_1", "type": "twoPhase"}], "id": "motionDetectionV3", "maxCount": 1,
              "settings": [{"current": "MotionDetector", "keep": true, "name": "detectorsGroup",
                            "title": "detectorsGroup", "type": "string"}]}]}}]})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Json::Value description = describe(c.answers);
        EXPECT_EQ(description[c.member], parse(c.expected)) << description.toStyledString();
    }
}

TEST(DeviceDescription, UnreadableTopologyFailsWithItsCode)
{
    try {
        describe({});
        FAIL() << "no exception";
    } catch (const Orix::Utility::AutodetectException& e) {
        EXPECT_EQ(e.code(), 0x203u); // 404
    }
}

} // namespace
