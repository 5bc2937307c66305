// One line per archive or image entry, the same in every listing: size, attributes,
// last write time and name for people; the same fields separated by tabs with --tsv.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "vantrel/vantrel.h"

namespace vantrel_cli {

uint64_t SizeOf(const ORVFILEATTRIBUTEDATA& data);

// The column titles of the people's form (nothing for --tsv).
void PrintEntryHeader(std::FILE* out, bool tsv);
// --tsv: name, size, attributes in hexadecimal, last-write file time.
void PrintEntry(std::FILE* out, const std::string& name, const ORVFILEATTRIBUTEDATA& data,
                bool tsv);

}  // namespace vantrel_cli
