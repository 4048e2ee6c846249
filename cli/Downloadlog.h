// Which log file a download writes. One run writes "LOG.TXT" as the desktop
// app does (or --log FILE); a run to each of several ports writes its own,
// named after its port, and a single run whose "LOG.TXT" another run holds
// writes that one instead of running without a log.
#pragma once

#include <string>

// "COM7" -> "LOG-COM7.TXT"; a device path "/dev/serial/by-id/usb-X" ->
// "LOG-serial-by-id-usb-X.TXT" (the path below /dev/ with "-" for "/").
std::string PortLogFileName(const std::string& port);
