// Layout files written by hand for the tests: <partition> and <recovery> elements of
// MRL.XML inside one <disk> element.
#pragma once

#include <cstdint>
#include <string>

namespace orv::test {

inline std::string Stored(unsigned number, uint64_t start, uint64_t size,
                          const std::string& extra = "") {
  return "<partition Number=\"" + std::to_string(number) + "\" Starting_Offset=\"" +
         std::to_string(start) + "\" Size=\"" + std::to_string(size) + "\" " + extra + "/>";
}

inline std::string StoredRecovery(uint64_t start, uint64_t size) {
  return "<recovery Starting_Offset=\"" + std::to_string(start) + "\" Size=\"" +
         std::to_string(size) + "\"/>";
}

inline std::string LayoutDisk(const std::string& partitions, const std::string& diskSize,
                              unsigned number = 0) {
  return "<disk Number=\"" + std::to_string(number) + "\" Size=\"" + diskSize + "\">" + partitions +
         "<other/></disk>";
}

inline std::string Layout(const std::string& partitions,
                          const std::string& diskSize = "107374182400") {
  return "<?xml version=\"1.0\"?>\n<image><note/>" + LayoutDisk(partitions, diskSize) +
         "</image>\n";
}

}  // namespace orv::test
