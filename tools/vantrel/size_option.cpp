#include "size_option.h"

#include <cctype>

namespace vantrel_cli {

namespace {

// The multiplier a suffix stands for; 0 for one that is not known.
uint64_t UnitOf(std::string suffix) {
  for (char& c : suffix) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (suffix.size() == 3 && suffix[1] == 'I' && suffix[2] == 'B') suffix.resize(1);
  if (suffix.size() == 2 && suffix[1] == 'B') suffix.resize(1);
  if (suffix.empty() || suffix == "M") return uint64_t{1} << 20;
  if (suffix == "K") return uint64_t{1} << 10;
  if (suffix == "G") return uint64_t{1} << 30;
  return 0;
}

}  // namespace

std::optional<uint64_t> ParseSize(const std::string& text) {
  size_t digits = 0;
  uint64_t number = 0;
  for (; digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])); ++digits) {
    const uint64_t digit = static_cast<uint64_t>(text[digits] - '0');
    if (number > (UINT64_MAX - digit) / 10) return std::nullopt;
    number = number * 10 + digit;
  }
  const uint64_t unit = UnitOf(text.substr(digits));
  if (digits == 0 || unit == 0 || number > UINT64_MAX / unit) return std::nullopt;
  return number * unit;
}

CLI::Option* AddSizeOption(CLI::App& command, const std::string& name, uint64_t& bytes,
                           const std::string& description) {
  CLI::Option* option = command.add_option_function<std::string>(
      name,
      [&bytes, name](const std::string& text) {
        const std::optional<uint64_t> size = ParseSize(text);
        if (!size)
          throw CLI::ValidationError(name, "'" + text + "' is not a size (a number of MiB, or with K, M or G)");
        bytes = *size;
      },
      description + " (MiB, or with K, M or G)");
  option->type_name("SIZE");
  return option;
}

}  // namespace vantrel_cli
