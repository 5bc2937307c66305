// `vantrel inp create|add|list|extract|info` run as a user runs them: the listing a
// script reads, the tree that comes back out, and failures as exit statuses with their
// cause named.
#include <gtest/gtest.h>

#include <random>

#include "command_run.h"
#include "exit_status.h"
#include "inp_create.h"
#include "progress_bar.h"
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
    return RunVantrel(temp_, arguments);
  }
  std::string At(const orv::Char* relative) const { return os::ToUtf8(temp_ / relative); }

  // A folder of five files of 70000 bytes that do not compress, for archives that must
  // span parts (a part ends between entries).
  std::string NoisyTree() {
    std::mt19937 random(3);
    EXPECT_EQ(os::CreateDirectory(temp_ / ORV_T("noisy")), 0u);
    for (const orv::Char* name : {ORV_T("1"), ORV_T("2"), ORV_T("3"), ORV_T("4"), ORV_T("5")}) {
      std::string noise(70000, '\0');
      for (char& c : noise) c = static_cast<char>(random());
      WriteFile(temp_ / (orv::WString(ORV_T("noisy\\")) + name), noise);
    }
    return At(ORV_T("noisy"));
  }
  size_t PartFiles(const std::string& archive) {
    size_t parts = 0;
    for (const auto& row : TsvRows(Run({"inp", "info", "--tsv", archive}).output)) parts += row[0] == "part file";
    return parts;
  }

  // The --tsv listing as rows of fields.
  std::vector<std::vector<std::string>> Rows(const std::string& archive) {
    const CommandRun run = Run({"inp", "list", archive, "--tsv"});
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    return TsvRows(run.output);
  }

  orv::test::TempFolder temp_;
};

TEST_F(InpCommands, CreateListExtractAndAddOnASplitArchive) {
  const std::string archive = At(ORV_T("a.inp"));
  const CommandRun created = Run({"inp", "create", archive, "--split-size", "1K", At(ORV_T("tree"))});
  ASSERT_EQ(created.exitCode, 0) << created.errors;
  EXPECT_EQ(created.output, "created " + archive + ": 3 entries\n");
  EXPECT_EQ(created.errors, "");
  ASSERT_EQ(Run({"inp", "add", archive, At(ORV_T("single.bin")), "single.bin"}).exitCode, 0);

  // A folder source gives names relative to itself, folders included. Fields: name,
  // size, attributes, last-write file time.
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

  ASSERT_EQ(Run({"inp", "add", archive, At(ORV_T("single.bin")), "more/copy.bin"}).exitCode, 0);
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
    ASSERT_EQ(Run({"inp", "create", archive, "--force", "--version", version, At(ORV_T("tree"))}).exitCode, 0);
    orv::test::TempFolder out;
    ASSERT_EQ(Run({"inp", "extract", archive, os::ToUtf8(out.Path())}).exitCode, 0);
    std::vector<uint8_t> restored;
    ASSERT_EQ(os::GetSecurity(out / ORV_T("sub\\b.txt"), kWhich, restored), 0u);
    EXPECT_EQ(restored, source) << version;
  }
}

TEST_F(InpCommands, FailuresNameTheirCauseAndTheFile) {
  const std::string absent = At(ORV_T("absent.inp"));
  CommandRun run = Run({"inp", "list", absent});
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_EQ(run.errors, "vantrel: inp list: cannot open: error 2: the file was not found: " + absent + "\n");
  run = Run({"inp", "info", At(ORV_T("single.bin"))});  // not an archive
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_NE(run.errors.find(": " + At(ORV_T("single.bin")) + "\n"), std::string::npos) << run.errors;
  EXPECT_EQ(run.errors.find("error 0"), std::string::npos) << run.errors;
  run = Run({"inp", "create", At(ORV_T("a.inp")), At(ORV_T("absent"))});
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_EQ(run.errors, "vantrel: inp create: cannot read: error 2: the file was not found: " + At(ORV_T("absent")) + "\n");
  EXPECT_EQ(ReadFile(temp_ / ORV_T("a.inp")), "<missing>");
  ASSERT_EQ(Run({"inp", "create", At(ORV_T("a.inp")), At(ORV_T("tree"))}).exitCode, 0);
  run = Run({"inp", "extract", At(ORV_T("a.inp")), At(ORV_T("out")), "no such entry"});
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_NE(run.errors.find("holds no entry named no such entry"), std::string::npos) << run.errors;
}

// Options that the version has no use for, values that are not allowed, and a size that
// is not one are bad usage: nothing is written.
TEST_F(InpCommands, OptionsOutsideTheirVersionAreRefused) {
  const std::string archive = At(ORV_T("a.inp"));
  const std::string tree = At(ORV_T("tree"));
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"--version", "3"}, {"--version", "5", "--compression", "1"},
        {"--version", "2", "--split-size", "1"}, {"--version", "1", "--compression", "7"},
        {"--split-size", "12X"}, {"--no-such-option"}}) {
    std::vector<std::string> arguments = {"inp", "create", archive};
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.push_back(tree);
    const CommandRun run = Run(arguments);
    const std::string& refused = options.size() == 4 ? options[2] : options[0];
    EXPECT_EQ(run.exitCode, kExitUsage) << refused << run.errors;
    EXPECT_NE(run.errors.find(refused), std::string::npos) << run.errors;
    EXPECT_EQ(ReadFile(temp_ / ORV_T("a.inp")), "<missing>");
  }
  EXPECT_EQ(Run({"inp", "create", archive, "--version", "2", "--compression", "2", tree}).exitCode, 0);
}

TEST_F(InpCommands, SizesAreMebibytesUnlessSuffixed) {
  const std::string noisy = NoisyTree();
  ASSERT_EQ(Run({"inp", "create", At(ORV_T("k.inp")), "--split-size", "64k", noisy}).exitCode, 0);
  ASSERT_EQ(Run({"inp", "create", At(ORV_T("m.inp")), "--split-size", "1", noisy}).exitCode, 0);
  // 350000 bytes need several 64 KiB parts, and fit one of 1 MiB.
  EXPECT_GE(PartFiles(At(ORV_T("k.inp"))), 4u);
  EXPECT_EQ(PartFiles(At(ORV_T("m.inp"))), 1u);
}

TEST_F(InpCommands, SeveralSourcesKeepTheirOwnNames) {
  const std::string archive = At(ORV_T("a.inp"));
  ASSERT_EQ(Run({"inp", "create", archive, At(ORV_T("tree")), At(ORV_T("single.bin"))}).exitCode, 0);
  std::vector<std::string> names;
  for (const auto& row : Rows(archive)) names.push_back(row[0]);
  EXPECT_EQ(names, (std::vector<std::string>{"tree", "tree\\a.txt", "tree\\sub", "tree\\sub\\b.txt", "single.bin"}));

  // Two folders of one name (Windows names ignore case) would fill one name twice.
  ASSERT_EQ(os::CreateDirectoryTree(temp_ / ORV_T("x\\data")), 0u);
  ASSERT_EQ(os::CreateDirectoryTree(temp_ / ORV_T("y\\DATA")), 0u);
  WriteFile(temp_ / ORV_T("x\\data\\one.txt"), "1");
  const CommandRun run = Run({"inp", "create", At(ORV_T("b.inp")), At(ORV_T("x\\data")), At(ORV_T("y\\DATA"))});
  EXPECT_EQ(run.exitCode, kExitUsage);
  EXPECT_NE(run.errors.find("would both be stored as DATA"), std::string::npos) << run.errors;
  EXPECT_EQ(ReadFile(temp_ / ORV_T("b.inp")), "<missing>");
}

TEST_F(InpCommands, AnArchiveIsReplacedOnlyWithForceAndWithoutItsOldParts) {
  const std::string archive = At(ORV_T("a.inp"));
  ASSERT_EQ(Run({"inp", "create", archive, "--split-size", "64K", NoisyTree()}).exitCode, 0);
  ASSERT_GE(PartFiles(archive), 4u);
  CommandRun run = Run({"inp", "create", archive, At(ORV_T("single.bin"))});
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_NE(run.errors.find(archive + " exists; give --force"), std::string::npos) << run.errors;
  EXPECT_EQ(Rows(archive).size(), 5u);  // untouched

  run = Run({"inp", "create", archive, "--force", At(ORV_T("single.bin"))});
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_EQ(PartFiles(archive), 1u);
  EXPECT_EQ(ReadFile(temp_ / ORV_T("a_0002.inp")), "<missing>");
}

TEST_F(InpCommands, ListingsForScripts) {
  const std::string archive = At(ORV_T("a.inp"));
  ASSERT_EQ(Run({"inp", "create", archive, At(ORV_T("tree"))}).exitCode, 0);
  const CommandRun info = Run({"inp", "info", "--json", archive});
  ASSERT_EQ(info.exitCode, 0);
  EXPECT_NE(info.output.find("\"version\":5,\"entries\":3,\"content_bytes\":70003,\"files\":[{\"role\":\"main file\""),
            std::string::npos)
      << info.output;
  const CommandRun list = Run({"inp", "list", "--json", archive});
  ASSERT_EQ(list.exitCode, 0);
  EXPECT_EQ(list.output.rfind("[{\"name\":\"a.txt\",\"size\":70000,", 0), 0u) << list.output;
  EXPECT_NE(list.output.find("{\"name\":\"sub\\\\b.txt\",\"size\":3,"), std::string::npos) << list.output;
  const auto rows = TsvRows(Run({"inp", "info", "--tsv", archive}).output);
  ASSERT_GE(rows.size(), 6u);
  EXPECT_EQ(rows[3], (std::vector<std::string>{"entries", "3"}));
  EXPECT_EQ(rows[5][0], "main file");
  EXPECT_EQ(Run({"inp", "list", "--tsv", "--json", archive}).exitCode, kExitUsage);
}

// One entry or a folder with what it holds; `/` separates names as `\` does.
TEST_F(InpCommands, ExtractsOneEntryOrAFolderByEitherSeparator) {
  const std::string archive = At(ORV_T("a.inp"));
  ASSERT_EQ(Run({"inp", "create", archive, "--version", "2", At(ORV_T("tree"))}).exitCode, 0);
  ASSERT_EQ(Run({"inp", "extract", archive, At(ORV_T("folder")), "sub/"}).exitCode, 0);
  EXPECT_EQ(ReadFile(temp_ / ORV_T("folder\\sub\\b.txt")), "bee");
  EXPECT_EQ(ReadFile(temp_ / ORV_T("folder\\a.txt")), "<missing>");
  ASSERT_EQ(Run({"inp", "extract", archive, At(ORV_T("one")), "SUB/b.txt"}).exitCode, 0);
  EXPECT_EQ(ReadFile(temp_ / ORV_T("one\\sub\\b.txt")), "bee");
}

// An entry that cannot be extracted is named; the others still come out, and the
// status says the result is partial.
TEST_F(InpCommands, AnEntryThatFailsMakesThePartialStatus) {
  const std::string archive = At(ORV_T("a.inp"));
  ASSERT_EQ(Run({"inp", "create", archive, At(ORV_T("tree"))}).exitCode, 0);
  ASSERT_EQ(os::CreateDirectoryTree(temp_ / ORV_T("out\\a.txt\\held")), 0u);  // a folder where a file goes
  const CommandRun run = Run({"inp", "extract", archive, At(ORV_T("out"))});
  EXPECT_EQ(run.exitCode, kExitPartial) << run.errors;
  EXPECT_NE(run.errors.find("vantrel: inp extract: cannot extract: error "), std::string::npos) << run.errors;
  EXPECT_NE(run.errors.find(": a.txt\n"), std::string::npos) << run.errors;
  EXPECT_EQ(ReadFile(temp_ / ORV_T("out\\sub\\b.txt")), "bee");
}

TEST_F(InpCommands, ACancelledCreateLeavesNothingUnlessAskedToKeepIt) {
  CreateRequest request;
  request.archive = At(ORV_T("c.inp"));
  request.splitSize = 16384;
  request.sources = {At(ORV_T("tree"))};
  RequestCancel();
  EXPECT_EQ(CreateArchive(stdout, request), kExitCancelled);
  EXPECT_EQ(ReadFile(temp_ / ORV_T("c.inp")), "<missing>");
  EXPECT_EQ(ReadFile(temp_ / ORV_T("c_0000.inp")), "<missing>");
  request.keepPartial = true;
  EXPECT_EQ(CreateArchive(stdout, request), kExitCancelled);
  WithdrawCancel();
  EXPECT_NE(ReadFile(temp_ / ORV_T("c.inp")), "<missing>");
}

TEST_F(InpCommands, HelpListsTheExitStatuses) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--help"}, {"inp", "create", "--help"}}) {
    const CommandRun run = Run(arguments);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.output.find("Exit status: 0 success, 1 failure, 2 bad usage"), std::string::npos) << run.output;
  }
  EXPECT_EQ(Run({}).exitCode, kExitUsage);
}

}  // namespace
}  // namespace vantrel_cli
