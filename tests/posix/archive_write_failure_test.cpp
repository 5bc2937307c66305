// Writes that fail after the add that queued them returned: the failure must reach the
// close, never end in an archive reported as written. The file-size limit of the process
// makes the disk "full" at a chosen point.
#include <gtest/gtest.h>

#include <random>

#include "archive/morlet.h"
#include "posix/file_size_limit.h"
#include "support/temp_folder.h"

namespace orv::test {
namespace {

std::string Noise(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

TEST(ArchiveWriteFailure, ALostWriteOutFailsTheClose) {
  for (const size_t last : {150000u, 10000u}) {  // the failure met by an add, or by Close
    TempFolder temp;
    const size_t sizes[] = {100000, 100000, 100000, last};
    for (size_t i = 0; i < 4; ++i)
      WriteFile(temp / (ORV_T("f") + WString(1, Char('0' + i))), Noise(sizes[i], unsigned(i)));
    const WString path = temp / ORV_T("a.inp");
    COrvMorlet archive;
    ASSERT_TRUE(archive.Open(path.c_str(), 0, 5));
    archive.SetSplitSize(400000);
    const FileSizeLimit limit(300000);
    for (size_t i = 0; i < 4; ++i) {
      const WString name = ORV_T("f") + WString(1, Char('0' + i));
      archive.AddFile((temp / name).c_str(), name.c_str(), nullptr, 0, nullptr);
    }
    EXPECT_FALSE(archive.Close()) << "with the last entry of " << last << " bytes";
    EXPECT_NE(archive.GetLastErrorCode(), 0u);

    // What the index names came through whole; the lost entries are not named.
    ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
    size_t indexed = 0;
    for (size_t i = 0; i < 4; ++i) {
      const WString name = ORV_T("f") + WString(1, Char('0' + i));
      if (!archive.FindEntry(name.c_str())) continue;
      ++indexed;
      EXPECT_TRUE(archive.ExtractFile(name.c_str(), (temp / ORV_T("out")).c_str()))
          << "indexed but lost: f" << i << " (error " << archive.GetLastErrorCode() << ")";
    }
    archive.Close();
    EXPECT_LT(indexed, 4u);
  }
}

}  // namespace
}  // namespace orv::test
