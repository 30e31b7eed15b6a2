// The workers a long pass over the samples runs on: how many, how the samples are cut
// into blocks, and a call that hands blocks to them. Process-wide, as the command line,
// the window and the Python module each set them once.
#pragma once

#include <cstddef>
#include <functional>

namespace kestrava {

class Workers {
  public:
    // Workers a pass may use; at least 1. The default is the cores this process may run on.
    static int Count();
    // n < 1 returns to the default.
    static void SetCount(int n);
    // The cores this process may run on.
    static int Available();

    // Samples in one block of a pass. Results never depend on it; tests move it to put
    // block edges where they want them. 0 returns to the default.
    static std::size_t BlockSamples();
    static void SetBlockSamples(std::size_t samples);

    // Runs task(k) for every k below tasks on up to Count() threads, the caller one of
    // them; returns when all are done. The first exception a task throws is thrown here
    // once the others have finished.
    static void ForEach(std::size_t tasks, const std::function<void(std::size_t)>& task);
};

}  // namespace kestrava
