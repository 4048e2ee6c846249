// The rate the host set on its end of the pseudo-terminal, in bits per
// second, read through the kernel's second terminal settings record: it also
// holds rates without a speed constant (14400, 28800, ...), which the C
// library's settings record shows only as "other". A file of its own: the
// kernel's record clashes with <termios.h>.
#pragma once

// The output rate of the terminal behind fd; 0 when it cannot be read.
int SimTerminalRate(int fd);
