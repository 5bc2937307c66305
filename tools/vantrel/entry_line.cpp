#include "entry_line.h"

#include <cinttypes>

#include "platform/clock.h"

namespace vantrel_cli {

namespace {

uint64_t FileTimeOf(const ORVFILETIME& time) {
  return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

}  // namespace

uint64_t SizeOf(const ORVFILEATTRIBUTEDATA& data) {
  return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

void PrintEntryHeader(std::FILE* out, bool tsv) {
  if (!tsv) std::fprintf(out, "%14s  %-8s  %-20s  %s\n", "size", "attribs", "last write (UTC)", "name");
}

void PrintEntry(std::FILE* out, const std::string& name, const ORVFILEATTRIBUTEDATA& data,
                bool tsv) {
  const uint64_t written = FileTimeOf(data.ftLastWriteTime);
  if (tsv) {
    std::fprintf(out, "%s\t%" PRIu64 "\t%08X\t%" PRIu64 "\n", name.c_str(), SizeOf(data),
                 unsigned(data.dwFileAttributes), written);
    return;
  }
  orv::os::CalendarTime when{};
  char date[64] = "-";
  if (orv::os::FileTimeToCalendar(written, when))
    std::snprintf(date, sizeof date, "%04u-%02u-%02u %02u:%02u:%02u", when.year, when.month,
                  when.day, when.hour, when.minute, when.second);
  std::fprintf(out, "%14" PRIu64 "  %08X  %-20s  %s\n", SizeOf(data),
               unsigned(data.dwFileAttributes), date, name.c_str());
}

}  // namespace vantrel_cli
