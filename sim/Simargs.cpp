#include "sim/Simargs.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>
#include <type_traits>

#include <CLI/CLI.hpp>

#include "sim/Argerror.h"

namespace {

bool ToInteger(const std::string& text, long long low, long long high, long long& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

// R or R:MAX, R a probability from 0 to 1 and MAX a count.
bool ToFault(const std::string& text, SimFaultSetting& setting) {
  std::string rate = text;
  std::string limit;
  size_t colon = text.find(':');
  if (colon != std::string::npos) {
    rate = text.substr(0, colon);
    limit = text.substr(colon + 1);
  }
  if (rate.empty()) return false;
  errno = 0;
  char* end = nullptr;
  double r = std::strtod(rate.c_str(), &end);
  if (errno != 0 || *end != '\0' || !(r >= 0.0 && r <= 1.0)) return false;
  long long max = -1;
  if (colon != std::string::npos && !ToInteger(limit, 0, 1'000'000'000, max)) return false;
  setting.Rate = r;
  setting.Limit = static_cast<int>(max);
  return true;
}

}  // namespace

std::string SimUsage() {
  return "Usage: qmss sim KIND [options]\n"
         "Simulates a device on a pseudo-terminal: prints \"PORT <path>\", serves until\n"
         "SIGINT or SIGTERM (or a disconnect fault), then writes what --dump asks for.\n"
         "KIND: k7310 | trx5170l | params | stream\n"
         "Common options:\n"
         "  --seed N                 seed of the fault streams and busy polls (default 1)\n"
         "  --nack R[:MAX]           NACK instead of ACK (k7310), rate R from 0 to 1, at most MAX times\n"
         "  --drop R[:MAX]           an answer is lost\n"
         "  --corrupt R[:MAX]        an answer's check byte is damaged (k7310: the ACK byte)\n"
         "  --bitflip R[:MAX]        one bit of read-back data flipped (k7310)\n"
         "  --noise R[:MAX]          noise bytes before an answer\n"
         "  --split R[:MAX]          an answer written in pieces with small pauses\n"
         "  --disconnect R[:MAX]     the line closes when a command arrives\n"
         "  --disconnect-after BYTES the line closes after BYTES bytes (both directions)\n"
         "  --pace                   no faster than the host's baud rate (10 or 11 bits a byte)\n"
         "  --parity N|E|O           parity to pace by (a pty does not show it)\n"
         "  --command-timeout-ms MS  give up a command whose bytes stop (default 500, 0 never)\n"
         "  --image FILE.bin         preload flash (k7310: the four parts back to back)\n"
         "  --dump DIR               write flash files, params.txt, sent.bin, summary.json\n"
         "k7310:     --awake  --route-fallback-ms MS (default 1500, 0 never)\n"
         "trx5170l:  --busy-polls N (default 2)  --session-timeout-ms MS (default 3000, 0 never)\n"
         "params:    --table FILE (lines number=value or number:value)\n"
         "stream:    --file FILE  --interval-ms MS (default 100)  --start-delay-ms MS\n"
         "           --repeat N (default 1, 0 for ever)  --eol crlf|lf  --long-line N\n"
         "  -h, --help               this text\n"
         "  --version                the product version\n";
}

bool ParseSimArguments(const std::vector<std::string>& args, SimArguments& out, std::string& error) {
  SimArguments parsed;
  SimOptions& o = parsed.Options;
  bool haveKind = false;

  using Setter = std::function<bool(const std::string&)>;
  auto integer = [](auto& field, long long low, long long high) {
    return Setter([&field, low, high](const std::string& v) {
      long long value;
      if (!ToInteger(v, low, high, value)) return false;
      field = static_cast<std::remove_reference_t<decltype(field)>>(value);
      return true;
    });
  };
  auto text = [](std::string& field) {
    return Setter([&field](const std::string& v) {
      field = v;
      return !v.empty();
    });
  };
  auto fault = [&o](SimFault f) {
    return Setter([&o, f](const std::string& v) { return ToFault(v, o.Fault(f)); });
  };
  constexpr long long kMaxMs = 24LL * 3600 * 1000;
  const std::map<std::string, Setter> withValue = {
      {"--seed", Setter([&o](const std::string& v) {
         char* end = nullptr;
         errno = 0;
         unsigned long long seed = std::strtoull(v.c_str(), &end, 10);
         if (v.empty() || v[0] == '-' || errno != 0 || *end != '\0') return false;
         o.Seed = seed;
         return true;
       })},
      {"--nack", fault(SimFault::Nack)},
      {"--drop", fault(SimFault::Drop)},
      {"--corrupt", fault(SimFault::Corrupt)},
      {"--bitflip", fault(SimFault::Bitflip)},
      {"--noise", fault(SimFault::Noise)},
      {"--split", fault(SimFault::Split)},
      {"--disconnect", fault(SimFault::Disconnect)},
      {"--disconnect-after", integer(o.DisconnectAfterBytes, 0, 1LL << 40)},
      {"--parity", Setter([&o](const std::string& v) {
         if (v != "N" && v != "E" && v != "O") return false;
         o.AssumedParity = v == "N" ? 0 : v[0];
         return true;
       })},
      {"--command-timeout-ms", integer(o.CommandTimeoutMs, 0, kMaxMs)},
      {"--route-fallback-ms", integer(o.RouteFallbackMs, 0, kMaxMs)},
      {"--image", text(o.ImageFile)},
      {"--busy-polls", integer(o.BusyPolls, 0, 1000)},
      {"--session-timeout-ms", integer(o.SessionTimeoutMs, 0, kMaxMs)},
      {"--table", text(o.TableFile)},
      {"--file", text(o.StreamFile)},
      {"--interval-ms", integer(o.IntervalMs, 0, kMaxMs)},
      {"--start-delay-ms", integer(o.StartDelayMs, 0, kMaxMs)},
      {"--repeat", integer(o.Repeat, 0, 1'000'000'000)},
      {"--eol", Setter([&o](const std::string& v) {
         if (v != "crlf" && v != "lf") return false;
         o.CrLf = v == "crlf";
         return true;
       })},
      {"--long-line", integer(o.LongLine, 0, 100'000'000)},
      {"--dump", text(parsed.DumpDir)},
  };
  const std::map<std::string, std::function<void()>> flags = {
      {"--pace", [&o] { o.Pace = true; }},
      {"--awake", [&o] { o.Awake = true; }},
  };

  // CLI11 reads the words; the setters above check and store the values.
  CLI::App app;
  app.set_help_flag();
  CLI::Option* help = app.add_flag("-h,--help")->disable_flag_override();
  CLI::Option* version = app.add_flag("--version")->disable_flag_override();
  std::map<std::string, CLI::Option*> given;
  for (const auto& [name, setter] : withValue)
    given[name] = app.add_option(name)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  for (const auto& [name, set] : flags) given[name] = app.add_flag(name)->disable_flag_override();
  std::vector<std::string> words;
  if (!ParseArguments(app, args, words, error)) return false;
  parsed.Help = help->count() > 0;
  parsed.Version = version->count() > 0;
  for (const std::string& word : words) {
    if (haveKind) {
      error = "unexpected argument \"" + word + "\"";
      return false;
    }
    if (!ParseSimKind(word, parsed.Kind)) {
      error = "unknown kind \"" + word + "\" (k7310, trx5170l, params or stream)";
      return false;
    }
    haveKind = true;
  }
  for (const auto& [name, option] : given) {
    if (option->count() == 0) continue;
    if (option->count() > 1) {
      error = "option " + name + " given more than once";
      return false;
    }
    if (auto flag = flags.find(name); flag != flags.end()) {
      flag->second();
      continue;
    }
    const std::string value = option->results().front();
    if (!withValue.at(name)(value)) {
      error = "bad value \"" + value + "\" for " + name;
      return false;
    }
  }
  if (!haveKind && !parsed.Help && !parsed.Version) {
    error = "no KIND given";
    return false;
  }
  out = parsed;
  return true;
}
