// The built library as a caller sees it: loaded by name, six factories found by their
// undecorated names, every operation reachable through its slot of the table.
#include <gtest/gtest.h>

#include "platform/encoding.h"
#include "platform/process.h"
#include "platform/text.h"
#include "vantrel/vantrel.h"

namespace {

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(library_.Load(orv::os::FromUtf8(VANTREL_LIBRARY_PATH)), 0u)
        << "cannot load " << VANTREL_LIBRARY_PATH;
  }

  template <class Interface>
  Interface* Make(const char* factoryName) {
    using Factory = Interface* (*)();
    auto factory = reinterpret_cast<Factory>(library_.Find(factoryName));
    EXPECT_NE(factory, nullptr) << factoryName << " is not exported";
    return factory ? factory() : nullptr;
  }

  orv::os::Module library_;
};

// Each call must land in its own operation: a table out of order would run Release or
// the destructor early, which the checks after it (and the sanitizers) catch.
template <class Interface>
void ExpectNotBuilt(Interface* object, BOOL result) {
  EXPECT_FALSE(result);
  EXPECT_EQ(object->GetLastErrorCode(), ORV_ERROR_NOT_SUPPORTED);
  EXPECT_TRUE(object->Dump());
}

// A refusal of a built operation: false and a code, whether or not the machine has
// the component behind it.
template <class Interface>
void ExpectRefused(Interface* object, BOOL result) {
  EXPECT_FALSE(result);
  EXPECT_NE(object->GetLastErrorCode(), 0u);
  EXPECT_TRUE(object->Dump());
}

TEST_F(LibraryTest, EveryFactoryCreatesAnObjectThatDumpsAndReleases) {
  COrvObject* objects[] = {
      Make<IOrvImage>("GetImageInterface"),
      Make<IOrvImageEx>("GetImageExInterface"),
      Make<IOrvWim>("GetWIMInterface"),
      Make<IOrvMorlet>("GetMorletInterface"),
      Make<IOrvMrlComparison>("GetMrlComparisonInterface"),
      Make<IOrvRecoveryPoint>("GetIOrvRecoveryPointInterface"),
  };
  for (COrvObject* object : objects) {
    ASSERT_NE(object, nullptr);
    EXPECT_TRUE(object->Dump());
    EXPECT_EQ(object->GetLastErrorCode(), 0u);
  }
  // Deleting through the interface runs the destructor entry that Release runs too.
  for (COrvObject* object : objects) OrvDelete(object);
}

TEST_F(LibraryTest, ImageOperationsAnswerThroughTheirSlots) {
  IOrvImage* image = Make<IOrvImage>("GetImageInterface");
  ASSERT_NE(image, nullptr);
  const ORVCHAR* path = ORV_T("x");
  ORVCHAR buffer[64] = {};
  IMAGEDATA imageData{};
  DIFFIMAGEDATA diffData{};
  ExpectRefused(image, image->CreateWIM(nullptr, path, 0, 0, 0, nullptr));  // no source
  EXPECT_EQ(image->GetLastErrorCode(), ORV_ERROR_ARG1);
  ExpectRefused(image, image->CreateImageFile(path, path, 3, 0, 0, 0, nullptr));  // sector type
  EXPECT_EQ(image->GetLastErrorCode(), ORV_ERROR_NOT_SUPPORTED);
  ExpectRefused(image, image->CreateDifferentialImage(&diffData));  // no folders
  EXPECT_EQ(image->GetLastErrorCode(), 87u);
  ExpectRefused(image, image->CreateImage(&imageData));  // no target folder
  EXPECT_EQ(image->GetLastErrorCode(), 87u);
  ExpectRefused(image, image->RestoreImage(nullptr, path, nullptr));
  EXPECT_EQ(image->GetLastErrorCode(), ORV_ERROR_ARG1);
  ExpectRefused(image, image->RestoreDifferentialImage(nullptr, path, 0, path, nullptr));
  EXPECT_EQ(image->GetLastErrorCode(), ORV_ERROR_ARG1);
  ExpectRefused(image, image->EnumerateContent(nullptr, nullptr));
  EXPECT_EQ(image->GetLastErrorCode(), ORV_ERROR_ARG1);
  ExpectRefused(image, image->ExtractWIM(nullptr, path, nullptr));
  EXPECT_EQ(image->GetLastErrorCode(), ORV_ERROR_ARG1);
  ExpectRefused(image, image->Extract(path, nullptr, nullptr));
  EXPECT_EQ(image->GetLastErrorCode(), ORV_ERROR_ARG2);
  ExpectRefused(image, image->GetPassword(path, buffer, 16));  // too short for a password
  EXPECT_EQ(image->GetLastErrorCode(), 0x10000004u);
  ExpectRefused(image, image->ExtractSingleFile(nullptr, path, path));
  EXPECT_EQ(image->GetLastErrorCode(), ORV_ERROR_ARG1);
  ExpectRefused(image, image->GetEntryInfo(path, path, nullptr));
  EXPECT_EQ(image->GetLastErrorCode(), ORV_ERROR_ARG3);
  ExpectRefused(image, image->ListContentDifferential(nullptr, 0, nullptr));
  EXPECT_EQ(image->GetLastErrorCode(), ORV_ERROR_ARG1);
  ExpectRefused(image, image->ListContent(nullptr, nullptr));
  EXPECT_EQ(image->GetLastErrorCode(), ORV_ERROR_ARG1);
  image->Release();

  IOrvImageEx* imageEx = Make<IOrvImageEx>("GetImageExInterface");
  ASSERT_NE(imageEx, nullptr);
  // An empty range is refused before any folder is looked at.
  ExpectRefused(imageEx, imageEx->MergeDifferentialSets(path, 1, 1, nullptr));
  EXPECT_EQ(imageEx->GetLastErrorCode(), 87u);
  imageEx->Release();

  IOrvRecoveryPoint* point = Make<IOrvRecoveryPoint>("GetIOrvRecoveryPointInterface");
  ASSERT_NE(point, nullptr);
  // A new folder that is the previous point's is refused before anything is touched.
  EXPECT_FALSE(point->Create(path, path, path, path, nullptr));
  EXPECT_EQ(point->GetLastErrorCode(), 87u);
  point->Release();

  IOrvMrlComparison* comparison = Make<IOrvMrlComparison>("GetMrlComparisonInterface");
  ASSERT_NE(comparison, nullptr);
  LAYOUTPARTITIONDATA partition{};
  // Built: nothing compared yet ends the walk at once, a missing disk fails the comparison.
  EXPECT_FALSE(comparison->GetFirstPartition(&partition));
  EXPECT_EQ(comparison->GetLastErrorCode(), 259u);
  EXPECT_FALSE(comparison->GetNextPartition(&partition));
  EXPECT_EQ(comparison->GetLastErrorCode(), 259u);
  comparison->Close();
  EXPECT_FALSE(comparison->OpenComparison(1000, path, -1));
  EXPECT_NE(comparison->GetLastErrorCode(), 0u);
  comparison->Release();
}

TEST_F(LibraryTest, ArchiveOperationsAnswerThroughTheirSlots) {
  IOrvMorlet* archive = Make<IOrvMorlet>("GetMorletInterface");
  ASSERT_NE(archive, nullptr);
  const ORVCHAR* path = ORV_T("no-such-archive.inp");
  ORVCHAR buffer[64] = {1};
  // Each slot gives the answer of its own operation on an archive that is not open.
  ExpectRefused(archive, archive->ExtractCurrent(path, 0));
  EXPECT_EQ(archive->GetLastErrorCode(), 0x10000203u);
  ExpectRefused(archive, archive->ExtractFile(path, nullptr));
  EXPECT_EQ(archive->GetLastErrorCode(), 0x10000002u);
  ExpectRefused(archive, archive->AddFile(path, path, nullptr, 0, nullptr));
  EXPECT_EQ(archive->GetLastErrorCode(), 87u);
  ExpectRefused(archive, archive->FindEntry(path));
  ExpectRefused(archive, archive->NextEntry(1));
  ExpectRefused(archive, archive->Close());
  EXPECT_EQ(archive->GetLastErrorCode(), 0x10000203u);
  ExpectRefused(archive, archive->Open(path, 1, 5));
  EXPECT_EQ(archive->GetLastErrorCode(), 2u);
  EXPECT_EQ(archive->GetArchiveType(), 1u);
  EXPECT_TRUE(archive->GetEntryName(buffer, 64));
  EXPECT_EQ(buffer[0], 0);
  EXPECT_TRUE(archive->GetMountPath(buffer, 64));
  EXPECT_EQ(archive->GetEntryAttributes().dwFileAttributes, 0u);
  archive->SetCompression(1);
  EXPECT_TRUE(archive->GetEntryTempName(buffer, 64));
  EXPECT_EQ(archive->GetEntrySize(), 0u);
  EXPECT_EQ(archive->GetEntryCreationTime().dwLowDateTime, 0u);
  EXPECT_EQ(archive->GetEntryLastAccessTime().dwLowDateTime, 0u);
  EXPECT_EQ(archive->GetEntryLastWriteTime().dwLowDateTime, 0u);
  EXPECT_EQ(archive->GetSplitSize(), 681574400u);
  EXPECT_EQ(archive->SetSplitSize(1048576), 1048576u);
  EXPECT_EQ(archive->GetSplitSize(), 1048576u);
  archive->Release();
}

TEST_F(LibraryTest, WimOperationsAnswerThroughTheirSlots) {
  IOrvWim* wim = Make<IOrvWim>("GetWIMInterface");
  ASSERT_NE(wim, nullptr);
  const ORVCHAR* path = ORV_T("x");
  ORVCHAR buffer[32] = {};
  DWORD result = 0;
  LONGLONG size = 0;
  void* info = nullptr;
  BYTE attributes[560] = {};
  ExpectRefused(wim, wim->WIMCreateFile(path, 0, 0, 0, 0, &result) != nullptr);
  ExpectRefused(wim, wim->WIMCopyFile(path, path, nullptr, nullptr, nullptr, 0));
  ExpectRefused(wim, wim->WIMGetImageCount(nullptr) != 0xFFFFFFFF);
  ExpectRefused(wim, wim->WIMGetAttributes(nullptr, attributes, sizeof attributes));
  ExpectRefused(wim, wim->WIMCloseHandle(nullptr));
  ExpectRefused(wim, wim->WIMApplyImage(nullptr, path, 0));
  ExpectRefused(wim, wim->WIMLoadImage(nullptr, 1) != nullptr);
  ExpectRefused(wim, wim->WIMExportImage(nullptr, nullptr, 0));
  ExpectRefused(wim, wim->WIMMountImage(path, path, 1, path));
  ExpectRefused(wim, wim->WIMUnmountImage(path, path, 1, 0));
  ExpectRefused(wim, wim->WIMCaptureImage(nullptr, path, 0) != nullptr);
  ExpectRefused(wim, wim->WIMSplitFile(nullptr, path, &size, 0));
  ExpectRefused(wim, wim->WIMSetTemporaryPath(nullptr, path));
  ExpectRefused(wim, wim->WIMRegisterMessageCallback(nullptr, nullptr, nullptr) != 0xFFFFFFFF);
  ExpectRefused(wim, wim->WIMUnregisterMessageCallback(nullptr, nullptr));
  ExpectRefused(wim, wim->WIMGetImageInformation(nullptr, &info, &result));
  ExpectRefused(wim, wim->WIMSetImageInformation(nullptr, nullptr, 0));
  ExpectRefused(wim, wim->GetMountResult());
  ExpectRefused(wim, wim->IsFirstPart(path));
  ExpectRefused(wim, wim->GetPartNumber(path) != 0);
  ExpectRefused(wim, wim->WIMSetBootImage(nullptr, 1));
  ExpectRefused(wim, wim->WIMSetReferenceFile(nullptr, path, 0));
  ExpectRefused(wim, wim->SetPassword(path, path));
  ExpectRefused(wim, wim->GetPassword(path, buffer));
  wim->Release();
}

TEST(OrvRelease, NullPointerIsLeftAlone) {
  IOrvImage* none = nullptr;
  OrvRelease(none);
  EXPECT_EQ(none, nullptr);
}

}  // namespace
