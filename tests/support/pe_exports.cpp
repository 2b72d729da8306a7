#include "support/pe_exports.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace qvtest {

namespace {

struct Image {
    std::vector<uint8_t> bytes;
    struct Section {
        uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
    };
    std::vector<Section> sections;

    bool Has(uint64_t offset, uint64_t size) const { return offset + size <= bytes.size(); }
    uint32_t U32(uint64_t at) const
    {
        uint32_t v = 0;
        if (Has(at, 4)) std::memcpy(&v, &bytes[at], 4);
        return v;
    }
    uint16_t U16(uint64_t at) const
    {
        uint16_t v = 0;
        if (Has(at, 2)) std::memcpy(&v, &bytes[at], 2);
        return v;
    }
    // File offset of a relative virtual address; 0 when no section holds it.
    uint64_t Offset(uint32_t rva) const
    {
        for (const Section& s : sections)
            if (rva >= s.virtualAddress && rva - s.virtualAddress < s.rawSize)
                return uint64_t(s.rawOffset) + (rva - s.virtualAddress);
        return 0;
    }
    std::string Text(uint32_t rva) const
    {
        std::string text;
        for (uint64_t at = Offset(rva); at != 0 && at < bytes.size() && bytes[at] != 0; ++at)
            text.push_back(char(bytes[at]));
        return text;
    }
};

}  // namespace

PeExports ReadPeExports(const std::string& path)
{
    PeExports result;
    Image image;
    std::ifstream in(path, std::ios::binary);
    image.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (image.bytes.size() < 64 || image.U16(0) != 0x5A4D) return result;  // "MZ"
    const uint32_t pe = image.U32(0x3C);
    if (!image.Has(pe, 24) || image.U32(pe) != 0x00004550) return result;  // "PE\0\0"
    result.machine = image.U16(pe + 4);
    const uint16_t sectionCount = image.U16(pe + 6);
    const uint16_t optionalSize = image.U16(pe + 20);
    result.dll = (image.U16(pe + 22) & 0x2000) != 0;
    const uint64_t optional = pe + 24;
    result.pe32 = image.U16(optional) == 0x10B;
    if (!result.pe32) return result;
    const uint64_t directories = optional + 96;  // PE32: export directory entry
    const uint64_t sectionTable = optional + optionalSize;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint64_t at = sectionTable + uint64_t(i) * 40;
        if (!image.Has(at, 40)) return result;
        image.sections.push_back({image.U32(at + 12), image.U32(at + 8), image.U32(at + 20), image.U32(at + 16)});
    }

    const uint64_t exports = image.Offset(image.U32(directories));
    if (exports == 0 || !image.Has(exports, 40)) return result;
    result.moduleName = image.Text(image.U32(exports + 12));
    result.functionCount = image.U32(exports + 20);
    const uint32_t nameCount = image.U32(exports + 24);
    const uint64_t nameTable = image.Offset(image.U32(exports + 32));
    for (uint32_t i = 0; i < nameCount && nameTable != 0; ++i)
        result.names.push_back(image.Text(image.U32(nameTable + uint64_t(i) * 4)));

    // Import descriptors, 20 bytes each, ended by a zeroed one.
    for (uint64_t at = image.Offset(image.U32(directories + 8)); at != 0 && image.Has(at, 20); at += 20) {
        const uint32_t nameRva = image.U32(at + 12);
        if (nameRva == 0) break;
        result.imports.push_back(image.Text(nameRva));
    }
    result.valid = true;
    return result;
}

}  // namespace qvtest
