// The parallel port's register map: addresses, output words, coil tables and home-switch tests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace ostrel::machine {

class Port;

// Register addresses, in decimal as the rest of the program uses them.
inline constexpr uint16_t DATA_REG = 888;     // 0x378: coil words, X on bits 0-3, Y on bits 4-7
inline constexpr uint16_t STATUS_REG = 889;   // 0x379: home switches (read only)
inline constexpr uint16_t CONTROL_REG = 890;  // 0x37A: laser on the inverted strobe line

// Control words. They differ only in bit 0, the strobe line (pin 1), which the port drives
// inverted: bit 0 = 1 pulls pin 1 low, and the laser driver lights while pin 1 is low.
inline constexpr uint8_t LASER_ON = 203;   // 1100 1011
inline constexpr uint8_t LASER_OFF = 202;  // 1100 1010
inline constexpr uint8_t COILS_OFF = 0;    // both motors unpowered

// Rest state: all coils off, laser off.
inline constexpr uint8_t kRestData = COILS_OFF;
inline constexpr uint8_t kRestControl = LASER_OFF;

// Coil tables, indexed by the axis phase from 1 (entry [0] is phase 1).
//
//   X motor (unipolar, data bits 0-3 = coils a, b, c, d):
//
//     phase      1     2     3     4     5     6     7     8
//     HalfPlus   c+d   c     b+c   b     a+b   a     a+d   d      energised coil moves d -> a
//     HalfMinus  a+b   b     b+c   c     c+d   d     a+d   a      energised coil moves a -> d
//     WavePlus   d     c     b     a                              one coil, d -> a
//     WaveMinus  a     b     c     d                              one coil, a -> d
//
//   Y motor (bipolar through a dual bridge, data bits 4-7 = A+, A-, B+, B-):
//
//     phase      1       2     3       4     5       6     7       8
//     HalfPlus   A+B+    B+    A-B+    A-    A-B-    B-    A+B-    A+
//     HalfMinus  A-B-    A-    A-B+    B+    A+B+    A+    A+B-    B-
//     WavePlus   A+      B+    A-      B-                           one winding, same rotation
//
// Every word drives one axis only: an X word leaves every Y input off and a Y word every X coil.
inline constexpr std::array<uint8_t, 4> xWaveMinus{1, 2, 4, 8};
inline constexpr std::array<uint8_t, 4> xWavePlus{8, 4, 2, 1};
inline constexpr std::array<uint8_t, 8> xHalfPlus{12, 4, 6, 2, 3, 1, 9, 8};
inline constexpr std::array<uint8_t, 8> xHalfMinus{3, 2, 6, 4, 12, 8, 9, 1};
inline constexpr std::array<uint8_t, 8> yHalfPlus{80, 64, 96, 32, 160, 128, 144, 16};
inline constexpr std::array<uint8_t, 8> yHalfMinus{160, 32, 96, 64, 80, 16, 144, 128};
inline constexpr std::array<uint8_t, 4> yWavePlus{16, 64, 32, 128};

// Status bytes that mean something; every other byte matches neither home test.
//   254, 255: X closed, Y open      222, 223: both closed
//   126, 127: both open             94, 95:   X open, Y closed
inline constexpr std::array<uint8_t, 4> kXHomeReads{254, 255, 222, 223};
inline constexpr std::array<uint8_t, 4> kYHomeReads{94, 95, 222, 223};

// Advances a phase by one; a phase beyond the table's last entry continues at entry 1.
template <std::size_t N>
inline int16_t nextPhase(int16_t phase) {
    return (phase >= 0 && phase < static_cast<int16_t>(N)) ? static_cast<int16_t>(phase + 1) : 1;
}

// The four-read home tests: STATUS_REG is read four times in immediate succession and each
// read is compared with its own value only (first 254, second 255, third 222, fourth 223 for
// X). With a steady input the test is true exactly when the switch is closed.
bool xHomeTest(Port& port);
bool yHomeTest(Port& port);
// The same tests on four given reads (for the tests and for a simulated machine).
bool homeTestOf(const std::array<uint8_t, 4>& values, const std::array<int, 4>& reads);

// True when a data word energises coils of both motors, or both inputs of one Y bridge pair.
inline constexpr bool isWiringFault(uint8_t word) {
    const bool x = (word & 0x0F) != 0, y = (word & 0xF0) != 0;
    return (x && y) || (word & 0x30) == 0x30 || (word & 0xC0) == 0xC0;
}

}  // namespace ostrel::machine
