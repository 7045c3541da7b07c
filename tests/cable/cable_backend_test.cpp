#include "cable/cable_backend.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace plugshift {
namespace {

// Both windows take their cable from the same few words.
TEST(CableBackendTest, WindowArgumentsNameOneCableAtMost) {
    struct Case {
        std::vector<std::string> words;
        bool understood;
        bool simulate;
        std::string port;
    };
    const Case cases[] = {
        {{}, true, false, ""},
        {{"--simulate"}, true, true, ""},
        {{"--port", "/dev/ttyUSB1"}, true, false, "/dev/ttyUSB1"},
        {{"--port", "/tmp/datos ñandú/pty"}, true, false, "/tmp/datos ñandú/pty"},
        {{"--port"}, false, false, ""},
        {{"--simulate", "--port", "COM5"}, false, false, ""},
        {{"--port", "COM5", "--simulate"}, false, false, ""},
        {{"--port", "COM5", "--port", "COM6"}, false, false, ""},
        {{"--sim-fault", "drop:3"}, false, false, ""},
        {{"COM5"}, false, false, ""},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& word : c.words) {
            shown += word + " ";
        }
        SCOPED_TRACE(shown);
        BackendOptions options;
        options.simCable = "echo";
        ASSERT_EQ(BackendOptions::parseWindowArguments(c.words, options), c.understood);
        if (c.understood) {
            EXPECT_EQ(options.simulate, c.simulate);
            EXPECT_EQ(options.port, c.port);
            EXPECT_EQ(options.simCable, "digital");
        }
    }
}

}  // namespace
}  // namespace plugshift
