// LZNT1 chunks: the worked example of the format's published description, stored and
// short chunks, and damaged input that must fail without reading or writing outside.
#include "services/ntfs_lznt1.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/errors.h"

namespace orv::ntfs {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  return std::vector<uint8_t>(values.begin(), values.end());
}

std::string Decompress(const std::vector<uint8_t>& in, size_t room, DWORD& error) {
  std::vector<uint8_t> out(room, 0xEE);
  size_t produced = 0;
  error = DecompressLznt1(in.data(), in.size(), out.data(), out.size(), produced);
  return std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(produced));
}

TEST(Lznt1, DecompressesThePublishedExample) {
  const std::vector<uint8_t> in = Bytes(
      {0x38, 0xb0, 0x88, 0x46, 0x23, 0x20, 0x00, 0x20, 0x47, 0x20, 0x41, 0x00, 0x10, 0xa2, 0x47,
       0x01, 0xa0, 0x45, 0x20, 0x44, 0x00, 0x08, 0x45, 0x01, 0x50, 0x79, 0x00, 0xc0, 0x45, 0x20,
       0x05, 0x24, 0x13, 0x88, 0x05, 0xb4, 0x02, 0x4a, 0x44, 0xef, 0x03, 0x58, 0x02, 0x8c, 0x09,
       0x16, 0x01, 0x48, 0x45, 0x00, 0xbe, 0x00, 0x9e, 0x00, 0x04, 0x01, 0x18, 0x90, 0x00});
  const std::string expected =
      std::string("F# F# G A A G F# E D D E F# F# E E F# F# G A A G F# E D D E F# E D D E E F# D E "
                  "F# G F# D E F# G F# E D E A F# F# G A A G F# E D D E F# E D D") +
      '\0';
  DWORD error = 1;
  EXPECT_EQ(Decompress(in, 4096, error), expected);
  EXPECT_EQ(error, 0u);
  // A smaller output is filled and never passed.
  EXPECT_EQ(Decompress(in, 20, error), expected.substr(0, 20));
  EXPECT_EQ(error, 0u);
}

TEST(Lznt1, StoredChunksAndShortChunksBeforeAnother) {
  // A stored chunk of three bytes, then a compressed one: the first stands for 4,096
  // bytes, completed with zeros.
  const std::vector<uint8_t> in =
      Bytes({0x02, 0x30, 'a', 'b', 'c', 0x03, 0xB0, 0x02, 'x', 0x00, 0x00, 0, 0});
  DWORD error = 1;
  const std::string out = Decompress(in, 8192, error);
  EXPECT_EQ(error, 0u);
  ASSERT_EQ(out.size(), 4096u + 4u);
  EXPECT_EQ(out.substr(0, 3), "abc");
  EXPECT_EQ(out.substr(3, 4093), std::string(4093, '\0'));
  EXPECT_EQ(out.substr(4096), "xxxx");  // a literal, then a reference of length 3 to it
}

TEST(Lznt1, DamagedChunksFailCleanly) {
  DWORD error = 0;
  // A reference before the start of the chunk.
  Decompress(Bytes({0x03, 0xB0, 0x03, 0x00, 0x00, 0x00}), 4096, error);
  EXPECT_EQ(error, err::kFileCorrupt);
  Decompress(Bytes({0x03, 0xB0, 0x02, 'x', 0x00, 0x10}), 4096, error);  // distance 2 after 1 byte
  EXPECT_EQ(error, err::kFileCorrupt);
  // A body longer than the input, a wrong signature, a reference cut in half.
  Decompress(Bytes({0x10, 0xB0, 0x00, 'a'}), 4096, error);
  EXPECT_EQ(error, err::kFileCorrupt);
  Decompress(Bytes({0x02, 0x10, 'a', 'b', 'c'}), 4096, error);
  EXPECT_EQ(error, err::kFileCorrupt);
  Decompress(Bytes({0x02, 0xB0, 0x02, 'x', 0x00}), 4096, error);
  EXPECT_EQ(error, err::kFileCorrupt);
  // Nothing at all, or a zero header: nothing produced, no failure.
  EXPECT_EQ(Decompress(Bytes({}), 4096, error), "");
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(Decompress(Bytes({0, 0, 0x02, 0x30, 'a', 'b', 'c'}), 4096, error), "");
  EXPECT_EQ(error, 0u);
}

}  // namespace
}  // namespace orv::ntfs
