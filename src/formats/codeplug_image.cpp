#include "formats/codeplug_image.h"

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <string_view>

#include "errors/error_category.h"
#include "errors/error_chain.h"

namespace plugshift {

namespace {

struct BlockDefault {
    const wchar_t* name;
    uint32_t address;
    uint32_t capacity;
};

// DEF and USERVOI default to five-digit addresses; address maps always set both.
constexpr std::array<BlockDefault, kBlockKindCount> kDefaults = {{
    {L"DYN", 0x820000, 0x1000},
    {L"HW", 0x842000, 0x1000},
    {L"CON", 0x830000, 0x2000},
    {L"ERG", 0x840000, 0x1000},
    {L"FAC", 0x841000, 0x1000},
    {L"DEF", 0x84400, 0x10000},
    {L"BAC", 0x843000, 0x1000},
    {L"VOI", 0x854000, 0x6000},
    {L"USERVOI", 0x86000, 0x6000},
}};

struct BlockKeyword {
    std::string_view keyword;
    BlockKind kind;
};

// Tried in this order and matched anywhere in a token, so "FACT_START" is found before
// "BACKUP_FACT" would be.
constexpr std::array<BlockKeyword, kBlockKindCount> kKeywords = {{
    {"DYN_START", kBlockDyn},
    {"CONTACT_START", kBlockCon},
    {"ERGO_START", kBlockErg},
    {"FACT_START", kBlockFac},
    {"HW_START", kBlockHw},
    {"BACKUP_FACT", kBlockBac},
    {"DEF_BLK", kBlockDef},
    {"RESERVED_BLOCK_1", kBlockVoi},
    {"RESERVED_BLOCK_2", kBlockUserVoi},
}};

// Longer runs of non-space characters are cut into tokens of this length.
constexpr size_t kMaxTokenLength = 49;

constexpr uint8_t kNotHex = 0xFF;

// The C runtime's isspace and isxdigit in the "C" locale, as lookup tables: the stream parser
// asks them for every character.
constexpr std::array<bool, 256> kSpace = [] {
    std::array<bool, 256> table{};
    for (char c : {' ', '\t', '\n', '\v', '\f', '\r'}) {
        table[static_cast<uint8_t>(c)] = true;
    }
    return table;
}();

constexpr std::array<uint8_t, 256> kHexValue = [] {
    std::array<uint8_t, 256> table{};
    table.fill(kNotHex);
    for (int i = 0; i < 10; ++i) {
        table['0' + i] = static_cast<uint8_t>(i);
    }
    for (int i = 0; i < 6; ++i) {
        table['A' + i] = static_cast<uint8_t>(10 + i);
        table['a' + i] = static_cast<uint8_t>(10 + i);
    }
    return table;
}();

// Address bytes by record type digit: S0, S1, S9 carry 2; S2 3; S3 4; S4 to S8 none.
constexpr std::array<uint8_t, 10> kAddressLength = {2, 2, 3, 4, 0, 0, 0, 0, 0, 2};

// Reads a number as "%x" does: optional sign, optional "0X", hexadecimal digits up to the first
// other character. A value beyond 32 bits is refused rather than silently cut.
bool parseHex(std::string_view token, uint32_t& value) {
    size_t pos = 0;
    bool negative = false;
    if (pos < token.size() && (token[pos] == '+' || token[pos] == '-')) {
        negative = token[pos] == '-';
        ++pos;
    }
    if (pos + 2 < token.size() && token[pos] == '0' && token[pos + 1] == 'X' &&
        kHexValue[static_cast<uint8_t>(token[pos + 2])] != kNotHex) {
        pos += 2;
    }
    uint64_t number = 0;
    size_t digits = 0;
    for (; pos < token.size(); ++pos, ++digits) {
        uint8_t digit = kHexValue[static_cast<uint8_t>(token[pos])];
        if (digit == kNotHex) {
            break;
        }
        number = (number << 4) | digit;
        if (number > UINT32_MAX) {
            return false;
        }
    }
    if (digits == 0) {
        return false;
    }
    value = negative ? 0u - static_cast<uint32_t>(number) : static_cast<uint32_t>(number);
    return true;
}

// Splits text into upper-cased tokens of at most kMaxTokenLength characters.
class Tokenizer {
public:
    Tokenizer(const uint8_t* text, size_t length) : p_(text), end_(text + length) {}

    bool next(std::string_view& token) {
        while (p_ < end_ && kSpace[*p_]) {
            ++p_;
        }
        size_t n = 0;
        while (p_ < end_ && !kSpace[*p_] && n < kMaxTokenLength) {
            uint8_t c = *p_++;
            buffer_[n++] = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
        token = std::string_view(buffer_, n);
        return n > 0;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
    char buffer_[kMaxTokenLength];
};

int selectedBlock(std::string_view token) {
    for (const BlockKeyword& k : kKeywords) {
        if (token.find(k.keyword) != std::string_view::npos) {
            return k.kind;
        }
    }
    return -1;
}

// Reads S-records; each step consumes the stream and reports whether it could.
class RecordReader {
public:
    RecordReader(const uint8_t* stream, size_t length) : p_(stream), end_(stream + length) {}

    void skipSpace() {
        while (p_ < end_ && kSpace[*p_]) {
            ++p_;
        }
    }
    bool atEnd() const { return p_ == end_; }
    uint8_t take() { return *p_++; }

    bool hexDigit(uint8_t& value) {
        skipSpace();
        if (p_ == end_) {
            return false;
        }
        value = kHexValue[*p_++];
        return value != kNotHex;
    }

    bool hexByte(uint8_t& value) {
        uint8_t high, low;
        if (!hexDigit(high) || !hexDigit(low)) {
            return false;
        }
        value = static_cast<uint8_t>((high << 4) | low);
        return true;
    }

    // The common case without white space inside the record, without per-digit calls.
    bool hexBytes(uint8_t* out, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            if (end_ - p_ >= 2) {
                uint8_t high = kHexValue[p_[0]];
                uint8_t low = kHexValue[p_[1]];
                if ((high | low) < 0x10) {  // both are digits
                    out[i] = static_cast<uint8_t>((high << 4) | low);
                    p_ += 2;
                    continue;
                }
            }
            if (!hexByte(out[i])) {
                return false;
            }
        }
        return true;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

}  // namespace

CodeplugImage::CodeplugImage() {
    restoreDefaultLayout();
}

void CodeplugImage::restoreDefaultLayout() {
    for (int kind = 0; kind < kBlockKindCount; ++kind) {
        CodeplugBlock& b = blocks_[kind];
        b = CodeplugBlock{};
        b.kind = kind;
        b.address = kDefaults[kind].address;
        b.capacity = kDefaults[kind].capacity;
    }
}

CodeplugImage::~CodeplugImage() = default;

const wchar_t* CodeplugImage::blockName(int kind) {
    if (kind < 0 || kind >= kBlockKindCount) {
        return L"";
    }
    return kDefaults[kind].name;
}

int CodeplugImage::blockKindByName(std::wstring_view name) {
    for (int kind = 0; kind < kBlockKindCount; ++kind) {
        std::wstring_view candidate = kDefaults[kind].name;
        if (std::equal(
                name.begin(), name.end(), candidate.begin(), candidate.end(),
                [](wchar_t a, wchar_t b) { return static_cast<wchar_t>(std::towupper(a)) == b; })) {
            return kind;
        }
    }
    return -1;
}

void CodeplugImage::setCapacity(CodeplugBlock& block, uint32_t capacity) {
    block.capacity = capacity;
    if (!block.data.empty()) {
        block.data.resize(capacity);  // the buffer is always exactly as long as the block
    }
}

bool CodeplugImage::parseAddressMap(const uint8_t* text, size_t length) {
    if (text == nullptr) {
        return false;
    }
    enum class State { kKeyword, kValue, kAssignment };
    enum class Field { kAddress, kSize };
    State state = State::kKeyword;
    Field field = Field::kAddress;
    CodeplugBlock* current = nullptr;  // an assignment before any block keyword is ignored

    Tokenizer tokens(text, length);
    std::string_view token;
    while (tokens.next(token)) {
        if (state == State::kKeyword) {
            int kind = selectedBlock(token);
            if (kind >= 0) {
                current = &blocks_[kind];
                current->kind = kind;
            } else if (token == "ADDRESS" || token == "BSIZE") {
                field = token == "ADDRESS" ? Field::kAddress : Field::kSize;
                state = State::kValue;
            }
            continue;
        }
        if (state == State::kValue && token == "=") {
            state = State::kAssignment;
            continue;
        }
        uint32_t number = 0;
        if (!parseHex(token, number)) {
            return false;
        }
        if (current != nullptr) {
            if (field == Field::kAddress) {
                current->address = number;
            } else if (state == State::kValue) {
                current->size = number;
            } else {
                // "BSIZE = n" can only shrink a block below what it had.
                setCapacity(*current, std::min(current->capacity, number));
            }
        }
        state = State::kKeyword;
    }
    return true;
}

void CodeplugImage::resetBlocks() {
    for (CodeplugBlock& b : blocks_) {
        b.size = 0;
        b.data.assign(b.capacity, 0);
    }
}

uint32_t CodeplugImage::storeRecord(uint32_t address, const uint8_t* data, uint32_t length) {
    for (CodeplugBlock& b : blocks_) {
        // 64 bits: a block near the top of the address space must not wrap around.
        if (address < b.address || uint64_t{address} >= uint64_t{b.address} + b.capacity) {
            continue;
        }
        if (b.data.size() != b.capacity) {
            b.data.assign(b.capacity, 0);
        }
        const uint32_t offset = address - b.address;
        const uint32_t n = std::min(length, b.capacity - offset);
        if (n > 0) {
            std::memcpy(b.data.data() + offset, data, n);
        }
        b.size = offset + n;
        return n;
    }
    return 0;
}

bool CodeplugImage::parseCodeplug(const uint8_t* stream, size_t length) {
    if (stream == nullptr) {
        return false;
    }
    resetBlocks();
    RecordReader reader(stream, length);
    uint8_t record[256];  // count is one byte, so no record is longer
    for (;;) {
        reader.skipSpace();
        if (reader.atEnd()) {
            return true;
        }
        const uint8_t start = reader.take();
        if (reader.atEnd()) {
            return true;  // one character after the last record is ignored
        }
        if (start != 'S' && start != 's') {
            break;
        }
        reader.skipSpace();
        if (reader.atEnd()) {
            break;
        }
        const uint8_t typeDigit = reader.take();
        if (typeDigit < '0' || typeDigit > '9') {
            break;
        }
        const size_t addressLength = kAddressLength[typeDigit - '0'];
        uint8_t count = 0;
        // The count covers address, data and checksum; less than address plus checksum is
        // no record.
        if (!reader.hexByte(count) || count < addressLength + 1 ||
            !reader.hexBytes(record, count)) {
            break;
        }
        uint8_t sum = count;
        for (size_t i = 0; i + 1 < count; ++i) {
            sum = static_cast<uint8_t>(sum + record[i]);
        }
        if (static_cast<uint8_t>(~sum) != record[count - 1]) {
            break;
        }
        uint32_t address = 0;
        for (size_t i = 0; i < addressLength; ++i) {
            address = (address << 8) | record[i];
        }
        storeRecord(address, record + addressLength,
                    static_cast<uint32_t>(count - addressLength - 1));
    }
    ErrorChain::add(kErrorCpg, L"Error:failed to parse CPG stream.");
    return false;
}

}  // namespace plugshift
