#include "radio/driver_doctor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "errors/error_chain.h"
#include "fake_d2xx.h"
#include "radio/cable_probe.h"

// What the drivers themselves say about the cable: which one lists it and how it takes the purge
// sent before each write, against the scripted fake.
namespace plugshift {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class NamedFake : public test::FakeD2xx {
public:
    std::string driverName() const override { return "FTDI's D2XX library (ftd2xx.dll)"; }
    std::string devicePath(int index) const override {
        return "serial number FT0" + std::to_string(index);
    }
};

std::vector<std::string> verdicts(const std::vector<DoctorCheck>& checks) {
    std::vector<std::string> out;
    for (const DoctorCheck& c : checks) {
        out.push_back(std::string(verdictName(c.verdict)) + " " + c.name);
    }
    return out;
}

TEST(DriverDoctor, NamesTheDriverAndItsAnswerToThePurgeBeforeEachWrite) {
    const std::vector<std::string> kOneCable = {"FT232R USB UART", "NV PGM Cable"};
    struct Case {
        const char* situation;
        std::vector<std::string> descriptions;
        void (*setUp)(test::FakeD2xx&);
        bool probe;
        std::vector<std::string> verdicts;
        std::string mentions;  // in the last check's device, detail and advice
    };
    const Case cases[] = {
        {"no cable",
         {"FT232R USB UART"},
         [](test::FakeD2xx&) {},
         true,
         {"FAIL cable"},
         "no driver lists a cable named \"NV PGM Cable\""},
        {"purge taken",
         kOneCable,
         [](test::FakeD2xx&) {},
         false,
         {"OK cable", "OK found-by", "OK purge"},
         "serial number FT01: the driver takes the purge sent before each write (mask 4)"},
        {"purge refused",
         kOneCable,
         [](test::FakeD2xx& d) { d.failNext("FT_Purge", FT_INVALID_PARAMETER); },
         false,
         {"OK cable", "OK found-by", "WARN purge"},
         "refuses the purge sent before each write (mask 4, which FTDI's guide does not define): "
         "FT_INVALID_PARAMETER -> nothing to mend"},
        {"purge failing",
         kOneCable,
         [](test::FakeD2xx& d) { d.failNext("FT_Purge", FT_IO_ERROR); },
         true,
         {"OK cable", "OK found-by", "WARN purge"},
         "FT_IO_ERROR -> unplug and replug"},
        {"cable held by another program",
         kOneCable,
         [](test::FakeD2xx& d) {
             d.failNext("FT_Open", FT_DEVICE_NOT_OPENED);
             d.openProblem = L"COM5 is in use by another program; close it and try again.";
         },
         true,
         {"OK cable", "OK found-by", "FAIL purge"},
         "cannot open it (FT_DEVICE_NOT_OPENED) -> COM5 is in use by another program"},
        // The probe goes on from a refused purge: the tool's writes do too.
        {"probe",
         {"NV PGM Cable", "NV PGM Cable"},
         [](test::FakeD2xx& d) { d.failNext("FT_Purge", FT_INVALID_PARAMETER); },
         true,
         {"WARN cable", "OK found-by", "WARN purge", "OK cable-mode", "FAIL identity"},
         "serial number FT00: no radio answered"},
    };
    const CableProbe probe;
    for (const Case& c : cases) {
        ErrorChain::remove(0);
        NamedFake cables;
        cables.descriptions = c.descriptions;
        c.setUp(cables);
        const std::vector<DoctorCheck> checks =
            DriverDoctor(cables, c.probe ? &probe : nullptr).examine();
        EXPECT_EQ(verdicts(checks), c.verdicts) << c.situation;
        ASSERT_FALSE(checks.empty());
        const DoctorCheck& last = checks.back();
        EXPECT_THAT(last.device + ": " + last.detail + " -> " + last.advice, HasSubstr(c.mentions))
            << c.situation;
        if (checks.size() > 1) {
            EXPECT_EQ(checks[1].detail, "FTDI's D2XX library (ftd2xx.dll) lists the cable");
        }
        EXPECT_FALSE(cables.isOpen()) << c.situation;
    }
    ErrorChain::remove(0);
}

TEST(DriverDoctor, FoundByOpensNothing) {
    NamedFake cables;
    EXPECT_EQ(DriverDoctor(cables).foundBy(), std::nullopt);
    cables.descriptions = {"NV PGM Cable"};
    const std::optional<DoctorCheck> line = DriverDoctor(cables).foundBy();
    ASSERT_TRUE(line);
    EXPECT_EQ(line->device, "serial number FT00");
    EXPECT_TRUE(cables.callsTo("FT_Open").empty());
    // A driver without a name of its own or a path still reads.
    test::FakeD2xx plain;
    plain.descriptions = {"NV PGM Cable"};
    EXPECT_EQ(DriverDoctor(plain).foundBy()->device + ": " + DriverDoctor(plain).foundBy()->detail,
              "cable 0: the cable driver lists the cable");
}

}  // namespace
}  // namespace plugshift
