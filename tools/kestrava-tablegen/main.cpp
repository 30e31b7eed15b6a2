// kestrava-tablegen [output file]: writes the 8b/10b code table (default: standard output).
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "tools/kestrava-tablegen/CodeTableGenerator.h"

int main(int argc, char** argv) {
    if (argc > 2 ||
        (argc == 2 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help"))) {
        std::fprintf(stderr, "usage: kestrava-tablegen [output file]\n");
        return argc > 2 ? 2 : 0;
    }
    const std::string table = kestrava::tablegen::GenerateCodeTable();
    if (argc == 1) {
        std::cout << table;
        return std::cout ? 0 : 1;
    }
    std::ofstream out(argv[1], std::ios::binary);
    out << table;
    out.close();
    if (!out) {
        std::fprintf(stderr, "kestrava-tablegen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
