// Protocol definition files ("Sata.csv" and kin): loaded as the program loads a standard
// (header lines, primitives, the code table the file names), then looked up.
#include <cstdint>
#include <string>

#include "definition/CMacros.h"
#include "fuzz/FuzzSupport.h"

using namespace kestrava;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::PrepareEnvironment();
    fuzz::TrimLog();
    const std::string path = fuzz::WriteInputFile(data, size, "Standard.csv");

    CMacros macros;
    macros.LoadPrimitive(path);
    fuzz::Check(macros.primitives.size() == macros.primitiveNames.size(),
                "primitive names and definitions disagree");
    for (const PrimitiveDefinition& primitive : macros.primitives) {
        for (const WordSpec& word : primitive.words) {
            if (!word.name.empty()) macros.Get8BitValue(word.name);
            for (const std::string& name : word.nameList) macros.Get8BitValue(name);
            int plus = 0, minus = 0;
            macros.GetRDPandMfrom8BitVal(word.value, plus, minus);
        }
    }
    for (int index : macros.fourWordPrimitives)
        fuzz::Check(index >= 0 && static_cast<std::size_t>(index) < macros.primitives.size(),
                    "four-word primitive index outside the primitives");

    // The whole load, with the code table the file names.
    macros.LoadMacros(path);
    return 0;
}
