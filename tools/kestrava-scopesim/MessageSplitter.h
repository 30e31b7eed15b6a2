// Cuts the bytes a client sends into program messages at their line feeds, whatever the
// connection (raw socket, VXI-11 writes, HiSLIP data). A message that grows past the bound
// is discarded whole, reported once.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace kestrava::scopesim {

class MessageSplitter {
  public:
    // deliver runs a whole message and says whether to go on; overlong reports a discard.
    MessageSplitter(size_t maxBytes, std::function<bool(const std::string&)> deliver,
                    std::function<void()> overlong)
        : maxBytes_(maxBytes), deliver_(std::move(deliver)), overlong_(std::move(overlong)) {}

    // False when deliver asked to stop; the bytes after that message are dropped.
    bool Feed(const char* data, size_t size);
    void Clear();

  private:
    const size_t maxBytes_;
    std::function<bool(const std::string&)> deliver_;
    std::function<void()> overlong_;
    std::string pending_;
    bool discarding_ = false;  // inside a message that grew past the bound
};

}  // namespace kestrava::scopesim
