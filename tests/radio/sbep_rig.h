#pragma once

#include <array>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "errors/error_chain.h"
#include "fake_d2xx.h"
#include "radio/sbep.h"
#include "radio/usb_serial.h"

namespace plugshift::test {

using Bytes = std::vector<uint8_t>;
using Record = std::pair<int, std::wstring>;

// An SBEP engine on an open scripted cable. Every frame written is kept, and each is answered
// with the next scripted reply (bytes written out by hand; an empty reply or none is silence).
struct SbepRig {
    SbepRig() {
        ErrorChain::remove(0);
        port.open(0);
        d2xx.calls.clear();
        d2xx.onWrite = [this](FakeD2xx& fake, std::span<const uint8_t> bytes) {
            writes.emplace_back(bytes.begin(), bytes.end());
            if (!replies.empty()) {
                fake.queueRx(replies.front());
                replies.pop_front();
            }
        };
    }
    ~SbepRig() { ErrorChain::remove(0); }
    SbepRig(const SbepRig&) = delete;
    SbepRig& operator=(const SbepRig&) = delete;

    void answer(std::initializer_list<Bytes> scripted) {
        replies.insert(replies.end(), scripted.begin(), scripted.end());
    }

    static std::vector<Record> chain() {
        std::vector<Record> out;
        for (const ErrorRecord& r : ErrorChain::records()) {
            out.emplace_back(r.category, r.message);
        }
        return out;
    }

    FakeD2xx d2xx;
    USBSerial port{d2xx};
    SBEP engine{&port};
    std::deque<Bytes> replies;
    std::vector<Bytes> writes;
    std::array<uint8_t, sbep::kMaxReplyData> reply{};
    uint8_t lastOpc = 0xEE;
};

}  // namespace plugshift::test
