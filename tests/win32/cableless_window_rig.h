#pragma once

#include "config/configuration.h"
#include "sim/sim_d2xx.h"
#include "tasks/radio_manager.h"
#include "tasks/task.h"
#include "win32/event_window.h"

namespace plugshift::test {

// What a main window runs on, over a simulated cable with no radio plugged in: the task engine
// and the radio manager bound to their message windows, and an empty configuration.
struct CablelessWindowRig {
    CablelessWindowRig()
        : driver(noCables()), manager(driver), taskWindow(task), managerWindow(manager) {}

    bool bind() { return taskWindow.bind() && managerWindow.bind(); }

    static SimD2xx::Options noCables() {
        SimD2xx::Options options;
        options.cables = 0;
        return options;
    }

    SimD2xx driver;
    Task task;
    RadioManager manager;
    EventWindow taskWindow;
    EventWindow managerWindow;
    Configuration configuration;
};

}  // namespace plugshift::test
