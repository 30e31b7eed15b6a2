// A trigger link that keeps the calls of a sequence instead of making them, so the window's
// thread can compose a sequence and the worker send it later, in the same order. Every
// call answers as a link with a session would; the sequences look at no answer that the
// instrument would change (see SerialTrigger.h).
#pragma once

#include <string>
#include <vector>

#include "instrument/SerialTrigger.h"

namespace kestrava {

class DeferredTriggerLink final : public ITriggerLink {
  public:
    struct Call {
        enum Kind { kOpen, kClose, kWrite, kRead } kind;
        std::string text;  // the command written
        bool close = false;
    };

    int OpenConnection() override;
    int CloseConnection(bool close) override;
    int Write(const std::string& command) override;
    int Read(std::string& reply) override;

    // The calls kept so far; the link is empty afterwards.
    std::vector<Call> Take();
    // Makes the calls on link, in order.
    static void Replay(const std::vector<Call>& calls, ITriggerLink& link);

  private:
    std::vector<Call> calls_;
};

}  // namespace kestrava
