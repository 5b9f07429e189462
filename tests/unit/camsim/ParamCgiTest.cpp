// param.cgi answers, byte for byte as Axis firmware writes them: the bodies of
// list, update, add and remove, their refusals, and that a refused request
// changes nothing.
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

TEST(ParamCgi, AnswersAndRefusals)
{
    const char* const kCreateFailed = "# Request failed: Couldn't create group\n";
    const struct {
        const char* name;
        const char* model;
        const char* query;
        const char* body;
        const char* path;  // checked afterwards, or nullptr
        const char* value; // its value then; nullptr: the group or parameter does not exist
    } cases[] = {
        {"list", "M1065-LW", "action=list&group=root.Brand.ProdNbr%2Croot.Properties.Firmware.Version",
         "root.Brand.ProdNbr=M1065-LW\nroot.Properties.Firmware.Version=9.10.1\n", nullptr, nullptr},
        {"no action", "M1065-LW", "group=Brand", "# Error: No action specified\n", nullptr, nullptr},
        {"unknown action", "M1065-LW", "action=dump", "# Error: Unknown action 'dump'\n", nullptr, nullptr},
        {"definitions as html", "M1065-LW", "action=listdefinitions&listformat=html",
         "# Error: Unsupported listformat 'html'\n", nullptr, nullptr},
        {"update, root prefix and decoding", "M1065-LW", "action=update&root.Image.I0.Text.String=Gate+%231", "OK\n",
         "Image.I0.Text.String", "Gate #1"},
        {"update outside the enum", "M1065-LW", "action=update&Image.I0.Appearance.Resolution=1280x721",
         "# Error: Error setting 'Image.I0.Appearance.Resolution' to '1280x721'!\n", "Image.I0.Appearance.Resolution",
         "1920x1080"},
        {"int above max", "M1065-LW", "action=update&Image.I0.Stream.FPS=31",
         "# Error: Error setting 'Image.I0.Stream.FPS' to '31'!\n", "Image.I0.Stream.FPS", "0"},
        {"read-only parameter", "M1065-LW", "action=update&Brand.ProdNbr=Q1656",
         "# Error: Error setting 'Brand.ProdNbr' to 'Q1656'!\n", "Brand.ProdNbr", "M1065-LW"},
        {"line break in a string", "M1065-LW", "action=update&Image.I0.Text.String=a%0Ab",
         "# Error: Error setting 'Image.I0.Text.String' to 'a\nb'!\n", "Image.I0.Text.String", ""},
        {"one bad value keeps the good one out", "M1065-LW",
         "action=update&Image.I0.Stream.FPS=10&Image.I0.Enabled=maybe",
         "# Error: Error setting 'Image.I0.Enabled' to 'maybe'!\n", "Image.I0.Stream.FPS", "0"},
        // The request as VAPIX documents it; S0 and S1 exist, so S2.
        {"add a stream profile", "M1065-LW",
         "action=add&template=streamprofile&group=StreamProfile&StreamProfile.S.Name=myprofile"
         "&StreamProfile.S.Parameters=resolution%3D640x480%26videocodec%3Dh264",
         "S2 OK\n", "StreamProfile.S2.Parameters", "resolution=640x480&videocodec=h264"},
        // mjpeg is no codec name of the camera's: jpeg is.
        {"add a profile naming mjpeg", "M1065-LW",
         "action=add&template=streamprofile&group=StreamProfile&StreamProfile.S.Name=Old"
         "&StreamProfile.S.Parameters=videocodec%3Dmjpeg",
         "# Error: Error setting 'StreamProfile.S.Parameters' to 'videocodec=mjpeg'!\n", "StreamProfile.S2.Name", nullptr},
        {"update a profile to mjpeg", "M1065-LW",
         "action=update&StreamProfile.S0.Parameters=videocodec%3Dmjpeg%26fps%3D5",
         "# Error: Error setting 'StreamProfile.S0.Parameters' to 'videocodec=mjpeg&fps=5'!\n", nullptr, nullptr},
        {"template for another group", "M1065-LW", "action=add&template=streamprofile&group=Image", kCreateFailed,
         "StreamProfile.S2.Name", nullptr},
        {"parameter outside the template", "M1065-LW",
         "action=add&template=streamprofile&group=StreamProfile&StreamProfile.S.Codec=h264",
         "# Error: Error setting 'StreamProfile.S.Codec' to 'h264'!\n", "StreamProfile.S2.Name", nullptr},
        {"group missing on this firmware", "Q2101-TE", "action=add&template=motion&group=Motion", kCreateFailed,
         nullptr, nullptr},
        // 5.x PTZ firmware: guard tours and motion windows number as documented.
        {"guard tour", "P5512", "action=add&template=guardtour&group=GuardTour", "G0 OK\n", "GuardTour.G0.Name",
         "GuardtourName"},
        {"motion window", "P5512", "action=add&group=Motion&template=motion&Motion.M.Name=win1", "M1 OK\n",
         "Motion.M1.Name", "win1"},
        {"remove two, escaped comma", "M1065-LW", "action=remove&group=root.StreamProfile.S0%2CStreamProfile.S1",
         "OK\n", "StreamProfile.S1.Name", nullptr},
        {"remove what is not an instance", "M1065-LW", "action=remove&group=Brand",
         "# Request failed: Couldn't remove group 'Brand'\n", "Brand.ProdNbr", "M1065-LW"},
        {"a missing instance stops the whole request", "M1065-LW",
         "action=remove&group=StreamProfile.S0,StreamProfile.S9",
         "# Request failed: Couldn't remove group 'StreamProfile.S9'\n", "StreamProfile.S0.Name", "profile_1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Model m = load(c.model);
        const auto r = ask(m, c.query);
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.contentType, "text/plain");
        EXPECT_EQ(r.body, c.body);
        if (c.path && c.value) {
            EXPECT_EQ(m.value(c.path), c.value);
        } else if (c.path) {
            EXPECT_EQ(m.params.findParam(c.path), nullptr);
        }
    }
    Model m = load("M1065-LW");
    const auto r = ask(m, "action=listdefinitions&listformat=xmlschema&group=Brand.ProdNbr");
    EXPECT_EQ(r.contentType, "text/xml");
    EXPECT_EQ(r.body.rfind("<?xml version=\"1.0\" encoding=\"iso-8859-1\" ?>\n<parameterDefinitions\n", 0), 0u);
}
