// The Python module kestrava: decodes of a waveform file or of a numpy array on the core the
// command line uses, with every list as Python objects, numpy structured arrays and pandas
// frames, the report and the status summary.
#include <dlfcn.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/HexText.h"
#include "python/DecodeArguments.h"
#include "session/MemoryRecord.h"
#include "session/ScriptedDecode.h"

namespace py = pybind11;
using namespace kestrava;

namespace {

const char* const kListNames[4] = {"characters", "primitives", "fis", "atapi"};

// kestrava.DecodeError, made once at import and kept for the life of the process.
PyObject* decodeError = nullptr;

[[noreturn]] void RaiseDecodeError(const std::string& message) {
    PyErr_SetString(decodeError, message.c_str());
    throw py::error_already_set();
}

// The installed data (the protocol definitions) lies beside the module: at
// <prefix>/share/KORVAN when installed, at build/share/KORVAN in the build tree. The
// core finds it through KESTRAVA_INSTALL_DIR unless the user set it.
void PointAtInstalledData() {
    const char* set = std::getenv("KESTRAVA_INSTALL_DIR");
    if (set && *set) return;
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&PointAtInstalledData), &info) || !info.dli_fname) return;
    namespace fs = std::filesystem;
    const fs::path here = fs::path(info.dli_fname).parent_path();
    for (const char* relative : {KESTRAVA_PYTHON_TO_DATA, "../share/KORVAN"}) {
        const fs::path data = (here / relative).lexically_normal();
        std::error_code ec;
        if (fs::is_directory(data / "Macros", ec)) {
            ::setenv("KESTRAVA_INSTALL_DIR", data.c_str(), 0);
            return;
        }
    }
}

struct Item {
    std::int64_t position;
    double time;
    std::string kind;
    std::string text;
    std::int64_t value;
    std::uint32_t flags;
    std::int32_t tag;
};

// One list of a decode; the decode's results are shared, not copied.
class ItemList {
  public:
    ItemList(std::shared_ptr<const DecodeOutcome> outcome, int index)
        : outcome_(std::move(outcome)), list_(&outcome_->lists[index]), name_(kListNames[index]) {}

    std::size_t Size() const { return list_->Size(); }
    Item At(std::ptrdiff_t index) const {
        const auto size = static_cast<std::ptrdiff_t>(Size());
        if (index < 0) index += size;
        if (index < 0 || index >= size) throw py::index_error(name_ + " index out of range");
        const auto i = static_cast<std::size_t>(index);
        const DecodedList& l = *list_;
        return {l.positions[i], l.times[i], LineKindName(l.kinds[i]), l.texts[i], l.values[i],
                l.flags[i],     l.tags[i]};
    }
    // The list as kestrava-decode --list prints it.
    std::string Text() const {
        std::string text;
        for (std::size_t i = 0; i < Size(); ++i) {
            AppendPositionTag(text, static_cast<std::uint32_t>(list_->tags[i]));
            text += list_->texts[i];
            text += '\n';
        }
        return text;
    }
    py::object ToNumpy() const;
    py::object ToPandas() const {
        py::module_ pandas;
        try {
            pandas = py::module_::import("pandas");
        } catch (const py::error_already_set&) {
            throw py::import_error("to_pandas needs pandas (Debian: python3-pandas)");
        }
        return pandas.attr("DataFrame")(ToNumpy());
    }
    const std::string& Name() const { return name_; }

  private:
    std::shared_ptr<const DecodeOutcome> outcome_;
    const DecodedList* list_;
    std::string name_;
};

template <class T>
py::array_t<T> Column(const std::vector<T>& values) {
    py::array_t<T> column(static_cast<py::ssize_t>(values.size()));
    std::copy(values.begin(), values.end(), column.mutable_data());
    return column;
}

py::object ItemList::ToNumpy() const {
    py::module_ np = py::module_::import("numpy");
    const DecodedList& l = *list_;
    std::size_t widest = 1;
    for (const std::string& text : l.texts) widest = std::max(widest, text.size());
    py::list fields;
    fields.append(py::make_tuple("position", "i8"));
    fields.append(py::make_tuple("time", "f8"));
    fields.append(py::make_tuple("kind", "U9"));
    fields.append(py::make_tuple("text", "U" + std::to_string(widest)));
    fields.append(py::make_tuple("value", "i8"));
    fields.append(py::make_tuple("flags", "u4"));
    fields.append(py::make_tuple("tag", "i4"));
    py::object rows = np.attr("zeros")(Size(), np.attr("dtype")(fields));
    rows["position"] = Column(l.positions);
    rows["time"] = Column(l.times);
    py::list kinds, texts;
    for (std::size_t i = 0; i < Size(); ++i) {
        kinds.append(py::str(LineKindName(l.kinds[i])));
        texts.append(py::str(l.texts[i]));
    }
    if (Size() > 0) {
        rows["kind"] = kinds;
        rows["text"] = texts;
    }
    rows["value"] = Column(l.values);
    rows["flags"] = Column(l.flags);
    rows["tag"] = Column(l.tags);
    return rows;
}

// The result of one decode.
class Decode {
  public:
    explicit Decode(DecodeOutcome outcome)
        : outcome_(std::make_shared<const DecodeOutcome>(std::move(outcome))) {}
    ItemList List(int index) const { return ItemList(outcome_, index); }
    ItemList Named(const std::string& name) const {
        for (int i = 0; i < 4; ++i)
            if (name == kListNames[i]) return List(i);
        throw py::key_error("no list '" + name + "' (characters, primitives, fis, atapi)");
    }
    const DecodeOutcome& Outcome() const { return *outcome_; }

  private:
    std::shared_ptr<const DecodeOutcome> outcome_;
};

Decode Finish(DecodeOutcome outcome) {
    if (!outcome.error.empty()) RaiseDecodeError(outcome.error);
    return Decode(std::move(outcome));
}

DecodeChoices ChoicesOf(const std::optional<std::string>& path, const std::string& standard,
                        const py::kwargs& options) {
    ParsedDecodeArguments parsed = ParseDecodeArguments(path, standard, options);
    if (!parsed.error.empty()) RaiseDecodeError(parsed.error);
    return parsed.choices;
}

Decode DecodeFile(const std::string& path, const std::string& standard, const py::kwargs& options) {
    const DecodeChoices choices = ChoicesOf(path, standard, options);
    DecodeOutcome outcome;
    {
        py::gil_scoped_release unlocked;
        outcome = ScriptedDecode::File(path, choices);
    }
    return Finish(std::move(outcome));
}

// The sample format of a numpy dtype, the array made contiguous in native byte order.
SampleFormat FormatOf(py::array& samples) {
    py::module_ np = py::module_::import("numpy");
    py::dtype type = samples.dtype();
    const char kind = type.kind();
    const auto size = type.itemsize();
    std::optional<SampleFormat> format;
    if (kind == 'i' && size == 1) format = SampleFormat::Int8;
    if (kind == 'i' && size == 2) format = SampleFormat::Int16;
    if (kind == 'i' && size == 4) format = SampleFormat::Int32;
    if (kind == 'f' && size == 4) format = SampleFormat::Float;
    if (kind == 'f' && size == 8) format = SampleFormat::Double;
    if (!format)
        throw py::type_error(
            "decode_samples takes float32, float64, int8, int16 or int32 samples, not " +
            py::str(type).cast<std::string>());
    if (samples.ndim() != 1) throw py::value_error("decode_samples takes a one-dimensional array");
    py::object native = type.attr("newbyteorder")("=");
    samples = np.attr("ascontiguousarray")(samples, native);
    return *format;
}

Decode DecodeSamples(py::array samples, double sampleInterval, double scale, double offset,
                     double firstPointTime, double triggerOffset, const std::string& title,
                     const std::string& standard, const py::kwargs& options) {
    const DecodeChoices choices = ChoicesOf(std::nullopt, standard, options);
    RecordDescription description;
    description.format = FormatOf(samples);
    description.scale = scale;
    description.offset = offset;
    description.sampleIntervalS = sampleInterval;
    description.firstPointTimeS = firstPointTime;
    description.triggerOffsetS = triggerOffset;
    const MemoryRecord record({static_cast<const unsigned char*>(samples.data()),
                               static_cast<std::size_t>(samples.nbytes())},
                              description);
    DecodeOutcome outcome;
    {
        py::gil_scoped_release unlocked;
        outcome = ScriptedDecode::Samples(record, title, choices);
    }
    return Finish(std::move(outcome));
}

// Keeps a file's raw samples as they arrive; no volts are worked out.
class RawSamples final : public RecordSink {
  public:
    bool Begin(const RecordDescription& record) override {
        if (record.count <= 0 || record.count > std::numeric_limits<std::int32_t>::max())
            return false;
        bytes_ = std::make_unique<std::vector<unsigned char>>();
        bytes_->reserve(static_cast<std::size_t>(record.count) *
                        static_cast<std::size_t>(record.sampleSize));
        return true;
    }
    bool WantsVolts() const override { return false; }
    void Take(std::span<const double>, std::span<const unsigned char> raw) override {
        bytes_->insert(bytes_->end(), raw.begin(), raw.end());
    }
    std::unique_ptr<std::vector<unsigned char>> bytes_;
};

const char* NumpyType(SampleFormat format) {
    switch (format) {
        case SampleFormat::Int8:
            return "i1";
        case SampleFormat::Int16:
            return "i2";
        case SampleFormat::Int32:
            return "i4";
        case SampleFormat::UInt32:
            return "u4";
        case SampleFormat::Float:
            return "f4";
        case SampleFormat::Double:
            return "f8";
    }
    return "i1";
}

py::dict ReadWaveform(const std::string& path) {
    RecordDescription description;
    RawSamples sink;
    std::string error;
    {
        py::gil_scoped_release unlocked;
        error = ScriptedDecode::Read(path, description, sink);
    }
    if (!error.empty()) RaiseDecodeError(error);
    py::module_ np = py::module_::import("numpy");
    std::vector<unsigned char>* bytes = sink.bytes_.release();
    py::capsule owner(bytes, [](void* p) { delete static_cast<std::vector<unsigned char>*>(p); });
    const std::string order = description.rawReversed ? ">" : "<";
    py::dtype type(order + NumpyType(description.format));
    py::array raw(type, {static_cast<py::ssize_t>(description.count)}, {}, bytes->data(), owner);
    py::dict waveform;
    waveform["samples"] = np.attr("ascontiguousarray")(raw, type.attr("newbyteorder")("="));
    waveform["sample_interval"] = description.sampleIntervalS;
    waveform["scale"] = description.scale;
    waveform["offset"] = description.offset;
    waveform["first_point_time"] = description.firstPointTimeS;
    waveform["trigger_offset"] = description.triggerOffsetS;
    return waveform;
}

}  // namespace

PYBIND11_MODULE(kestrava, m) {
    m.doc() = "Serial ATA decodes of waveform files and sample arrays";
    PointAtInstalledData();
    py::object valueError = py::module_::import("builtins").attr("ValueError");
    decodeError = PyErr_NewExceptionWithDoc(
        "kestrava.DecodeError",
        "A bad option or a waveform that does not decode; the message is kestrava-decode's.",
        valueError.ptr(), nullptr);
    if (!decodeError) throw py::error_already_set();
    m.attr("DecodeError") = py::reinterpret_borrow<py::object>(decodeError);
    m.attr("FLAG_RD_ERROR") = kFlagRdError;
    m.attr("FLAG_MW_RD_ERROR") = kFlagWrongRdRow;

    py::class_<Item>(m, "Item", "One line of a list.")
        .def_readonly("position", &Item::position, "sample of the line's first character")
        .def_readonly("time", &Item::time, "seconds on the record's time base")
        .def_readonly("kind", &Item::kind)
        .def_readonly("text", &Item::text)
        .def_readonly("value", &Item::value, "character value, primitive number, dword or opcode")
        .def_readonly("flags", &Item::flags, "FLAG_RD_ERROR, FLAG_MW_RD_ERROR")
        .def_readonly("tag", &Item::tag, "the position tag kestrava-decode prints")
        .def("__repr__", [](const Item& i) {
            return "Item(position=" + std::to_string(i.position) + ", kind='" + i.kind +
                   "', text=" + py::repr(py::str(i.text)).cast<std::string>() +
                   ", value=" + std::to_string(i.value) + ", flags=" + std::to_string(i.flags) +
                   ")";
        });

    py::class_<ItemList>(m, "ItemList", "A decoded list: a sequence of Item.")
        .def("__len__", &ItemList::Size)
        .def("__getitem__", &ItemList::At)
        .def("__iter__",
             [](const ItemList& l) {
                 py::list items;
                 for (std::size_t i = 0; i < l.Size(); ++i)
                     items.append(l.At(static_cast<std::ptrdiff_t>(i)));
                 return py::iter(items);
             })
        .def_property_readonly("name", &ItemList::Name)
        .def("text", &ItemList::Text, "the list as kestrava-decode --list prints it")
        .def("to_numpy", &ItemList::ToNumpy, "a numpy structured array, one row per line")
        .def("to_pandas", &ItemList::ToPandas, "a pandas DataFrame, one row per line");

    py::class_<Decode>(m, "Decode", "The result of one decode.")
        .def_property_readonly("characters", [](const Decode& d) { return d.List(0); })
        .def_property_readonly("primitives", [](const Decode& d) { return d.List(1); })
        .def_property_readonly("fis", [](const Decode& d) { return d.List(2); })
        .def_property_readonly("atapi", [](const Decode& d) { return d.List(3); })
        .def("list", &Decode::Named, py::arg("name"))
        .def(
            "to_pandas",
            [](const Decode& d, const std::string& name) { return d.Named(name).ToPandas(); },
            py::arg("list") = "characters")
        .def_property_readonly(
            "report", [](const Decode& d) { return d.Outcome().report; },
            "the report as kestrava-decode --report writes it")
        .def_property_readonly("status", [](const Decode& d) { return d.Outcome().status; })
        .def_property_readonly("title", [](const Decode& d) { return d.Outcome().title; })
        .def_property_readonly("sample_count",
                               [](const Decode& d) { return d.Outcome().sampleCount; })
        .def_property_readonly("samples_per_bit",
                               [](const Decode& d) { return d.Outcome().samplesPerBit; })
        .def_property_readonly("sample_interval",
                               [](const Decode& d) { return d.Outcome().sampleIntervalS; });

    m.def("decode", &DecodeFile, py::arg("path"), py::arg("standard") = "Sata",
          "Decodes a waveform file. Options by kestrava-decode's names: sync_pattern, "
          "ref_level, hysteresis, abs_ref_level, abs_hysteresis, invert, lock_sampler, setup.");
    m.def("decode_samples", &DecodeSamples, py::arg("samples"), py::arg("sample_interval"),
          py::kw_only(), py::arg("scale") = 1.0, py::arg("offset") = 0.0,
          py::arg("first_point_time") = 0.0, py::arg("trigger_offset") = 0.0,
          py::arg("title") = "samples", py::arg("standard") = "Sata",
          "Decodes a numpy array of samples (volts = sample * scale + offset) taken "
          "sample_interval seconds apart; no file is written. Options as decode().");
    m.def("read_waveform", &ReadWaveform, py::arg("path"),
          "A waveform file's raw samples and scaling, as decode_samples takes them.");
}
