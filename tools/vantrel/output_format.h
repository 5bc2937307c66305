// Machine-readable output for every listing: --tsv (one record a line, fields split by
// tabs, no heading) and --json (one JSON document), beside the text for people.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vantrel_cli {

enum class OutputFormat { kText, kTsv, kJson };

// Adds --tsv and --json (which exclude each other) to a listing command.
void AddOutputFormatOptions(CLI::App& command, OutputFormat& format);

// Prints the fields as one tab-separated line.
void PrintTsvLine(std::FILE* out, const std::vector<std::string>& fields);

// Writes one JSON document: objects and arrays nest, the commas are placed here. Names
// are passed as UTF-8 and escaped.
class JsonWriter {
 public:
  explicit JsonWriter(std::FILE* out) : out_(out) {}
  ~JsonWriter();  // ends the document's line
  JsonWriter(const JsonWriter&) = delete;
  JsonWriter& operator=(const JsonWriter&) = delete;

  void BeginObject(const char* key = nullptr);
  void EndObject();
  void BeginArray(const char* key = nullptr);
  void EndArray();
  void String(const char* key, const std::string& value);
  void Number(const char* key, uint64_t value);
  void Bool(const char* key, bool value);

 private:
  void Start(const char* key);

  std::FILE* out_;
  bool first_ = true;  // nothing written yet at this level
};

}  // namespace vantrel_cli
