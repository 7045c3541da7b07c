#include "formats/flash_report.h"

#include <cwctype>
#include <vector>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "formats/ansi_text.h"
#include "formats/file_bytes.h"
#include "formats/ftf_format.h"
#include "formats/ftf_image.h"

namespace plugshift {

bool readFtfSummary(const std::wstring& path, FtfSummary& summary) {
    std::vector<uint8_t> head;
    if (readFileHead(path, ftf::kMaxHeadSize, head) == FileReadResult::kOpenFailed) {
        ErrorChain::add(kErrorFile, L"Error:failed to open the file [%ls].", path.c_str());
        return false;
    }
    if (!parseFtfInfo(path, head, summary.info)) {
        return false;
    }
    summary.versionText = ftfVersionText(&head[ftf::kVersionOffset]);
    return true;
}

std::wstring codeplugVersionText(uint32_t version) {
    uint8_t b[4];
    writeLittleEndian32(b, version);
    std::wstring text =
        formatWide(L"%lc%02d.%02d.%02d", static_cast<wint_t>(widenAnsi(b[0])), b[1], b[2], b[3]);
    if (!text.empty()) {
        text[0] = static_cast<wchar_t>(std::towupper(text[0]));
    }
    return text + formatWide(L" (0x%08X)", version);
}

std::wstring formatFtfSummary(const FtfSummary& summary) {
    const FtfInfo& info = summary.info;
    std::wstring text =
        formatWide(L"type: %d\nversion: %ls\ninternal name: %ls\nbody length: %d\n", info.type,
                   summary.versionText.c_str(), info.internalName, info.bodyLength);
    switch (info.type) {
        case kFtfModelPrefix:
            text += L"codeplug version: " + codeplugVersionText(info.codeplugVersion) + L"\n";
            text += L"model number: " +
                    widenAnsi(reinterpret_cast<const uint8_t*>(info.modelNumber),
                              info.modelNumberLength) +
                    L"\n";
            break;
        case kFtfVersionPrefix1:
        case kFtfVersionPrefix2:
            text += L"codeplug version: " + codeplugVersionText(info.codeplugVersion) + L"\n";
            break;
        case kFtfRegionPrefix:
            text += formatWide(L"region name: %ls\n", info.regionName);
            break;
    }
    return text;
}

bool loadCodeplugBlocks(const std::wstring& addressMapPath, const std::wstring& codeplugPath,
                        CodeplugImage& cpg) {
    FtfImage image;
    if (!loadFtf(addressMapPath.c_str(), image) ||
        !cpg.parseAddressMap(image.data.data(), image.length)) {
        ErrorChain::add(kErrorIni, L"Error:failed to parse address file [%ls].",
                        addressMapPath.c_str());
        return false;
    }
    if (!loadFtf(codeplugPath.c_str(), image) ||
        !cpg.parseCodeplug(image.data.data(), image.length)) {
        ErrorChain::add(kErrorIni, L"Error:failed to parse codeplug file [%ls].",
                        codeplugPath.c_str());
        return false;
    }
    return true;
}

std::wstring formatBlockTable(const CodeplugImage& cpg) {
    std::wstring text =
        formatWide(L"%-8ls %-10ls %-10ls %ls\n", L"block", L"address", L"size", L"capacity");
    for (int kind = 0; kind < kBlockKindCount; ++kind) {
        const CodeplugBlock& b = cpg.block(kind);
        text += formatWide(L"%-8ls 0x%08X 0x%08X 0x%08X\n", CodeplugImage::blockName(kind),
                           b.address, b.size, b.capacity);
    }
    return text;
}

}  // namespace plugshift
