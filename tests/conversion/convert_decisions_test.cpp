#include "conversion/convert_decisions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "conversion/codeplug_version.h"
#include "conversion/convert_radio.h"
#include "conversion/personality_backup.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "installation_fixture.h"
#include "log_capture.h"

namespace plugshift {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

// Blocks kept: DYN depends on the codeplug generations, CON exists only from source code 5.
constexpr const char* kSampleRules =
    R"(<bu><bl name="DYN" from="1" to="1" addr="820000" len="800" />)"
    R"(<bl name="DYN" from="" to="" addr="820000" len="400" />)"
    R"(<bl name="CON" from="5" to="" addr="830000" len="2000" /></bu>)";

struct InstallationSpec {
    std::vector<std::string> codeplugVersions = {"R01.02.00", "R01.03.00"};
    std::vector<std::string> addressVersions = {"A01.02.00", "A01.03.00"};
    std::string rules = kSampleRules;
};

// A loaded configuration whose target model has the given codeplug versions and address maps,
// every one with its flash file.
class ConvertDecisionsTest : public ::testing::Test {
protected:
    void install(const InstallationSpec& spec) {
        std::string xml = R"(<kmv id="1" name="PERU">)";
        for (const std::string& v : spec.addressVersions) {
            xml += R"(<ad name="KMVADDR" ver=")" + v + R"(" />)";
            files_.addFlashFile("ADDR_" + v + ".ftf", "KMVADDR" + v);
        }
        xml += spec.rules;
        xml += R"(<mo type="KMV410" alias="PERU" img="0" name="RQX770HJNWE">)";
        for (const std::string& v : spec.codeplugVersions) {
            xml += R"(<bl name="DEF" ver=")" + v + R"(" />)";
            files_.addFlashFile("DEF_" + v + ".ftf", "RQX770HJNWEDEF" + v);
        }
        xml += R"(</mo><mo type="KMV410" alias="A" img="1" name="RQX770HJNWA" /></kmv>)";
        files_.writeConfig(xml);
        files_.writeSetup(R"(<setup id="1" name="PERU" />)");
        ASSERT_TRUE(config_.createDocument());
        ASSERT_TRUE(config_.load(files_.configPath(), files_.setupPath()))
            << toUtf8(ErrorChain::text());
    }

    std::string fileName(const std::wstring& path) const {
        return std::filesystem::path(toUtf8(path)).filename().string();
    }

    LogCapture log_;
    InstallationFixture files_;
    Configuration config_;
};

struct VersionCase {
    std::vector<std::string> configured;
    bool found;
    std::wstring newVersion;
    std::wstring oldVersion;
};

class ToolVersionsTest : public ConvertDecisionsTest,
                         public ::testing::WithParamInterface<VersionCase> {};

// Only a side the configuration leaves empty borrows the other side's version, so a configured
// side always converts with its own files.
TEST_P(ToolVersionsTest, AConfiguredSideNeverTakesTheOtherSidesVersion) {
    const VersionCase& c = GetParam();
    install({.codeplugVersions = c.configured});
    // Twice: a pass that stopped early must not leave the shared cursor in the middle.
    for (int round = 0; round < 2; ++round) {
        ToolVersions versions;
        WorkflowOutcome outcome;
        EXPECT_EQ(findToolVersions(config_, versions, outcome), c.found);
        if (c.found) {
            EXPECT_EQ(versions.newVersion, c.newVersion);
            EXPECT_EQ(versions.oldVersion, c.oldVersion);
            EXPECT_FALSE(outcome.hasMessage());
        } else {
            EXPECT_EQ(outcome.stringId, kStrFileProblem);
            EXPECT_EQ(outcome.icon, MessageIcon::Error);
        }
    }
    if (!c.found) {
        EXPECT_THAT(log_.messages(), ElementsAre("The tool CP version is invalid.",
                                                 "The tool CP version is invalid."));
    } else {
        EXPECT_THAT(log_.messages(), IsEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ToolVersionsTest,
    ::testing::Values(
        VersionCase{{"R01.02.00", "R01.03.00"}, true, L"R01.02.00", L"R01.03.00"},
        // A side the configuration lacks takes the other side's version in upper case.
        VersionCase{{"R01.02.00"}, true, L"R01.02.00", L"R01.02.00"},
        VersionCase{{"r01.03.00"}, true, L"R01.03.00", L"r01.03.00"},
        // A later entry of one side replaces an earlier one.
        VersionCase{
            {"R01.02.00", "R01.03.00", "R01.04.00", "R01.05.00"}, true, L"R01.04.00", L"R01.05.00"},
        // The first entry that does not parse ends the list ("A1" sorts first, "X1" last).
        VersionCase{{"A1", "R01.02.00", "R01.03.00"}, false, L"", L""},
        VersionCase{{"R01.02.00", "X1"}, true, L"R01.02.00", L"R01.02.00"},
        VersionCase{{"R01.2.00"}, false, L"", L""}, VersionCase{{}, false, L"", L""}));

struct PlanCase {
    std::string name{};
    std::wstring model{};
    std::array<uint8_t, 4> radioVersion{};
    bool keep = false;
    InstallationSpec spec{};
    // Tool versions as found when empty.
    ToolVersions tool{};
    // Expected: kStrNone for a plan, otherwise the string.
    int stringId = kStrNone;
    MessageIcon icon = MessageIcon::None;
    std::wstring argument{};
    std::vector<std::string> log{};
    ConvertSide side = ConvertSide::New;
    std::string codeplugFile{};
    std::string addressFile{};
    std::vector<BlockToKeep> blocks{};
};

class PlanTest : public ConvertDecisionsTest, public ::testing::WithParamInterface<PlanCase> {};

TEST_P(PlanTest, DecidesFilesChecksAndBlocks) {
    const PlanCase& c = GetParam();
    install(c.spec);
    ToolVersions tool = c.tool;
    WorkflowOutcome outcome;
    if (tool.newVersion.empty()) {
        ASSERT_TRUE(findToolVersions(config_, tool, outcome));
    }
    ConvertPlan plan;
    const bool planned =
        planConversion(config_, tool, c.model, c.radioVersion, c.keep, plan, outcome);
    EXPECT_THAT(log_.messages(), ElementsAreArray(c.log));
    if (c.stringId != kStrNone) {
        EXPECT_FALSE(planned);
        EXPECT_EQ(outcome.stringId, c.stringId);
        EXPECT_EQ(outcome.icon, c.icon);
        EXPECT_EQ(outcome.argument, c.argument);
        return;
    }
    ASSERT_TRUE(planned);
    EXPECT_FALSE(outcome.hasMessage());
    EXPECT_EQ(plan.side, c.side);
    EXPECT_EQ(fileName(plan.codeplugPath), c.codeplugFile);
    EXPECT_EQ(fileName(plan.addressPath), c.addressFile);
    EXPECT_EQ(plan.blocks, c.blocks);
    EXPECT_EQ(plan.radioVersion, plan.toolVersion);
}

const std::array<uint8_t, 4> kOld{'R', 1, 3, 0};
const std::array<uint8_t, 4> kNew{'R', 1, 2, 0};
const std::wstring kFrom = L"RQX770HJNWA";

INSTANTIATE_TEST_SUITE_P(
    Table, PlanTest,
    ::testing::Values(
        PlanCase{.name = "OldSideKeepsBlocksInRuleOrder",
                 .model = kFrom,
                 .radioVersion = kOld,
                 .keep = true,
                 .side = ConvertSide::Old,
                 .codeplugFile = "DEF_R01.03.00.ftf",
                 .addressFile = "ADDR_A01.03.00.ftf",
                 // CON has rules but none for source code 1: kept with address and length 0.
                 .blocks = {{0, 0x820000, 0x800}, {2, 0, 0}}},
        PlanCase{.name = "NewSideWithoutPersonality",
                 .model = kFrom,
                 .radioVersion = kNew,
                 .keep = false,
                 .codeplugFile = "DEF_R01.02.00.ftf",
                 .addressFile = "ADDR_A01.02.00.ftf"},
        PlanCase{.name = "OtherCodesTakeTheGeneralRule",
                 .model = kFrom,
                 .radioVersion = {'R', 5, 3, 0},
                 .keep = true,
                 .spec = {.codeplugVersions = {"R05.03.00"}},
                 .side = ConvertSide::Old,
                 .codeplugFile = "DEF_R05.03.00.ftf",
                 .addressFile = "ADDR_A01.03.00.ftf",
                 .blocks = {{0, 0x820000, 0x400}, {2, 0x830000, 0x2000}}},
        PlanCase{.name = "OneAddressVersionServesBothSides",
                 .model = kFrom,
                 .radioVersion = kOld,
                 .keep = false,
                 .spec = {.addressVersions = {"A01.02.00"}},
                 .side = ConvertSide::Old,
                 .codeplugFile = "DEF_R01.03.00.ftf",
                 .addressFile = "ADDR_A01.02.00.ftf"},
        PlanCase{.name = "AlreadyConvertedEvenWithAnotherVersion",
                 .model = L"RQX770HJNWE",
                 .radioVersion = {'R', 1, 5, 0},
                 .keep = true,
                 .stringId = kStrAlreadyConverted,
                 .icon = MessageIcon::Information,
                 .argument = L"916-928MHz"},
        PlanCase{.name = "VersionNotCompatible",
                 .model = kFrom,
                 .radioVersion = {'R', 2, 2, 0},
                 .keep = true,
                 .stringId = kStrIncompatible,
                 .icon = MessageIcon::Warning},
        PlanCase{.name = "LowerCaseRadioLetterIsNotTheToolVersion",
                 .model = kFrom,
                 .radioVersion = {'r', 1, 3, 0},
                 .keep = false,
                 .stringId = kStrIncompatible,
                 .icon = MessageIcon::Warning},
        PlanCase{.name = "RadioVersionNumberAbove99",
                 .model = kFrom,
                 .radioVersion = {'R', 1, 100, 0},
                 .keep = false,
                 .stringId = kStrFileProblem,
                 .icon = MessageIcon::Error,
                 .log = {"The radio CP version is invalid."}},
        PlanCase{.name = "RadioVersionWithoutLetter",
                 .model = kFrom,
                 .radioVersion = {0, 1, 3, 0},
                 .keep = false,
                 .stringId = kStrFileProblem,
                 .icon = MessageIcon::Error,
                 .log = {"The radio CP version is invalid."}},
        PlanCase{.name = "BothCodeplugFilesLost",
                 .model = kFrom,
                 .radioVersion = kOld,
                 .keep = false,
                 .tool = {L"R01.06.00", L"R01.07.00"},
                 .stringId = kStrFileProblem,
                 .icon = MessageIcon::Error,
                 .log = {"New CP file is lost.", "Old CP file is lost."}},
        PlanCase{.name = "NewCodeplugFileLost",
                 .model = kFrom,
                 .radioVersion = kOld,
                 .keep = false,
                 .spec = {.codeplugVersions = {"r01.03.00"}},
                 .stringId = kStrFileProblem,
                 .icon = MessageIcon::Error,
                 .log = {"New CP file is lost."}},
        PlanCase{.name = "NoAddressMap",
                 .model = kFrom,
                 .radioVersion = kOld,
                 .keep = false,
                 .spec = {.addressVersions = {}},
                 .stringId = kStrFileProblem,
                 .icon = MessageIcon::Error,
                 .log = {"New ADDR file is lost."}},
        PlanCase{.name = "ToolVersionOfTheSideDoesNotParse",
                 .model = kFrom,
                 .radioVersion = kOld,
                 .keep = false,
                 .spec = {.codeplugVersions = {"R01.02.00", "bogus"}},
                 .tool = {L"R01.02.00", L"bogus"},
                 .stringId = kStrFileProblem,
                 .icon = MessageIcon::Error,
                 .log = {"The tool version is invalid."}}),
    [](const ::testing::TestParamInfo<PlanCase>& info) { return info.param.name; });

TEST_F(ConvertDecisionsTest, ModelMustBeConfigured) {
    install({});
    WorkflowOutcome outcome;
    EXPECT_TRUE(checkModelConfigured(config_, L"RQX770HJNWA", outcome));
    EXPECT_FALSE(outcome.hasMessage());
    EXPECT_FALSE(checkModelConfigured(config_, L"RQX770HJNXX", outcome));
    EXPECT_EQ(outcome.stringId, kStrRadioUnsupported);
    EXPECT_EQ(outcome.icon, MessageIcon::Error);
}

// The recovery plans from the identity the backup recorded, whatever the half-written radio now
// says: the side its codeplug version chose, and the same refusals as a conversion.
TEST_F(ConvertDecisionsTest, RecoveryPlansFromTheBackupsIdentity) {
    install({});
    const struct {
        std::string model;
        std::array<uint8_t, 4> version;
        int stringId;
        std::string codeplugFile;
        std::string addressFile;
    } cases[] = {
        {"RQX770HJNWA", {'R', 1, 3, 0}, kStrNone, "DEF_R01.03.00.ftf", "ADDR_A01.03.00.ftf"},
        {"RQX770HJNWA", {'R', 1, 2, 0}, kStrNone, "DEF_R01.02.00.ftf", "ADDR_A01.02.00.ftf"},
        {"RQX770HJNWA", {'R', 1, 5, 0}, kStrIncompatible, "", ""},
        {"RQX770HJNWE", {'R', 1, 3, 0}, kStrAlreadyConverted, "", ""},
        {"RQX770HJNXX", {'R', 1, 3, 0}, kStrRadioUnsupported, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model + " " + toUtf8(CodeplugVersion::radioText(c.version)));
        PersonalityBackup backup;
        // As the radio reports it: letters as they are, digits as their values.
        for (char c : c.model) {
            backup.model.push_back(static_cast<uint8_t>(c >= '0' && c <= '9' ? c - '0' : c));
        }
        backup.codeplugVersion = c.version;
        ConvertPlan plan;
        WorkflowOutcome outcome;
        EXPECT_EQ(planRecovery(config_, backup, plan, outcome), c.stringId == kStrNone);
        EXPECT_EQ(outcome.stringId, c.stringId);
        if (c.stringId == kStrNone) {
            EXPECT_EQ(fileName(plan.codeplugPath), c.codeplugFile);
            EXPECT_EQ(fileName(plan.addressPath), c.addressFile);
            EXPECT_THAT(plan.blocks, IsEmpty()) << "the blocks come from the backup";
        }
    }
}

struct FailureCase {
    int firstCategory;
    bool restore;
    int stringId;
};

class FailedConversionTest : public ::testing::TestWithParam<FailureCase> {
protected:
    LogCapture log_;
};

TEST_P(FailedConversionTest, LogsTheSummaryAndChoosesByTheOldestRecord) {
    const FailureCase& c = GetParam();
    ErrorChain::add(c.firstCategory, L"Error:root cause %d.", 1);
    ErrorChain::add(kErrorUpdate, L"Finalize flashing data.");
    const WorkflowOutcome outcome = concludeFailedConversion(
        ConvertRadio{}, {L"RQX770HJNWA", L"752TRX4F21", L"R02.10.05", L"R01.03.00"}, c.restore,
        nullptr);
    EXPECT_EQ(outcome.stringId, c.stringId);
    EXPECT_EQ(outcome.icon, MessageIcon::Error);
    EXPECT_TRUE(ErrorChain::records().empty());
    const std::string expected =
        std::string(
            "Update radio failed (Model:RQX770HJNWA,SN:752TRX4F21,Firmware:R02.10.05,"
            "Codeplug:R01.03.00,Restore:") +
        (c.restore ? "1" : "0") +
        "), this's caused by:\nFinalize flashing data.\nError:root cause 1.\n";
    EXPECT_THAT(log_.messages(), ElementsAre(expected));
}

INSTANTIATE_TEST_SUITE_P(Table, FailedConversionTest,
                         ::testing::Values(FailureCase{kErrorFile, true, kStrFileProblem},
                                           FailureCase{kErrorCpg, false, kStrFileProblem},
                                           FailureCase{kErrorFlash, true, kStrFileProblem},
                                           FailureCase{kErrorIni, true, kStrFileProblem},
                                           FailureCase{kErrorFtf, false, kStrFileProblem},
                                           FailureCase{kErrorSbep, true, kStrConvertFailed},
                                           FailureCase{kErrorProt, false, kStrConvertFailed},
                                           FailureCase{kErrorUpdate, true, kStrConvertFailed}));

struct ParseCase {
    std::wstring text;
    bool parses;
    int first;
    int middle;
    bool isNew;
};

TEST(CodeplugVersionTest, ParsesOnlyALetterAndThreeTwoDigitNumbers) {
    const ParseCase cases[] = {
        {L"R01.02.03", true, 1, 2, true},   {L"r10.11.99", true, 10, 11, false},
        {L"R01.02.3", false, 0, 0, false},  {L"R01.02.030", false, 0, 0, false},
        {L"101.02.03", false, 0, 0, false}, {L"R01-02.03", false, 0, 0, false},
        {L"R0a.02.03", false, 0, 0, false}, {L"", false, 0, 0, false},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(toUtf8(c.text));
        const auto version = CodeplugVersion::parse(c.text);
        ASSERT_EQ(version.has_value(), c.parses);
        if (version) {
            EXPECT_EQ(version->first, c.first);
            EXPECT_EQ(version->middle, c.middle);
            EXPECT_EQ(version->isNew(), c.isNew);
        }
    }
}

TEST(CodeplugVersionTest, RadioTextKeepsTheLetterAsItIs) {
    const std::array<uint8_t, 4> lower{'r', 1, 2, 30};
    const std::array<uint8_t, 4> wide{'R', 1, 100, 7};
    EXPECT_EQ(CodeplugVersion::radioText(lower), L"r01.02.30");
    EXPECT_EQ(CodeplugVersion::radioText(wide), L"R01.100.07");
}

TEST(WorkflowOutcomeTest, ArgumentFillsThePlaceholderLiterally) {
    EXPECT_EQ(
        WorkflowOutcome::of(kStrAlreadyConverted, MessageIcon::Information, L"916-928MHz").text(),
        L"This radio is already in 916-928MHz.");
    EXPECT_EQ(WorkflowOutcome::of(kStrManyCables, MessageIcon::Warning, L"2").text(),
              L"There are 2 USB conections. Please remove the unused and keep one connection "
              L"only.");
    EXPECT_EQ(WorkflowOutcome::of(kStrAlreadyConverted, MessageIcon::Information, L"%s %d").text(),
              L"This radio is already in %s %d.");
    EXPECT_EQ(WorkflowOutcome::of(kStrSeries, MessageIcon::None, L"KMV410").text(),
              L"KMV410 Series");
    EXPECT_EQ(WorkflowOutcome{}.text(), L"");
}

}  // namespace
}  // namespace plugshift
