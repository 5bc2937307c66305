// The master-file-table reader over real NTFS images made by mkntfs and filled through
// ntfs-3g: entries and their paths, file reference numbers, copies of resident,
// fragmented, sparse and compressed files; and images damaged on purpose, which must fail cleanly.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <random>

#include "ntfs3g_volume.h"
#include "platform/errors.h"
#include "services/ntfs.h"
#include "services/ntfs_bytes.h"
#include "services/ntfs_lookup.h"

namespace orv {
namespace {

std::string Pattern(size_t size, unsigned seed) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 31 + seed * 7 + i / 4096) & 0xFF);
  return text;
}

void WriteNative(const std::string& path, const std::string& content, off_t at = 0) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(::pwrite(fd, content.data(), content.size(), at), static_cast<ssize_t>(content.size()));
  ::fsync(fd);
  ::close(fd);
}

// The volume's bytes held in memory, so that a test can damage them at will.
class MemoryImage : public ntfs::SectorSource {
 public:
  explicit MemoryImage(const std::string& bytes) : bytes_(bytes) {}
  DWORD Read(uint64_t offset, void* buffer, DWORD size) override {
    if (!ntfs::Within(offset, size, bytes_.size())) return err::kHandleEof;
    std::memcpy(buffer, bytes_.data() + offset, size);
    return 0;
  }

 private:
  const std::string& bytes_;
};

class NtfsMft : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = volume_.Mount(test::NativeOf(temp_.Path()), "volume"); !why.empty())
      GTEST_SKIP() << why;
    image_ = test::NativeOf(temp_.Path()) + "/volume.img";
  }

  std::string Native(const std::string& relative) const { return volume_.Root() + "/" + relative; }

  // Fills the volume: files of the list, a large file written into the holes left by
  // deleted ones so that its clusters lie in many runs, and a sparse file.
  void Fill() {
    ASSERT_EQ(::mkdir(Native("a").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(Native("a/b").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(Native("a/b/Ünï ✓ 日本").c_str(), 0755), 0);
    for (const auto& [path, content] : files_) WriteNative(Native(path), content);
    // Free space left only in the holes of deleted files: the large file must take them.
    for (int i = 0; i < 60; ++i) WriteNative(Native("gap" + std::to_string(i)), Pattern(16384, i));
    struct statvfs space;
    ASSERT_EQ(::statvfs(volume_.Root().c_str(), &space), 0);
    const uint64_t free = uint64_t{space.f_bavail} * space.f_frsize;
    ASSERT_GT(free, 200000u);
    WriteNative(Native("filler.bin"), std::string(free - 100000, 'f'));
    for (int i = 0; i < 60; i += 2) ASSERT_EQ(::unlink(Native("gap" + std::to_string(i)).c_str()), 0);
    WriteNative(Native("a/large.bin"), large_);
    WriteNative(Native("sparse.bin"), "tail", 1 << 20);
    ::sync();
  }

  uint64_t Reference(COrvNtfs& ntfs, const char* relative) {
    return ntfs.GetFileReferenceNumber(os::FromUtf8(relative));
  }

  std::string CopyOut(COrvNtfs& ntfs, uint64_t reference) {
    const WString copy = temp_ / ORV_T("copy.out");
    if (!ntfs.CopyFileMFT(reference, copy)) return "failed " + std::to_string(ntfs.GetLastErrorCode());
    return test::ReadFile(copy);
  }

  std::map<WString, uint64_t> Entries(COrvNtfs& ntfs) {
    std::map<WString, uint64_t> entries;
    NtfsEntry entry;
    for (BOOL more = ntfs.FindFirstEntry(entry); more; more = ntfs.FindNextEntry(entry))
      entries[entry.path] = entry.fileReference;
    EXPECT_EQ(ntfs.GetLastErrorCode(), err::kNoMoreFiles);
    return entries;
  }

  // The byte of the image where record `number` starts, found through the runs of the
  // table's own first record.
  uint64_t RecordOffset(uint64_t number) {
    ntfs::Volume reader;
    std::vector<uint8_t> table;
    ntfs::FileData data;
    EXPECT_EQ(reader.Open(volume_.Path()), 0u);
    EXPECT_EQ(reader.ReadRecord(0, table), 0u);
    const ntfs::Geometry& g = reader.geometry();
    EXPECT_EQ(ntfs::LocateFileData(table, g.totalClusters, g.clusterSize, data), 0u);
    const uint64_t byte = number * g.recordSize;
    for (const ntfs::Extent& extent : data.extents)
      if (byte / g.clusterSize >= extent.vcn && byte / g.clusterSize < extent.vcn + extent.length)
        return extent.lcn * g.clusterSize + byte - extent.vcn * g.clusterSize;
    ADD_FAILURE() << "record " << number << " lies in no run of the table";
    return 0;
  }

  // Where the runs of the record's unnamed data (or the value of its file name) start,
  // counted from the start of the record.
  size_t FieldOffset(uint64_t number, uint32_t type) {
    ntfs::Volume reader;
    std::vector<uint8_t> record;
    EXPECT_EQ(reader.Open(volume_.Path()), 0u);
    EXPECT_EQ(reader.ReadRecord(number, record), 0u);
    ntfs::RecordHeader header;
    size_t offset = 0;
    ntfs::WalkRecord(record, header, [&](const ntfs::Attribute& attribute) {
      if (attribute.type != type || attribute.named) return true;
      offset = (attribute.nonResident ? attribute.runs : attribute.value) - record.data();
      return false;
    });
    return offset;
  }

  void Patch(uint64_t at, const std::vector<uint8_t>& bytes) {
    const int fd = ::open(image_.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(at)),
              static_cast<ssize_t>(bytes.size()));
    ::close(fd);
  }

  test::TempFolder temp_;
  test::Ntfs3gVolume volume_;
  std::string image_;
  const std::map<std::string, std::string> files_{
      {"small.txt", "resident data"},
      {"a/b/Ünï ✓ 日本/naïve €.txt", Pattern(70000, 1)},
      {"a/b/inner.dat", Pattern(5000, 2)},
  };
  const std::string large_ = Pattern(400000, 3);
};

TEST_F(NtfsMft, ListsEveryEntryWithItsPathAndCopiesFilesFromTheirClusters) {
  Fill();
  COrvNtfs ntfs;
  ASSERT_TRUE(ntfs.OpenVolume(volume_.Path() + ORV_T("/"))) << ntfs.GetLastErrorCode();
  EXPECT_GE(ntfs.GetTotalEntries(), 16u + 40u);
  const std::map<WString, uint64_t> entries = Entries(ntfs);
  for (const char* path : {".", "$MFT", "a", "a\\b", "a\\b\\Ünï ✓ 日本",
                           "a\\b\\Ünï ✓ 日本\\naïve €.txt",
                           "small.txt", "a\\large.bin", "sparse.bin", "gap1"})
    EXPECT_TRUE(entries.count(os::FromUtf8(path))) << path;
  EXPECT_FALSE(entries.count(ORV_T("gap0")));

  for (const auto& [path, content] : files_) {
    const uint64_t reference = Reference(ntfs, path.c_str());
    ASSERT_NE(reference, 0u) << path;
    std::string windowsPath = path;
    std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
    EXPECT_EQ(ntfs::RecordOf(entries.at(os::FromUtf8(windowsPath))), reference) << path;
    EXPECT_TRUE(CopyOut(ntfs, reference) == content) << path;
    // The full reference, sequence number included, names the same file.
    EXPECT_TRUE(CopyOut(ntfs, entries.at(os::FromUtf8(windowsPath))) == content) << path;
  }
  EXPECT_TRUE(CopyOut(ntfs, Reference(ntfs, "a/large.bin")) == large_);

  // Found by name in the table too, case ignored, as files that no open reaches are.
  ntfs::Volume table;
  ASSERT_EQ(table.Open(volume_.Path()), 0u);
  uint64_t found = 0;
  ASSERT_EQ(ntfs::FindChild(table, Reference(ntfs, "a/b/Ünï ✓ 日本"), os::FromUtf8("NAÏVE €.TXT"),
                            found), 0u);
  EXPECT_EQ(found, entries.at(os::FromUtf8("a\\b\\Ünï ✓ 日本\\naïve €.txt")));
  EXPECT_EQ(ntfs::FindChild(table, Reference(ntfs, "a"), ORV_T("inner.dat"), found), 2u);
  EXPECT_TRUE(CopyOut(ntfs, Reference(ntfs, "sparse.bin")) == std::string(1 << 20, '\0') + "tail");

  // The large file really lies in several runs, one of the sparse file's is a hole.
  ntfs::Volume reader;
  ASSERT_EQ(reader.Open(volume_.Path()), 0u);
  for (const auto& [name, check] : std::map<const char*, bool (*)(const ntfs::FileData&)>{
           {"a/large.bin", [](const ntfs::FileData& d) { return d.extents.size() > 3; }},
           {"sparse.bin", [](const ntfs::FileData& d) {
              return std::any_of(d.extents.begin(), d.extents.end(),
                                 [](const ntfs::Extent& e) { return e.sparse; });
            }}}) {
    std::vector<uint8_t> record;
    ntfs::FileData data;
    ASSERT_EQ(reader.ReadRecord(Reference(ntfs, name), record), 0u);
    ASSERT_EQ(ntfs::LocateFileData(record, reader.geometry().totalClusters,
                                   reader.geometry().clusterSize, data), 0u);
    EXPECT_TRUE(check(data)) << name << " in " << data.extents.size() << " runs";
  }
}

// A file that ntfs-3g compresses (its folder is marked compressed): units of LZNT1
// chunks, a unit that would not shrink and is kept as it is, a unit of zeros without
// clusters, and a short last unit.
TEST_F(NtfsMft, CopiesCompressedFilesUnitByUnit) {
  ASSERT_EQ(::mkdir(Native("packed").c_str(), 0755), 0);
  const uint8_t compressedFolder[4] = {0x00, 0x00, 0x08, 0x10};  // big-endian: folder, compressed
  ASSERT_EQ(::setxattr(Native("packed").c_str(), "system.ntfs_attrib_be", compressedFolder,
                       sizeof compressedFolder, 0), 0);
  std::string text;
  while (text.size() < 2 * 65536) text += "volume record backup index stream ";
  text.resize(2 * 65536);
  std::mt19937 random(5);
  std::string noise(65536, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  const std::string content = text + noise + std::string(65536, '\0') + "tail";
  WriteNative(Native("packed/mixed.bin"), content);
  ::sync();

  COrvNtfs ntfs;
  ASSERT_TRUE(ntfs.OpenVolume(volume_.Path() + ORV_T("/"))) << ntfs.GetLastErrorCode();
  const uint64_t reference = Reference(ntfs, "packed/mixed.bin");
  ntfs::Volume reader;
  ASSERT_EQ(reader.Open(volume_.Path()), 0u);
  std::vector<uint8_t> record;
  ntfs::FileData data;
  ASSERT_EQ(reader.ReadRecord(ntfs::RecordOf(reference), record), 0u);
  ASSERT_EQ(ntfs::LocateFileData(record, reader.geometry().totalClusters,
                                 reader.geometry().clusterSize, data), 0u);
  if (data.unitClusters == 0) GTEST_SKIP() << "ntfs-3g did not compress the file";
  const auto allocated = [&](uint64_t unit) {
    return ntfs::AllocatedClusters(data.extents, unit * data.unitClusters, data.unitClusters);
  };
  EXPECT_LT(allocated(0), data.unitClusters);   // LZNT1 chunks
  EXPECT_EQ(allocated(2), data.unitClusters);   // kept as it is
  EXPECT_EQ(allocated(3), 0u);                  // zeros
  EXPECT_TRUE(CopyOut(ntfs, reference) == content);
}

// A file in so many pieces that its runs overflow its record: the further runs lie in
// extension records that the attribute list of the base record names. Every other
// cluster of the file is written, so that holes and data alternate.
TEST_F(NtfsMft, GathersTheRunsOfAFileFromItsExtensionRecords) {
  struct statvfs space;
  ASSERT_EQ(::statvfs(volume_.Root().c_str(), &space), 0);
  const size_t cluster = space.f_frsize;
  std::string pieces(599 * cluster, '\0');
  for (size_t i = 0; i < 599; i += 2) {
    const std::string part = Pattern(cluster, static_cast<unsigned>(i));
    pieces.replace(i * cluster, cluster, part);
    WriteNative(Native("pieces.bin"), part, static_cast<off_t>(i * cluster));
  }
  ::sync();

  COrvNtfs ntfs;
  ASSERT_TRUE(ntfs.OpenVolume(volume_.Path()));
  const uint64_t reference = Reference(ntfs, "pieces.bin");
  ntfs::Volume reader;
  std::vector<uint8_t> record;
  ntfs::FileData data;
  ASSERT_EQ(reader.Open(volume_.Path()), 0u);
  ASSERT_EQ(reader.ReadRecord(reference, record), 0u);
  EXPECT_EQ(ntfs::LocateFileData(record, reader.geometry().totalClusters,
                                 reader.geometry().clusterSize, data), 50u);
  ASSERT_TRUE(data.listed) << data.extents.size() << " runs of " << cluster << "-byte clusters";
  const std::string copy = CopyOut(ntfs, reference);
  size_t differ = 0;
  while (differ < copy.size() && differ < pieces.size() && copy[differ] == pieces[differ]) ++differ;
  EXPECT_TRUE(copy == pieces) << copy.size() << " bytes, the first " << differ << " equal";

  // The file's name may lie in an extension record too; the walk finds it there.
  NtfsEntry entry;
  bool listedByName = false;
  for (BOOL more = ntfs.FindFirstEntry(entry); more; more = ntfs.FindNextEntry(entry))
    listedByName |=
        entry.path == ORV_T("pieces.bin") && ntfs::RecordOf(entry.fileReference) == reference;
  EXPECT_TRUE(listedByName);

  // A piece in a record that is no longer an extension of the file is refused.
  uint64_t extension = 0;
  for (uint64_t number = 16; number < reader.RecordCount() && extension == 0; ++number) {
    ntfs::RecordHeader header;
    bool holdsData = false;
    if (reader.ReadRecord(number, record) == 0 &&
        ntfs::WalkRecord(record, header, [&](const ntfs::Attribute& attribute) {
          holdsData |= attribute.type == ntfs::kData;
          return true;
        }) == 0 &&
        holdsData && (header.flags & ntfs::kRecordInUse) &&
        ntfs::RecordOf(header.baseReference) == reference)
      extension = number;
  }
  ASSERT_NE(extension, 0u);
  Patch(RecordOffset(extension) + 0x20, {0, 0, 0, 0, 0, 0});
  EXPECT_EQ(CopyOut(ntfs, reference).substr(0, 20), "failed 1392");
}

TEST_F(NtfsMft, RefusesWhatNamesNoFile) {
  Fill();
  COrvNtfs ntfs;
  EXPECT_FALSE(ntfs.CopyFileMFT(1, temp_ / ORV_T("x")));
  EXPECT_EQ(ntfs.GetLastErrorCode(), err::kInvalidHandle);
  ASSERT_TRUE(ntfs.OpenVolume(volume_.Path()));
  const uint64_t small = Reference(ntfs, "small.txt");
  EXPECT_FALSE(ntfs.CopyFileMFT(small | (uint64_t{0x7777} << 48), temp_ / ORV_T("x")));
  EXPECT_EQ(ntfs.GetLastErrorCode(), err::kFileNotFound);  // a stale sequence number
  EXPECT_FALSE(ntfs.CopyFileMFT(uint64_t{1} << 40, temp_ / ORV_T("x")));
  EXPECT_EQ(ntfs.GetLastErrorCode(), err::kFileNotFound);
  EXPECT_FALSE(ntfs.CopyFileMFT(Reference(ntfs, "a"), temp_ / ORV_T("x")));
  EXPECT_EQ(ntfs.GetLastErrorCode(), err::kDirectory);
  EXPECT_EQ(Reference(ntfs, "absent"), 0u);
  EXPECT_EQ(ntfs.GetLastErrorCode(), err::kFileNotFound);
  // A folder inside the volume is no volume, nor a folder elsewhere.
  EXPECT_FALSE(ntfs.OpenVolume(os::FromUtf8(Native("a"))));
  EXPECT_EQ(ntfs.GetLastErrorCode(), err::kPathNotFound);
  EXPECT_FALSE(ntfs.OpenVolume(temp_.Path()));
  EXPECT_EQ(ntfs.GetLastErrorCode(), err::kPathNotFound);
}

TEST_F(NtfsMft, DamagedRecordsFailCleanly) {
  Fill();
  COrvNtfs ntfs;
  ASSERT_TRUE(ntfs.OpenVolume(volume_.Path()));
  const uint64_t small = Reference(ntfs, "small.txt");
  const uint64_t large = Reference(ntfs, "a/large.bin");
  const uint64_t folderA = Reference(ntfs, "a"), folderB = Reference(ntfs, "a/b");
  ntfs.CloseVolume();

  // A torn record: the end of its first stride no longer matches the update sequence.
  Patch(RecordOffset(small) + 510, {0xDE, 0xAD});
  // Runs that point past the end of the volume.
  Patch(RecordOffset(large) + FieldOffset(large, ntfs::kData),
        {0x41, 0x01, 0xFF, 0xFF, 0xFF, 0x7F, 0x00});
  // Two folders that are each other's parent.
  std::vector<uint8_t> parentB(8), parentA(8);
  for (int i = 0; i < 6; ++i) {
    parentB[i] = static_cast<uint8_t>(folderB >> (8 * i));
    parentA[i] = static_cast<uint8_t>(folderA >> (8 * i));
  }
  Patch(RecordOffset(folderA) + FieldOffset(folderA, ntfs::kFileName), parentB);
  Patch(RecordOffset(folderB) + FieldOffset(folderB, ntfs::kFileName), parentA);

  ASSERT_TRUE(ntfs.OpenVolume(volume_.Path()));
  EXPECT_EQ(CopyOut(ntfs, small), "failed 1392");
  EXPECT_EQ(CopyOut(ntfs, large), "failed 1392");
  const std::map<WString, uint64_t> entries = Entries(ntfs);
  EXPECT_TRUE(entries.count(ORV_T("sparse.bin")));
  EXPECT_FALSE(entries.count(ORV_T("small.txt")));
  for (const auto& [path, reference] : entries)
    EXPECT_NE(path.substr(0, 1), ORV_T("a")) << os::ToUtf8(path);

  // A damaged table record of the table itself leaves nothing to open.
  ntfs.CloseVolume();
  Patch(RecordOffset(0) + 1022, {0x00, 0x00});
  EXPECT_FALSE(ntfs.OpenVolume(volume_.Path()));
  EXPECT_EQ(ntfs.GetLastErrorCode(), err::kFileCorrupt);
  Patch(3, {'F', 'A', 'T'});
  EXPECT_FALSE(ntfs.OpenVolume(volume_.Path()));
  EXPECT_EQ(ntfs.GetLastErrorCode(), 1005u);
}


TEST_F(NtfsMft, UnallocatedStretchesStayHolesInTheCopy) {
  Fill();
  COrvNtfs ntfs;
  ASSERT_TRUE(ntfs.OpenVolume(volume_.Path()));
  const WString copy = temp_ / ORV_T("sparse.out");
  ASSERT_TRUE(ntfs.CopyFileMFT(Reference(ntfs, "sparse.bin"), copy));
  EXPECT_TRUE(test::ReadFile(copy) == std::string(1 << 20, '\0') + "tail");
  struct stat st {};
  ASSERT_EQ(::stat(test::NativeOf(copy).c_str(), &st), 0);
  EXPECT_EQ(st.st_size, (1 << 20) + 4);
  EXPECT_LT(uint64_t(st.st_blocks) * 512, uint64_t{256} * 1024) << "the hole was written";
}

TEST_F(NtfsMft, RefusesAVolumeSmallerThanItsBootSectorSays) {
  Fill();
  std::string image;
  {
    std::ifstream in(image_, std::ios::binary);
    image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  COrvNtfs ntfs;
  ASSERT_TRUE(ntfs.OpenVolume(std::make_unique<MemoryImage>(image)));
  ntfs.CloseVolume();
  // The boot sector claims 2^40 sectors (512 TiB) of an image of a few megabytes.
  for (int i = 0; i < 8; ++i) image[0x28 + i] = i == 5 ? 1 : 0;
  EXPECT_FALSE(ntfs.OpenVolume(std::make_unique<MemoryImage>(image)));
  EXPECT_EQ(ntfs.GetLastErrorCode(), err::kFileCorrupt);
}

// Random damage to the table's first records and the boot sector: whatever the reader
// makes of it, it ends, stays within its buffers and reports failures as codes.
TEST_F(NtfsMft, SurvivesRandomDamageToTheTable) {
  Fill();
  COrvNtfs probe;
  ASSERT_TRUE(probe.OpenVolume(volume_.Path()));
  std::vector<uint64_t> references;
  for (const char* path : {"small.txt", "a/large.bin", "sparse.bin", "a/b/inner.dat"})
    references.push_back(Reference(probe, path));
  probe.CloseVolume();
  std::string image;
  {
    std::ifstream in(image_, std::ios::binary);
    image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const uint64_t table = RecordOffset(0);
  std::mt19937 random(20261207);
  const WString copy = temp_ / ORV_T("damaged.out");
  size_t opened = 0;
  for (int round = 0; round < 150; ++round) {
    std::vector<std::pair<size_t, char>> saved;
    const int changes = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < changes; ++i) {
      const size_t at = random() % 16 == 0 ? random() % 512 : table + random() % (64 * 1024);
      saved.emplace_back(at, image[at]);
      image[at] = static_cast<char>(random());
    }
    COrvNtfs ntfs;
    if (ntfs.OpenVolume(std::make_unique<MemoryImage>(image))) {
      ++opened;
      NtfsEntry entry;
      DWORD listed = 0;
      for (BOOL more = ntfs.FindFirstEntry(entry); more; more = ntfs.FindNextEntry(entry))
        ASSERT_LE(++listed, ntfs.GetTotalEntries());
      for (const uint64_t reference : references) {
        if (!ntfs.CopyFileMFT(reference, copy)) {
          EXPECT_NE(ntfs.GetLastErrorCode(), 0u);
        }
      }
    } else {
      EXPECT_NE(ntfs.GetLastErrorCode(), 0u);
    }
    for (auto change = saved.rbegin(); change != saved.rend(); ++change)
      image[change->first] = change->second;
  }
  EXPECT_GT(opened, 50u);  // most damage leaves the table readable
}

}  // namespace
}  // namespace orv
