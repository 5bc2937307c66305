#include "output_format.h"

#include <cinttypes>

namespace vantrel_cli {

namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", unsigned(c));
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

}  // namespace

void AddOutputFormatOptions(CLI::App& command, OutputFormat& format) {
  CLI::Option* tsv = command.add_flag_callback(
      "--tsv", [&format] { format = OutputFormat::kTsv; },
      "Tab-separated lines, no heading, for scripts");
  CLI::Option* json = command.add_flag_callback(
      "--json", [&format] { format = OutputFormat::kJson; }, "One JSON document, for scripts");
  tsv->excludes(json);
}

void PrintTsvLine(std::FILE* out, const std::vector<std::string>& fields) {
  for (size_t i = 0; i < fields.size(); ++i)
    std::fprintf(out, "%s%s", i == 0 ? "" : "\t", fields[i].c_str());
  std::fputc('\n', out);
}

JsonWriter::~JsonWriter() { std::fputc('\n', out_); }

void JsonWriter::Start(const char* key) {
  if (!first_) std::fputc(',', out_);
  first_ = false;
  if (key != nullptr) std::fprintf(out_, "%s:", Quoted(key).c_str());
}

void JsonWriter::BeginObject(const char* key) {
  Start(key);
  std::fputc('{', out_);
  first_ = true;
}

void JsonWriter::EndObject() {
  std::fputc('}', out_);
  first_ = false;
}

void JsonWriter::BeginArray(const char* key) {
  Start(key);
  std::fputc('[', out_);
  first_ = true;
}

void JsonWriter::EndArray() {
  std::fputc(']', out_);
  first_ = false;
}

void JsonWriter::String(const char* key, const std::string& value) {
  Start(key);
  std::fputs(Quoted(value).c_str(), out_);
}

void JsonWriter::Number(const char* key, uint64_t value) {
  Start(key);
  std::fprintf(out_, "%" PRIu64, value);
}

void JsonWriter::Bool(const char* key, bool value) {
  Start(key);
  std::fputs(value ? "true" : "false", out_);
}

}  // namespace vantrel_cli
