#include "ParamTree.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(ParamTree, ListOrderIsCaseInsensitiveWithNumericInstances)
{
    // Orders seen in real M1065-LW and PTZ dome lists: Image < ImageSource <
    // Input < IOPort, Properties < PTZ, eth0 < HTTP, CtlQueueing <
    // CtlQueueLimit; instance numbers compare as numbers.
    std::vector<std::string> names = {"S10", "PTZ", "IOPort", "S2", "Input", "HTTP", "CtlQueueLimit", "Image",
                                      "eth0", "CtlQueueing", "Properties", "ImageSource", "S1"};
    std::sort(names.begin(), names.end(), Camsim::listOrderLess);
    EXPECT_EQ(names, (std::vector<std::string>{"CtlQueueing", "CtlQueueLimit", "eth0", "HTTP", "Image",
                                               "ImageSource", "Input", "IOPort", "Properties", "PTZ", "S1", "S2",
                                               "S10"}));
}

TEST(ParamTree, PathsWithOrWithoutRootAndInAnyCase)
{
    Camsim::ParamTree tree;
    ASSERT_NE(tree.define("root.Network.RTSP.Port", "554", {}), nullptr);
    ASSERT_NE(tree.define("Network.eth0.MACAddress", "AC:CC:12:34:56:78", {}), nullptr);
    for (const char* path : {"Network.RTSP.Port", "root.Network.RTSP.Port", "network.rtsp.port", "ROOT.NETWORK.RTSP.PORT"}) {
        SCOPED_TRACE(path);
        ASSERT_NE(tree.findParam(path), nullptr);
        EXPECT_EQ(tree.findParam(path)->value, "554");
    }
    EXPECT_EQ(tree.canonicalGroupPath("root.network.rtsp"), "Network.RTSP");
    EXPECT_EQ(tree.findParam("Network.RTSP"), nullptr);
    EXPECT_EQ(tree.findGroup("Network.RTSP.Port"), nullptr);
    EXPECT_EQ(tree.findParam("Network..Port"), nullptr);
    EXPECT_EQ(tree.findParam(""), nullptr);
    // A parameter cannot become a group, nor a group a parameter.
    EXPECT_EQ(tree.define("Network.RTSP.Port.X", "1", {}), nullptr);
    EXPECT_EQ(tree.define("Network.RTSP", "1", {}), nullptr);
    EXPECT_TRUE(tree.removeGroup("root.network.eth0"));
    EXPECT_EQ(tree.findParam("Network.eth0.MACAddress"), nullptr);
    EXPECT_FALSE(tree.removeGroup("Network.eth0"));
}
