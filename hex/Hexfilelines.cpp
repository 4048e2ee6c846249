#include "hex/Hexfilelines.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "hex/Hexfile.h"

// Windows opens files in text mode unless told otherwise, and has no
// close-on-exec flag (its descriptors are not inherited by default).
#ifndef O_BINARY
#define O_BINARY 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif

namespace {

HexFileError ReadError(const std::string& fileName, int error) {
  return HexFileError("Could not read HEX file \"" + fileName + "\": " + std::generic_category().message(error));
}

HexFileError TooLarge(const std::string& fileName) {
  return HexFileError("Could not read HEX file \"" + fileName +
                      "\": it is larger than 64 MiB, far more than any firmware image of this tool needs; "
                      "choose the firmware's HEX file");
}

class OpenFile {
 public:
  explicit OpenFile(const std::string& fileName) : Fd(::open(fileName.c_str(), O_RDONLY | O_BINARY | O_CLOEXEC)) {
    if (Fd < 0) {
      // Windows refuses to open a folder at all ("permission denied"); say
      // what it is, as on Linux.
      const int error = errno;
      std::error_code ec;
      throw ReadError(fileName, std::filesystem::is_directory(fileName, ec) ? EISDIR : error);
    }
  }
  ~OpenFile() { ::close(Fd); }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  int Fd;
};

std::string_view WithoutCr(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

std::unique_ptr<std::vector<std::string>> ReadHexFileLines(const std::string& fileName) {
  auto lines = std::make_unique<std::vector<std::string>>();
  struct stat st {};
  // Records of 16 data bytes take 45 characters a line. Room beyond what is
  // used costs address space only, never touched memory.
  if (::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= MaxHexFileBytes)
    lines->reserve(static_cast<size_t>(st.st_size) / 24 + 16);
  ForEachHexFileLine(fileName, [&lines](std::string_view line) { lines->emplace_back(line); });
  return lines;
}

void ForEachHexFileLine(const std::string& fileName, const std::function<void(std::string_view)>& onLine) {
  OpenFile file(fileName);
  struct stat st {};
  if (::fstat(file.Fd, &st) != 0) throw ReadError(fileName, errno);
  if (S_ISDIR(st.st_mode)) throw ReadError(fileName, EISDIR);
  if (S_ISREG(st.st_mode) && st.st_size > MaxHexFileBytes) throw TooLarge(fileName);

  // The file goes through one small buffer, each line handed over straight
  // from it; a whole-file buffer would cost as much memory again as the
  // lines themselves.
  constexpr size_t ChunkSize = 64 * 1024;
  const auto chunk = std::make_unique_for_overwrite<char[]>(ChunkSize);
  std::string cut;  // the start of a line that the end of a chunk cut off
  long long total = 0;  // counted as read: a device or a growing file has no size to check first
  for (;;) {
    const ssize_t got = ::read(file.Fd, chunk.get(), ChunkSize);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw ReadError(fileName, errno);
    }
    if (got == 0) break;
    total += got;
    if (total > MaxHexFileBytes) throw TooLarge(fileName);
    const char* p = chunk.get();
    const char* const end = p + got;
    while (p < end) {
      const char* eol = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      if (!eol) {
        cut.append(p, end);
        break;
      }
      if (cut.empty()) {
        onLine(WithoutCr(std::string_view(p, static_cast<size_t>(eol - p))));
      } else {
        cut.append(p, eol);
        onLine(WithoutCr(cut));
        cut.clear();
      }
      p = eol + 1;
    }
  }
  if (!cut.empty()) onLine(WithoutCr(cut));
}
