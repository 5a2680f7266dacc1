#include "adapter/vekdiag_protocol.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(Protocol, InterfaceClassGuidHasTheUsualByteLayout) {
    const uint8_t expected[16] = {0x7C, 0xAF, 0x95, 0x7F, 0x8A, 0xF6, 0x51, 0x43,
                                  0xBB, 0x8E, 0x26, 0x8A, 0xF2, 0x8E, 0xA1, 0x4C};
    static_assert(sizeof(GUID) == 16, "GUID layout");
    EXPECT_EQ(std::memcmp(&GUID_DEVINTERFACE_VEKDIAG, expected, 16), 0);
}

TEST(Protocol, ReplyBytesReadAsAdapterInfoOrOptionMask) {
    const uint8_t bytes[12] = {9, 9, 9, 9, 0x03, 0x00, 0xAB, 0x00, 9, 9, 9, 9};
    DiagQueryReply reply;
    std::memcpy(&reply, bytes, sizeof reply);
    EXPECT_EQ(reply.adapterInfo.adapterIndex, 3);
    EXPECT_EQ(reply.adapterInfo.adapterType, 0xAB);
    EXPECT_EQ(reply.streamOptions, 0x00AB0003u);
}

TEST(Protocol, ChannelNamesAndAccess) {
    EXPECT_STREQ(VEKDIAG_CONFIGURE_CHANNEL, "VekDiagConfigure");
    EXPECT_STREQ(VEKDIAG_TEXT_LOG_CHANNEL, "VekDiagTextLog");
    EXPECT_STREQ(VEKDIAG_TIMING_LOG_CHANNEL, "VekDiagTimingLog");
    EXPECT_EQ(VEKDIAG_CONFIGURE_ACCESS, 0x10000000u);
    EXPECT_EQ(VEKDIAG_LOG_ACCESS, 0x80000000u);
}

}  // namespace
