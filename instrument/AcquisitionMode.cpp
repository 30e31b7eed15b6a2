#include "instrument/AcquisitionMode.h"

namespace kestrava {
namespace {

int acquisitionMode = kAcquireSingleSequence;

}  // namespace

int AcquisitionMode() {
    return acquisitionMode;
}

void SetAcquisitionMode(int mode) {
    acquisitionMode = mode;
}

}  // namespace kestrava
