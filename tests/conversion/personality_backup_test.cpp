#include "conversion/personality_backup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "formats/md5.h"
#include "sim_rig.h"

namespace plugshift::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::UnorderedElementsAre;
using ::testing::UnorderedElementsAreArray;

// 2026-12-10 03:53:25.123 UTC.
constexpr int64_t kMadeAt = 1796874805123;

Bytes contact(uint8_t group, uint8_t id) {
    Bytes data(32, id);
    data[Personality::kGroupByte] = group;
    return data;
}

PersonalityBackup sampleBackup(int64_t madeAt = kMadeAt, const std::string& serial = "752TRX4F21") {
    PersonalityBackup backup;
    backup.model = {'R', 'Q', 'X', 7, 7, 0, 'H', 'J', 'N', 'W', 'A'};
    backup.serial.assign(serial.begin(), serial.end());
    backup.codeplugVersion = {'R', 1, 3, 0};
    backup.createdAtMs = madeAt;
    Bytes dyn(0x800);
    for (size_t i = 0; i < dyn.size(); ++i) {
        dyn[i] = static_cast<uint8_t>(i * 13);
    }
    backup.personality.blocks.push_back({0, 0x820000, dyn});
    for (uint8_t id = 1; id <= 9; ++id) {
        backup.personality.addContact(contact(static_cast<uint8_t>(1 + id % 4), id));
    }
    // The owner's contacts that name none of the four groups: too short to name one, group 0,
    // group 9. The file ends with the last of them.
    backup.personality.addContact(Bytes{1, 2, 3, 4, 5});
    backup.personality.addContact(contact(0, 10));
    backup.personality.addContact(contact(9, 11));
    return backup;
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// After a change inside the body, a digest that matches again, so the structure checks speak.
void redigest(Bytes& file) {
    constexpr size_t kDigestAt = 12;
    const Md5::Digest digest = Md5::of(std::span(file).subspan(kDigestAt + 16));
    std::copy(digest.begin(), digest.end(), file.begin() + kDigestAt);
}

class PersonalityBackupTest : public ::testing::Test {
protected:
    void SetUp() override { ErrorChain::remove(0); }
    void TearDown() override { ErrorChain::remove(0); }

    std::vector<std::string> fileNames() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    TempFolder folder;
};

TEST_F(PersonalityBackupTest, SavedFileLoadsBackAsWritten) {
    const PersonalityBackup backup = sampleBackup();
    std::filesystem::path written;
    ASSERT_TRUE(backup.save(folder.path() / "backup", written));
    EXPECT_EQ(written.filename(), "RQX770HJNWA_752TRX4F21_20261210-035325-123.pbk");

    PersonalityBackup loaded;
    ASSERT_TRUE(PersonalityBackup::load(written, loaded));
    EXPECT_EQ(loaded.model, backup.model);
    EXPECT_EQ(loaded.serial, backup.serial);
    EXPECT_EQ(loaded.codeplugVersion, backup.codeplugVersion);
    EXPECT_EQ(loaded.createdAtMs, backup.createdAtMs);
    EXPECT_EQ(loaded.personality, backup.personality);
    EXPECT_TRUE(ErrorChain::records().empty());
    // Nothing half-written is left beside it.
    EXPECT_THAT(fileNames(), UnorderedElementsAre("backup"));
}

TEST_F(PersonalityBackupTest, DamageIsDetected) {
    struct Case {
        const char* name;
        std::function<void(Bytes&)> damage;
        const wchar_t* reason;
    };
    const Case cases[] = {
        {"empty", [](Bytes& f) { f.clear(); }, L"no personality backup"},
        {"other magic", [](Bytes& f) { f[0] = 'X'; }, L"no personality backup"},
        {"newer format", [](Bytes& f) { f[8] = 2; }, L"format version 2 is not known"},
        {"body byte flipped", [](Bytes& f) { f[100] ^= 0x04; }, L"digest does not match"},
        {"last byte cut", [](Bytes& f) { f.pop_back(); }, L"digest does not match"},
        {"cut and digested",
         [](Bytes& f) {
             f.pop_back();
             redigest(f);
         },
         L"ends early"},
        {"trailing byte",
         [](Bytes& f) {
             f.push_back(0);
             redigest(f);
         },
         L"bytes after its end"},
        // The first block's kind, after created (8), model (1 + 11), serial (1 + 10), version (4)
        // and the block count (1).
        {"block of another kind",
         [](Bytes& f) {
             f[28 + 8 + 12 + 11 + 4 + 1] = 2;
             redigest(f);
         },
         L"block 1 is no DYN block"},
        // The last contact: filed under no group (0), its group byte 9.
        {"contact of no group naming one",
         [](Bytes& f) {
             f[f.size() - 32 + Personality::kGroupByte] = 3;
             redigest(f);
         },
         L"contact 12 is not filed under the group its bytes name"},
        {"contact of no group filed under one",
         [](Bytes& f) {
             f[f.size() - 32 - 2 - 1] = 2;
             redigest(f);
         },
         L"contact 12 is not filed under the group its bytes name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ErrorChain::remove(0);
        Bytes file = sampleBackup().encode();
        c.damage(file);
        const auto path = folder.path() / "damaged.pbk";
        writeFile(path, file);

        PersonalityBackup loaded;
        EXPECT_FALSE(PersonalityBackup::load(path, loaded));
        EXPECT_TRUE(loaded.personality.empty());
        const auto records = ErrorChain::records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].category, 1);
        EXPECT_THAT(records[0].message, HasSubstr(L"[" + path.wstring() + L"] is damaged: "));
        EXPECT_THAT(records[0].message, HasSubstr(c.reason));
    }
}

// A file laid out by hand as the format has always been: contacts of groups 1 to 4 load as
// before, and group 0 holds those that name none.
TEST_F(PersonalityBackupTest, AFileOfTheFirstFormatLoads) {
    Bytes file = {'K', 'M', 'V', 'P', 'E', 'R', 'S', 0x1A, 1, 0, 0, 0};
    file.resize(28);  // the digest, filled in below
    // clang-format off
    const Bytes body = {
        0x83, 0x9F, 0x15, 0x5E, 0xA2, 0x01, 0x00, 0x00,  // kMadeAt, little-endian
        2, 'A', '7',                                      // model
        3, '1', '2', '3',                                 // serial
        'R', 1, 3, 0,                                     // codeplug version
        0,                                                // no blocks
        2, 0,                                             // two contacts
        2, 8, 0, 9, 9, 9, 9, 9, 9, 9, 2,                  // group 2, 8 bytes
        0, 3, 0, 7, 7, 7,                                 // no group, 3 bytes
    };
    // clang-format on
    file.insert(file.end(), body.begin(), body.end());
    redigest(file);
    const auto path = folder.path() / "first.pbk";
    writeFile(path, file);

    PersonalityBackup loaded;
    ASSERT_TRUE(PersonalityBackup::load(path, loaded)) << toUtf8(ErrorChain::text());
    EXPECT_EQ(loaded.createdAtMs, kMadeAt);
    EXPECT_EQ(loaded.serial, Bytes({'1', '2', '3'}));
    EXPECT_THAT(loaded.personality.group(2), ElementsAre(Bytes{9, 9, 9, 9, 9, 9, 9, 2}));
    EXPECT_THAT(loaded.personality.ungrouped, ElementsAre(Bytes{7, 7, 7}));
    EXPECT_EQ(loaded.personality.contactCount(), 2u);
    // And it is written the same way again.
    EXPECT_EQ(loaded.encode(), file);
}

TEST_F(PersonalityBackupTest, AMissingFileIsAReadFailure) {
    PersonalityBackup loaded;
    EXPECT_FALSE(PersonalityBackup::load(folder.path() / "none.pbk", loaded));
    ASSERT_EQ(ErrorChain::records().size(), 1u);
    EXPECT_THAT(ErrorChain::records()[0].message,
                HasSubstr(L"Error:failed to read the personality backup ["));
}

// Saving never removes anything: until the conversion has succeeded, the older backups may be
// all the owner has. Pruning then keeps the newest of the radio's backups by stamp, and always
// the one the conversion used, whatever its stamp says.
TEST_F(PersonalityBackupTest, PruningKeepsTheNewestAndAlwaysTheCurrentBackup) {
    struct Case {
        const char* name;
        int64_t currentAt;  // from kMadeAt; the others are made at 0 to 6 s
        std::string currentSerial;
        std::vector<std::string> remaining;  // of the seven others
    };
    const Case cases[] = {
        {"current is the newest",
         9000,
         "752TRX4F21",
         {"035330-123", "035330-123-2", "035329-123", "035328-123"}},
        // The clock was set back, or the others came from another PC.
        {"others carry later stamps",
         -60000,
         "752TRX4F21",
         {"035330-123", "035330-123-2", "035329-123", "035328-123"}},
        {"unknown serial number",
         9000,
         "",
         {"035330-123", "035330-123-2", "035329-123", "035328-123", "035327-123", "035326-123",
          "035325-123"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder backups;
        writeFile(backups.path() / "notes.txt", {1, 2, 3});
        writeFile(backups.path() / "RQX770HJNWA_752TRX4F21_yesterday.pbk", {1});
        std::filesystem::path written;
        ASSERT_TRUE(sampleBackup(kMadeAt, "481KLM2N07").save(backups.path(), written));
        // Seven of one radio, two of them in the same millisecond.
        for (int64_t at : {0, 1000, 2000, 3000, 4000, 5000, 5000}) {
            ASSERT_TRUE(sampleBackup(kMadeAt + at, c.currentSerial).save(backups.path(), written));
        }
        std::filesystem::path current;
        ASSERT_TRUE(
            sampleBackup(kMadeAt + c.currentAt, c.currentSerial).save(backups.path(), current));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(backups.path()),
                                std::filesystem::directory_iterator()),
                  11);

        PersonalityBackup::prune(current, 5);
        const std::string radio =
            "RQX770HJNWA_" + (c.currentSerial.empty() ? "unknown" : c.currentSerial);
        std::vector<std::string> expected = {"notes.txt", "RQX770HJNWA_752TRX4F21_yesterday.pbk",
                                             "RQX770HJNWA_481KLM2N07_20261210-035325-123.pbk",
                                             current.filename().string()};
        for (const std::string& stamp : c.remaining) {
            expected.push_back(radio + "_20261210-" + stamp + ".pbk");
        }
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(backups.path())) {
            names.push_back(entry.path().filename().string());
        }
        EXPECT_THAT(names, UnorderedElementsAreArray(expected));
    }
}

TEST_F(PersonalityBackupTest, AFolderThatCannotBeMadeFailsTheSave) {
    writeFile(folder.path() / "occupied", {0});
    std::filesystem::path written;
    EXPECT_FALSE(sampleBackup().save(folder.path() / "occupied" / "backup", written));
    EXPECT_TRUE(written.empty());
    ASSERT_EQ(ErrorChain::records().size(), 1u);
    EXPECT_EQ(ErrorChain::records()[0].category, 1);
    EXPECT_THAT(ErrorChain::records()[0].message,
                HasSubstr(L"Error:failed to write the personality backup ["));
}

}  // namespace
}  // namespace plugshift::test
