// What the FIS list shows of a frame: the name of each FIS type and, for the register
// and PIO layouts, which bits of which data word each field line reads.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace kestrava {

struct FisType {
    std::uint8_t type;
    const char* name;
};

inline constexpr std::array<FisType, 8> kFisTypes = {{
    {0x27, "Register H->D"},
    {0x34, "Register D->H"},
    {0x39, "DMA Activate"},
    {0x41, "DMA Setup"},
    {0x46, "Data"},
    {0x58, "BIST Activate"},
    {0x5F, "PIO Setup"},
    {0xA1, "Set Dev Bits"},
}};

inline constexpr std::uint8_t kFisRegisterHostToDevice = 0x27;
inline constexpr std::uint8_t kFisRegisterDeviceToHost = 0x34;
inline constexpr std::uint8_t kFisData = 0x46;
inline constexpr std::uint8_t kFisPioSetup = 0x5F;

// The name of a FIS type, "Reserved" for any type not in the table.
constexpr const char* FisTypeName(std::uint8_t type) {
    for (const FisType& entry : kFisTypes)
        if (entry.type == type) return entry.name;
    return "Reserved";
}

// One field line: label, then the field in hexadecimal with the given digit count.
struct FisField {
    const char* label;
    int dataWord;
    int shift;
    std::uint32_t mask;
    int digits;
};

inline constexpr std::array<FisField, 11> kRegisterHostToDeviceFields = {{
    {"  Command=0x", 0, 16, 0xFF, 2},
    {"  Cmd bit=", 0, 15, 0x1, 1},
    {"  Dev / Head=0x", 1, 24, 0xFF, 2},
    {"  Cyl High=0x", 1, 16, 0xFF, 2},
    {"  Cyl Low=0x", 1, 8, 0xFF, 2},
    {"  Sec Num=0x", 1, 0, 0xFF, 2},
    {"  Features=0x", 2, 24, 0xFF, 2},
    {"  Control=0x", 3, 24, 0xFF, 2},
    {"  Sec Count (exp)=0x", 3, 8, 0xFF, 2},
    {"  Sec Count=0x", 3, 0, 0xFF, 2},
    {"  CRC=0x", 5, 0, 0xFFFFFFFF, 8},
}};

inline constexpr std::array<FisField, 10> kRegisterDeviceToHostFields = {{
    {"  Error=0x", 0, 24, 0xFF, 2},
    {"  Status=0x", 0, 16, 0xFF, 2},
    {"  Int bit=", 0, 14, 0x1, 1},
    {"  Dev / Head=0x", 1, 24, 0xFF, 2},
    {"  Cyl High=0x", 1, 16, 0xFF, 2},
    {"  Cyl Low=0x", 1, 8, 0xFF, 2},
    {"  Sec Num=0x", 1, 0, 0xFF, 2},
    {"  Sec Count (exp)=0x", 3, 8, 0xFF, 2},
    {"  Sec Count=0x", 3, 0, 0xFF, 2},
    {"  CRC=0x", 5, 0, 0xFFFFFFFF, 8},
}};

inline constexpr std::array<FisField, 12> kPioSetupFields = {{
    {"  Error=0x", 0, 24, 0xFF, 2},
    {"  Status=0x", 0, 16, 0xFF, 2},
    {"  Int bit=", 0, 14, 0x1, 1},
    {"  D bit=", 0, 13, 0x1, 1},
    {"  Dev / Head=0x", 1, 24, 0xFF, 2},
    {"  Cyl High=0x", 1, 16, 0xFF, 2},
    {"  Cyl Low=0x", 1, 8, 0xFF, 2},
    {"  Sec Num=0x", 1, 0, 0xFF, 2},
    {"  E_Status=0x", 3, 24, 0xFF, 2},
    {"  Sec Count (exp)=0x", 3, 8, 0xFF, 2},
    {"  Sec Count=0x", 3, 0, 0xFF, 2},
    {"  CRC=0x", 5, 0, 0xFFFFFFFF, 8},
}};

// The fixed field layout of a FIS type; empty for types shown by their header alone
// (the Data FIS has a layout of its own).
constexpr std::span<const FisField> FisFields(std::uint8_t type) {
    switch (type) {
        case kFisRegisterHostToDevice:
            return kRegisterHostToDeviceFields;
        case kFisRegisterDeviceToHost:
            return kRegisterDeviceToHostFields;
        case kFisPioSetup:
            return kPioSetupFields;
        default:
            return {};
    }
}

}  // namespace kestrava
