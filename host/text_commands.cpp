// sonter2 phonemes and sonter2 words: how the engine reads a text, without
// sound. The text is converted from UTF-8 as the engine's Unicode text call
// converts it, and the dictionaries load as at engine creation unless --dict
// names the only one to use.
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "host/commands.h"
#include "platform/codepage.h"
#include "platform/system.h"
#include "pron/dictionary_loading.h"
#include "synth/phonetic_stream.h"
#include "text/converter.h"

namespace sonter2::host {
namespace {

struct TextOptions {
  bool tagged = false;
  std::optional<std::string> dictionary;
  std::string text;  // UTF-8, the remaining arguments joined by blanks
};

bool Fail(std::string_view command, const std::string& message) {
  std::fprintf(stderr, "sonter2 %.*s: %s\n", static_cast<int>(command.size()), command.data(), message.c_str());
  return false;
}

bool ParseTextOptions(std::string_view command, Arguments args, TextOptions& options, bool& help) {
  size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg == "--help" || arg == "-h") {
      help = true;
      return true;
    }
    if (arg == "--tagged") {
      options.tagged = true;
    } else if (arg == "--dict") {
      if (++i == args.size()) return Fail(command, "--dict needs a file");
      options.dictionary = std::string(args[i]);
    } else if (arg.starts_with("-") && arg.size() > 1) {
      return Fail(command, "unknown option " + std::string(arg));
    } else {
      break;
    }
  }
  if (i == args.size()) return Fail(command, "missing text");
  for (; i < args.size(); ++i) {
    if (!options.text.empty()) options.text += ' ';
    options.text += args[i];
  }
  return true;
}

// default.dct lies beside the engine's library. This program carries the
// engine linked in, so the library is the one installed beside it:
// <prefix>/bin/sonter2 and <prefix>/lib/libsonter2.so.
std::string InstalledDefaultDictionary() {
  const std::string program = platform::libraryPath();
  const size_t slash = program.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : program.substr(0, slash);
  return directory + "/../lib/default.dct";
}

// Loads the dictionaries into the stream and installs the text.
bool Prepare(std::string_view command, const TextOptions& options, PhoneticStream& stream) {
  if (options.dictionary) {
    auto& dictionary = stream.dictionary();
    dictionary.Reset();
    const bool loaded = dictionary.LoadFile(*options.dictionary);
    dictionary.Build();
    if (!loaded) return Fail(command, "cannot read dictionary " + *options.dictionary);
  } else {
    uint32_t dictionaryId = 0;
    LoadEngineDictionaries(stream, dictionaryId, InstalledDefaultDictionary());
  }
  std::string text = platform::Utf8ToCp1250(options.text, platform::kUnconvertible);
  if (text.empty() && !options.text.empty()) return Fail(command, "the text is not valid UTF-8");
  stream.begin(std::move(text), options.tagged);
  return true;
}

void PrintTextUsage(std::string_view command) {
  std::printf(
      "usage: sonter2 %.*s [--tagged] [--dict FILE] [--] TEXT\n"
      "  --tagged     recognise control tags (\\pau=300\\ ...) in TEXT\n"
      "  --dict FILE  use only this dictionary (/dev/null: none); otherwise the\n"
      "               default dictionary and the registry's load as in the engine\n",
      static_cast<int>(command.size()), command.data());
}

template <typename Body>
int RunTextCommand(std::string_view command, Arguments args, Body&& body) {
  TextOptions options;
  bool help = false;
  if (!ParseTextOptions(command, args, options, help)) return kExitUsage;
  if (help) {
    PrintTextUsage(command);
    return 0;
  }
  PhoneticStream stream;
  if (!Prepare(command, options, stream)) return kExitFailure;
  std::lock_guard<std::recursive_mutex> guard(stream.lock());
  body(stream);
  return 0;
}

}  // namespace

int RunPhonemes(Arguments args) {
  return RunTextCommand("phonemes", args, [](PhoneticStream& stream) {
    // Clause after clause, the first as an utterance start converts it.
    stream.startFlag = true;
    while (stream.sourceCursor < stream.sourceText.size()) {
      const size_t before = stream.sourceCursor;
      stream.ConvertNextClause();
      if (stream.sourceCursor == before) break;
    }
    std::string line;
    char hex[4];
    for (char c : stream.phoneticBytes()) {
      std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(static_cast<uint8_t>(c)));
      if (!line.empty()) line += ' ';
      line += hex;
    }
    std::printf("%s\n", line.c_str());
  });
}

int RunWords(Arguments args) {
  return RunTextCommand("words", args, [](PhoneticStream& stream) {
    stream.startFlag = true;
    ConverterState state{stream.sourceText, stream.sourceCursor, stream.converterFlag, stream.startFlag,
                         stream.spellMode,  stream.speakerTag,   stream.dictionary()};
    while (stream.sourceCursor < stream.sourceText.size()) {
      const size_t before = stream.sourceCursor;
      for (const ClauseToken& token : ExpandNextClause(state)) {
        if (!IsTagToken(token)) std::printf("%s\n", platform::Cp1250ToUtf8(token.text).c_str());
      }
      stream.startFlag = false;
      if (stream.sourceCursor == before) break;
    }
  });
}

}  // namespace sonter2::host
