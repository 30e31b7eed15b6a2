#include "synth/FisBuilder.h"

#include <gtest/gtest.h>

#include <vector>

namespace kestrava::synth {
namespace {

using D = std::vector<std::uint32_t>;

TEST(FisBuilderTest, RegisterHostToDevicePlacesEveryTaskfileField) {
    HostRegister r;
    r.command = 0x25;
    r.features = 0xA1B2;
    r.lba = 0x665544332211ull;
    r.device = 0x40;
    r.count = 0x0807;
    r.icc = 0x09;
    r.control = 0x08;
    r.pmPort = 3;
    EXPECT_EQ(FisBuilder::RegisterHostToDevice(r).dwords,
              (D{0xB2258327, 0x40332211, 0xA1665544, 0x08090807, 0}));
    r.commandBit = false;
    EXPECT_EQ(FisBuilder::RegisterHostToDevice(r).dwords[0], 0xB2250327u);
    const Fis identify = FisBuilder::IdentifyDevice();
    EXPECT_EQ(identify.dwords, (D{0x00EC8027, 0xA0000000, 0, 0, 0}));
    EXPECT_EQ(identify.description, "IDENTIFY DEVICE");
    EXPECT_EQ(FisBuilder::IdentifyPacketDevice().dwords[0], 0x00A18027u);
    // PACKET by DMA, or by PIO with its byte count limit in LBA mid and high.
    EXPECT_EQ(FisBuilder::PacketCommand(true, 0).dwords, (D{0x01A08027, 0xA0000000, 0, 0, 0}));
    EXPECT_EQ(FisBuilder::PacketCommand(false, 0x1234).dwords[1], 0xA0123400u);
}

TEST(FisBuilderTest, DeviceToHostFramesCarryStatusErrorAndFlags) {
    DeviceRegister d;
    d.status = 0x51;
    d.error = 0x04;
    d.lba = 0xEB1401;
    d.count = 1;
    EXPECT_EQ(FisBuilder::RegisterDeviceToHost(d).dwords, (D{0x04514034, 0x00EB1401, 0, 1, 0}));
    d.interrupt = false;
    EXPECT_EQ(FisBuilder::RegisterDeviceToHost(d).dwords[0], 0x04510034u);

    PioSetupFields p;
    p.status = 0x58;
    p.error = 0;
    p.endStatus = 0x50;
    p.count = 1;
    p.transferCount = 512;
    p.interrupt = true;
    EXPECT_EQ(FisBuilder::PioSetup(p).dwords, (D{0x0058605F, 0, 0, 0x50000001, 512}));
    p.toHost = false;
    p.interrupt = false;
    EXPECT_EQ(FisBuilder::PioSetup(p).dwords[0], 0x0058005Fu);

    SetDeviceBitsFields s;
    s.status = 0xFF;  // BSY and DRQ have no place in this FIS
    s.error = 0x10;
    s.protocolSpecific = 0x80000001;
    s.notification = true;
    EXPECT_EQ(FisBuilder::SetDeviceBits(s).dwords, (D{0x1077C0A1, 0x80000001}));
    EXPECT_EQ(FisBuilder::DmaActivate(2).dwords, (D{0x00000239}));
    DmaSetupFields m;
    m.bufferId = 0x1122334455667788ull;
    m.bufferOffset = 0x100;
    m.transferCount = 4096;
    m.autoActivate = true;
    EXPECT_EQ(FisBuilder::DmaSetup(m).dwords,
              (D{0x0000A041, 0x55667788, 0x11223344, 0, 0x100, 4096, 0}));
    EXPECT_EQ(FisBuilder::BistActivate(0x80, 1, 2).dwords, (D{0x00800058, 1, 2}));
}

TEST(FisBuilderTest, DataFramesTakeAnyLengthLeastSignificantByteFirst) {
    EXPECT_EQ(FisBuilder::Data(std::vector<std::uint8_t>{}).dwords, (D{0x46}));
    EXPECT_EQ(FisBuilder::Data(std::vector<std::uint8_t>{1, 2, 3, 4, 5}).dwords,
              (D{0x46, 0x04030201, 0x05}));
    std::vector<std::uint8_t> big(8192, 0xAB);
    EXPECT_EQ(FisBuilder::Data(big).dwords.size(), 2049u);
    EXPECT_EQ(FisBuilder::DataDwords(D{7, 8}).dwords, (D{0x46, 7, 8}));
}

TEST(FisBuilderTest, AtapiPacketCarriesTheCdbOfRead10) {
    const auto cdb = FisBuilder::Read10Cdb(0x01020304, 0x0506);
    EXPECT_EQ(cdb, (std::array<std::uint8_t, 12>{0x28, 0, 1, 2, 3, 4, 0, 5, 6, 0, 0, 0}));
    const Fis packet = FisBuilder::AtapiPacket(cdb, "READ(10)");
    EXPECT_TRUE(packet.carriesCdb);
    EXPECT_EQ(packet.dwords, (D{0x46, 0x02010028, 0x05000403, 0x00000006}));
    EXPECT_FALSE(FisBuilder::Data(cdb).carriesCdb);
}

TEST(FisBuilderTest, TypeNames) {
    EXPECT_EQ(FisBuilder::TypeName(0x27), "Register H->D");
    EXPECT_EQ(FisBuilder::TypeName(0x34), "Register D->H");
    EXPECT_EQ(FisBuilder::TypeName(0x5F), "PIO Setup");
    EXPECT_EQ(FisBuilder::TypeName(0xA1), "Set Device Bits");
    EXPECT_EQ(FisBuilder::TypeName(0x60), "Reserved");
}

}  // namespace
}  // namespace kestrava::synth
