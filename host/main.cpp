// The sonter2 command: a table of subcommands over the engine.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "host/commands.h"

namespace sonter2::host {
namespace {

struct Subcommand {
  std::string_view name;
  std::string_view usage;
  int (*run)(Arguments args);
};

constexpr Subcommand kSubcommands[] = {
    {"phonemes", "phonemes [--tagged] [--dict FILE] [--] TEXT   print the phonetic stream as hex bytes",
     RunPhonemes},
    {"words", "words [--tagged] [--dict FILE] [--] TEXT      print the words each token expands to", RunWords},
    {"say", "say [OPTIONS] [--] [TEXT... | -f FILE | -]  speak Czech text (sonter2 say --help)", RunSay},
    {"modes", "modes                                       list the voice modes", RunModes},
};

void PrintUsage(std::FILE* out) {
  std::fprintf(out, "usage: sonter2 COMMAND [ARGS]\n\ncommands:\n");
  for (const auto& command : kSubcommands) {
    std::fprintf(out, "  %.*s\n", static_cast<int>(command.usage.size()), command.usage.data());
  }
  std::fprintf(out, "\n  --help     this text\n  --version  the engine's version\n");
}

int Main(std::vector<std::string_view> args) {
  if (args.empty()) {
    std::fprintf(stderr, "sonter2: missing command (try sonter2 --help)\n");
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintUsage(stdout);
    return 0;
  }
  if (args[0] == "--version") {
    std::printf("sonter2 %d.%d.%d.%d\n", SONTER2_VERSION_MAJOR, SONTER2_VERSION_MINOR, SONTER2_VERSION_PATCH,
                SONTER2_VERSION_TWEAK);
    return 0;
  }
  for (const auto& command : kSubcommands) {
    if (command.name == args[0]) return command.run(Arguments(args).subspan(1));
  }
  std::fprintf(stderr, "sonter2: unknown command \"%.*s\" (try sonter2 --help)\n", static_cast<int>(args[0].size()),
               args[0].data());
  return kExitUsage;
}

}  // namespace
}  // namespace sonter2::host

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  return sonter2::host::Main(std::move(args));
}
