#pragma once

#include "tasks/event.h"

namespace plugshift {

// A unit of radio work that the Task runs on its worker thread.
class Command : public Event {
public:
    // Cleared by run when a step fails (or by the Task when run throws); the caller reads it once
    // the run has ended.
    bool ok = true;

    // true lets the Task go on to the next command.
    virtual bool run() = 0;
};

}  // namespace plugshift
