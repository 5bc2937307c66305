// Writes gathered in memory: order kept, the tail of a failed entry dropped, failures
// never forgotten; and an archive that reads what it has just added.
#include "archive/write_behind.h"
#include "archive_support.h"
#include "platform/errors.h"

namespace orv::test {
namespace {

using archive::WriteBehind;

TEST(WriteBehind, KeepsTheOrderOfSmallAndLargeWritesAndDropsOnlyTheTail) {
  TempFolder temp;
  const WString path = temp / ORV_T("out");
  os::File file;
  ASSERT_EQ(file.Open(path, os::kGenericWrite, 0, os::Disposition::kCreateAlways), 0u);
  WriteBehind out;
  const std::string large = NoiseBytes(WriteBehind::kCapacity - 10, 1);
  std::string expected;
  for (const std::string& piece : {std::string("head "), std::string("dropped"), large,
                                   std::string("tail"), std::string(" gone")}) {
    ASSERT_EQ(out.Write(file, piece.data(), piece.size()), 0u);
    if (piece == "dropped" || piece == " gone") {
      out.Truncate(out.Pending() - piece.size());
    } else {
      expected += piece;
    }
  }
  ASSERT_EQ(out.Flush(file), 0u);
  EXPECT_EQ(out.Pending(), 0u);
  file.Close();
  EXPECT_TRUE(ReadFile(path) == expected);
}

TEST(WriteBehind, AFailedWriteOutFailsEveryLaterCall) {
  TempFolder temp;
  const WString path = temp / ORV_T("read-only handle");
  WriteFile(path, "");
  os::File file;
  ASSERT_EQ(file.Open(path, os::kGenericRead, os::kShareRead, os::Disposition::kOpenExisting), 0u);
  WriteBehind out;
  ASSERT_EQ(out.Write(file, "waits", 5), 0u);  // nothing has reached the file yet
  EXPECT_EQ(out.Flush(file), err::kAccessDenied);
  EXPECT_EQ(out.Write(file, "more", 4), err::kAccessDenied);
  EXPECT_EQ(out.Flush(file), err::kAccessDenied);
  out.Reset();
  EXPECT_EQ(out.Flush(file), 0u);
}

// Records and blocks that still wait in memory are written out before the archive reads
// itself, and adding goes on after the read.
TEST(RoundTripV56, AnArchiveOpenForWritingReadsWhatItJustAdded) {
  TempFolder temp;
  const WString path = temp / ORV_T("a.inp");
  const WString source = temp / ORV_T("source");
  WriteFile(source, TextBytes(5000));
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, 5));
  ASSERT_TRUE(archive.AddFile(source.c_str(), ORV_T("first"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.FindEntry(ORV_T("first")));
  ASSERT_TRUE(archive.ExtractCurrent((temp / ORV_T("x")).c_str(), 1)) << archive.GetLastErrorCode();
  EXPECT_TRUE(ReadFile(temp / ORV_T("x\\first")) == TextBytes(5000));
  ASSERT_TRUE(archive.AddFile(source.c_str(), ORV_T("second"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.Close());

  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  EXPECT_EQ(EntryNames(archive), (std::vector<WString>{ORV_T("first"), ORV_T("second")}));
  ASSERT_TRUE(archive.ExtractFile(ORV_T("second"), (temp / ORV_T("y")).c_str()));
  EXPECT_TRUE(ReadFile(temp / ORV_T("y\\second")) == TextBytes(5000));
  ASSERT_TRUE(archive.Close());
}

// An archive object destroyed without Close leaves its adds on disk, readable in order.
TEST(RoundTripV56, AnArchiveNeverClosedKeepsWhatItAdded) {
  TempFolder temp;
  const WString path = temp / ORV_T("a.inp");
  WriteFile(temp / ORV_T("source"), "content");
  {
    COrvMorlet archive;
    ASSERT_TRUE(archive.Open(path.c_str(), 0, 5));
    ASSERT_TRUE(archive.AddFile((temp / ORV_T("source")).c_str(), ORV_T("kept"), nullptr, 0, nullptr));
  }
  COrvMorlet reader;
  ASSERT_TRUE(reader.Open(path.c_str(), 1, 0));
  EXPECT_EQ(EntryNames(reader), std::vector<WString>{ORV_T("kept")});
  reader.Close();
}

}  // namespace
}  // namespace orv::test
