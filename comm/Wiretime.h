// How long bytes take on the serial line: a start bit, 8 data bits, a parity
// bit unless the parity is N, and one stop bit, at the line's baud rate.
// A write returns once the driver has taken the bytes; a USB adapter or a
// pseudo-terminal may still need this long to carry them, and every wait for
// an answer, a drain or a quiet line has to allow for it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

// Bits one byte takes on the line: 11 for parity E, O, M and S, 10 for N.
int BitsPerByte(char parity);
// The wire time of count bytes; zero for a rate that is not positive.
std::chrono::microseconds WireTime(size_t count, int32_t baudRate, char parity);
// The same in whole milliseconds, rounded up.
int WireTimeMs(size_t count, int32_t baudRate, char parity);
