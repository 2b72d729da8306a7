// The export table of a Windows module, read from the file with no help from
// the platform: what an outside host's loader would find in it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::test {

// A module bound on first use: the names that the loader's helper looks up,
// and the address table's slots as the file stores them. Before the first
// call each slot holds the address of a stub that loads the module.
struct PeDelayImport {
    std::string module;
    std::vector<std::string> names;   // by-name entries, in table order
    std::vector<uint32_t> slots;      // virtual addresses at the preferred base
    std::vector<bool> slotInCode;     // whether each slot lies in an executable section
};

struct PeExports {
    bool valid = false;
    uint16_t machine = 0;        // 0x14C for 32-bit x86
    bool pe32 = false;           // optional header of a 32-bit image
    bool dll = false;            // IMAGE_FILE_DLL
    std::string moduleName;      // the name the export directory gives
    uint32_t functionCount = 0;  // entries of the address table
    std::vector<std::string> names;
    std::vector<std::string> imports;  // modules named by the import directory
    std::vector<PeDelayImport> delayImports;
};

PeExports ReadPeExports(const std::string& path);

}  // namespace qv::test
