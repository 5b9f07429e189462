#include "ModelLoader.h"
#include "ParamCgi.h"

#include <gtest/gtest.h>

using Camsim::FormPairs;
using Camsim::Model;
using Camsim::ParamCgi;

namespace {

Model load(const std::string& name)
{
    std::string error;
    auto model = Camsim::ModelLoader::load(CAMSIM_DATA_DIR, name, error);
    EXPECT_TRUE(model) << error;
    return model ? std::move(*model) : Model{};
}

// Answers a query string the way the CGI receives it.
Camsim::HttpResponse ask(Model& model, const std::string& query)
{
    const auto args = Camsim::parseForm(query);
    EXPECT_TRUE(args) << query;
    return ParamCgi::answer(model, args ? *args : FormPairs{});
}

} // namespace

TEST(ParamCgi, ListAnswersTextAndDefinitionsXml)
{
    Model m = load("M1065-LW");
    auto r = ask(m, "action=list&group=root.Brand.ProdNbr%2Croot.Properties.Firmware.Version");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.contentType, "text/plain");
    EXPECT_EQ(r.body, "root.Brand.ProdNbr=M1065-LW\nroot.Properties.Firmware.Version=9.10.1\n");

    r = ask(m, "action=listdefinitions&listformat=xmlschema&group=Brand.ProdNbr");
    EXPECT_EQ(r.contentType, "text/xml");
    EXPECT_EQ(r.body.rfind("<?xml version=\"1.0\" encoding=\"iso-8859-1\" ?>\n<parameterDefinitions\n", 0), 0u);

    const struct {
        const char* query;
        const char* body;
    } refusals[] = {
        {"group=Brand", "# Error: No action specified\n"},
        {"action=dump", "# Error: Unknown action 'dump'\n"},
        {"action=listdefinitions&listformat=html", "# Error: Unsupported listformat 'html'\n"},
    };
    for (const auto& c : refusals) {
        SCOPED_TRACE(c.query);
        r = ask(m, c.query);
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.body, c.body);
    }
}

TEST(ParamCgi, UpdateChecksEveryValueAndChangesAllOrNothing)
{
    const struct {
        const char* name;
        const char* query;
        const char* body;
        const char* path;  // checked afterwards
        const char* value; // expected value of path afterwards
    } cases[] = {
        {"enum value", "action=update&Image.I0.Appearance.Resolution=1280x720", "OK\n",
         "Image.I0.Appearance.Resolution", "1280x720"},
        {"root prefix and decoding", "action=update&root.Image.I0.Text.String=Gate+%231", "OK\n",
         "Image.I0.Text.String", "Gate #1"},
        {"several at once", "action=update&Image.I0.Stream.FPS=15&Image.I0.RateControl.Mode=mbr", "OK\n",
         "Image.I0.RateControl.Mode", "mbr"},
        {"value outside the enum", "action=update&Image.I0.Appearance.Resolution=1280x721",
         "# Error: Error setting 'Image.I0.Appearance.Resolution' to '1280x721'!\n",
         "Image.I0.Appearance.Resolution", "1920x1080"},
        {"int above max", "action=update&Image.I0.Stream.FPS=31",
         "# Error: Error setting 'Image.I0.Stream.FPS' to '31'!\n", "Image.I0.Stream.FPS", "0"},
        {"bool spelled wrong", "action=update&Image.I0.Enabled=Yes",
         "# Error: Error setting 'Image.I0.Enabled' to 'Yes'!\n", "Image.I0.Enabled", "yes"},
        {"unknown parameter", "action=update&Image.I0.Nothing=1",
         "# Error: Error setting 'Image.I0.Nothing' to '1'!\n", "Image.I0.Enabled", "yes"},
        {"read-only parameter", "action=update&Brand.ProdNbr=Q1656",
         "# Error: Error setting 'Brand.ProdNbr' to 'Q1656'!\n", "Brand.ProdNbr", "M1065-LW"},
        {"a group is not a parameter", "action=update&Image.I0=1", "# Error: Error setting 'Image.I0' to '1'!\n",
         "Image.I0.Enabled", "yes"},
        {"line break in a string", "action=update&Image.I0.Text.String=a%0Ab",
         "# Error: Error setting 'Image.I0.Text.String' to 'a\nb'!\n", "Image.I0.Text.String", ""},
        {"one bad value keeps the good one out", "action=update&Image.I0.Stream.FPS=10&Image.I0.Enabled=maybe",
         "# Error: Error setting 'Image.I0.Enabled' to 'maybe'!\n", "Image.I0.Stream.FPS", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Model m = load("M1065-LW");
        EXPECT_EQ(ask(m, c.query).body, c.body);
        EXPECT_EQ(m.value(c.path), c.value);
    }
}

TEST(ParamCgi, AddCreatesTheNextInstanceFromItsTemplate)
{
    Model m = load("M1065-LW");
    // The request as VAPIX documents it; S0 and S1 exist, so S2.
    EXPECT_EQ(ask(m, "action=add&template=streamprofile&group=StreamProfile&StreamProfile.S.Name=myprofile"
                     "&StreamProfile.S.Parameters=resolution%3D640x480%26videocodec%3Dh264")
                  .body,
              "S2 OK\n");
    EXPECT_EQ(m.value("StreamProfile.S2.Name"), "myprofile");
    EXPECT_EQ(m.value("StreamProfile.S2.Parameters"), "resolution=640x480&videocodec=h264");
    ASSERT_NE(m.params.findParam("StreamProfile.S2.Description"), nullptr);
    EXPECT_EQ(m.value("StreamProfile.S2.Description"), "");

    // A freed index is used again.
    EXPECT_EQ(ask(m, "action=remove&group=StreamProfile.S0").body, "OK\n");
    EXPECT_EQ(ask(m, "action=add&template=streamprofile&group=root.StreamProfile&root.StreamProfile.S.Name=x").body,
              "S0 OK\n");

    const struct {
        const char* name;
        const char* query;
        const char* body;
    } refusals[] = {
        {"unknown template", "action=add&template=carousel&group=StreamProfile",
         "# Request failed: Couldn't create group\n"},
        {"template for another group", "action=add&template=streamprofile&group=Image",
         "# Request failed: Couldn't create group\n"},
        {"no group", "action=add&template=streamprofile", "# Request failed: Couldn't create group\n"},
        {"parameter outside the template", "action=add&template=streamprofile&group=StreamProfile&StreamProfile.S.Codec=h264",
         "# Error: Error setting 'StreamProfile.S.Codec' to 'h264'!\n"},
        {"value too long", "action=add&template=streamprofile&group=StreamProfile&StreamProfile.S.Name="
                           "12345678901234567890123456789012345678901234567890123456789012345",
         "# Error: Error setting 'StreamProfile.S.Name' to "
         "'12345678901234567890123456789012345678901234567890123456789012345'!\n"},
        {"group missing on this firmware", "action=add&template=motion&group=Motion",
         "# Request failed: Couldn't create group\n"},
    };
    for (const auto& c : refusals) {
        SCOPED_TRACE(c.name);
        Model fresh = load("M1065-LW");
        EXPECT_EQ(ask(fresh, c.query).body, c.body);
        EXPECT_EQ(fresh.params.findGroup("StreamProfile.S2"), nullptr);
    }
}

TEST(ParamCgi, AddStopsAtMaxGroups)
{
    Model m = load("M1065-LW");
    std::string last;
    for (int i = 2; i < 26; ++i)
        last = ask(m, "action=add&template=streamprofile&group=StreamProfile").body;
    EXPECT_EQ(last, "S25 OK\n");
    EXPECT_EQ(ask(m, "action=add&template=streamprofile&group=StreamProfile").body,
              "# Request failed: Couldn't create group\n");
}

TEST(ParamCgi, GuardToursNestAndLegacyTemplates)
{
    // 5.x PTZ firmware: guard tour and tour answers as documented (G0 OK, T0 OK).
    Model m = load("P5512");
    EXPECT_EQ(ask(m, "action=add&template=guardtour&group=GuardTour").body, "G0 OK\n");
    EXPECT_EQ(m.value("GuardTour.G0.Name"), "GuardtourName");
    EXPECT_EQ(m.value("GuardTour.G0.Running"), "no");
    EXPECT_EQ(ask(m, "action=add&template=tour&group=GuardTour.G0.Tour&GuardTour.G0.Tour.T.PresetNbr=1"
                     "&GuardTour.G0.Tour.T.Position=1&GuardTour.G0.Tour.T.MoveSpeed=70"
                     "&GuardTour.G0.Tour.T.WaitTime=10&GuardTour.G0.Tour.T.WaitTimeViewType=Seconds")
                  .body,
              "T0 OK\n");
    EXPECT_EQ(m.value("GuardTour.G0.Tour.T0.MoveSpeed"), "70");
    EXPECT_EQ(ask(m, "action=add&template=tour&group=GuardTour.G7.Tour").body,
              "# Request failed: Couldn't create group\n");
    EXPECT_EQ(ask(m, "action=add&group=Motion&template=motion&Motion.M.Name=win1&Motion.M.Left=0"
                     "&Motion.M.Right=9999&Motion.M.WindowType=include&Motion.M.Sensitivity=90")
                  .body,
              "M1 OK\n");
    EXPECT_EQ(m.value("Motion.M1.Name"), "win1");
    EXPECT_EQ(ask(m, "action=add&template=streamprofile&group=StreamProfile&StreamProfile.S.Name=extra").body,
              "S4 OK\n");
    EXPECT_EQ(m.value("StreamProfile.S4.Default.Name"), "");
}

TEST(ParamCgi, RemoveTakesOnlyWholeInstances)
{
    const struct {
        const char* name;
        const char* query;
        const char* body;
        bool s0Left;
        bool s1Left;
    } cases[] = {
        {"one instance", "action=remove&group=StreamProfile.S1", "OK\n", true, false},
        {"two, root prefix, escaped comma", "action=remove&group=root.StreamProfile.S0%2CStreamProfile.S1", "OK\n",
         false, false},
        {"not an instance", "action=remove&group=Brand", "# Request failed: Couldn't remove group 'Brand'\n", true,
         true},
        {"a parameter", "action=remove&group=StreamProfile.S0.Name",
         "# Request failed: Couldn't remove group 'StreamProfile.S0.Name'\n", true, true},
        {"missing instance stops the whole request", "action=remove&group=StreamProfile.S0,StreamProfile.S9",
         "# Request failed: Couldn't remove group 'StreamProfile.S9'\n", true, true},
        {"no group", "action=remove", "# Request failed: Couldn't remove group ''\n", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Model m = load("M1065-LW");
        EXPECT_EQ(ask(m, c.query).body, c.body);
        EXPECT_EQ(m.params.findGroup("StreamProfile.S0") != nullptr, c.s0Left);
        EXPECT_EQ(m.params.findGroup("StreamProfile.S1") != nullptr, c.s1Left);
        EXPECT_NE(m.params.findParam("StreamProfile.MaxGroups"), nullptr);
    }
}

TEST(ParamCgi, PostBodyAndQueryAreBothArguments)
{
    std::string error;
    auto model = Camsim::ModelLoader::load(CAMSIM_DATA_DIR, "M1065-LW", error);
    ASSERT_TRUE(model) << error;
    Camsim::Camera camera(std::move(*model));
    ParamCgi cgi(camera);

    Camsim::HttpRequest post;
    post.method = "POST";
    post.target = "/axis-cgi/param.cgi";
    post.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
    post.body = "action=list&group=Brand.ProdNbr";
    EXPECT_EQ(cgi.handle(post).body, "root.Brand.ProdNbr=M1065-LW\n");

    post.target = "/axis-cgi/param.cgi?action=update";
    post.body = "Image.I0.Appearance.Compression=40";
    EXPECT_EQ(cgi.handle(post).body, "OK\n");
    EXPECT_EQ(camera.withModel([](Camsim::Model& m) { return m.value("Image.I0.Appearance.Compression"); }), "40");

    Camsim::HttpRequest bad;
    bad.method = "GET";
    bad.target = "/axis-cgi/param.cgi?action=list&group=%G0";
    EXPECT_EQ(cgi.handle(bad).status, 400);
}
