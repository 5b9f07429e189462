#include "ParamType.h"

#include <gtest/gtest.h>

using Camsim::ParamType;

TEST(ParamType, SpecsGiveTheDefinitionParts)
{
    std::string error;
    auto t = Camsim::parseParamType("enum:\"no=Black & White|yes=Color\" sec=7714 readonly", error);
    ASSERT_TRUE(t) << error;
    EXPECT_EQ(t->kind, ParamType::Kind::Enum);
    ASSERT_EQ(t->entries.size(), 2u);
    EXPECT_EQ(t->entries[0].value, "no");
    EXPECT_EQ(t->entries[0].niceValue, "Black & White");
    EXPECT_EQ(t->entries[1].niceValue, "Color");
    EXPECT_EQ(t->securityLevel, "7714");
    EXPECT_TRUE(t->readOnly);
    EXPECT_FALSE(t->writable());

    t = Camsim::parseParamType("int:-120..120 maxlen=4 hidden", error);
    ASSERT_TRUE(t) << error;
    EXPECT_EQ(t->kind, ParamType::Kind::Int);
    EXPECT_EQ(t->min, -120);
    EXPECT_EQ(t->max, 120);
    EXPECT_EQ(t->maxLen, 4u);
    EXPECT_TRUE(t->hidden);

    t = Camsim::parseParamType("bool:anonymous/password secret", error);
    ASSERT_TRUE(t) << error;
    EXPECT_EQ(t->trueValue, "anonymous");
    EXPECT_EQ(t->falseValue, "password");
    EXPECT_TRUE(t->secret);

    t = Camsim::parseParamType("", error);
    ASSERT_TRUE(t) << error;
    EXPECT_EQ(t->kind, ParamType::Kind::String);
    EXPECT_EQ(t->securityLevel, "7744");
}

TEST(ParamType, BadSpecsAreErrors)
{
    for (const char* spec : {"float", "int:5..1", "int:a..b", "bool:yes", "bool:/no", "enum:", "enum:a||b",
                             "string int", "maxlen=x", "enum:\"a|b", "sec="}) {
        SCOPED_TRACE(spec);
        std::string error;
        EXPECT_FALSE(Camsim::parseParamType(spec, error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(ParamType, UpdatesAreCheckedAgainstTheType)
{
    const struct {
        const char* spec;
        const char* value;
        bool accepted;
    } cases[] = {
        {"bool", "yes", true},
        {"bool", "no", true},
        {"bool", "Yes", false},
        {"bool", "true", false},
        {"bool:On/Off", "Off", true},
        {"bool:On/Off", "off", false},
        {"int:0..100 maxlen=3", "100", true},
        {"int:0..100 maxlen=3", "101", false},
        {"int:0..100 maxlen=3", "-1", false},
        {"int:0..100 maxlen=3", "0050", false}, // longer than maxlen
        {"int:0..100", "5x", false},
        {"int:0..100", "", false},
        {"int:-120..120", "-120", true},
        {"int", "99999999999999999999", false},
        {"enum:vbr|mbr|abr", "abr", true},
        {"enum:vbr|mbr|abr", "cbr", false},
        {"enum:vbr|mbr|abr", "VBR", false},
        {"string maxlen=5", "12345", true},
        {"string maxlen=5", "123456", false},
        {"string", "line\nbreak", false},
        {"string", "", true},
        {"hostname", "axis-accc12345678", true},
        {"hostname", "bad host", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.spec) + " <- " + c.value);
        std::string error;
        const auto t = Camsim::parseParamType(c.spec, error);
        ASSERT_TRUE(t) << error;
        EXPECT_EQ(t->accepts(c.value), c.accepted);
    }
}

TEST(ParamType, NiceNamesMatchTheCameraDefinitions)
{
    // name -> niceName pairs as AXIS OS 9.80.2.2 lists them (more in ParamFormatTest's definitions).
    const struct {
        const char* name;
        const char* nice;
    } cases[] = {
        {"Limit", "Limit"},
        {"BasicDeviceInfo", "Basic device info"},
        {"ProdFullName", "Prod full name"},
        {"ZGopMode", "Z gop mode"},
        {"MaxBitrate", "Max bitrate"},
        {"FPS", "FPS"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Camsim::niceNameOf(c.name), c.nice);
    }
}
