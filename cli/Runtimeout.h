// How long a download may take when no --timeout is given: three times the
// wire time of the bytes the run sends and receives, plus a minute for the
// device's own pauses (connects, erases, restarts). The byte counts follow
// the two download protocols block by block; a run that retries needs more,
// which the factor of three leaves room for.
#pragma once

#include <cstdint>

class HexFile;

// Bytes both ways of a K7310 run: per processor with data, every 256-byte
// block written, read back and read again in the verification pass, with the
// commands, addresses and acknowledgements around them, and the page erases.
int64_t K7310RunBytes(const HexFile& image);
// Bytes both ways of a TRX5170L run: the set-up frames, then every block of
// up to 64 bytes in its frame with its answer and a few busy polls.
int64_t Trx5170RunBytes(const HexFile& image);

// The whole run's time-out in seconds at the line's settings.
double RunTimeoutSeconds(int64_t bytes, int32_t baudRate, char parity);
