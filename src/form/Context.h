// What every handler works on: the window state, the event loop, the port and the platform.
#pragma once

#include "form/Form1.h"
#include "form/Host.h"
#include "machine/Port.h"
#include "runtime/EventLoop.h"

namespace ostrel::form {

struct Context {
    Form1& form;
    runtime::EventLoop& loop;
    machine::Port& port;
    Host& host;
    // Grows at every Abort and Exit. A tick that lets events run compares it before and after,
    // so that a tick under way while Abort is handled starts no timer again.
    uint64_t abortGeneration = 0;
    // True once Exit has ended the program: nothing may write the port again.
    bool ended = false;

    void out(uint16_t address, uint8_t value) {
        if (!ended) port.out(address, value);
    }
    uint8_t inp(uint16_t address) { return port.inp(address); }
};

}  // namespace ostrel::form
