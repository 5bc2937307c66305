// Sizes on the command line, one unit for every command: a whole number of MiB, or a
// number with K, M or G (KiB, MiB, GiB; "KB", "MiB" and lower case are read the same).
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <optional>
#include <string>

namespace vantrel_cli {

// The size in bytes; nothing for text that is not a size or does not fit 64 bits.
std::optional<uint64_t> ParseSize(const std::string& text);

// An option (or positional) whose value is a size, stored in bytes; text that is not a
// size is refused as bad usage.
CLI::Option* AddSizeOption(CLI::App& command, const std::string& name, uint64_t& bytes,
                           const std::string& description);

}  // namespace vantrel_cli
