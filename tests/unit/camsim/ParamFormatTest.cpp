#include "ModelLoader.h"
#include "ParamFormat.h"

#include <gtest/gtest.h>

using Camsim::Model;

namespace {

Model parseModel(const std::string& text)
{
    std::string error;
    auto model = Camsim::ModelLoader::parse("Test", text, {}, error);
    EXPECT_TRUE(model) << error;
    return model ? std::move(*model) : Model{};
}

Model shippedModel(const std::string& name)
{
    std::string error;
    auto model = Camsim::ModelLoader::load(CAMSIM_DATA_DIR, name, error);
    EXPECT_TRUE(model) << error;
    return model ? std::move(*model) : Model{};
}

} // namespace

TEST(ParamFormat, ListIsInTheCameraOrderWhateverTheFileOrder)
{
    // Lines of the real AXIS M1065-LW 9.10.1 list (published, MAC anonymised), fed in
    // reverse: parameters of a group before its subgroups, names without case.
    const Model model = parseModel("root.PTZ.Various.V1.CtlQueueLimit=20 ; int\n"
                                   "root.PTZ.Various.V1.CtlQueueing=false ; bool:true/false\n"
                                   "root.PTZ.NbrOfCameras=2 ; int\n"
                                   "root.Network.RTSP.Port=554 ; int:1..65535\n"
                                   "root.Network.eth0.IPv6.IPAddresses=\n"
                                   "root.Network.eth0.MACAddress=AC:CC:12:34:56:78\n"
                                   "root.IOPort.I0.Direction=input\n"
                                   "root.Input.NbrOfInputs=1 ; int\n"
                                   "root.Image.I0.Appearance.ColorEnabled=yes\n"
                                   "root.Image.I0.Source=0\n");
    EXPECT_EQ(Camsim::formatParamList(model, {}),
              "root.Image.I0.Source=0\n"
              "root.Image.I0.Appearance.ColorEnabled=yes\n"
              "root.Input.NbrOfInputs=1\n"
              "root.IOPort.I0.Direction=input\n"
              "root.Network.eth0.MACAddress=AC:CC:12:34:56:78\n"
              "root.Network.eth0.IPv6.IPAddresses=\n"
              "root.Network.RTSP.Port=554\n"
              "root.PTZ.NbrOfCameras=2\n"
              "root.PTZ.Various.V1.CtlQueueing=false\n"
              "root.PTZ.Various.V1.CtlQueueLimit=20\n");
}

TEST(ParamFormat, GroupRequestsAnswerInRequestOrder)
{
    const Model m1065 = shippedModel("M1065-LW");
    const struct {
        const char* name;
        std::vector<std::string> groups;
        const char* body;
    } cases[] = {
        {"one group", {"Brand"},
         "root.Brand.Brand=AXIS\n"
         "root.Brand.ProdFullName=AXIS M1065-LW Network Camera\n"
         "root.Brand.ProdNbr=M1065-LW\n"
         "root.Brand.ProdShortName=AXIS M1065-LW\n"
         "root.Brand.ProdType=Network Camera\n"
         "root.Brand.ProdVariant=\n"
         "root.Brand.WebURL=http://www.axis.com\n"},
        {"single parameters, any spelling", {"root.Network.RTSP.Port", "brand.prodnbr"},
         "root.Network.RTSP.Port=554\n"
         "root.Brand.ProdNbr=M1065-LW\n"},
        {"unknown group between known ones", {"Properties.Firmware.Version", "Network.Filter", "Input"},
         "root.Properties.Firmware.Version=9.10.1\n"
         "# Error: Error -1 getting param in group 'Network.Filter'\n"
         "root.Input.NbrOfInputs=1\n"},
        {"secret values are masked", {"Network.RTSP.ProtViewer"}, "root.Network.RTSP.ProtViewer=******\n"},
        {"stream profiles as stored", {"StreamProfile"},
         "root.StreamProfile.MaxGroups=26\n"
         "root.StreamProfile.S0.Description=profile_1_description\n"
         "root.StreamProfile.S0.Name=profile_1\n"
         "root.StreamProfile.S0.Parameters=videocodec=h264\n"
         "root.StreamProfile.S1.Description=profile_2_description\n"
         "root.StreamProfile.S1.Name=profile_2\n"
         "root.StreamProfile.S1.Parameters=videocodec=h265\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Camsim::formatParamList(m1065, c.groups), c.body);
    }
}

TEST(ParamFormat, AxisOs12DropsRootPrefixAfterAnError)
{
    // The answer reported for AXIS OS 12.11 by a tool's test.
    const Model model = parseModel("@quirk unprefixed-after-error\n"
                             "root.HTTPS.Enabled=yes ; bool\n"
                             "root.System.WebInterfaceDisabled=no ; bool\n"
                             "root.System.AccessLog=Off ; bool:On/Off\n");
    const std::vector<std::string> groups = {"HTTPS.Enabled", "Network.Filter", "System.WebInterfaceDisabled",
                                             "System.AccessLog"};
    EXPECT_EQ(Camsim::formatParamList(model, groups),
              "root.HTTPS.Enabled=yes\n"
              "# Error: Error -1 getting param in group 'Network.Filter'\n"
              "System.WebInterfaceDisabled=no\n"
              "root.System.AccessLog=Off\n");
}

TEST(ParamFormat, DefinitionsHaveTheCameraLayout)
{
    // Element layout, attribute order and escaping of AXIS OS 9.80.2.2
    // (captured listdefinitions), for a few of its parameters.
    const Model model = parseModel(
        "root.Brand.ProdShortName=AXIS Companion Bullet LE ; string readonly sec=7707\n"
        "root.Properties.Firmware.Version=9.80.2.2 ; string readonly sec=7707\n"
        "root.HTTPS.Port=443 ; int:1..65535 sec=7706\n"
        "root.Image.MaxViewers=10 ; int:0..10 maxlen=2\n"
        "root.Image.I0.Source=0 ; string readonly sec=7717\n"
        "root.Image.I0.Appearance.ColorEnabled=yes ; enum:\"no=Black & White|yes=Color\"\n"
        "root.Image.I0.MPEG.ZMaxGopLength=300 ; int:1..1023 hidden\n");
    EXPECT_EQ(Camsim::formatParamDefinitions(model, {"Image", "HTTPS.Port"}),
              "<?xml version=\"1.0\" encoding=\"iso-8859-1\" ?>\n"
              "<parameterDefinitions\n"
              "xmlns=\"http://www.axis.com/ParameterDefinitionsSchema\"\n"
              "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
              "xsi:schemaLocation=\"http://www.axis.com/ParameterDefinitionsSchema "
              "http://172.16.4.30/pub/parameterdefinitions.xsd\"\n"
              "version=\"1.0\">\n"
              "  <model>AXIS Companion Bullet LE</model>\n"
              "  <firmwareVersion>9.80.2.2</firmwareVersion>\n"
              "  <group name=\"root\">\n"
              "    <group name=\"HTTPS\">\n"
              "      <parameter name=\"Port\" value=\"443\" securityLevel=\"7706\" niceName=\"Port\">\n"
              "        <type>\n"
              "          <int min=\"1\" max=\"65535\" />\n"
              "        </type>\n"
              "      </parameter>\n"
              "    </group>\n"
              "    <group name=\"Image\">\n"
              "      <parameter name=\"MaxViewers\" value=\"10\" securityLevel=\"7744\" niceName=\"Max viewers\">\n"
              "        <type>\n"
              "          <int min=\"0\" max=\"10\" maxlen=\"2\" />\n"
              "        </type>\n"
              "      </parameter>\n"
              "      <group name=\"I0\">\n"
              "        <parameter name=\"Source\" value=\"0\" securityLevel=\"7717\" niceName=\"Source\">\n"
              "          <type readonly=\"true\">\n"
              "            <string />\n"
              "          </type>\n"
              "        </parameter>\n"
              "        <group name=\"Appearance\">\n"
              "          <parameter name=\"ColorEnabled\" value=\"yes\" securityLevel=\"7744\" niceName=\"Color enabled\">\n"
              "            <type>\n"
              "              <enum>\n"
              "                <entry value=\"no\" niceValue=\"Black &amp; White\" />\n"
              "                <entry value=\"yes\" niceValue=\"Color\" />\n"
              "              </enum>\n"
              "            </type>\n"
              "          </parameter>\n"
              "        </group>\n"
              "        <group name=\"MPEG\">\n"
              "          <parameter name=\"ZMaxGopLength\" value=\"300\" securityLevel=\"7744\" niceName=\"Z max gop length\">\n"
              "            <type hidden=\"true\">\n"
              "              <int min=\"1\" max=\"1023\" />\n"
              "            </type>\n"
              "          </parameter>\n"
              "        </group>\n"
              "      </group>\n"
              "    </group>\n"
              "  </group>\n"
              "</parameterDefinitions>\n");
}

TEST(ParamFormat, DefinitionsOfOneParameterAndEscapedValues)
{
    // The driver's rate-control probe asks for one parameter; stream profile
    // values carry '&', which the XML escapes as 9.80 does.
    const Model m = shippedModel("M3058-PLVE");
    const std::string mode = Camsim::formatParamDefinitions(m, {"root.Image.I0.RateControl.Mode"});
    EXPECT_NE(mode.find("      <group name=\"I0\">\n"
                        "        <group name=\"RateControl\">\n"
                        "          <parameter name=\"Mode\" value=\"vbr\" securityLevel=\"7744\" niceName=\"Mode\">\n"),
              std::string::npos)
        << mode;
    EXPECT_NE(mode.find("<entry value=\"abr\" niceValue=\"Average bit rate\" />"), std::string::npos);
    EXPECT_EQ(mode.find("I1"), std::string::npos);
    EXPECT_EQ(mode.find("Appearance"), std::string::npos);

    const std::string profile = Camsim::formatParamDefinitions(m, {"StreamProfile.S0.Parameters"});
    EXPECT_NE(profile.find("value=\"camera=quad&amp;resolution=1920x1080&amp;fps=0"), std::string::npos) << profile;
    EXPECT_NE(profile.find("<type dynamic=\"true\">"), std::string::npos);

    const std::string unknown = Camsim::formatParamDefinitions(m, {"Nothing.Here"});
    EXPECT_NE(unknown.find("  <group name=\"root\">\n  </group>\n</parameterDefinitions>\n"), std::string::npos)
        << unknown;
}
