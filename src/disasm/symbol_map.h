// The symbol map that vorn-list --map writes, read back so that a listing gives the script's
// names back: its variables and constants, and the arguments that were written as names.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace vorn::dis {

struct Disassembly;

// A defvar or a defnum of the map, in the order the script defined it.
struct MappedValue {
    bool variable;
    std::string name;
    uint32_t value;
};

// An argument that the script wrote as a name.
struct MappedUse {
    bool variable;
    std::string name;
    // The row of the map it comes from, for messages.
    int row;
};

struct SymbolMap {
    std::string path;
    std::vector<MappedValue> values;
    // By the code offset of the argument's tag.
    std::unordered_map<uint32_t, MappedUse> uses;
};

// Reads the map at path into the state. A map that cannot be read, or one that is not a map,
// ends the run.
void read_symbol_map(Disassembly& dis, const char* path);

// Checks the map against the file, once its code and entries are decoded: every label of the
// map is where the file's entry tables say, every label of the file is in the map, every
// variable the code uses is defined in the map and every name the map places on an argument
// stands for what the argument holds. Ends the run at the first that is not so.
void check_symbol_map(Disassembly& dis);

// The name an argument is listed by: the map's, when the argument was written as a name and
// the listing's definitions at the top give it the same meaning; nullptr otherwise.
const char* mapped_name(Disassembly& dis, uint32_t offset);

}  // namespace vorn::dis
