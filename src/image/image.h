// COrvImage: full and differential images of a disk's partitions, their restore,
// listing and extraction, and WIM capture.
#pragma once

#include "frame/implementation.h"

namespace orv {

class COrvImage final : public COrvImplementation<IOrvImage, COrvImage> {
 public:
  BOOL CreateWIM(LPCTSTR pstrSourceDir, LPCTSTR pstrTargetFile, DWORD dwCompType,
                 DWORD dwSplitSize, BOOL bBootImage, ORVDCALLBACK pCallBack) override;
  BOOL CreateImageFile(LPCTSTR pstrSourceDir, LPCTSTR pstrTargetFile, DWORD dwImageType,
                       DWORD dwCompType, DWORD dwSplitSizeMB, BOOL bBootImage,
                       ORVDCALLBACK pCallBack) override;
  BOOL CreateDifferentialImage(LPDIFFIMAGEDATA pImageData) override;
  BOOL CreateImage(LPIMAGEDATA pImageData) override;
  BOOL RestoreImage(LPCTSTR pstrSourceDir, LPCTSTR pstrTargetDir, ORVDCALLBACK pCallBack) override;
  BOOL RestoreDifferentialImage(LPCTSTR pstrImageDir, LPCTSTR pstrDifferentialImageDir,
                                int nRestorePoint, LPCTSTR pstrTargetDir,
                                ORVDCALLBACK pCallBack) override;
  BOOL EnumerateContent(LPCTSTR pstrFile, ORVDCALLBACK pCallBack) override;
  BOOL ExtractWIM(LPCTSTR pstrFile, LPCTSTR pstrTargetDir, ORVDCALLBACK pCallBack) override;
  BOOL Extract(LPCTSTR pstrFile, LPCTSTR pstrTargetDir, ORVDCALLBACK pCallBack) override;
  BOOL GetPassword(LPCTSTR pstrSourceDir, LPTSTR pstrPassword, DWORD dwLen) override;
  BOOL ExtractSingleFile(LPCTSTR pstrEntry, LPCTSTR pstrFile, LPCTSTR pstrTargetDir) override;
  BOOL GetEntryInfo(LPCTSTR pstrEntry, LPCTSTR pstrFile, ORVFILEATTRIBUTEDATA* pData) override;
  BOOL ListContentDifferential(LPCTSTR pstrImageDir, int nRestorePoint,
                               ORVDCALLBACK pCallBack) override;
  BOOL ListContent(LPCTSTR pstrImageDir, ORVDCALLBACK pCallBack) override;
};

}  // namespace orv
