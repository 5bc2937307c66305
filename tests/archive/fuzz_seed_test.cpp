// The seed corpus of the archive fuzz target comes from here: one small archive of each
// version, packed as the fuzz target reads its input. With VANTREL_FUZZ_SEEDS set to a
// folder the seeds are written there (make fuzz does so).
#include <cstdlib>

#include "../../fuzz/fuzz_input.h"
#include "archive/part_names.h"
#include "archive_support.h"
#include "platform/encoding.h"

namespace orv::test {
namespace {

fuzz::ArchiveFiles SeedArchive(const TempFolder& temp, int version) {
  const WString path = temp / ORV_T("seed.inp");
  WriteFile(temp / ORV_T("text"), TextBytes(3000));
  WriteFile(temp / ORV_T("empty"), "");
  COrvMorlet archive;
  EXPECT_TRUE(archive.Open(path.c_str(), 0, version));
  if (version != 1) {
    const ORVFILEATTRIBUTEDATA folder = BlockWithTimes(os::kAttrDirectory, 0, kSomeTime);
    EXPECT_TRUE(archive.AddFile(temp.Path().c_str(), ORV_T("dir"), nullptr, 0, &folder));
  }
  const uint8_t descriptor[] = {1, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(archive.AddFile((temp / ORV_T("text")).c_str(), ORV_T("dir\\text"), descriptor, 20, nullptr));
  EXPECT_TRUE(archive.AddFile((temp / ORV_T("empty")).c_str(), ORV_T("empty"), nullptr, 0, nullptr));
  EXPECT_TRUE(archive.Close());
  fuzz::ArchiveFiles files;
  files.version = version;
  files.main = ReadFile(path);
  if (version >= 5) {
    files.index = ReadFile(archive::IndexFileName(path));
    files.part = ReadFile(archive::PartFileName(path, 1));
  }
  return files;
}

TEST(FuzzSeeds, EveryVersionPacksAndUnpacksWhole) {
  const char* folder = std::getenv("VANTREL_FUZZ_SEEDS");
  for (const int version : {1, 2, 5, 6}) {
    TempFolder temp;
    const fuzz::ArchiveFiles files = SeedArchive(temp, version);
    const std::string packed = fuzz::Pack(files);
    const fuzz::ArchiveFiles back =
        fuzz::Unpack(reinterpret_cast<const uint8_t*>(packed.data()), packed.size());
    EXPECT_EQ(back.version, version);
    EXPECT_TRUE(back.main == files.main && back.index == files.index && back.part == files.part);
    if (folder != nullptr && *folder != 0)
      WriteFile(os::FromUtf8(folder) + ORV_T("/seed-v") + static_cast<Char>('0' + version), packed);
  }
}

}  // namespace
}  // namespace orv::test
