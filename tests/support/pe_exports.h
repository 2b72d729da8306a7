// The export table of a Windows module, read from the file with no help from
// the platform: what an outside host's loader would find in it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvtest {

struct PeExports {
    bool valid = false;
    uint16_t machine = 0;        // 0x14C for 32-bit x86
    bool pe32 = false;           // optional header of a 32-bit image
    bool dll = false;            // IMAGE_FILE_DLL
    std::string moduleName;      // the name the export directory gives
    uint32_t functionCount = 0;  // entries of the address table
    std::vector<std::string> names;
    std::vector<std::string> imports;  // modules named by the import directory
};

PeExports ReadPeExports(const std::string& path);

}  // namespace qvtest
