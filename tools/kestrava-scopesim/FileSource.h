// Acquisitions replayed from a waveform file: every record the simulator takes on that
// source is the file's record.
#pragma once

#include <optional>
#include <string>

#include "tools/kestrava-scopesim/Waveform.h"

namespace kestrava::scopesim {

// The file's record, read by the reader the format registry picks; nothing when it is
// not a readable waveform file.
std::optional<Waveform> ReadWaveformFile(const std::string& path);

}  // namespace kestrava::scopesim
