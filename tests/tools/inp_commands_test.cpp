// `vantrel inp create|add|list|extract|info` run as the program runs them: the listing
// a script reads, the tree that comes back out, and failures as exit codes.
#include <gtest/gtest.h>

#include "command_run.h"
#include "platform/file.h"

namespace vantrel_cli {
namespace {

namespace os = orv::os;
using orv::test::ReadFile;
using orv::test::WriteFile;

class InpCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(os::CreateDirectoryTree(temp_ / ORV_T("tree\\sub")), 0u);
    WriteFile(temp_ / ORV_T("tree\\a.txt"), std::string(70000, 'a'));
    WriteFile(temp_ / ORV_T("tree\\sub\\b.txt"), "bee");
    WriteFile(temp_ / ORV_T("single.bin"), "single file");
  }

  CommandRun Run(std::vector<std::string> arguments) {
    return RunCommand(temp_, {AddInpCommands}, std::move(arguments));
  }
  std::string At(const orv::Char* relative) const { return os::ToUtf8(temp_ / relative); }

  // The --tsv listing as rows of fields.
  std::vector<std::vector<std::string>> Rows(const std::string& archive) {
    const CommandRun run = Run({"inp", "list", archive, "--tsv"});
    EXPECT_EQ(run.exitCode, 0);
    return TsvRows(run.output);
  }

  orv::test::TempFolder temp_;
};

TEST_F(InpCommands, CreateListExtractAndAddOnASplitArchive) {
  const std::string archive = At(ORV_T("a.inp"));
  const CommandRun created = Run({"inp", "create", archive, "--split-size", "1000",
                                  At(ORV_T("tree")), At(ORV_T("single.bin"))});
  ASSERT_EQ(created.exitCode, 0);
  EXPECT_EQ(created.output, "created " + archive + ": 4 entries\n");

  // Folder sources give names relative to themselves, folders included; files their
  // own name. Fields: name, size, attributes, last-write file time.
  const auto rows = Rows(archive);
  ASSERT_EQ(rows.size(), 4u);
  std::vector<std::string> names;
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 4u);
    names.push_back(row[0]);
    EXPECT_EQ(row[2].size(), 8u);
    EXPECT_EQ(row[2].find_first_not_of("0123456789ABCDEF"), std::string::npos) << row[2];
    EXPECT_GT(std::stoull(row[3]), 116444736000000000ull);  // after 1970
  }
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "sub", "sub\\b.txt", "single.bin"}));
  EXPECT_EQ(rows[0][1], "70000");
  EXPECT_EQ(std::stoul(rows[1][2], nullptr, 16) & os::kAttrDirectory, os::kAttrDirectory);

  const CommandRun info = Run({"inp", "info", archive});
  ASSERT_EQ(info.exitCode, 0);
  EXPECT_NE(info.output.find("version: 5\nentries: 4\ncontent bytes: 70014\n"), std::string::npos)
      << info.output;
  EXPECT_NE(info.output.find("index file: "), std::string::npos);
  EXPECT_NE(info.output.find("part file: "), std::string::npos);

  ASSERT_EQ(Run({"inp", "extract", archive, At(ORV_T("out"))}).exitCode, 0);
  EXPECT_EQ(ReadFile(temp_ / ORV_T("out\\a.txt")), std::string(70000, 'a'));
  EXPECT_EQ(ReadFile(temp_ / ORV_T("out\\sub\\b.txt")), "bee");
  EXPECT_EQ(ReadFile(temp_ / ORV_T("out\\single.bin")), "single file");
  ASSERT_EQ(Run({"inp", "extract", archive, At(ORV_T("one")), "sub\\b.txt"}).exitCode, 0);
  EXPECT_EQ(ReadFile(temp_ / ORV_T("one\\sub\\b.txt")), "bee");

  ASSERT_EQ(Run({"inp", "add", archive, At(ORV_T("single.bin")), "more\\copy.bin"}).exitCode, 0);
  const auto added = Rows(archive);
  ASSERT_EQ(added.size(), 5u);
  EXPECT_EQ(added[4][0], "more\\copy.bin");
  EXPECT_EQ(added[4][1], "11");
}

TEST_F(InpCommands, Version1TakesFilesOnly) {
  const std::string archive = At(ORV_T("v1.inp"));
  ASSERT_EQ(Run({"inp", "create", archive, "--version", "1", At(ORV_T("tree"))}).exitCode, 0);
  const auto rows = Rows(archive);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], "a.txt");
  EXPECT_EQ(rows[1][0], "sub\\b.txt");
}

// Versions 5 and 6 keep only the descriptors they are given: the program gives each
// entry's, as version 2 reads them itself.
TEST_F(InpCommands, EveryVersionKeepsSecurityDescriptors) {
  const std::vector<uint8_t> descriptor = {1, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  constexpr DWORD kWhich = os::kOwnerSecurity | os::kGroupSecurity | os::kDaclSecurity;
  if (os::SetSecurity(temp_ / ORV_T("tree\\sub\\b.txt"), kWhich, descriptor) != 0)
    GTEST_SKIP() << "descriptors cannot be set here";
  std::vector<uint8_t> source;
  ASSERT_EQ(os::GetSecurity(temp_ / ORV_T("tree\\sub\\b.txt"), kWhich, source), 0u);
  for (const char* version : {"2", "5", "6"}) {
    const std::string archive = At(ORV_T("d.inp"));
    ASSERT_EQ(Run({"inp", "create", archive, "--version", version, At(ORV_T("tree"))}).exitCode, 0);
    orv::test::TempFolder out;
    ASSERT_EQ(Run({"inp", "extract", archive, os::ToUtf8(out.Path())}).exitCode, 0);
    std::vector<uint8_t> restored;
    ASSERT_EQ(os::GetSecurity(out / ORV_T("sub\\b.txt"), kWhich, restored), 0u);
    EXPECT_EQ(restored, source) << version;
  }
}

TEST_F(InpCommands, FailuresEndWithANonZeroStatus) {
  const std::string archive = At(ORV_T("a.inp"));
  EXPECT_EQ(Run({"inp", "list", At(ORV_T("absent.inp"))}).exitCode, 1);
  EXPECT_EQ(Run({"inp", "info", At(ORV_T("single.bin"))}).exitCode, 1);  // not an archive
  EXPECT_NE(Run({"inp", "create", archive, "--version", "3", At(ORV_T("tree"))}).exitCode, 0);
  EXPECT_EQ(Run({"inp", "create", archive, At(ORV_T("absent"))}).exitCode, 1);
  ASSERT_EQ(Run({"inp", "create", archive, At(ORV_T("tree"))}).exitCode, 0);
  EXPECT_EQ(Run({"inp", "extract", archive, At(ORV_T("out")), "no such entry"}).exitCode, 1);
}

}  // namespace
}  // namespace vantrel_cli
