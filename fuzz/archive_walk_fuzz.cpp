// Fuzz target for the reader alone: the bytes become an archive of one version, which
// is opened and walked; every entry is looked up, its security descriptor read and its
// blocks streamed and decompressed in memory. Nothing is extracted: a run costs the
// three small writes that put the archive in place and the reader's own buffers, not a
// tree on disk to write and remove.
#include <cstdint>
#include <memory>
#include <vector>

#include "archive/format.h"
#include "archive/lzo_codec.h"
#include "archive/morlet.h"
#include "fuzz_archive.h"

namespace {

using orv::WString;
namespace archive = orv::archive;

void DecompressEntry(orv::COrvMorlet& reader, const WString& name, uint8_t* room) {
  std::vector<uint8_t> block;
  if (!reader.StartStreamRead(name.c_str(), block)) return;
  do {
    uint32_t produced = 0;
    int code = 0;
    archive::LzoCodec::Decompress(block.data(), static_cast<uint32_t>(block.size()), room,
                                  produced, code);
  } while (reader.NextStreamBlock(block));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    orv::os::CreateDirectory(orv::fuzz::Scratch());
    int code = 0;
    return archive::LzoCodec::Init(code);
  }();
  static const std::unique_ptr<uint8_t[]> room(new uint8_t[archive::kBlockSize]);
  if (!ready) return 0;
  const WString path = orv::fuzz::PlaceArchive(data, size);
  orv::COrvMorlet reader;
  if (!reader.Open(path.c_str(), 1, 0)) return 0;
  std::vector<WString> names;
  while (reader.NextEntry(1)) {
    orv::Char name[300];
    reader.GetEntryName(name, 300);
    names.emplace_back(name);
    std::vector<uint8_t> descriptor;
    reader.ReadEntrySecurity(descriptor);
  }
  for (const WString& name : names) {
    reader.FindEntry(name.c_str());
    DecompressEntry(reader, name, room.get());
  }
  reader.Close();
  return 0;
}
