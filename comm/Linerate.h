// The line rate in bits per second, set and read through the kernel's second
// terminal settings record, which holds any rate and not only the fixed speed
// constants (14400, 28800, 56000, 128000 and 256000 have none). A file of its
// own: the kernel's record clashes with the C library's <termios.h>.
#pragma once

#include <cstdint>

// Sets input and output rate; every other setting stays. False when the
// driver refuses the call.
bool SetLineRate(int fd, uint32_t baudRate);
// The output rate the driver holds now (it may round a rate it cannot make).
bool GetLineRate(int fd, uint32_t& baudRate);
