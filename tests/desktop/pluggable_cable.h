#pragma once

#include <cstdint>

#include "forwarding_d2xx.h"
#include "sim/sim_d2xx.h"

namespace plugshift::test {

// A cable that can be pulled out and plugged in again whatever the radio is doing.
class PluggableCable : public ForwardingD2xx {
public:
    explicit PluggableCable(SimD2xx& sim) : ForwardingD2xx(sim) {}
    bool plugged = true;

    FT_STATUS FT_ListDevices(void* arg1, void* arg2, uint32_t flags) override {
        if (!plugged && flags == FT_LIST_NUMBER_ONLY && arg1 != nullptr) {
            *static_cast<uint32_t*>(arg1) = 0;
            return FT_OK;
        }
        return plugged ? ForwardingD2xx::FT_ListDevices(arg1, arg2, flags) : FT_DEVICE_NOT_FOUND;
    }
    FT_STATUS FT_Open(int index, FT_HANDLE* handle) override {
        return plugged ? ForwardingD2xx::FT_Open(index, handle) : FT_DEVICE_NOT_FOUND;
    }
};

}  // namespace plugshift::test
