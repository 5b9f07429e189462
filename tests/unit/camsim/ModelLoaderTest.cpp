#include "ModelLoader.h"

#include <gtest/gtest.h>

#include <map>

using Camsim::Model;
using Camsim::ModelLoader;

namespace {

std::optional<Model> parse(const std::string& text, std::string& error,
                           std::map<std::string, std::string> includes = {})
{
    return ModelLoader::parse("Test", text,
                              [includes](const std::string& file) -> std::optional<std::string> {
                                  const auto it = includes.find(file);
                                  if (it == includes.end())
                                      return std::nullopt;
                                  return it->second;
                              },
                              error);
}

} // namespace

TEST(ModelLoader, ReadsParametersDirectivesAndBlocks)
{
    std::string error;
    const auto model = parse("# a comment\n"
                             "@optics\n"
                             "@webserver boa\n"
                             "@include common.params\n"
                             "root.Brand.ProdNbr=P5512 ; string readonly\n"
                             "root.Image.I0.Text.String=x=1&y=2\n"
                             "@for i=0..2\n"
                             "root.IOPort.I{i}.Input.Name=Input {i+1}\n"
                             "@end\n"
                             "@group GuardTour\n"
                             "@template tour GuardTour.G#.Tour T\n"
                             "PresetNbr=1 ; int:1..\n"
                             "@end\n",
                             error, {{"common.params", "root.Network.RTSP.Port=554 ; int:1..65535\r\n"}});
    ASSERT_TRUE(model) << error;
    EXPECT_TRUE(model->optics);
    EXPECT_EQ(model->webServer, Camsim::WebServerStyle::Boa);
    EXPECT_EQ(model->value("Network.RTSP.Port"), "554");
    EXPECT_EQ(model->value("root.Brand.ProdNbr"), "P5512");
    EXPECT_TRUE(model->params.findParam("Brand.ProdNbr")->type.readOnly);
    EXPECT_EQ(model->value("Image.I0.Text.String"), "x=1&y=2");
    EXPECT_EQ(model->params.findParam("Image.I0.Text.String")->type.kind, Camsim::ParamType::Kind::String);
    EXPECT_EQ(model->value("IOPort.I0.Input.Name"), "Input 1");
    EXPECT_EQ(model->value("IOPort.I2.Input.Name"), "Input 3");
    EXPECT_EQ(model->params.findParam("IOPort.I3.Input.Name"), nullptr);
    ASSERT_NE(model->params.findGroup("GuardTour"), nullptr);
    ASSERT_EQ(model->templates.size(), 1u);
    EXPECT_TRUE(model->templates[0].parentMatches("GuardTour.G12.Tour"));
    EXPECT_FALSE(model->templates[0].parentMatches("GuardTour.Tour"));
    EXPECT_FALSE(model->templates[0].parentMatches("GuardTour.G1"));
}

TEST(ModelLoader, BadLinesNameFileAndLine)
{
    const struct {
        const char* name;
        const char* text;
        const char* error;
    } cases[] = {
        {"no equals", "root.Brand.Brand=AXIS\nroot.Brand.Oops\n", "Test.params:2: expected Name=value"},
        {"unknown type", "root.A.B=1 ; float\n", "Test.params:1: unknown type 'float'"},
        {"default outside its type", "root.A.B=101 ; int:0..100\n", "Test.params:1: default '101' does not fit"},
        {"group and parameter clash", "root.A.B=1\nroot.A.B.C=2\n", "Test.params:2: bad parameter path"},
        {"empty path piece", "root.A..B=1\n", "Test.params:1: bad parameter path"},
        {"unknown directive", "@camera 1\n", "Test.params:1: unknown directive '@camera'"},
        {"open block", "@for i=0..1\nroot.A.I{i}=1\n", "Test.params:1: '@for' without '@end'"},
        {"stray end", "@end\n", "Test.params:1: '@end' without a block"},
        {"bad range", "@for i=3..1\n@end\n", "Test.params:1: bad @for range"},
        {"missing include", "@include nowhere.params\n", "Test.params:1: cannot read include"},
        {"include line numbers", "@include broken.params\n", "broken.params:2: expected Name=value"},
        {"template arity", "@template streamprofile StreamProfile\n@end\n", "Test.params:1: @template takes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        EXPECT_FALSE(parse(c.text, error, {{"broken.params", "root.X.Y=1\nnonsense\n"}}));
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    }
}

TEST(ModelLoader, IncludesCannotRecurseForever)
{
    std::string error;
    EXPECT_FALSE(parse("@include self.params\n", error, {{"self.params", "@include self.params\n"}}));
    EXPECT_NE(error.find("nested too deep"), std::string::npos) << error;
}

TEST(ModelLoader, ShippedModelsDescribeTheirCameras)
{
    // What the driver's connect request reads from each model: product,
    // firmware and topology counts as each model file's header describes the camera.
    const struct {
        const char* model;
        const char* firmware;
        const char* videoSources;
        const char* audioSources;
        const char* inputs;
        const char* outputs;
        bool virtualInputs;
        const char* ctlQueueing;
        bool optics;
        const char* dewarp;
    } cases[] = {
        {"M1065-LW", "9.10.1", "1", "1", "1", "0", true, "false", false, ""},
        {"P5512", "5.51.7", "1", "1", "1", "1", false, "true", false, ""},
        {"P7214", "5.51.5", "4", "4", "4", "4", false, "false", false, ""},
        {"M3058-PLVE", "9.80.2", "1", "1", "1", "1", true, "false", false, "yes"},
        {"P3245-LVE", "10.12.182", "1", "1", "1", "1", true, "false", true, ""},
    };
    EXPECT_EQ(ModelLoader::listModels(CAMSIM_DATA_DIR),
              (std::vector<std::string>{"M1065-LW", "M3058-PLVE", "P3245-LVE", "P5512", "P7214"}));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        std::string error;
        const auto m = ModelLoader::load(CAMSIM_DATA_DIR, c.model, error);
        ASSERT_TRUE(m) << error;
        EXPECT_EQ(m->value("Brand.ProdNbr"), c.model);
        EXPECT_EQ(m->value("Properties.Firmware.Version"), c.firmware);
        EXPECT_EQ(m->value("ImageSource.NbrOfSources"), c.videoSources);
        EXPECT_EQ(m->value("AudioSource.NbrOfSources"), c.audioSources);
        EXPECT_EQ(m->value("Input.NbrOfInputs"), c.inputs);
        EXPECT_EQ(m->value("Output.NbrOfOutputs"), c.outputs);
        EXPECT_EQ(m->value("Properties.VirtualInput.VirtualInput") == "yes", c.virtualInputs);
        EXPECT_EQ(m->value("PTZ.Various.V1.CtlQueueing"), c.ctlQueueing);
        EXPECT_EQ(m->optics, c.optics);
        EXPECT_EQ(m->value("Properties.Image.Dewarp"), c.dewarp);
        EXPECT_NE(m->value("Network.eth0.MACAddress"), "");
        EXPECT_NE(m->value("Network.RTSP.Port"), "");
        EXPECT_NE(m->findTemplate("streamprofile"), nullptr);
        EXPECT_NE(m->params.findParam("Image.I0.RateControl.Mode"), nullptr);
    }
    std::string error;
    EXPECT_FALSE(ModelLoader::load(CAMSIM_DATA_DIR, "../models/M1065-LW", error));
    EXPECT_FALSE(ModelLoader::load(CAMSIM_DATA_DIR, "Q6155-E", error));
}
