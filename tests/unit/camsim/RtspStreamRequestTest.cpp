// media.amp arguments resolved against the shipped camera models: defaults
// from the image settings, stream profiles with URL arguments over them,
// and the 404/400 answers for cameras, profiles and values that do not
// exist. Also the RTSP fault vocabulary and the clip-size choice.
#include "FaultInjector.h"
#include "MediaLibrary.h"
#include "ModelLoader.h"
#include "RtspStreamRequest.h"

#include <gtest/gtest.h>

#include <map>

using namespace Camsim;

namespace {

const ParamTree& modelTree(const std::string& name)
{
    static std::map<std::string, Model> models;
    auto it = models.find(name);
    if (it == models.end()) {
        std::string error;
        auto m = ModelLoader::load(CAMSIM_DATA_DIR, name, error);
        if (!m)
            throw std::runtime_error(error);
        it = models.emplace(name, std::move(*m)).first;
    }
    return it->second.params;
}

} // namespace

TEST(StreamRequest, ArgumentsProfilesAndDefaults)
{
    const struct {
        const char* model;
        const char* query;
        unsigned camera;
        VideoCodec codec;
        unsigned width, height, fps;
        bool video, audio;
    } cases[] = {
        {"M1065-LW", "", 1, VideoCodec::H264, 1920, 1080, 0, true, false},
        {"M1065-LW", "camera=2", 2, VideoCodec::H264, 1920, 1080, 0, true, false},
        {"M1065-LW", "camera=1&videocodec=h264", 1, VideoCodec::H264, 1920, 1080, 0, true, false},
        {"M1065-LW", "videocodec=jpeg&resolution=640x360&fps=10", 1, VideoCodec::Jpeg, 640, 360, 10, true, false},
        {"M1065-LW", "videocodec=jpeg&resolution=1280X720", 1, VideoCodec::Jpeg, 1280, 720, 0, true, false},
        {"M1065-LW", "audio=1&video=0", 1, VideoCodec::H264, 1920, 1080, 0, false, true},
        {"M1065-LW", "streamprofile=profile_1&resolution=640x360", 1, VideoCodec::H264, 640, 360, 0, true, false},
        // 5.x encoder defaults: 4CIF, and its Mobile/Balanced profiles.
        {"P5512", "", 1, VideoCodec::H264, 704, 576, 0, true, false},
        {"P5512", "streamprofile=Mobile", 1, VideoCodec::H264, 176, 144, 15, true, false},
        {"P5512", "streamprofile=Balanced&fps=5&audio=1", 1, VideoCodec::H264, 704, 576, 5, true, true},
        {"P5512", "resolution=CIF", 1, VideoCodec::H264, 352, 288, 0, true, false},
        {"P7214", "camera=4", 4, VideoCodec::H264, 704, 576, 0, true, false},
        {"P7214", "camera=quad", 1, VideoCodec::H264, 704, 576, 0, true, false},
        {"M3058-PLVE", "streamprofile=Overview_H265", 1, VideoCodec::H265, 2880, 2880, 0, true, false},
        {"M3058-PLVE", "streamprofile=Quad_H264", 1, VideoCodec::H264, 1920, 1080, 0, true, false},
        {"M3058-PLVE", "camera=8&videocodec=h265", 8, VideoCodec::H265, 2880, 2880, 0, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " ?" + c.query);
        StreamRequestError error;
        const auto r = resolveStreamRequest(c.query, modelTree(c.model), error);
        ASSERT_TRUE(r) << error.status << " " << error.reason;
        EXPECT_EQ(r->camera, c.camera);
        EXPECT_EQ(r->codec, c.codec);
        EXPECT_EQ(r->width, c.width);
        EXPECT_EQ(r->height, c.height);
        EXPECT_EQ(r->fps, c.fps);
        EXPECT_EQ(r->video, c.video);
        EXPECT_EQ(r->audio, c.audio);
    }
}

TEST(StreamRequest, WhatTheCameraRefuses)
{
    const struct {
        const char* model;
        const char* query;
        int status;
    } cases[] = {
        {"M1065-LW", "camera=3", 404}, // two views
        {"M1065-LW", "camera=0", 404},
        {"P5512", "camera=quad", 404},
        {"P7214", "camera=5", 404},
        {"M1065-LW", "streamprofile=nosuch", 404},
        {"M1065-LW", "videocodec=h265", 400},       // not in Properties.Image.Format
        {"M1065-LW", "streamprofile=profile_2", 400}, // an h265 profile on the same camera
        {"M1065-LW", "videocodec=mjpeg", 400},
        {"M1065-LW", "resolution=big", 400},
        {"M1065-LW", "resolution=8x8", 400},
        {"M1065-LW", "fps=abc", 400},
        {"M1065-LW", "audio=2", 400},
        {"M1065-LW", "audio=0&video=0", 400},
        {"M1065-LW", "camera=%zz", 400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " ?" + c.query);
        StreamRequestError error;
        EXPECT_FALSE(resolveStreamRequest(c.query, modelTree(c.model), error));
        EXPECT_EQ(error.status, c.status);
        EXPECT_FALSE(error.reason.empty());
    }
}

TEST(StreamRequest, AnUpdatedProfileChangesTheStream)
{
    ParamTree tree = modelTree("P5512");
    Param* p = tree.findParam("StreamProfile.S3.Parameters");
    ASSERT_TRUE(p);
    p->value = "videocodec=jpeg&resolution=1280x720&fps=2";
    StreamRequestError error;
    const auto r = resolveStreamRequest("streamprofile=Mobile", tree, error);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->codec, VideoCodec::Jpeg);
    EXPECT_EQ(r->width, 1280u);
    EXPECT_EQ(r->fps, 2u);
    EXPECT_EQ(r->profile, "Mobile");
}

TEST(StreamRequest, NearestClipSize)
{
    const std::vector<std::pair<unsigned, unsigned>> clips = {{1920, 1080}, {1280, 720}, {704, 576}, {640, 360}};
    const struct {
        unsigned w, h;
        std::size_t chosen;
    } cases[] = {
        {1920, 1080, 0}, {2880, 2880, 0}, {1280, 960, 1}, {1024, 576, 2}, {720, 576, 2},
        {640, 480, 3},   {176, 144, 3},   {352, 288, 3},  {800, 600, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        EXPECT_EQ(nearestSize(clips, c.w, c.h), c.chosen);
    }
}

TEST(RtspFaultSpecs, ParseAndPrint)
{
    const struct {
        const char* text;
        FaultSpec::Kind kind;
        long ms;
        const char* printed;
    } cases[] = {
        {"end:2", FaultSpec::Kind::End, 2000, "end:2"},
        {"end:86400,count:1", FaultSpec::Kind::End, 86400000, "end:86400"},
        {"stall", FaultSpec::Kind::Stall, 0, "stall"},
        {"refuse,count:3", FaultSpec::Kind::Refuse, 0, "refuse"},
        {"garbage", FaultSpec::Kind::Garbage, 0, "garbage"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const auto spec = parseFaultSpec(c.text, error);
        ASSERT_TRUE(spec) << error;
        EXPECT_EQ(spec->kind, c.kind);
        EXPECT_EQ(spec->delay.count(), c.ms);
        EXPECT_EQ(toString(*spec), c.printed);
    }
    for (const char* bad : {"end", "end:0", "end:86401", "end:-1", "stall:1", "refuse:2"}) {
        SCOPED_TRACE(bad);
        std::string error;
        EXPECT_FALSE(parseFaultSpec(bad, error));
    }
}

TEST(RtspFaultSpecs, RefuseIsTakenOnlyWhereAsked)
{
    FaultInjector faults;
    std::string error;
    faults.set("/axis-media/media.amp", *parseFaultSpec("end:2,count:1", error));
    EXPECT_FALSE(faults.takeIf("/axis-media/media.amp", {FaultSpec::Kind::Refuse}));
    const auto end = faults.takeIf("/axis-media/media.amp", {FaultSpec::Kind::End, FaultSpec::Kind::Stall});
    ASSERT_TRUE(end);
    EXPECT_EQ(end->kind, FaultSpec::Kind::End);
    EXPECT_FALSE(faults.take("/axis-media/media.amp"));
}
