#include "python/DecodeArguments.h"

#include <set>
#include <vector>

#include "tools/kestrava-decode/DecodeOptions.h"

namespace py = pybind11;

namespace kestrava {
namespace {

// The command line's options that make no decode of their own: outputs, the instrument
// and the program's own questions.
const std::set<std::string> kNotDecodeOptions = {"list", "report", "o",     "output", "merge",
                                                 "plot", "at",     "width", "status", "scope",
                                                 "mode", "help",   "h",     "version"};
const std::set<std::string> kFlags = {"invert", "lock_sampler"};
const std::set<std::string> kValues = {"setup",         "sync_pattern",   "ref_level", "hysteresis",
                                       "abs_ref_level", "abs_hysteresis", "threads"};

std::string OptionName(const std::string& keyword) {
    std::string name = "--" + keyword;
    for (char& c : name)
        if (c == '_') c = '-';
    return name;
}

// A sync pattern is the command line's comma-separated names or a sequence of names.
std::string ValueText(const std::string& keyword, const py::handle& value) {
    if (py::isinstance<py::bool_>(value))
        throw py::type_error(keyword + " takes a value, not True or False");
    if (py::isinstance<py::str>(value)) return value.cast<std::string>();
    if (keyword == "sync_pattern" && py::isinstance<py::sequence>(value)) {
        std::string names;
        for (const py::handle& name : value.cast<py::sequence>()) {
            if (!py::isinstance<py::str>(name))
                throw py::type_error("sync_pattern takes names (str)");
            names += (names.empty() ? "" : ",") + name.cast<std::string>();
        }
        return names;
    }
    if (py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value))
        return py::str(value).cast<std::string>();
    throw py::type_error(keyword + " takes a number or a text, not " +
                         py::str(value.get_type().attr("__name__")).cast<std::string>());
}

}  // namespace

ParsedDecodeArguments ParseDecodeArguments(const std::optional<std::string>& path,
                                           const std::string& standard, const py::kwargs& options) {
    std::vector<std::string> args = {"--standard", standard};
    for (const auto& [key, value] : options) {
        const std::string keyword = key.cast<std::string>();
        if (kNotDecodeOptions.count(keyword))
            throw py::type_error("'" + keyword +
                                 "' is no decode option: the result holds every list, the report "
                                 "and the status");
        if (kFlags.count(keyword)) {
            if (!py::isinstance<py::bool_>(value))
                throw py::type_error(keyword + " takes True or False");
            if (value.cast<bool>()) args.push_back(OptionName(keyword));
            continue;
        }
        args.push_back(OptionName(keyword));
        // The parser names an unknown option whatever its value.
        if (kValues.count(keyword)) args.push_back(ValueText(keyword, value));
    }
    // An array decode has no file; the parser wants one, which is not opened.
    args.push_back(path ? *path : "samples");
    ParsedCommandLine parsed = ParseDecodeCommandLine(args);
    ParsedDecodeArguments result;
    if (!parsed.error.empty()) {
        result.error = "kestrava-decode: " + parsed.error;
        return result;
    }
    result.choices = ChoicesOf(parsed.options);
    return result;
}

}  // namespace kestrava
