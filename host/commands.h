// The subcommands of the sonter2 command. Each takes the arguments after its
// name and returns the process's exit status; main.cpp lists them in its
// table, so adding a subcommand is a new function and one table row.
#pragma once

#include <span>
#include <string_view>

namespace sonter2::host {

using Arguments = std::span<const std::string_view>;

// sonter2 phonemes [--tagged] [--dict FILE] [--] TEXT
int RunPhonemes(Arguments args);
// sonter2 words [--tagged] [--dict FILE] [--] TEXT
int RunWords(Arguments args);
// sonter2 say [OPTIONS] [--] [TEXT... | -f FILE | -]
int RunSay(Arguments args);
// sonter2 modes
int RunModes(Arguments args);

// Exit statuses shared by the subcommands.
inline constexpr int kExitUsage = 2;    // unknown option, missing text
inline constexpr int kExitFailure = 1;  // unreadable file, invalid input

}  // namespace sonter2::host
