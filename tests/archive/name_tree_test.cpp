// The name tree: insertion and lookup across many MiB of nodes, and a reload of what
// was saved.
#include "archive/name_tree.h"

#include <gtest/gtest.h>

#include "archive/format.h"
#include "services/format.h"
#include "support/temp_folder.h"

namespace orv::test {
namespace {

TEST(NameTree, ManySiblingsSpanSeveralChunksAndSurviveAReload) {
  TempFolder temp;
  const WString index = temp / ORV_T("i_0000.inp");
  archive::NameTree tree;
  ASSERT_EQ(tree.Create(index, false), 0u);
  constexpr int kCount = 40000;
  for (int i = 0; i < kCount; ++i)
    ASSERT_TRUE(tree.Insert(Format(ORV_T("folder\\file-with-a-longer-name-%d"), i), 100 + i));
  EXPECT_GT(tree.Size(), 2 * archive::NameTree::kChunk);
  EXPECT_EQ(tree.Lookup(ORV_T("FOLDER\\FILE-WITH-A-LONGER-NAME-39999")), 100u + 39999);
  ASSERT_EQ(tree.Save(index), 0u);

  ASSERT_EQ(tree.Load(index, true), 0u);
  for (int i = 0; i < kCount; i += 997)
    EXPECT_EQ(tree.Lookup(Format(ORV_T("folder\\file-with-a-longer-name-%d"), i)), 100u + i);
  EXPECT_EQ(tree.Lookup(ORV_T("folder")), archive::kNoOffset);
  EXPECT_EQ(tree.Lookup(ORV_T("folder\\nothing")), archive::kNoOffset);
  // Insertion after a reload finds the existing nodes instead of adding new ones.
  const uint64_t size = tree.Size();
  ASSERT_TRUE(tree.Insert(ORV_T("Folder\\File-With-A-Longer-Name-7"), 5));
  EXPECT_EQ(tree.Size(), size);
  EXPECT_EQ(tree.Lookup(ORV_T("folder\\file-with-a-longer-name-7")), 5u);

  // Loaded to be read (its last chunk only as long as the file's tail), the tree answers
  // the same and refuses every change.
  ASSERT_EQ(tree.Load(index, false), 0u);
  EXPECT_EQ(tree.Lookup(ORV_T("folder\\file-with-a-longer-name-39999")), 100u + 39999);
  EXPECT_FALSE(tree.Insert(ORV_T("folder\\new"), 9));
  EXPECT_FALSE(tree.Insert(ORV_T("folder\\file-with-a-longer-name-3"), 9));
  EXPECT_EQ(tree.Lookup(ORV_T("folder\\file-with-a-longer-name-3")), 103u);
  EXPECT_EQ(tree.Lookup(ORV_T("folder\\new")), archive::kNoOffset);
}

TEST(NameTree, AFileIndexReadsLikeAHeapIndex) {
  TempFolder temp;
  archive::NameTree heap, file;
  ASSERT_EQ(heap.Create(temp / ORV_T("heap"), false), 0u);
  ASSERT_EQ(file.Create(temp / ORV_T("file"), true), 0u);
  for (archive::NameTree* tree : {&heap, &file}) {
    ASSERT_TRUE(tree->Insert(ORV_T("a\\b\\c"), 40));
    ASSERT_TRUE(tree->Insert(ORV_T("a\\B"), 200));
    ASSERT_TRUE(tree->Insert(ORV_T("\\x"), 300));
  }
  EXPECT_EQ(file.Size() + 6 * archive::NameTree::kHeapSlack, heap.Size());  // six nodes
  for (archive::NameTree* tree : {&heap, &file}) {
    EXPECT_EQ(tree->Lookup(ORV_T("A\\b\\C")), 40u);
    EXPECT_EQ(tree->Lookup(ORV_T("a\\b")), 200u);
    EXPECT_EQ(tree->Lookup(ORV_T("\\X")), 300u);
  }
  ASSERT_EQ(heap.Save(temp / ORV_T("heap")), 0u);
  ASSERT_EQ(file.Save(temp / ORV_T("file")), 0u);
}

}  // namespace
}  // namespace orv::test
