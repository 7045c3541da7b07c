#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/configuration.h"
#include "errors/error_chain.h"
#include "installation_fixture.h"

namespace plugshift {
namespace {

constexpr const char* kSetup = R"(<s id="1" name="PERU"/>)";

class LookupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ErrorChain::remove(0);
        ASSERT_TRUE(config_.createDocument());
    }
    void TearDown() override { ErrorChain::remove(0); }

    // The body goes inside a root that carries the region.
    void load(const std::string& body) {
        install_.writeConfig(R"(<c id="1" name="PERU">)" + body + "</c>");
        install_.writeSetup(kSetup);
        ASSERT_TRUE(config_.load(install_.configPath(), install_.setupPath()))
            << ErrorChain::text();
    }

    InstallationFixture install_;
    Configuration config_;
};

TEST_F(LookupTest, RangeRulesReadCodesAndHexNumbers) {
    load(R"(<bu>
        <bl name="dyn" from="3^7^3" to="" addr="1f" len="0x20"/>
        <bl name="HW"/>
        <bl name="" from="1"/>
        <bl name="Con" from="300" to="-1^ 2x" addr="" len="0X10zz"/>
        </bu><bu><bl name="DYN" from="" to="" addr="5" len="5"/></bu>)");
    const auto& rules = config_.rangeRules();
    ASSERT_EQ(rules.size(), 2u);
    ASSERT_EQ(rules.at(0).size(), 1u) << "only the first bu holds rules";
    const RangeRule& dyn = rules.at(0)[0];
    EXPECT_EQ(dyn.sourceCodes, (std::set<uint8_t>{3, 7}));
    EXPECT_TRUE(dyn.targetCodes.empty());
    EXPECT_EQ(dyn.address, 31);
    EXPECT_EQ(dyn.length, 32);
    const RangeRule& con = rules.at(2)[0];
    EXPECT_EQ(con.sourceCodes, (std::set<uint8_t>{44}));
    EXPECT_EQ(con.targetCodes, (std::set<uint8_t>{0xFF, 2}));
    EXPECT_EQ(con.address, 0);
    EXPECT_EQ(con.length, 16);
}

TEST_F(LookupTest, FindRangeTakesFirstMatchingRule) {
    load(R"(<bu>
        <bl name="DYN" from="5" to="" addr="820000" len="100"/>
        <bl name="DYN" from="" to="2^4" addr="820100" len="200"/>
        <bl name="CON" from="1" to="1" addr="830000" len="2000"/>
        </bu>)");
    struct Case {
        int32_t kind;
        int source, target;
        bool found;
        int32_t address, length;
    };
    const Case cases[] = {
        {0, 5, 9, true, 0x820000, 0x100}, {0, 6, 2, true, 0x820100, 0x200},
        {0, 6, 3, false, 0, 0},           {2, 1, 1, true, 0x830000, 0x2000},
        {2, 1, 2, false, 0, 0},           {1, 5, 5, false, 0, 0},
        {9, 5, 5, false, 0, 0},           {-1, 5, 5, false, 0, 0},
        {0, 5 + 256, 9, false, 0, 0},
    };
    for (const Case& c : cases) {
        int32_t address = -7;
        int32_t length = -7;
        EXPECT_EQ(config_.findRange(c.kind, c.source, c.target, address, length), c.found)
            << c.kind << " " << c.source << " " << c.target;
        EXPECT_EQ(address, c.address);
        EXPECT_EQ(length, c.length);
    }
}

TEST_F(LookupTest, ModelsKeepPictureAndOnlyTheConvertibleOneHasBlocks) {
    install_.addFlashFile("def-new.ftf", "RQX770HJNWEDEFR01.02.00");
    install_.addFlashFile("def-old.ftf", "RQX770HJNWEDEFR01.01.00");
    load(R"(<mo type="KMV" alias="A" img="2" name="RQX770HJNUS"><bl name="DEF" ver="Z9"/></mo>
        <mo type="KMV" alias="B" img=" 7 " name="RQX770HJNEU"/>
        <mo type="KMV" alias="C" img="7" name="RQX770HJNWE">
          <bl name="DEF" ver="R01.02.00"/><g><bl name="DEF" ver="R01.01.00"/></g></mo>
        <mo type="KMV2" alias="D" img="+1" name="RQX770HJNEU"/>)");
    ModelEntry entry;
    ASSERT_TRUE(config_.getModel(L"RQX770HJNUS", entry));
    EXPECT_EQ(entry.picture, 2);
    EXPECT_TRUE(entry.blocks.empty());
    ASSERT_TRUE(config_.getModel(L"RQX770HJNEU", entry));
    EXPECT_EQ(entry.type, L"KMV2") << "a later model of the same name replaces the earlier";
    EXPECT_EQ(entry.picture, 1);
    ASSERT_TRUE(config_.getModel(L"RQX770HJNWE", entry));
    EXPECT_EQ(entry.picture, -1);
    EXPECT_EQ(entry.alias, L"C");
    ASSERT_EQ(entry.blocks.at(L"DEF").size(), 2u);
    EXPECT_FALSE(config_.getModel(L"rqx770hjnwe", entry));
    EXPECT_TRUE(config_.hasModel(L"RQX770HJNEU"));
    EXPECT_FALSE(config_.hasModel(L""));

    std::wstring path = L"stale";
    EXPECT_FALSE(config_.getBlockFile(L"RQX770HJNWE", L"DEF", L"R01.03.00", path));
    EXPECT_TRUE(path.empty());
    EXPECT_FALSE(config_.getBlockFile(L"RQX770HJNWE", L"HW", L"R01.02.00", path));
    EXPECT_FALSE(config_.getBlockFile(L"RQX770HJNUS", L"DEF", L"Z9", path));
    EXPECT_TRUE(config_.getBlockFile(L"RQX770HJNWE", L"DEF", L"R01.01.00", path));
}

TEST(SupportedModel, IsExactlyTheTargetModel) {
    EXPECT_TRUE(Configuration::isSupportedModel(L"RQX770HJNWE"));
    EXPECT_FALSE(Configuration::isSupportedModel(L"rqx770hjnwe"));
    EXPECT_FALSE(Configuration::isSupportedModel(L"RQX770HJNWE "));
    EXPECT_FALSE(Configuration::isSupportedModel(L"RQX770HJNW"));
    EXPECT_FALSE(Configuration::isSupportedModel(L""));
}

// Collects one pass of an enumeration: the keys up to the first false.
template <class Next>
std::vector<std::wstring> pass(Next next) {
    std::vector<std::wstring> keys;
    std::wstring key;
    while (next(key)) {
        keys.push_back(key);
    }
    EXPECT_TRUE(key.empty());
    return keys;
}

TEST_F(LookupTest, EnumerationsRestartAfterAPassEnded) {
    install_.addFlashFile("a1.ftf", "ADDR_A01.02.00");
    install_.addFlashFile("a2.ftf", "ADDR_A01.01.00");
    load(R"(<ad name="ADDR_" ver="A01.02.00"/><ad name="ADDR_" ver="A01.01.00"/>
        <mo type="K" alias="a" img="0" name="M2"/><mo type="K" alias="b" img="0" name="M1"/>)");
    std::wstring model;
    ASSERT_TRUE(config_.nextModelName(model));
    EXPECT_EQ(model, L"M1");
    ASSERT_TRUE(config_.nextModelName(model));
    EXPECT_EQ(model, L"M2");
    EXPECT_FALSE(config_.nextModelName(model));
    ASSERT_TRUE(config_.nextModelName(model));
    EXPECT_EQ(model, L"M1");

    auto versions = [this](std::wstring& v) { return config_.nextAddressVersion(v); };
    const std::vector<std::wstring> ascending = {L"A01.01.00", L"A01.02.00"};
    EXPECT_EQ(pass(versions), ascending);
    EXPECT_EQ(pass(versions), ascending);
}

TEST_F(LookupTest, BlockVersionPassIsBoundToItsFirstCall) {
    install_.addFlashFile("d1.ftf", "RQX770HJNWEDEFR01.02.00");
    install_.addFlashFile("d2.ftf", "RQX770HJNWEDEFR01.01.00");
    install_.addFlashFile("h1.ftf", "RQX770HJNWEHWH01");
    load(R"(<mo type="K" alias="a" img="0" name="RQX770HJNWE">
        <bl name="DEF" ver="R01.02.00"/><bl name="DEF" ver="R01.01.00"/><bl name="HW" ver="H01"/>
        </mo>)");
    std::wstring version;
    ASSERT_TRUE(config_.nextBlockVersion(version, L"RQX770HJNWE", L"DEF"));
    EXPECT_EQ(version, L"R01.01.00");
    ASSERT_TRUE(config_.nextBlockVersion(version, L"RQX770HJNWE", L"HW"));
    EXPECT_EQ(version, L"R01.02.00") << "later arguments do not change a running pass";
    EXPECT_FALSE(config_.nextBlockVersion(version, L"RQX770HJNWE", L"HW"));
    ASSERT_TRUE(config_.nextBlockVersion(version, L"RQX770HJNWE", L"HW"));
    EXPECT_EQ(version, L"H01");
    EXPECT_FALSE(config_.nextBlockVersion(version, L"x", L"y"));

    version = L"stale";
    EXPECT_FALSE(config_.nextBlockVersion(version, L"RQX770HJNWE", L"VOI"));
    EXPECT_TRUE(version.empty());
    EXPECT_FALSE(config_.nextBlockVersion(version, L"NOPE", L"DEF"));
    EXPECT_TRUE(config_.nextBlockVersion(version, L"RQX770HJNWE", L"DEF"))
        << "a refused start leaves no pass behind";
}

TEST_F(LookupTest, RangeKindsAndLanguagesEnumerateInOrder) {
    load(R"(<bu><bl name="CON" from="" to="" addr="" len=""/>
        <bl name="DYN" from="" to="" addr="" len=""/></bu>)");
    std::vector<int32_t> kinds;
    int32_t kind;
    while (config_.nextRangeKind(kind)) {
        kinds.push_back(kind);
    }
    EXPECT_EQ(kinds, (std::vector<int32_t>{0, 2}));
    ASSERT_TRUE(config_.nextRangeKind(kind));
    EXPECT_EQ(kind, 0);

    auto languages = [this](std::wstring& c) { return config_.nextLanguage(c); };
    std::vector<std::wstring> all = pass(languages);
    ASSERT_EQ(all.size(), 13u) << "without lang elements every help language is offered";
    EXPECT_EQ(all.front(), L"en_us");
    EXPECT_EQ(all.back(), L"tu");
    EXPECT_EQ(pass(languages), all);
}

TEST_F(LookupTest, ConfigurationMayListItsOwnLanguages) {
    load(R"(<langs><lang code="EN_US"/><lang code=""/><lang code="pt_br"/></langs>)");
    auto languages = [this](std::wstring& c) { return config_.nextLanguage(c); };
    EXPECT_EQ(pass(languages), (std::vector<std::wstring>{L"EN_US", L"pt_br"}));
}

// Keys are ordered by UTF-16 code units: a character beyond the BMP (a surrogate pair starting
// at 0xD800) sorts before U+FFFD.
TEST(Utf16Order, SupplementaryCharactersSortBeforeHighBmp) {
    Utf16Less less;
    EXPECT_TRUE(less(L"\U00010000", L"\uFFFD"));
    EXPECT_FALSE(less(L"\uFFFD", L"\U00010000"));
    EXPECT_TRUE(less(L"\uD7FF", L"\U00010000"));
    EXPECT_TRUE(less(L"A", L"AB"));
    EXPECT_TRUE(less(L"M1", L"M2"));
}

}  // namespace
}  // namespace plugshift
