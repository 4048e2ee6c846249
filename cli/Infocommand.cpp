// qmss info FILE [--image SHAPE] [--bin OUT]: what a HEX file holds once read
// into an image, and the image as a binary.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "cli/Cliargs.h"
#include "cli/Commands.h"
#include "cli/Imageshapes.h"
#include "cli/Jsonline.h"
#include "hex/Hexfile.h"

namespace {

const char* const InfoUsage =
    "Usage: qmss info FILE [--image k7310|trx5170l|main|part] [--bin OUT] [--json]\n"
    "  --image SHAPE  the image the file is read into (default k7310: 704 KiB at 0x08000000)\n"
    "  --bin OUT      write the image from its first cell to its last filled one, empty cells as 0xFF\n"
    "  --json         the same as one JSON object on stdout (the schema is in README)\n"
    "  -h, --help     this text\n"
    "Exit: 0 a clean file with data, 2 usage or unreadable file, 3 the load report shows problems\n"
    "or the image holds no data\n";

// Cells 0 to used length - 1, empty cells as 0xFF. Through one small buffer:
// fresh memory as large as the image costs more to touch than the copying.
bool WriteBinary(const HexFile& image, const std::string& fileName) {
  FILE* out = std::fopen(fileName.c_str(), "wb");
  if (!out) return false;
  const int32_t used = image.UsedLength();
  unsigned char chunk[64 * 1024];
  bool written = true;
  for (int32_t start = 0; start < used && written; start += static_cast<int32_t>(sizeof chunk)) {
    const int32_t n = std::min<int32_t>(used - start, static_cast<int32_t>(sizeof chunk));
    for (int32_t k = 0; k < n; ++k) {
      const int32_t v = image.ByteAt(start + k);  // below the base: a cell index
      chunk[k] = static_cast<unsigned char>(v < 0 ? 0xFF : v);
    }
    written = std::fwrite(chunk, 1, static_cast<size_t>(n), out) == static_cast<size_t>(n);
  }
  return std::fclose(out) == 0 && written;
}

}  // namespace

int RunInfoCommand(const std::vector<std::string>& args) {
  TCliArgs parsed;
  std::string error;
  if (!parsed.Parse(args, {{"--image", true}, {"--bin", true}, {"--json", false}, {"-h,--help", false}}, error)) {
    std::fprintf(stderr, "qmss info: %s\n%s", error.c_str(), InfoUsage);
    return ExitUsage;
  }
  if (parsed.Has("--help")) {
    std::fputs(InfoUsage, stdout);
    return ExitDone;
  }
  if (parsed.Positional().size() != 1) {
    std::fprintf(stderr, "qmss info: give one HEX file\n%s", InfoUsage);
    return ExitUsage;
  }
  const TImageShape* shape = FindImageShape(parsed.Value("--image", "k7310"));
  if (!shape) {
    std::fprintf(stderr, "qmss info: unknown image \"%s\" (%s)\n", parsed.Value("--image").c_str(),
                 ImageShapeNames().c_str());
    return ExitUsage;
  }

  const std::string& fileName = parsed.Positional()[0];
  auto image = std::make_unique<HexFile>(shape->Size, shape->Base);
  try {
    image->LoadWithoutLines(fileName);  // the lines are not shown here
  } catch (const HexFileError& e) {
    std::fprintf(stderr, "qmss info: %s\n", e.what());
    return ExitUsage;
  }
  const bool trx = shape->Base == 0x000E0000;
  // The TRX5170L download sends the image with its checksum stamped in, as
  // loading it for that operation does.
  if (trx) image->StampChecksum();

  const HexLoadReport& report = image->Report();
  const bool k7310 = std::string(shape->Name) == "k7310";
  if (!parsed.Has("--json")) {
    std::printf("file: %s\n", fileName.c_str());
    std::printf("image: %s, 0x%X cells at 0x%08X\n", shape->Name, static_cast<unsigned>(shape->Size),
                static_cast<unsigned>(shape->Base));
    std::printf("records: %d\n", report.RecordCount);
    std::printf("used length: %d\n", image->UsedLength());
    std::printf("filled bytes: %d\n", image->FilledCount());
    if (std::string(shape->Name) == "k7310") {
      for (int p = 0; p < K7310ProcessorCount; ++p) {
        const K7310Processor& range = K7310Processors[p];
        std::printf("used %s: %d (from 0x%08X)\n", range.Name, ProcessorUsedLength(*image, p),
                    static_cast<unsigned>(range.RangeStart));
      }
    }
    if (trx) std::printf("checksum: 0x%08X at 0x%05X\n", StampedChecksum(*image), static_cast<unsigned>(Trx5170ChecksumAddress));
    if (report.Clean()) {
      std::printf("load report: clean\n");
    } else {
      std::printf("load report:\n%s", LoadReportLines(report, "  ").c_str());
    }
  }
  std::fflush(stdout);

  // A script checks a file by the exit code alone: one that would not
  // download as it is does not pass.
  int code = ExitDone;
  if (parsed.Has("--bin") && !WriteBinary(*image, parsed.Value("--bin"))) {
    std::fprintf(stderr, "qmss info: could not write \"%s\"\n", parsed.Value("--bin").c_str());
    code = ExitFailed;
  } else if (image->FilledCount() == 0) {
    std::fprintf(stderr, "qmss info: %s holds no data for the %s image\n", fileName.c_str(), shape->Name);
    code = ExitLoadReport;
  } else if (!report.Clean()) {
    std::fprintf(stderr, "qmss info: %s: the load report shows problems\n", fileName.c_str());
    code = ExitLoadReport;
  }
  if (parsed.Has("--json")) {
    TJsonLine json("info");
    json.Text("file", fileName).Text("image", shape->Name).Integer("size", shape->Size).Integer("base", shape->Base)
        .Integer("records", report.RecordCount).Integer("used_length", image->UsedLength())
        .Integer("filled_bytes", image->FilledCount());
    if (k7310) {
      std::string parts = "[";
      for (int p = 0; p < K7310ProcessorCount; ++p)
        parts += std::string(p ? "," : "") + TJsonLine().Integer("index", p).Text("name", K7310Processors[p].Name)
                                                 .Integer("used", ProcessorUsedLength(*image, p))
                                                 .Integer("from", K7310Processors[p].RangeStart).Get();
      json.Raw("parts", parts + "]");
    }
    if (trx) json.Integer("checksum", StampedChecksum(*image));
    std::vector<std::string> problems;
    const std::string lines = LoadReportLines(report, "");
    for (size_t at = 0; at < lines.size();) {
      const size_t end = lines.find('\n', at);
      problems.push_back(lines.substr(at, end == std::string::npos ? std::string::npos : end - at));
      at = end == std::string::npos ? lines.size() : end + 1;
    }
    json.Bool("clean", report.Clean()).Texts("problems", problems).Bool("ok", code == ExitDone)
        .Integer("exit_code", code).Print();
  }
  return code;
}
