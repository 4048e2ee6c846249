#include "sim/Simrate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

int SimTerminalRate(int fd) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return 0;
  return static_cast<int>(tio.c_ospeed);
}
