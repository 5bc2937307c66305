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
  for (COrvObject* object : objects) delete object;  // the destructor Release runs
}

TEST_F(LibraryTest, ImageOperationsAnswerThroughTheirSlots) {
  IOrvImage* image = Make<IOrvImage>("GetImageInterface");
  ASSERT_NE(image, nullptr);
  const ORVCHAR* path = ORV_T("x");
  ORVCHAR buffer[64] = {};
  ORVFILEATTRIBUTEDATA data{};
  IMAGEDATA imageData{};
  DIFFIMAGEDATA diffData{};
  ExpectNotBuilt(image, image->CreateWIM(path, path, 0, 0, 0, nullptr));
  ExpectNotBuilt(image, image->CreateImageFile(path, path, 2, 0, 0, 0, nullptr));
  ExpectNotBuilt(image, image->CreateDifferentialImage(&diffData));
  ExpectNotBuilt(image, image->CreateImage(&imageData));
  ExpectNotBuilt(image, image->RestoreImage(path, path, nullptr));
  ExpectNotBuilt(image, image->RestoreDifferentialImage(path, path, 0, path, nullptr));
  ExpectNotBuilt(image, image->EnumerateContent(path, nullptr));
  ExpectNotBuilt(image, image->ExtractWIM(path, path, nullptr));
  ExpectNotBuilt(image, image->Extract(path, path, nullptr));
  ExpectNotBuilt(image, image->GetPassword(path, buffer, 64));
  ExpectNotBuilt(image, image->ExtractSingleFile(path, path, path));
  ExpectNotBuilt(image, image->GetEntryInfo(path, path, &data));
  ExpectNotBuilt(image, image->ListContentDifferential(path, 0, nullptr));
  ExpectNotBuilt(image, image->ListContent(path, nullptr));
  image->Release();

  IOrvImageEx* imageEx = Make<IOrvImageEx>("GetImageExInterface");
  ASSERT_NE(imageEx, nullptr);
  ExpectNotBuilt(imageEx, imageEx->MergeDifferentialSets(path, 0, 1, nullptr));
  imageEx->Release();

  IOrvRecoveryPoint* point = Make<IOrvRecoveryPoint>("GetIOrvRecoveryPointInterface");
  ASSERT_NE(point, nullptr);
  ExpectNotBuilt(point, point->Create(path, path, path, path, nullptr));
  point->Release();

  IOrvMrlComparison* comparison = Make<IOrvMrlComparison>("GetMrlComparisonInterface");
  ASSERT_NE(comparison, nullptr);
  LAYOUTPARTITIONDATA partition{};
  ExpectNotBuilt(comparison, comparison->GetFirstPartition(&partition));
  ExpectNotBuilt(comparison, comparison->GetNextPartition(&partition));
  comparison->Close();
  ExpectNotBuilt(comparison, comparison->OpenComparison(0, path, -1));
  comparison->Release();
}

TEST_F(LibraryTest, ArchiveOperationsAnswerThroughTheirSlots) {
  IOrvMorlet* archive = Make<IOrvMorlet>("GetMorletInterface");
  ASSERT_NE(archive, nullptr);
  const ORVCHAR* path = ORV_T("x");
  ORVCHAR buffer[64] = {};
  ExpectNotBuilt(archive, archive->ExtractCurrent(path, 0));
  ExpectNotBuilt(archive, archive->ExtractFile(path, path));
  ExpectNotBuilt(archive, archive->AddFile(path, path, nullptr, 0, nullptr));
  ExpectNotBuilt(archive, archive->FindEntry(path));
  ExpectNotBuilt(archive, archive->NextEntry(1));
  ExpectNotBuilt(archive, archive->Close());
  ExpectNotBuilt(archive, archive->Open(path, 1, 5));
  ExpectNotBuilt(archive, archive->GetArchiveType() != 0);
  ExpectNotBuilt(archive, archive->GetEntryName(buffer, 64));
  ExpectNotBuilt(archive, archive->GetMountPath(buffer, 64));
  ExpectNotBuilt(archive, archive->GetEntryAttributes().dwFileAttributes != 0);
  archive->SetCompression(1);
  ExpectNotBuilt(archive, FALSE);
  ExpectNotBuilt(archive, archive->GetEntryTempName(buffer, 64));
  ExpectNotBuilt(archive, archive->GetEntrySize() != 0);
  ExpectNotBuilt(archive, archive->GetEntryCreationTime().dwLowDateTime != 0);
  ExpectNotBuilt(archive, archive->GetEntryLastAccessTime().dwLowDateTime != 0);
  ExpectNotBuilt(archive, archive->GetEntryLastWriteTime().dwLowDateTime != 0);
  ExpectNotBuilt(archive, archive->GetSplitSize() != 0);
  ExpectNotBuilt(archive, archive->SetSplitSize(1) != 0);
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
  ExpectNotBuilt(wim, wim->WIMCreateFile(path, 0, 0, 0, 0, &result) != nullptr);
  ExpectNotBuilt(wim, wim->WIMCopyFile(path, path, nullptr, nullptr, nullptr, 0));
  ExpectNotBuilt(wim, wim->WIMGetImageCount(nullptr) != 0);
  ExpectNotBuilt(wim, wim->WIMGetAttributes(nullptr, attributes, sizeof attributes));
  ExpectNotBuilt(wim, wim->WIMCloseHandle(nullptr));
  ExpectNotBuilt(wim, wim->WIMApplyImage(nullptr, path, 0));
  ExpectNotBuilt(wim, wim->WIMLoadImage(nullptr, 1) != nullptr);
  ExpectNotBuilt(wim, wim->WIMExportImage(nullptr, nullptr, 0));
  ExpectNotBuilt(wim, wim->WIMMountImage(path, path, 1, path));
  ExpectNotBuilt(wim, wim->WIMUnmountImage(path, path, 1, 0));
  ExpectNotBuilt(wim, wim->WIMCaptureImage(nullptr, path, 0) != nullptr);
  ExpectNotBuilt(wim, wim->WIMSplitFile(nullptr, path, &size, 0));
  ExpectNotBuilt(wim, wim->WIMSetTemporaryPath(nullptr, path));
  ExpectNotBuilt(wim, wim->WIMRegisterMessageCallback(nullptr, nullptr, nullptr) != 0);
  ExpectNotBuilt(wim, wim->WIMUnregisterMessageCallback(nullptr, nullptr));
  ExpectNotBuilt(wim, wim->WIMGetImageInformation(nullptr, &info, &result));
  ExpectNotBuilt(wim, wim->WIMSetImageInformation(nullptr, nullptr, 0));
  ExpectNotBuilt(wim, wim->GetMountResult());
  ExpectNotBuilt(wim, wim->IsFirstPart(path));
  ExpectNotBuilt(wim, wim->GetPartNumber(path) != 0);
  ExpectNotBuilt(wim, wim->WIMSetBootImage(nullptr, 1));
  ExpectNotBuilt(wim, wim->WIMSetReferenceFile(nullptr, path, 0));
  ExpectNotBuilt(wim, wim->SetPassword(path, path));
  ExpectNotBuilt(wim, wim->GetPassword(path, buffer));
  wim->Release();
}

TEST(OrvRelease, NullPointerIsLeftAlone) {
  IOrvImage* none = nullptr;
  OrvRelease(none);
  EXPECT_EQ(none, nullptr);
}

}  // namespace
