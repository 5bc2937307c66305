#include "self_check.h"

#include "error_text.h"
#include "exit_status.h"
#include "platform/encoding.h"
#include "platform/process.h"
#include "vantrel/vantrel.h"

namespace vantrel_cli {

namespace {

struct Family {
  const char* factory;
  const char* interfaceName;
  int operations;  // between Dump and Release in the interface's table
};

constexpr Family kFamilies[] = {
    {"GetImageInterface", "IOrvImage", 14},
    {"GetImageExInterface", "IOrvImageEx", 1},
    {"GetWIMInterface", "IOrvWim", 24},
    {"GetMorletInterface", "IOrvMorlet", 19},
    {"GetMrlComparisonInterface", "IOrvMrlComparison", 4},
    {"GetIOrvRecoveryPointInterface", "IOrvRecoveryPoint", 1},
};

}  // namespace

int RunSelfCheck(std::FILE* out) {
  orv::os::Module library;
  const orv::WString name = orv::os::FromUtf8(VANTREL_LIBRARY_NAME);
  if (DWORD error = library.Load(name)) {
    PrintError("selfcheck: cannot load", error, VANTREL_LIBRARY_NAME);
    return kExitFailure;
  }
  std::fprintf(out, "%s\n\n%-31s %-19s %10s  %-7s %s\n", VANTREL_LIBRARY_NAME, "Factory",
               "Interface", "Operations", "Object", "Dump");
  int failures = 0;
  for (const Family& family : kFamilies) {
    // Every factory returns an interface derived from COrvObject, with Release last.
    using Factory = COrvObject* (*)();
    auto factory = reinterpret_cast<Factory>(library.Find(family.factory));
    COrvObject* object = factory ? factory() : nullptr;
    const bool dumped = object && object->Dump();
    std::fprintf(out, "%-31s %-19s %10d  %-7s %s\n", family.factory, family.interfaceName,
                 family.operations, !factory ? "missing" : (object ? "created" : "null"),
                 dumped ? "TRUE" : "-");
    if (!dumped) ++failures;
    OrvDelete(object);  // the same destructor entry that Release runs
  }
  std::fprintf(out, "\n%s\n", failures == 0 ? "all six families answer" : "some families failed");
  return failures == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace vantrel_cli
