// What every handler works on: the window state, the event loop, the port and the platform.
#pragma once

#include <functional>
#include <string>

#include "form/Form1.h"
#include "form/Host.h"
#include "machine/Port.h"
#include "machine/Registers.h"
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
    // What the data register holds, and the last word that drove each motor: a rotor stays at
    // the angle of its last word, so pausing and resuming a job can hold and find it again.
    uint8_t data = 0, lastXWord = 0, lastYWord = 0, lastCoilWord = 0;
    // Set only while a door or emergency-stop interlock is configured: reads the switch and
    // says why an action that would light the laser or move the head is refused now ("" while
    // it is closed). Without one nothing is read.
    std::function<std::string()> interlock{};

    void out(uint16_t address, uint8_t value) {
        if (ended) return;
        port.out(address, value);
        if (address == machine::DATA_REG) {
            data = value;
            if (machine::isWiringFault(value)) return;
            if ((value & 0x0F) != 0) lastXWord = value;
            if ((value & 0xF0) != 0) lastYWord = value;
            if (value != 0) lastCoilWord = value;
        }
    }
    uint8_t inp(uint16_t address) { return port.inp(address); }
    std::string interlockRefusal() { return interlock ? interlock() : std::string(); }
};

}  // namespace ostrel::form
