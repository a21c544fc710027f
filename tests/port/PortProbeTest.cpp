// Presence probe and port-code decoding.
#include <gtest/gtest.h>

#include "port/LPTIO.h"
#include "support/FakePortSystem.h"

TEST(PortCodeAddress, DecodesBaseFromHighNibbleAndOffsetFromLowBits) {
    EXPECT_EQ(PortCodeAddress(0x22), 0x37A);
    EXPECT_EQ(PortCodeAddress(0x11), 0x3BD);
    EXPECT_EQ(PortCodeAddress(0x31), 0x279);
    EXPECT_EQ(PortCodeAddress(0x01), 0x279);
    EXPECT_EQ(PortCodeAddress(0xF1), 0x279);
    EXPECT_EQ(PortCodeAddress(0x18), 0x3BC);  // bit 3 takes no part
    EXPECT_EQ(PortCodeAddress(0x2F), 0x37F);
}

class ProbeTest : public ::testing::Test {
protected:
    // A connection on a device that exists; the construction probes are forgotten.
    void SetUp() override {
        conn = std::make_unique<TLptPortConnection>(os);
        os.accesses.clear();
    }
    FakePortSystem os;
    std::unique_ptr<TLptPortConnection> conn;
};

TEST_F(ProbeTest, EchoingDataRegisterIsPresentAfterExactlyTheEightAccesses) {
    os.latch[0x378] = 0x3C;
    EXPECT_TRUE(conn->PortPresent(PortCode378));
    const std::vector<PortAccess> expected{R(0x378, 0x3C), W(0x378, 0x00), R(0x378, 0x00),
                                           W(0x378, 0x55), R(0x378, 0x55), W(0x378, 0xAA),
                                           R(0x378, 0xAA), W(0x378, 0x3C)};
    EXPECT_EQ(os.accesses, expected);
    EXPECT_EQ(os.latch[0x378], 0x3C);
}

TEST_F(ProbeTest, DataStuckAtFFSkipsLaterChecksAndFallsBackToControlThenStatus) {
    os.fixedReads[0x278] = 0xFF;
    os.fixedReads[0x27A] = 0xFF;
    os.fixedReads[0x279] = 0xFF;
    EXPECT_FALSE(conn->PortPresent(PortCode278));
    const std::vector<PortAccess> expected{R(0x278, 0xFF), W(0x278, 0x00), R(0x278, 0xFF),
                                           W(0x278, 0x55), W(0x278, 0xAA), W(0x278, 0xFF),
                                           R(0x27A, 0xFF), R(0x279, 0xFF)};
    EXPECT_EQ(os.accesses, expected);
}

TEST_F(ProbeTest, FallbackRegistersDecidePresence) {
    os.fixedReads[0x3BC] = 0xFF;
    os.fixedReads[0x3BE] = 0x00;
    os.fixedReads[0x3BD] = 0x78;
    EXPECT_TRUE(conn->PortPresent(PortCode3BC));

    os.fixedReads[0x3BE] = 0xFF;
    os.fixedReads[0x3BD] = 0x00;
    EXPECT_FALSE(conn->PortPresent(PortCode3BC));

    // A control register that reads anything but 0x00/0xFF is enough; status is not read.
    os.fixedReads[0x3BE] = 0xC4;
    os.accesses.clear();
    EXPECT_TRUE(conn->PortPresent(PortCode3BC));
    EXPECT_EQ(os.accesses.back(), R(0x3BE, 0xC4));
}

TEST(PortConnectionConstruction, ProbesTheThreePortsInOrderWithTheirPatterns) {
    FakePortSystem os;
    os.fixedReads[0x3BC] = 0xFF;  // absent: stuck data, stuck control and status
    os.fixedReads[0x3BE] = 0xFF;
    os.fixedReads[0x3BD] = 0xFF;
    TLptPortConnection conn(os);
    EXPECT_FALSE(conn.Present3BC());
    EXPECT_TRUE(conn.Present378());
    EXPECT_TRUE(conn.Present278());
    std::vector<std::uint16_t> dataWrites;
    for (const auto& a : os.accesses) {
        if (a.write) {
            dataWrites.push_back(a.address);
        }
    }
    const std::vector<std::uint16_t> expected{0x3BC, 0x3BC, 0x3BC, 0x3BC, 0x378, 0x378,
                                              0x378, 0x378, 0x278, 0x278, 0x278, 0x278};
    EXPECT_EQ(dataWrites, expected);
}
