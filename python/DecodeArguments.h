// A Python decode's keyword options turned into the command line's arguments and parsed by
// the command line's own parser, so the names, the checks and the messages are its.
#pragma once

#include <pybind11/pybind11.h>

#include <optional>
#include <string>

#include "session/ScriptedDecode.h"

namespace kestrava {

struct ParsedDecodeArguments {
    DecodeChoices choices;
    std::string error;  // the command line's message, "kestrava-decode: ..."; empty when fine
};

// The options of a decode from path (a file) or of an array (no path). Raises TypeError
// for a value of the wrong Python type and for a command-line option that is no decode
// option (--report, --plot, ...): the result object holds those outputs.
ParsedDecodeArguments ParseDecodeArguments(const std::optional<std::string>& path,
                                           const std::string& standard,
                                           const pybind11::kwargs& options);

}  // namespace kestrava
