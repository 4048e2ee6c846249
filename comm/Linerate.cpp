#include "comm/Linerate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool SetLineRate(int fd, uint32_t baudRate) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  // BOTHER: the rates are taken from the speed fields as they are.
  tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ispeed = baudRate;
  tio.c_ospeed = baudRate;
  return ioctl(fd, TCSETS2, &tio) == 0;
}

bool GetLineRate(int fd, uint32_t& baudRate) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  baudRate = tio.c_ospeed;
  return true;
}
