// The part of the wimlib library (libwim.so.15) that the Linux engine uses, declared
// from its documentation: the types with their documented layout on Linux (text is
// UTF-8 `char`), the constants, and the functions found at run time.
#pragma once

#if !defined(_WIN32)
#include <cstddef>
#include <cstdint>

namespace orv::wim::lib {

struct WIMStruct;

inline constexpr int kAllImages = -1;

// Progress messages and answers.
enum ProgressMessage : int {
  kMsgExtractStreams = 4,
  kMsgWriteStreams = 12,
  kMsgTestFileExclusion = 30,
  kMsgHandleError = 31,
};
inline constexpr int kProgressContinue = 0;
inline constexpr int kProgressAbort = 1;

// Flags.
inline constexpr int kOpenWriteAccess = 0x4;
inline constexpr int kAddNtfs = 0x1;  // the source is an NTFS volume's device or image
inline constexpr int kAddTestFileExclusion = 0x4000;
inline constexpr int kExtractNtfs = 0x1;  // the target is an NTFS volume's device or image
inline constexpr int kWriteCheckIntegrity = 0x1;
inline constexpr int kChangeBootIndex = 0x4;
inline constexpr int kUnmountCommit = 0x2;
inline constexpr int kIterateRecursive = 0x1;

// Error codes the engine tells apart.
enum Error : int {
  kErrSuccess = 0,
  kErrAlreadyLocked = 1,
  kErrDecompression = 2,
  kErrFuse = 6,
  kErrImageCount = 10,
  kErrImageNameCollision = 11,
  kErrInsufficientPrivileges = 12,
  kErrIntegrity = 13,
  kErrInvalidCompressionType = 16,
  kErrInvalidHeader = 17,
  kErrInvalidImage = 18,
  kErrInvalidIntegrityTable = 19,
  kErrInvalidLookupTableEntry = 20,
  kErrInvalidMetadataResource = 21,
  kErrInvalidParam = 24,
  kErrInvalidPartNumber = 25,
  kErrInvalidResourceHash = 28,
  kErrIsDirectory = 32,
  kErrIsSplitWim = 33,
  kErrMetadataNotFound = 36,
  kErrMkdir = 37,
  kErrNomem = 39,
  kErrNotdir = 40,
  kErrNotempty = 41,
  kErrNotARegularFile = 42,
  kErrNotAWimFile = 43,
  kErrNoFilename = 45,
  kErrOpen = 47,
  kErrOpendir = 48,
  kErrPathDoesNotExist = 49,
  kErrRead = 50,
  kErrRename = 52,
  kErrResourceNotFound = 55,
  kErrSplitInvalid = 62,
  kErrStat = 63,
  kErrUnexpectedEndOfFile = 65,
  kErrUnknownVersion = 67,
  kErrUnsupported = 68,
  kErrWimIsReadonly = 71,
  kErrWrite = 72,
  kErrXml = 73,
  kErrAbortedByProgress = 76,
  kErrMountedImageIsBusy = 79,
  kErrNotAMountpoint = 80,
  kErrNotPermittedToUnmount = 81,
  kErrWimIsIncomplete = 84,
  kErrDuplicateExportedImage = 87,
};

struct WimInfo {
  uint8_t guid[16];
  uint32_t image_count;
  uint32_t boot_index;
  uint32_t wim_version;
  uint32_t chunk_size;
  uint16_t part_number;
  uint16_t total_parts;
  int32_t compression_type;
  uint64_t total_bytes;
  uint32_t flags;  // has_integrity_table, opened_from_file, is_readonly, has_rpfix, ...
  uint32_t reserved[9];
};
inline constexpr uint32_t kInfoHasIntegrityTable = 0x1;
inline constexpr uint32_t kInfoHasRpfix = 0x8;
inline constexpr uint32_t kInfoSpanned = 0x20;

struct ProgressWriteStreams {
  uint64_t total_bytes;
  uint64_t total_streams;
  uint64_t completed_bytes;
  uint64_t completed_streams;
  uint32_t num_threads;
  int32_t compression_type;
  uint32_t total_parts;
  uint32_t completed_parts;
  uint64_t completed_compressed_bytes;
};

struct ProgressExtract {
  uint32_t image;
  uint32_t extract_flags;
  const char* wimfile_name;
  const char* image_name;
  const char* target;
  const char* reserved;
  uint64_t total_bytes;
  uint64_t completed_bytes;
  uint64_t total_streams;
  uint64_t completed_streams;
  uint32_t part_number;
  uint32_t total_parts;
  uint8_t guid[16];
  uint64_t current_file_count;
  uint64_t end_file_count;
};

struct ProgressSplit {
  uint64_t total_bytes;
  uint64_t completed_bytes;
  unsigned cur_part_number;
  unsigned total_parts;
  char* part_name;
};

struct ProgressTestFileExclusion {
  const char* path;
  bool will_exclude;
};

struct ProgressHandleError {
  const char* path;
  int error_code;
  bool will_ignore;
};

union ProgressInfo {
  ProgressWriteStreams write_streams;
  ProgressExtract extract;
  ProgressSplit split;
  ProgressTestFileExclusion test_file_exclusion;
  ProgressHandleError handle_error;
};

using ProgressFunction = int (*)(int message, ProgressInfo* info, void* context);

struct Timespec {
  int64_t tv_sec;  // since 1970-01-01 UTC
  int32_t tv_nsec;
};

struct ResourceEntry {
  uint64_t uncompressed_size;
  uint64_t compressed_size;
  uint64_t offset;
  uint8_t sha1_hash[20];
  uint32_t part_number;
  uint32_t reference_count;
  uint32_t flags;  // bits: compressed, metadata, free, spanned, missing, packed (solid)
  uint64_t raw_resource_offset_in_wim;
  uint64_t raw_resource_compressed_size;
  uint64_t raw_resource_uncompressed_size;
  uint64_t reserved[1];
};

inline constexpr uint32_t kResourceCompressed = 0x1;
inline constexpr uint32_t kResourceSpanned = 0x8;
inline constexpr uint32_t kResourceMissing = 0x10;
inline constexpr uint32_t kResourcePacked = 0x20;

struct StreamEntry {
  const char* stream_name;
  ResourceEntry resource;
  uint64_t reserved[4];
};

struct DirEntry {
  const char* filename;
  const char* dos_name;
  const char* full_path;
  size_t depth;
  const char* security_descriptor;
  size_t security_descriptor_size;
  uint32_t attributes;
  uint32_t reparse_tag;
  uint32_t num_links;
  uint32_t num_named_streams;
  uint64_t hard_link_group_id;
  Timespec creation_time;
  Timespec last_write_time;
  Timespec last_access_time;
  uint32_t unix_uid;
  uint32_t unix_gid;
  uint32_t unix_mode;
  uint32_t unix_rdev;
  uint8_t object_id[64];
  int32_t creation_time_high;
  int32_t last_write_time_high;
  int32_t last_access_time_high;
  int32_t reserved2;
  uint64_t reserved[4];
  StreamEntry streams[1];  // streams[0] is the unnamed data stream
};
static_assert(offsetof(DirEntry, streams) == 248, "wimlib_dir_entry layout");
static_assert(sizeof(StreamEntry) == 128, "wimlib_stream_entry layout");

using IterateFunction = int (*)(const DirEntry* entry, void* context);

// The functions, found by name in the loaded library.
struct Library {
  int (*create_new_wim)(int compression, WIMStruct** wim);
  int (*open_wim_with_progress)(const char* file, int flags, WIMStruct** wim,
                                ProgressFunction function, void* context);
  void (*register_progress_function)(WIMStruct* wim, ProgressFunction function, void* context);
  void (*free)(WIMStruct* wim);
  int (*get_wim_info)(WIMStruct* wim, WimInfo* info);
  int (*set_wim_info)(WIMStruct* wim, const WimInfo* info, int which);
  int (*add_image)(WIMStruct* wim, const char* source, const char* name, const char* config,
                   int flags);
  int (*delete_image)(WIMStruct* wim, int image);
  int (*write)(WIMStruct* wim, const char* path, int image, int flags, unsigned threads);
  int (*overwrite)(WIMStruct* wim, int flags, unsigned threads);
  int (*extract_image)(WIMStruct* wim, int image, const char* target, int flags);
  int (*extract_paths)(WIMStruct* wim, int image, const char* target, const char* const* paths,
                       size_t count, int flags);
  int (*split)(WIMStruct* wim, const char* name, uint64_t part_size, int flags);
  int (*reference_resource_files)(WIMStruct* wim, const char* const* files, unsigned count,
                                  int ref_flags, int open_flags);
  int (*get_xml_data)(WIMStruct* wim, void** buffer, size_t* size);
  int (*set_image_property)(WIMStruct* wim, int image, const char* name, const char* value);
  int (*export_image)(WIMStruct* source, int image, WIMStruct* target, const char* name,
                      const char* description, int flags);
  int (*iterate_dir_tree)(WIMStruct* wim, int image, const char* path, int flags,
                          IterateFunction function, void* context);
  int (*unmount_image)(const char* dir, int flags);
};

}  // namespace orv::wim::lib
#endif
