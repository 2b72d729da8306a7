#include "support/pe_exports.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace qv::test {

namespace {

struct Image {
    std::vector<uint8_t> bytes;
    struct Section {
        uint32_t virtualAddress, virtualSize, rawOffset, rawSize, characteristics;
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

// File offset of the delay-load descriptors and how many may follow: the
// table of directory 13, or, where the linker left that entry empty
// (binutils with a dlltool delay library), the one descriptor that the COFF
// symbol `__DELAY_IMPORT_DESCRIPTOR_...` names.
struct DelayTable {
    uint64_t offset = 0;
    uint32_t limit = 0;
};

DelayTable DelayDescriptors(const Image& image, uint32_t pe, uint64_t directories)
{
    if (image.U32(directories + 13 * 8) != 0) return {image.Offset(image.U32(directories + 13 * 8)), UINT32_MAX};
    const uint32_t symbols = image.U32(pe + 12), count = image.U32(pe + 16);
    const uint64_t strings = uint64_t(symbols) + uint64_t(count) * 18;
    const std::string prefix = "__DELAY_IMPORT_DESCRIPTOR_";
    for (uint32_t i = 0; symbols != 0 && i < count && image.Has(uint64_t(symbols) + uint64_t(i) * 18, 18); ++i) {
        const uint64_t at = uint64_t(symbols) + uint64_t(i) * 18;
        std::string name;
        if (image.U32(at) == 0) {
            for (uint64_t c = strings + image.U32(at + 4); c < image.bytes.size() && image.bytes[c] != 0; ++c)
                name.push_back(char(image.bytes[c]));
        } else {
            for (uint64_t c = at; c < at + 8 && image.bytes[c] != 0; ++c) name.push_back(char(image.bytes[c]));
        }
        const auto section = int16_t(image.U16(at + 12));
        if (name.rfind(prefix, 0) == 0 && section >= 1 && size_t(section) <= image.sections.size())
            return {image.Offset(image.sections[size_t(section) - 1].virtualAddress + image.U32(at + 8)), 1};
        i += image.bytes[at + 17];  // auxiliary records
    }
    return {};
}

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
        image.sections.push_back(
            {image.U32(at + 12), image.U32(at + 8), image.U32(at + 20), image.U32(at + 16), image.U32(at + 36)});
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

    // Delay-load descriptors (directory 13), 32 bytes each, ended by a zeroed
    // one. Attribute bit 0 marks relative addresses; without it the fields
    // are virtual addresses.
    const uint32_t imageBase = image.U32(optional + 28);
    auto isCode = [&](uint32_t rva) {
        for (const Image::Section& s : image.sections)
            if ((s.characteristics & 0x20000000u) != 0 && rva >= s.virtualAddress &&
                rva - s.virtualAddress < std::max(s.virtualSize, s.rawSize))
                return true;
        return false;
    };
    const DelayTable delay = DelayDescriptors(image, pe, directories);
    for (uint64_t at = delay.offset, d = 0; at != 0 && d < delay.limit && image.Has(at, 32); at += 32, ++d) {
        const uint32_t nameField = image.U32(at + 4);
        if (nameField == 0) break;
        const uint32_t toRva = (image.U32(at) & 1u) != 0 ? 0 : imageBase;
        PeDelayImport module;
        module.module = image.Text(nameField - toRva);
        const uint64_t slots = image.Offset(image.U32(at + 12) - toRva);
        const uint64_t names = image.Offset(image.U32(at + 16) - toRva);
        for (uint64_t n = 0; names != 0 && slots != 0 && image.Has(names + n * 4, 4); ++n) {
            const uint32_t entry = image.U32(names + n * 4);
            if (entry == 0) break;
            module.names.push_back((entry & 0x80000000u) != 0 ? "#" + std::to_string(entry & 0xFFFFu)
                                                               : image.Text(entry - toRva + 2));
            const uint32_t slot = image.U32(slots + n * 4);
            module.slots.push_back(slot);
            module.slotInCode.push_back(slot > imageBase && isCode(slot - imageBase));
        }
        result.delayImports.push_back(module);
    }
    result.valid = true;
    return result;
}

}  // namespace qv::test
