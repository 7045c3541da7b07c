#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "fake_d2xx.h"

namespace plugshift::test {

using Bytes = std::vector<uint8_t>;

// A radio behind the scripted cable that answers the identity requests: each radio item and the
// softpot read with the data set here (no entry: silence), the cable-mode probe with probeAnswer.
// Replies are framed by hand here, not by the host's code.
class ScriptedRadio {
public:
    static constexpr uint8_t kItemReplyOpcode = 0xA3;
    static constexpr uint8_t kSoftpotReadReply = 0x8A;

    explicit ScriptedRadio(FakeD2xx& cable) {
        cable.onWrite = [this](FakeD2xx& fake, std::span<const uint8_t> frame) {
            requests.emplace_back(frame.begin(), frame.end());
            answer(fake, frame);
        };
    }

    // An item's reply data: two bytes before the value, as the radio sends them.
    static Bytes itemData(uint8_t item, const Bytes& value) {
        Bytes data{item, 0x00};
        data.insert(data.end(), value.begin(), value.end());
        return data;
    }

    // Lead-in and a short frame (a long one when the data does not fit), with its checksum.
    static Bytes reply(uint8_t opcode, const Bytes& data) {
        const size_t follow = data.size() + 1;
        Bytes out{0x50};
        if (follow < 15) {  // F followed by 15 would read as the long start FF
            out.push_back(static_cast<uint8_t>(0xF0 | follow));
            out.push_back(opcode);
        } else {
            out.insert(out.end(), {0xFF, opcode, static_cast<uint8_t>(follow >> 8),
                                   static_cast<uint8_t>(follow)});
        }
        out.insert(out.end(), data.begin(), data.end());
        uint8_t sum = 0;
        for (size_t i = 1; i < out.size(); ++i) {
            sum = static_cast<uint8_t>(sum + out[i]);
        }
        out.push_back(static_cast<uint8_t>(0xFF - sum));
        return out;
    }

    // The item numbers and softpot reads (as 0x31) requested, in order, probes left out.
    std::vector<int> identityRequests() const {
        std::vector<int> out;
        for (const Bytes& r : requests) {
            if (r.size() == 4 && r[0] == 0xF2 && r[1] == 0x23) {
                out.push_back(r[2]);
            } else if (r.size() == 8 && r[1] == 0x20) {
                out.push_back(r[4]);
            }
        }
        return out;
    }

    // Reply data by item number; the softpot read under kSoftpot.
    static constexpr int kSoftpot = 0x31;
    std::map<int, Bytes> data;
    // What the cable gives back to the probe; nothing is the digital mode.
    Bytes probeAnswer;
    std::vector<Bytes> requests;

private:
    void answer(FakeD2xx& fake, std::span<const uint8_t> frame) {
        std::optional<int> key;
        uint8_t opcode = kItemReplyOpcode;
        if (frame.size() == 4 && frame[0] == 0xF2 && frame[1] == 0x23) {
            key = frame[2];
        } else if (frame.size() == 8 && frame[0] == 0xFF && frame[1] == 0x20) {
            key = kSoftpot;
            opcode = kSoftpotReadReply;
        }
        if (frame.size() == 3 && frame[0] == 0xF1 && frame[1] == 0x40) {
            fake.queueRx(probeAnswer);
            return;
        }
        if (!key || !data.contains(*key)) {
            return;
        }
        fake.queueRx(reply(opcode, data.at(*key)));
    }
};

}  // namespace plugshift::test
