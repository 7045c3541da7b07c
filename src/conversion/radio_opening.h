#pragma once

#include "conversion/workflow_outcome.h"

namespace plugshift {

class RadioInfo;
class RadioManager;

// Asked while two or more programming cables are plugged in; each front end asks its own way.
class CableCountQuestion {
public:
    virtual ~CableCountQuestion() = default;
    // The user has been told to keep one of `count` cables (string 113): true to count again,
    // false to give up.
    virtual bool removeExtraCables(int count) = 0;
};

// The opening every radio workflow shares: the one-cable check, connect, the cable-mode probe and
// the identity read. A failure leaves the radio disconnected and says why in its outcome.
class RadioOpening {
public:
    // Which cable-mode probe runs, and the message of a cable in the wrong mode.
    enum class Probe {
        None,     // the serial-number update probes nothing
        Info,     // "Please toggle the USB cable to DIGITAL (Flash) mode."
        Convert,  // the same, telling the user to retry the conversion
    };
    // How much of the identity is read.
    enum class Identity {
        Full,          // every item; a failure fails the opening
        FullOrSerial,  // every item, else at least the serial number (identityComplete false)
        SerialOnly,    // the serial number alone, tolerantly: enough to recognise the radio
        None,          // nothing: the radio is taken as it is
    };
    // Where the opening stopped; Opened when it went through.
    enum class Step {
        Opened,
        NoCable,
        SeveralCables,
        NotConnected,
        CableWrongMode,
        CableUnsupported,
        IdentityUnread,
    };
    struct Result {
        Step step = Step::Opened;
        // The message of a failed step; none after Opened.
        WorkflowOutcome outcome;
        // Every identity item was read.
        bool identityComplete = false;

        bool opened() const { return step == Step::Opened; }
    };

    // A half-written radio may miss a reply now and then; its serial number is worth a few tries.
    static constexpr int kSerialReadAttempts = 3;

    // Without a question the cables are not counted (a console's test station knows its cable).
    RadioOpening(RadioManager& manager, CableCountQuestion* question)
        : manager_(manager), question_(question) {}

    Result open(Probe probe, Identity identity);

    // Counts the cables and, while two or more are plugged in, asks the question, counting again
    // after each yes; the last count. 0 without a question or a port.
    int checkOneCable();

private:
    bool probeCable(Probe probe, Result& result);
    bool readIdentity(Identity identity, Result& result);
    Result fail(Step step, int stringId, MessageIcon icon, std::wstring argument = {});

    RadioManager& manager_;
    CableCountQuestion* question_;
};

}  // namespace plugshift
