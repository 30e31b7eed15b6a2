#include "synth/FisBuilder.h"

#include <utility>

namespace kestrava::synth {
namespace {

std::uint32_t Pack(std::uint32_t b0, std::uint32_t b1, std::uint32_t b2, std::uint32_t b3) {
    return (b0 & 0xFF) | (b1 & 0xFF) << 8 | (b2 & 0xFF) << 16 | (b3 & 0xFF) << 24;
}

std::uint32_t LbaDword(std::uint64_t lba, std::uint8_t device) {
    return Pack(lba & 0xFF, lba >> 8 & 0xFF, lba >> 16 & 0xFF, device);
}

std::uint32_t LbaExpDword(std::uint64_t lba, std::uint8_t last) {
    return Pack(lba >> 24 & 0xFF, lba >> 32 & 0xFF, lba >> 40 & 0xFF, last);
}

Fis Make(std::vector<std::uint32_t> dwords, std::string description) {
    Fis fis;
    fis.dwords = std::move(dwords);
    fis.description = std::move(description);
    return fis;
}

}  // namespace

Fis FisBuilder::RegisterHostToDevice(const HostRegister& r, std::string description) {
    const std::uint32_t flags = (r.pmPort & 0x0F) | (r.commandBit ? 0x80 : 0);
    return Make({Pack(kRegisterHostToDevice, flags, r.command, r.features & 0xFF),
                 LbaDword(r.lba, r.device), LbaExpDword(r.lba, r.features >> 8),
                 Pack(r.count & 0xFF, r.count >> 8, r.icc, r.control), 0},
                std::move(description));
}

Fis FisBuilder::RegisterDeviceToHost(const DeviceRegister& r, std::string description) {
    const std::uint32_t flags = (r.pmPort & 0x0F) | (r.interrupt ? 0x40 : 0);
    return Make({Pack(kRegisterDeviceToHost, flags, r.status, r.error), LbaDword(r.lba, r.device),
                 LbaExpDword(r.lba, 0), Pack(r.count & 0xFF, r.count >> 8, 0, 0), 0},
                std::move(description));
}

Fis FisBuilder::PioSetup(const PioSetupFields& p, std::string description) {
    const std::uint32_t flags =
        (p.pmPort & 0x0F) | (p.toHost ? 0x20 : 0) | (p.interrupt ? 0x40 : 0);
    return Make({Pack(kPioSetup, flags, p.status, p.error), LbaDword(p.lba, p.device),
                 LbaExpDword(p.lba, 0), Pack(p.count & 0xFF, p.count >> 8, 0, p.endStatus),
                 p.transferCount},
                std::move(description));
}

Fis FisBuilder::Data(std::span<const std::uint8_t> payload, std::string description) {
    std::vector<std::uint32_t> dwords(1 + (payload.size() + 3) / 4, 0);
    dwords[0] = kData;
    for (std::size_t i = 0; i < payload.size(); ++i)
        dwords[1 + i / 4] |= static_cast<std::uint32_t>(payload[i]) << (8 * (i % 4));
    return Make(std::move(dwords), std::move(description));
}

Fis FisBuilder::DataDwords(std::span<const std::uint32_t> payload, std::string description) {
    std::vector<std::uint32_t> dwords;
    dwords.reserve(payload.size() + 1);
    dwords.push_back(kData);
    dwords.insert(dwords.end(), payload.begin(), payload.end());
    return Make(std::move(dwords), std::move(description));
}

Fis FisBuilder::DmaActivate(std::uint8_t pmPort) {
    return Make({Pack(kDmaActivate, pmPort & 0x0F, 0, 0)}, "DMA Activate");
}

Fis FisBuilder::DmaSetup(const DmaSetupFields& d) {
    const std::uint32_t flags = (d.pmPort & 0x0F) | (d.toHost ? 0x20 : 0) |
                                (d.interrupt ? 0x40 : 0) | (d.autoActivate ? 0x80 : 0);
    return Make(
        {Pack(kDmaSetup, flags, 0, 0), static_cast<std::uint32_t>(d.bufferId),
         static_cast<std::uint32_t>(d.bufferId >> 32), 0, d.bufferOffset, d.transferCount, 0},
        "DMA Setup");
}

Fis FisBuilder::SetDeviceBits(const SetDeviceBitsFields& s) {
    const std::uint32_t flags =
        (s.pmPort & 0x0F) | (s.interrupt ? 0x40 : 0) | (s.notification ? 0x80 : 0);
    return Make({Pack(kSetDeviceBits, flags, s.status & 0x77, s.error), s.protocolSpecific},
                "Set Device Bits");
}

Fis FisBuilder::BistActivate(std::uint8_t pattern, std::uint32_t data1, std::uint32_t data2) {
    return Make({Pack(kBistActivate, 0, pattern, 0), data1, data2}, "BIST Activate");
}

Fis FisBuilder::IdentifyDevice() {
    HostRegister r;
    r.command = kIdentifyDevice;
    r.device = 0xA0;
    return RegisterHostToDevice(r, "IDENTIFY DEVICE");
}

Fis FisBuilder::IdentifyPacketDevice() {
    HostRegister r;
    r.command = kIdentifyPacketDevice;
    r.device = 0xA0;
    return RegisterHostToDevice(r, "IDENTIFY PACKET DEVICE");
}

Fis FisBuilder::PacketCommand(bool dma, std::uint16_t byteCountLimit) {
    HostRegister r;
    r.command = kPacket;
    r.features = dma ? 0x01 : 0x00;
    r.lba = static_cast<std::uint64_t>(byteCountLimit) << 8;
    r.device = 0xA0;
    return RegisterHostToDevice(r, "PACKET");
}

Fis FisBuilder::AtapiPacket(const std::array<std::uint8_t, 12>& cdb, std::string description) {
    Fis fis = Data(cdb, std::move(description));
    fis.carriesCdb = true;
    return fis;
}

std::array<std::uint8_t, 12> FisBuilder::Read10Cdb(std::uint32_t lba, std::uint16_t blocks) {
    return {kRead10,
            0,
            static_cast<std::uint8_t>(lba >> 24),
            static_cast<std::uint8_t>(lba >> 16),
            static_cast<std::uint8_t>(lba >> 8),
            static_cast<std::uint8_t>(lba),
            0,
            static_cast<std::uint8_t>(blocks >> 8),
            static_cast<std::uint8_t>(blocks),
            0,
            0,
            0};
}

std::string_view FisBuilder::TypeName(std::uint8_t type) {
    switch (type) {
        case kRegisterHostToDevice:
            return "Register H->D";
        case kRegisterDeviceToHost:
            return "Register D->H";
        case kDmaActivate:
            return "DMA Activate";
        case kDmaSetup:
            return "DMA Setup";
        case kData:
            return "Data";
        case kBistActivate:
            return "BIST Activate";
        case kPioSetup:
            return "PIO Setup";
        case kSetDeviceBits:
            return "Set Device Bits";
        default:
            return "Reserved";
    }
}

}  // namespace kestrava::synth
