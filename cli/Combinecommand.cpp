// qmss combine MAIN DISPLAY LCCOMM ETHERNET -o TOTAL: the total HEX file of
// the four part images, as the total hex file tool builds and saves it.
#include <cstdio>

#include "cli/Cliargs.h"
#include "cli/Commands.h"
#include "cli/Imageshapes.h"
#include "core/Modeltotalhex.h"
#include "core/Textfile.h"

namespace {

const char* const CombineUsage =
    "Usage: qmss combine MAIN DISPLAY LCCOMM ETHERNET -o|--out TOTAL [--force]\n"
    "  each part linked at 0x08000000; the total places them at 0x08000000, 0x08080000,\n"
    "  0x08090000 and 0x080A0000\n"
    "  --force     combine even when a part has records with wrong checksums or malformed fields\n"
    "  -h, --help  this text\n";

}  // namespace

int RunCombineCommand(const std::vector<std::string>& args) {
  TCliArgs parsed;
  std::string error;
  if (!parsed.Parse(args, {{"-o,--out", true}, {"--force", false}, {"-h,--help", false}}, error)) {
    std::fprintf(stderr, "qmss combine: %s\n%s", error.c_str(), CombineUsage);
    return ExitUsage;
  }
  if (parsed.Has("--help")) {
    std::fputs(CombineUsage, stdout);
    return ExitDone;
  }
  const std::string out = parsed.Value("--out");
  if (parsed.Positional().size() != 4 || out.empty()) {
    std::fprintf(stderr, "qmss combine: give four part files and -o TOTAL\n%s", CombineUsage);
    return ExitUsage;
  }

  TModelTotalHex total;
  bool recordProblems = false;
  for (int n = 1; n <= 4; ++n) {
    const std::string& fileName = parsed.Positional()[static_cast<size_t>(n - 1)];
    try {
      total.SetPart(n, TModelTotalHex::PreparePart(n, fileName));
    } catch (const HexFileError& e) {
      std::fprintf(stderr, "qmss combine: %s\n", e.what());
      return ExitUsage;
    }
    const HexLoadReport& report = total.Image(n).Report();
    std::fputs(LoadReportLines(report, std::string("qmss combine: ") + TModelTotalHex::PartName(n) +
                                           " file " + fileName + ": ")
                   .c_str(),
               stderr);
    recordProblems = recordProblems || report.HasRecordProblems();
  }
  if (recordProblems && !parsed.Has("--force")) {
    std::fprintf(stderr, "qmss combine: not combined; check the files, or give --force to combine them as read\n");
    return ExitLoadReport;
  }
  if (!total.Combine()) {
    std::fprintf(stderr, "qmss combine: %s\n",
                 total.Problem().empty() ? "combine refused" : total.Problem().c_str());
    return ExitUsage;
  }
  try {
    total.Save(out);
  } catch (const TextFileError& e) {
    std::fprintf(stderr, "qmss combine: %s\n", e.what());
    return ExitFailed;
  }
  const HexFile& image = total.Image(5);
  std::printf("%s: %zu lines, used length %d\n", out.c_str(), image.Lines() ? image.Lines()->size() : 0,
              image.UsedLength());
  return ExitDone;
}
