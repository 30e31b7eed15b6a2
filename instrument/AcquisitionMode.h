// The program-wide acquisition mode: 0 takes the record already held by the instrument,
// 1 runs one single-sequence acquisition (the value in force at start), 2 runs one and
// forces the trigger. Set by the main window's buttons, read when a record is acquired.
#pragma once

namespace kestrava {

inline constexpr int kAcquireHeldRecord = 0;
inline constexpr int kAcquireSingleSequence = 1;
inline constexpr int kAcquireForcedTrigger = 2;

int AcquisitionMode();
void SetAcquisitionMode(int mode);

}  // namespace kestrava
