// A sparse file comes back with its all-zero blocks as holes: the same bytes, the same
// length, a fraction of the room.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "archive/morlet.h"
#include "platform/encoding.h"
#include "support/temp_folder.h"

namespace orv::test {
namespace {

TEST(SparseRestore, AllZeroBlocksStayHoles) {
  constexpr size_t kMiB = 1048576;
  std::string content(8 * kMiB, '\0');  // holes, data in the fourth MiB, a trailing hole
  std::fill_n(content.begin() + 3 * kMiB + 100, 5000, 'd');
  for (const int version : {2, 5}) {
    TempFolder temp;
    WriteFile(temp / ORV_T("sparse"), content);
    ORVFILEATTRIBUTEDATA block{};
    block.dwFileAttributes = os::kAttrArchive | os::kAttrSparse;
    block.nFileSizeLow = static_cast<DWORD>(content.size());
    const WString path = temp / ORV_T("s.inp");
    COrvMorlet archive;
    ASSERT_TRUE(archive.Open(path.c_str(), 0, version));
    ASSERT_TRUE(archive.AddFile((temp / ORV_T("sparse")).c_str(), ORV_T("sparse"), nullptr, 0, &block));
    ASSERT_TRUE(archive.Close());
    ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
    ASSERT_TRUE(archive.NextEntry(0));
    ASSERT_TRUE(archive.ExtractCurrent((temp / ORV_T("out")).c_str(), 1)) << archive.GetLastErrorCode();
    archive.Close();

    const WString restored = temp / ORV_T("out\\sparse");
    EXPECT_TRUE(ReadFile(restored) == content) << version;
    std::string native = os::ToUtf8(restored);
    for (char& c : native)
      if (c == '\\') c = '/';
    struct stat st;
    ASSERT_EQ(stat(native.c_str(), &st), 0);
    EXPECT_EQ(static_cast<size_t>(st.st_size), content.size());
    EXPECT_LT(static_cast<size_t>(st.st_blocks) * 512, 2 * kMiB) << version;
  }
}

}  // namespace
}  // namespace orv::test
