// The six exported factories, declared with their export marks in vantrel.h. Each
// creates one object with the ordinary allocator and hands it to the caller, who ends
// it with Release. A failed allocation or a constructor that throws gives null; nothing
// is logged and nothing is kept.
#include "archive/morlet.h"
#include "diffsets/image_ex.h"
#include "frame/factory.h"
#include "image/image.h"
#include "layout/mrl_comparison.h"
#include "recovery/recovery_point.h"
#include "wim/wim.h"

IOrvImage* GetImageInterface() { return orv::CreateObject<orv::COrvImage>(); }
IOrvImageEx* GetImageExInterface() { return orv::CreateObject<orv::COrvImageEx>(); }
IOrvWim* GetWIMInterface() { return orv::CreateObject<orv::COrvWim>(); }
IOrvMorlet* GetMorletInterface() { return orv::CreateObject<orv::COrvMorlet>(); }
IOrvMrlComparison* GetMrlComparisonInterface() {
  return orv::CreateObject<orv::COrvMrlComparison>();
}
IOrvRecoveryPoint* GetIOrvRecoveryPointInterface() {
  return orv::CreateObject<orv::COrvRecoveryPoint>();
}
