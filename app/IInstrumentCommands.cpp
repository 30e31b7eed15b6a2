#include "app/IInstrumentCommands.h"

namespace kestrava {

IInstrumentCommands& NullInstrument() {
    static IInstrumentCommands none;
    return none;
}

}  // namespace kestrava
