// media.amp arguments resolved against the shipped camera models: defaults
// from the image settings, stream profiles with URL arguments over them,
// and the 404/400 answers for cameras, profiles and values that do not
// exist.
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
        {"M1065-LW", "videocodec=jpeg&resolution=640x360&fps=10", 1, VideoCodec::Jpeg, 640, 360, 10, true, false},
        {"M1065-LW", "videocodec=jpeg&resolution=1280X720", 1, VideoCodec::Jpeg, 1280, 720, 0, true, false},
        {"M1065-LW", "audio=1&video=0", 1, VideoCodec::H264, 1920, 1080, 0, false, true},
        {"M1065-LW", "streamprofile=profile_1&resolution=640x360", 1, VideoCodec::H264, 640, 360, 0, true, false},
        // 5.x encoder defaults: 4CIF, and its Mobile/Balanced profiles.
        {"P5512", "", 1, VideoCodec::H264, 704, 576, 0, true, false},
        {"P5512", "streamprofile=Mobile", 1, VideoCodec::H264, 176, 144, 15, true, false},
        {"P5512", "streamprofile=Balanced&fps=5&audio=1", 1, VideoCodec::H264, 704, 576, 5, true, true},
        {"P7214", "camera=4", 4, VideoCodec::H264, 704, 576, 0, true, false},
        {"P7214", "camera=quad", 1, VideoCodec::H264, 704, 576, 0, true, false},
        {"M3058-PLVE", "streamprofile=Overview_H265", 1, VideoCodec::H265, 2880, 2880, 0, true, false},
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
        {"P5512", "camera=quad", 404},
        {"P7214", "camera=5", 404},
        {"M1065-LW", "streamprofile=nosuch", 404},
        {"M1065-LW", "videocodec=h265", 400},       // not in Properties.Image.Format
        {"M1065-LW", "streamprofile=profile_2", 400}, // an h265 profile on the same camera
        {"M1065-LW", "videocodec=mjpeg", 400},
        {"M1065-LW", "resolution=big", 400},
        {"M1065-LW", "fps=abc", 400},
        {"M1065-LW", "audio=0&video=0", 400},
        {"M1065-LW", "audio=0&video=0&event=off", 400},
        {"M1065-LW", "video=0&event=yes please", 400},
        {"M1065-LW", "video=0&event=on&eventtopic=onvif:VideoSource/axis:Tampering//.|", 400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " ?" + c.query);
        StreamRequestError error;
        EXPECT_FALSE(resolveStreamRequest(c.query, modelTree(c.model), error));
        EXPECT_EQ(error.status, c.status);
        EXPECT_FALSE(error.reason.empty());
    }
}
