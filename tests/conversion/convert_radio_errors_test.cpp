#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>

#include "conversion/convert_radio.h"
#include "sim_rig.h"

// Every numbered failure of a conversion that a radio or a file can cause, each caused by the
// simulated radio's faults or a damaged file, with its record, category and effect on the run.
namespace plugshift::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

constexpr const wchar_t* kFinalize = L"Finalize flashing data.";
constexpr const wchar_t* kRestoring = L"Restore user-infor.";

struct ErrorCase {
    const char* name;
    std::vector<int> numbers;  // every numbered record, oldest first
    int category;              // of the first numbered record
    const wchar_t* last;       // the run's last record; null when the run succeeds
    // Before the run, on the clean rig and on the faulted one alike.
    std::function<void(SimRig&, ConversionSetup&)> arrange;
    // Faults added to the faulted rig only.
    std::vector<SimFault> faults;
    // Aimed at a request of the clean run: the cable comes out inside it, or both replies to it
    // are lost.
    std::optional<RequestTarget> pullInside;
    std::optional<RequestTarget> dropRepliesTo;
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << c.name;
}

SimFault refuse(uint8_t opcode) {
    return {SimFaultKind::RefuseOpcode, opcode, 2};
}

// A copy of the file with one body byte changed: its digest no longer matches.
std::wstring damagedCopy(const std::wstring& path) {
    static TempFolder copies;
    std::ifstream in(toUtf8(path), std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes.back() ^= 0x01;
    const auto copy = copies.path() / "damaged.ftf";
    std::ofstream(copy, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return copy.wstring();
}

void damageBackupFactory(SimRig& rig, ConversionSetup&) {
    rig.sim().flash().block(SimBlock::Bac)[0] ^= 0xFF;
}

using Arrange = std::function<void(SimRig&, ConversionSetup&)>;

ErrorCase withFault(const char* name, std::vector<int> numbers, const wchar_t* last,
                    SimFault fault) {
    return {name, std::move(numbers), 9, last, {}, {fault}, std::nullopt, std::nullopt};
}

ErrorCase withSetup(const char* name, int number, int category, Arrange arrange) {
    return {name, {number},     category,    kFinalize, std::move(arrange),
            {},   std::nullopt, std::nullopt};
}

ErrorCase pulledInside(const char* name, int number, const wchar_t* last, RequestTarget target,
                       Arrange arrange = {}) {
    return {name, {number}, 9, last, std::move(arrange), {}, target, std::nullopt};
}

ErrorCase repliesLost(const char* name, int number, RequestTarget target) {
    return {name, {number}, 9, kRestoring, {}, {}, std::nullopt, target};
}

const std::vector<ErrorCase>& cases() {
    static const std::vector<ErrorCase> kCases = {
        // Only a reply that passed names the flash type: without it nothing may be erased.
        withFault("test mode reply with a wrong opcode", {0x002}, kFinalize,
                  {SimFaultKind::WrongOpcode, 0x22, 2}),
        pulledInside("cable pulled at query 24", 0x006, kFinalize, {0x24}),
        withSetup("missing address map", 0x007, 6,
                  [](SimRig&, ConversionSetup& s) { s.addressFile = sampleFile("none.ftf"); }),
        withSetup("DYN block one byte past the map", 0x008, 6,
                  [](SimRig&, ConversionSetup& s) {
                      s.blocks = {{0, 0x820000, 0x1001}};
                  }),
        withFault("memory reads refused", {0x00a}, kFinalize, refuse(0x11)),
        withFault("contact reads refused", {0x00b}, kFinalize, refuse(0x9B)),
        withFault("protection mode refused", {0x012}, kFinalize, refuse(0x72)),
        withSetup(
            "damaged codeplug file", 0x013, 6,
            [](SimRig&, ConversionSetup& s) { s.codeplugFile = damagedCopy(s.codeplugFile); }),
        // Nothing is programmed over a sector that was not erased.
        withFault("first sector not erased", {0x014}, kFinalize,
                  {SimFaultKind::FailErase, 0x84000, 0}),
        pulledInside("cable pulled while programming", 0x015, kFinalize, {0x72, 0x01}),
        pulledInside("cable pulled while erasing DYN", 0x016, kFinalize, {0x72, 0x06}),
        pulledInside("cable pulled at the hard reset", 0x01b, kFinalize, {0x10, 0x01}),
        withFault("default block reported corrupted", {0x01c}, kFinalize,
                  {SimFaultKind::CorruptDefaultBlock, 0, 0}),
        pulledInside("cable pulled at the SBEP test mode", 0x01d, kFinalize, {0x22, 0x01}),
        withFault("block reset refused", {0x01e}, kFinalize, refuse(0x38)),
        pulledInside("cable pulled at the factory restore", 0x01f, kFinalize, {0x38, 0x27},
                     damageBackupFactory),
        withFault("memory writes refused", {0x020}, kRestoring, refuse(0x17)),
        // The rest of group 4 is skipped; groups 2, 3 and 1 are still written.
        repliesLost("second contact write unanswered", 0x021, {0x9B, 0x31, 2}),
        repliesLost("master reset unanswered", 0x022, {0x9B, 0x36}),
        repliesLost("final FLASH test mode unanswered", 0x029, {0x22, 0x08, 2}),
        repliesLost("final protection mode unanswered", 0x02a, {0x72, 0x08, 2}),
        pulledInside("cable pulled at the soft reset", 0x02c, kRestoring, {0x10, 0x00}),
    };
    return kCases;
}

class ConvertRadioFaultTest : public ::testing::Test {
protected:
    void SetUp() override { ErrorChain::remove(0); }
    void TearDown() override { ErrorChain::remove(0); }

    TempFolder folder;
};

class ConvertRadioErrorsTest : public ConvertRadioFaultTest,
                               public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ConvertRadioErrorsTest, RecordsItsNumberCategoryAndLastRecord) {
    const ErrorCase& c = GetParam();
    std::optional<FaultAim> aim;
    if (c.pullInside || c.dropRepliesTo) {
        SimRig clean;
        ConversionSetup setup;
        if (c.arrange) {
            c.arrange(clean, setup);
        }
        Conversion run(clean, folder.path() / "clean");
        ASSERT_TRUE(run.run()) << toUtf8(ErrorChain::text());
        aim.emplace(clean.requests);
    }

    SimRig rig;
    ConversionSetup setup;
    if (c.arrange) {
        c.arrange(rig, setup);
    }
    Conversion conversion(rig, folder.path() / "backup", setup);
    for (const SimFault& fault : c.faults) {
        rig.faults().add(fault);
    }
    if (c.pullInside) {
        pullAfter(rig, aim->byteInside(*c.pullInside));
    }
    if (c.dropRepliesTo) {
        dropReplies(rig, aim->replyTo(*c.dropRepliesTo));
    }
    ErrorChain::remove(0);
    EXPECT_EQ(conversion.run(), c.last == nullptr);

    const auto records = ErrorChain::records();
    EXPECT_THAT(numbersIn(records), ElementsAreArray(c.numbers)) << toUtf8(ErrorChain::text());
    const auto first = std::find_if(records.begin(), records.end(),
                                    [](const ErrorRecord& r) { return !numbersIn({r}).empty(); });
    ASSERT_NE(first, records.end());
    EXPECT_EQ(first->category, c.category);
    if (c.last != nullptr) {
        EXPECT_EQ(records.back().message, c.last);
        EXPECT_EQ(records.back().category, 9);
    } else {
        EXPECT_EQ(records.back().message, first->message);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, ConvertRadioErrorsTest, ::testing::ValuesIn(cases()),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name) {
                                 ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             }
                             return name;
                         });

// What the radio's flash holds, to tell whether a run touched it.
struct FlashBytes {
    Bytes def;
    Bytes dyn;
    bool operator==(const FlashBytes&) const = default;
};

FlashBytes flashOf(SimRig& rig) {
    const auto def = rig.sim().flash().block(SimBlock::Def);
    const auto dyn = rig.sim().flash().block(SimBlock::Dyn);
    return {Bytes(def.begin(), def.end()), Bytes(dyn.begin(), dyn.end())};
}

constexpr uint8_t kOpFlash = 0x72;
constexpr uint8_t kOpTestMode = 0x22;
constexpr uint8_t kFlashTestMode = 0x08;
constexpr uint8_t kEraseSector = 0x04;
constexpr uint8_t kWriteFlash = 0x01;

// The flash address of an erase or write request.
uint32_t flashAddress(const Request& request) {
    const auto body = request.body();
    return uint32_t{body[1]} << 16 | uint32_t{body[2]} << 8 | body[3];
}

// The flash type decides where the radio is erased, so only a FLASH test-mode reply that passed
// its test and named a type we know lets the run go on. A byte left in the reply buffer by a
// damaged or lost reply is never taken for one.
TEST_F(ConvertRadioFaultTest, WithoutAKnownFlashTypeNothingIsErased) {
    const RequestTarget flashTestMode{kOpTestMode, kFlashTestMode};
    struct Case {
        const char* name;
        std::function<void(SimRig&)> arrange;
        int number;
        const wchar_t* record;  // the numbered record, when not the test-mode failure 0x002
    };
    const Case cases[] = {
        {"both replies lost", [](SimRig& rig) { dropReplies(rig, 1); }, 0x002, nullptr},
        {"a damaged reply naming type 7, then none",
         [&](SimRig& rig) {
             rig.scripted.answer(flashTestMode, ScriptedReplies::reply(0x8C, {8, 7}, true));
             rig.scripted.answer(flashTestMode, {});
         },
         0x002, nullptr},
        {"accepted, naming type 7",
         [&](SimRig& rig) {
             rig.scripted.answer(flashTestMode, ScriptedReplies::reply(0x8C, {8, 7}));
         },
         0x003, L"Error:the radio did not report a known flash type [7] (0x003)."},
        {"accepted, naming type 3",
         [&](SimRig& rig) {
             rig.scripted.answer(flashTestMode, ScriptedReplies::reply(0x8C, {8, 3}));
         },
         0x003, L"Error:the radio did not report a known flash type [3] (0x003)."},
        {"accepted without a type",
         [&](SimRig& rig) {
             rig.scripted.answer(flashTestMode, ScriptedReplies::reply(0x8C, {8}));
         },
         0x003, L"Error:the radio did not report a known flash type [-1] (0x003)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimRig rig;
        rig.seedDyn();
        const FlashBytes before = flashOf(rig);
        Conversion conversion(rig, folder.path() / "backup");
        c.arrange(rig);
        ErrorChain::remove(0);
        EXPECT_FALSE(conversion.run());

        EXPECT_EQ(rig.count(kOpFlash), 0u);  // no protection, erase or write request
        EXPECT_EQ(rig.count(0x17), 0u);      // no memory write
        EXPECT_EQ(rig.count(0x10), 0u);      // no reset
        EXPECT_TRUE(flashOf(rig) == before);
        EXPECT_FALSE(std::filesystem::exists(folder.path() / "backup"));
        const auto records = ErrorChain::records();
        EXPECT_THAT(numbersIn(records), ElementsAre(c.number)) << toUtf8(ErrorChain::text());
        const auto numbered = std::find_if(records.begin(), records.end(),
                                           [](const auto& r) { return !numbersIn({r}).empty(); });
        ASSERT_NE(numbered, records.end());
        EXPECT_EQ(numbered->category, 9);
        if (c.record != nullptr) {
            EXPECT_EQ(numbered->message, c.record);
        }
        EXPECT_EQ(records.back().message, kFinalize);
    }
}

// An erase the radio refuses is sent again as any request; a sector that still will not erase
// fails the run before anything is programmed, and no later sector is erased either.
TEST_F(ConvertRadioFaultTest, ASectorThatWillNotEraseIsNeverProgrammed) {
    struct Case {
        const char* name;
        uint32_t sector;
        uint32_t refusals;  // 0: every time
        bool ok;
    };
    const Case cases[] = {
        {"refused once", 0x84000, 1, true},
        {"first sector never", 0x84000, 0, false},
        {"third sector never", 0x86000, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ErrorChain::remove(0);
        SimRig rig;
        rig.faults().add({SimFaultKind::FailErase, c.sector, c.refusals});
        Conversion conversion(rig, folder.path() / "backup");
        EXPECT_EQ(conversion.run(), c.ok) << toUtf8(ErrorChain::text());

        std::map<uint32_t, int> erases;
        for (const Request& request : rig.requestsTo({kOpFlash, kEraseSector})) {
            ++erases[flashAddress(request)];
        }
        EXPECT_EQ(erases[c.sector], 2);
        // Each sector is programmed only after it was erased in this run.
        std::set<uint32_t> erased;
        bool programmedUnerased = false;
        for (const Request& request : rig.requests) {
            if (!RequestTarget(kOpFlash).matches(request)) {
                continue;
            }
            const uint8_t sub = request.body()[0];
            if (sub == kEraseSector && (flashAddress(request) != c.sector || c.ok)) {
                erased.insert(flashAddress(request));
            } else if (sub == kWriteFlash) {
                programmedUnerased |= !erased.contains(flashAddress(request));
            }
        }
        EXPECT_FALSE(programmedUnerased);
        if (c.ok) {
            const auto def = rig.sim().flash().block(SimBlock::Def);
            EXPECT_EQ(Bytes(def.begin(), def.end()), expectedDefaultBlock({}));
            continue;
        }
        EXPECT_EQ(rig.count(kOpFlash, kWriteFlash), 0u);
        EXPECT_EQ(erases.rbegin()->first, c.sector);  // erasing stopped there
        EXPECT_THAT(numbersIn(ErrorChain::records()), ElementsAre(0x014));
        EXPECT_THAT(ErrorChain::text(),
                    HasSubstr(L"Error:failed to erase Default block at address [" +
                              std::to_wstring(c.sector) + L"] (0x014)."));
        EXPECT_EQ(ErrorChain::records().back().message, kFinalize);
    }
}

// Without a connected port nothing reaches the radio; the run still ends as every run does.
TEST_F(ConvertRadioFaultTest, WithoutAPortTheRadioIsLeftUntouched) {
    SimRig rig(SimRig::defaultOptions(), false);
    Conversion conversion(rig, folder.path() / "backup");
    EXPECT_FALSE(conversion.run());

    EXPECT_EQ(rig.hostBytes(), 0u);
    EXPECT_TRUE(rig.requests.empty());
    const auto records = ErrorChain::records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].message, L"Error:no port is connected (0x001).");
    EXPECT_EQ(records[0].category, 3);
    EXPECT_EQ(records[1].message, kFinalize);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "backup"));
}

}  // namespace
}  // namespace plugshift::test
