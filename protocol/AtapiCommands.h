// Names of the ATAPI command packets by operation code, searched in table order.
#pragma once

#include <array>
#include <cstdint>

namespace kestrava {

struct AtapiCommandName {
    std::uint8_t opcode;
    const char* name;
};

inline constexpr std::array<AtapiCommandName, 50> kAtapiCommandNames = {{
    {0xA1, "BLANK"},
    {0x5B, "CLOSE TRACK"},
    {0x35, "FLUSH CACHE"},
    {0x04, "FORMAT UNIT"},
    {0x46, "GET CONFIG"},
    {0x4A, "G E S N"},
    {0xAC, "GET PERFORMANCE"},
    {0x12, "INQUIRY"},
    {0xA6, "LOAD UNLOAD"},
    {0xBD, "MECHANISM STATUS"},
    {0x55, "MODE SELECT 10"},
    {0x5A, "MODE SENSE 10"},
    {0x4B, "PAUSE RESUME"},
    {0x45, "PLAY AUDIO 10"},
    {0x47, "PLAY AUDIO MSF"},
    {0x48, "PLAY AUDIO"},
    {0xBC, "PLAY CD"},
    {0x1E, "MEDIUM REMOVAL"},
    {0x28, "READ 10"},
    {0xA8, "READ 12"},
    {0x25, "READ CAPACITY"},
    {0xBE, "READ CD"},
    {0xB9, "READ CD MSF"},
    {0x51, "READ DISC INFO"},
    {0xAD, "READ DVD STRUCTURE"},
    {0x23, "READ FORMAT CAPACITIES"},
    {0x44, "READ HEADER"},
    {0x52, "READ RZONE INFO"},
    {0x42, "READ SUBCHANNEL"},
    {0x43, "READ TOC PMA ATIP"},
    {0x58, "REPAIR RZONE TRACK"},
    {0xA4, "REPORT KEY"},
    {0x03, "REQUEST SENSE"},
    {0x53, "RESERVE RZONE TRACK"},
    {0xBA, "SCAN"},
    {0x2B, "SEEK"},
    {0xBF, "SEND DVD STRUCTURE"},
    {0xA2, "SEND EVENT"},
    {0xA3, "SEND KEY"},
    {0x54, "SEND OPC"},
    {0xA7, "SET READ AHEAD"},
    {0xB6, "SET STREAMING"},
    {0x1B, "START STOP UNIT"},
    {0x4E, "STOP PLAY SCAN"},
    {0x00, "TEST UNIT READY"},
    {0x2F, "VERIFY 10"},
    {0x2A, "WRITE 10"},
    {0x2E, "WRITE AND VERIFY 10"},
    {0xBB, "SET SPEED"},
    {0xDA, "GET MEDIA STAT"},
}};

// The name of an operation code, "UNKNOWN" for a code not in the table.
constexpr const char* AtapiCommandNameOf(std::uint8_t opcode) {
    for (const AtapiCommandName& entry : kAtapiCommandNames)
        if (entry.opcode == opcode) return entry.name;
    return "UNKNOWN";
}

}  // namespace kestrava
