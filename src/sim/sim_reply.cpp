#include "sim/sim_reply.h"

#include "sim/sim_checksum.h"
#include "sim/sim_protocol.h"

namespace plugshift {

std::vector<uint8_t> SimReply::wire() const {
    std::vector<uint8_t> body;
    if (address) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            body.push_back(static_cast<uint8_t>(*address >> shift));
        }
    }
    body.insert(body.end(), data.begin(), data.end());

    const size_t following = body.size() + 1;  // body and checksum
    std::vector<uint8_t> out{simwire::kLeadIn};
    if (!longFrame && following <= static_cast<size_t>(simwire::kShortMaxCount)) {
        out.push_back(static_cast<uint8_t>(simwire::kShortStartHigh | following));
        out.push_back(opcode);
    } else {
        out.push_back(simwire::kLongStart);
        out.push_back(opcode);
        out.push_back(static_cast<uint8_t>(following >> 8));
        out.push_back(static_cast<uint8_t>(following));
    }
    out.insert(out.end(), body.begin(), body.end());
    out.push_back(simChecksum(std::span(out).subspan(1)));
    return out;
}

}  // namespace plugshift
