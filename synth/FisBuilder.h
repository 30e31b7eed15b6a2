// Builders for the frame information structures (FIS) a Serial ATA link carries. Each
// returns the FIS dwords as the transport layer hands them over: unscrambled, without
// CRC, byte 0 of the FIS in bits 7-0 of dword 0.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::synth {

struct Fis {
    std::vector<std::uint32_t> dwords;
    std::string description;  // what the frame is for, e.g. "IDENTIFY DEVICE"
    bool carriesCdb = false;  // a Data FIS holding an ATAPI command packet
};

// Register fields of the taskfile. lba is 48 bits; count 16 bits.
struct HostRegister {
    std::uint8_t command = 0;
    std::uint16_t features = 0;  // low byte in dword 0, high byte in dword 2
    std::uint64_t lba = 0;
    std::uint8_t device = 0;
    std::uint16_t count = 0;
    std::uint8_t icc = 0;
    std::uint8_t control = 0;
    bool commandBit = true;  // C: the register update is a command, not a control write
    std::uint8_t pmPort = 0;
};

struct DeviceRegister {
    std::uint8_t status = 0x50;
    std::uint8_t error = 0;
    std::uint64_t lba = 0;
    std::uint8_t device = 0;
    std::uint16_t count = 0;
    bool interrupt = true;
    std::uint8_t pmPort = 0;
};

struct PioSetupFields {
    std::uint8_t status = 0x58;
    std::uint8_t error = 0;
    std::uint8_t endStatus = 0x50;
    std::uint64_t lba = 0;
    std::uint8_t device = 0;
    std::uint16_t count = 0;
    std::uint16_t transferCount = 0;  // bytes of the data FIS that follows
    bool toHost = true;               // D: data goes from the device to the host
    bool interrupt = false;
    std::uint8_t pmPort = 0;
};

struct SetDeviceBitsFields {
    std::uint8_t status = 0x40;  // bits 6-4 and 2-0 travel; BSY and DRQ do not
    std::uint8_t error = 0;
    bool interrupt = true;
    bool notification = false;
    std::uint32_t protocolSpecific = 0;  // SActive for native command queuing
    std::uint8_t pmPort = 0;
};

struct DmaSetupFields {
    std::uint64_t bufferId = 0;
    std::uint32_t bufferOffset = 0;
    std::uint32_t transferCount = 0;
    bool toHost = true;
    bool interrupt = false;
    bool autoActivate = false;
    std::uint8_t pmPort = 0;
};

class FisBuilder {
  public:
    static constexpr std::uint8_t kRegisterHostToDevice = 0x27;
    static constexpr std::uint8_t kRegisterDeviceToHost = 0x34;
    static constexpr std::uint8_t kDmaActivate = 0x39;
    static constexpr std::uint8_t kDmaSetup = 0x41;
    static constexpr std::uint8_t kData = 0x46;
    static constexpr std::uint8_t kBistActivate = 0x58;
    static constexpr std::uint8_t kPioSetup = 0x5F;
    static constexpr std::uint8_t kSetDeviceBits = 0xA1;

    static constexpr std::uint8_t kIdentifyDevice = 0xEC;
    static constexpr std::uint8_t kIdentifyPacketDevice = 0xA1;
    static constexpr std::uint8_t kPacket = 0xA0;
    static constexpr std::uint8_t kRead10 = 0x28;

    static Fis RegisterHostToDevice(const HostRegister& r, std::string description = {});
    static Fis RegisterDeviceToHost(const DeviceRegister& r, std::string description = {});
    static Fis PioSetup(const PioSetupFields& p, std::string description = {});
    // A Data FIS with the payload bytes, zero-padded to whole dwords; any length.
    static Fis Data(std::span<const std::uint8_t> payload, std::string description = {});
    static Fis DataDwords(std::span<const std::uint32_t> payload, std::string description = {});
    static Fis DmaActivate(std::uint8_t pmPort = 0);
    static Fis DmaSetup(const DmaSetupFields& d);
    static Fis SetDeviceBits(const SetDeviceBitsFields& s);
    static Fis BistActivate(std::uint8_t pattern, std::uint32_t data1, std::uint32_t data2);

    // Common commands.
    static Fis IdentifyDevice();
    static Fis IdentifyPacketDevice();
    // The PACKET command that announces a command packet; dma selects DMA data transfer,
    // byteCountLimit goes in the LBA mid/high registers for PIO transfers.
    static Fis PacketCommand(bool dma, std::uint16_t byteCountLimit);
    // An ATAPI command packet: a Data FIS carrying the 12-byte CDB.
    static Fis AtapiPacket(const std::array<std::uint8_t, 12>& cdb, std::string description = {});
    // READ(10): opcode 0x28, big-endian LBA and transfer length in blocks.
    static std::array<std::uint8_t, 12> Read10Cdb(std::uint32_t lba, std::uint16_t blocks);

    // The usual name of a FIS type, "Reserved" for an unassigned one.
    static std::string_view TypeName(std::uint8_t type);
};

}  // namespace kestrava::synth
