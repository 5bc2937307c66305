// A caller of Vantrel.dll built as the backup applications that load it are built: in
// the Microsoft C++ ABI (clang --target=i686-pc-windows-msvc, linked by lld-link), from
// the public header alone, with no C or C++ runtime. It binds the six factories at run
// time and calls every operation of every interface through its table entry, checking
// after each call that the callee removed exactly its arguments from the stack. The
// archive interface does real work: a version 5 archive is written, read back and
// compared entry by entry, and extracted.
//
// It prints one line per failed check and a closing "N passed, N failed" line, and
// exits with 0 only when every check passed.
#include "vantrel/vantrel.h"

// ---- The few system calls it needs (kernel32, through mingw-w64's import library) ----
extern "C" {
__declspec(dllimport) void *__stdcall LoadLibraryW(const wchar_t *name);
__declspec(dllimport) void *__stdcall GetProcAddress(void *module, const char *name);
__declspec(dllimport) void *__stdcall GetStdHandle(DWORD which);
__declspec(dllimport) BOOL __stdcall WriteFile(void *file, const void *data, DWORD size,
                                               DWORD *written, void *overlapped);
__declspec(dllimport) BOOL __stdcall ReadFile(void *file, void *data, DWORD size,
                                              DWORD *read, void *overlapped);
__declspec(dllimport) void *__stdcall CreateFileW(const wchar_t *name, DWORD access,
                                                  DWORD share, void *security,
                                                  DWORD disposition, DWORD flags,
                                                  void *templateFile);
__declspec(dllimport) BOOL __stdcall CloseHandle(void *handle);
__declspec(dllimport) BOOL __stdcall CreateDirectoryW(const wchar_t *name, void *security);
__declspec(dllimport) BOOL __stdcall DeleteFileW(const wchar_t *name);
__declspec(dllimport) BOOL __stdcall RemoveDirectoryW(const wchar_t *name);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);

// The compiler may call these for copies and zeroed records; there is no C runtime.
// The loops go through volatile pointers so that they are not turned into calls of
// themselves.
void *memset(void *target, int value, size_t size) {
  volatile unsigned char *out = static_cast<unsigned char *>(target);
  while (size--) *out++ = static_cast<unsigned char>(value);
  return target;
}
void *memcpy(void *target, const void *source, size_t size) {
  volatile unsigned char *out = static_cast<unsigned char *>(target);
  const unsigned char *in = static_cast<const unsigned char *>(source);
  while (size--) *out++ = *in++;
  return target;
}
}

namespace {

const DWORD kStdOutput = static_cast<DWORD>(-11);
const DWORD kGenericRead = 0x80000000u, kGenericWrite = 0x40000000u;
const DWORD kCreateAlways = 2, kOpenExisting = 3;
void *const kInvalidHandle = reinterpret_cast<void *>(-1);

// ---- Output and checks ----
int g_passed = 0;
int g_failed = 0;

void Print(const char *text) {
  DWORD length = 0, written = 0;
  while (text[length]) ++length;
  WriteFile(GetStdHandle(kStdOutput), text, length, &written, nullptr);
}

void PrintNumber(DWORD value) {
  char digits[12];
  int at = 11;
  digits[at] = 0;
  do {
    digits[--at] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  Print(digits + at);
}

void Check(bool ok, const char *what, int line) {
  if (ok) {
    ++g_passed;
    return;
  }
  ++g_failed;
  Print("FAILED (line ");
  PrintNumber(static_cast<DWORD>(line));
  Print("): ");
  Print(what);
  Print("\n");
}
#define CHECK(condition) Check((condition), #condition, __LINE__)

// The stack pointer, read around each call: a callee that removes too few or too many
// bytes of arguments leaves it changed.
inline unsigned StackPointer() {
  unsigned value;
  __asm__ volatile("movl %%esp, %0" : "=r"(value));
  return value;
}
#define CALL(statement)                                                      \
  do {                                                                       \
    const unsigned stackBefore = StackPointer();                             \
    statement;                                                               \
    Check(StackPointer() == stackBefore, "stack balanced: " #statement, __LINE__); \
  } while (0)

// ---- Small helpers without a runtime ----
bool SameText(const wchar_t *a, const wchar_t *b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

bool SameBytes(const void *a, const void *b, DWORD size) {
  const unsigned char *x = static_cast<const unsigned char *>(a);
  const unsigned char *y = static_cast<const unsigned char *>(b);
  for (DWORD i = 0; i < size; ++i)
    if (x[i] != y[i]) return false;
  return true;
}

bool WriteWholeFile(const wchar_t *name, const void *data, DWORD size) {
  void *file = CreateFileW(name, kGenericWrite, 0, nullptr, kCreateAlways, 0x80, nullptr);
  if (file == kInvalidHandle) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, data, size, &written, nullptr);
  CloseHandle(file);
  return ok && written == size;
}

// Reads up to `capacity` bytes; the byte count, or -1 when the file cannot be opened.
int ReadWholeFile(const wchar_t *name, void *data, DWORD capacity) {
  void *file = CreateFileW(name, kGenericRead, 1, nullptr, kOpenExisting, 0x80, nullptr);
  if (file == kInvalidHandle) return -1;
  DWORD read = 0;
  ReadFile(file, data, capacity, &read, nullptr);
  CloseHandle(file);
  return static_cast<int>(read);
}

template <class Interface>
Interface *Make(void *library, const char *factoryName) {
  typedef Interface *(*Factory)();
  Factory factory = reinterpret_cast<Factory>(GetProcAddress(library, factoryName));
  Check(factory != nullptr, factoryName, __LINE__);
  Interface *object = nullptr;
  if (factory) CALL(object = factory());
  Check(object != nullptr, factoryName, __LINE__);
  return object;
}

// Every operation of an object that is not built yet answers FALSE with "not supported";
// any other answer means the call landed in another entry of the table.
template <class Interface>
void ExpectNotBuilt(Interface *object, BOOL result, int line) {
  Check(!result && object->GetLastErrorCode() == ORV_ERROR_NOT_SUPPORTED,
        "operation answers not supported", line);
}

// ---- The interfaces ----
void ExerciseImage(void *library) {
  IOrvImage *image = Make<IOrvImage>(library, "GetImageInterface");
  if (!image) return;
  const wchar_t *path = L"x";
  wchar_t buffer[64] = {};
  IMAGEDATA imageData = {};
  DIFFIMAGEDATA diffData = {};
  BOOL r = FALSE;
  CALL(r = image->Dump());
  CHECK(r == TRUE);
  CALL(r = image->CreateWIM(nullptr, path, 0, 0, 0, nullptr));  // no source
  CHECK(!r && image->GetLastErrorCode() == ORV_ERROR_ARG1);
  CALL(r = image->CreateImageFile(path, path, 3, 0, 0, 0, nullptr));  // sector type
  ExpectNotBuilt(image, r, __LINE__);
  CALL(r = image->CreateDifferentialImage(&diffData));  // no folders
  CHECK(!r && image->GetLastErrorCode() == 87);
  CALL(r = image->CreateImage(&imageData));  // no target folder
  CHECK(!r && image->GetLastErrorCode() == 87);
  CALL(r = image->RestoreImage(nullptr, path, nullptr));
  CHECK(!r && image->GetLastErrorCode() == ORV_ERROR_ARG1);
  CALL(r = image->RestoreDifferentialImage(nullptr, path, 0, path, nullptr));
  CHECK(!r && image->GetLastErrorCode() == ORV_ERROR_ARG1);
  CALL(r = image->EnumerateContent(nullptr, nullptr));
  CHECK(!r && image->GetLastErrorCode() == ORV_ERROR_ARG1);
  CALL(r = image->ExtractWIM(nullptr, path, nullptr));
  CHECK(!r && image->GetLastErrorCode() == ORV_ERROR_ARG1);
  CALL(r = image->Extract(path, nullptr, nullptr));
  CHECK(!r && image->GetLastErrorCode() == ORV_ERROR_ARG2);
  CALL(r = image->GetPassword(path, buffer, 16));  // a buffer too short for a password
  CHECK(!r && image->GetLastErrorCode() == 0x10000004u);
  CALL(r = image->ExtractSingleFile(nullptr, path, path));
  CHECK(!r && image->GetLastErrorCode() == ORV_ERROR_ARG1);
  CALL(r = image->GetEntryInfo(path, path, nullptr));
  CHECK(!r && image->GetLastErrorCode() == ORV_ERROR_ARG3);
  CALL(r = image->ListContentDifferential(nullptr, 0, nullptr));
  CHECK(!r && image->GetLastErrorCode() == ORV_ERROR_ARG1);
  CALL(r = image->ListContent(nullptr, nullptr));
  CHECK(!r && image->GetLastErrorCode() == ORV_ERROR_ARG1);
  CALL(image->Release());
}

void ExerciseImageEx(void *library) {
  IOrvImageEx *merger = Make<IOrvImageEx>(library, "GetImageExInterface");
  if (!merger) return;
  BOOL r = FALSE;
  CALL(r = merger->Dump());
  CHECK(r == TRUE);
  // An empty range is refused (87) before any folder is looked at.
  CALL(r = merger->MergeDifferentialSets(L"x", 1, 1, nullptr));
  Check(!r && merger->GetLastErrorCode() == 87, "merge refuses an empty range", __LINE__);
  // Destroyed through the destructor entry, as `delete` through the interface does.
  CALL(delete merger);
}

void ExerciseRecoveryPoint(void *library) {
  IOrvRecoveryPoint *point = Make<IOrvRecoveryPoint>(library, "GetIOrvRecoveryPointInterface");
  if (!point) return;
  BOOL r = FALSE;
  CALL(r = point->Dump());
  CHECK(r == TRUE);
  // The new folder is the previous point's: refused (87) before anything is touched.
  CALL(r = point->Create(L"x", L"x", L"x", L"x", nullptr));
  Check(!r && point->GetLastErrorCode() == 87, "recovery point refuses its own folder", __LINE__);
  CALL(point->Release());
}

void ExerciseComparison(void *library) {
  IOrvMrlComparison *comparison = Make<IOrvMrlComparison>(library, "GetMrlComparisonInterface");
  if (!comparison) return;
  LAYOUTPARTITIONDATA partition = {};
  BOOL r = TRUE;
  CALL(r = comparison->Dump());
  CHECK(r == TRUE);
  // Nothing compared yet: the walk ends at once with "no more items".
  CALL(r = comparison->GetFirstPartition(&partition));
  CHECK(!r && comparison->GetLastErrorCode() == 259);
  CALL(r = comparison->GetNextPartition(&partition));
  CHECK(!r && comparison->GetLastErrorCode() == 259);
  CALL(comparison->Close());
  CALL(r = comparison->OpenComparison(1000, L"no-such-layout.xml", -1));
  CHECK(!r && comparison->GetLastErrorCode() != 0);
  CALL(delete comparison);
}

void ExerciseWim(void *library) {
  IOrvWim *wim = Make<IOrvWim>(library, "GetWIMInterface");
  if (!wim) return;
  const wchar_t *path = L"no-such.wim";
  wchar_t buffer[32] = {};
  DWORD result = 0, count = 0;
  LONGLONG size = 0;
  void *info = nullptr;
  BYTE attributes[560] = {};
  HANDLE handle = nullptr;
  BOOL r = TRUE;
  WORD part = 1;
  CALL(r = wim->Dump());
  CHECK(r == TRUE);
  // Every operation refuses (no engine under Wine, or nothing to work on): a zero
  // answer and a code in the object.
#define REFUSED(statement, failed)                                    \
  do {                                                                \
    CALL(statement);                                                  \
    Check((failed) && wim->GetLastErrorCode() != 0, #statement, __LINE__); \
  } while (0)
  REFUSED(handle = wim->WIMCreateFile(path, 0x80000000u, 3, 0, 0, &result), handle == nullptr);
  REFUSED(r = wim->WIMCopyFile(path, path, nullptr, nullptr, nullptr, 0), !r);
  REFUSED(count = wim->WIMGetImageCount(nullptr), count == 0xFFFFFFFFu);
  REFUSED(r = wim->WIMGetAttributes(nullptr, attributes, sizeof attributes), !r);
  REFUSED(r = wim->WIMCloseHandle(nullptr), !r);
  REFUSED(r = wim->WIMApplyImage(nullptr, path, 0), !r);
  REFUSED(handle = wim->WIMLoadImage(nullptr, 1), handle == nullptr);
  REFUSED(r = wim->WIMExportImage(nullptr, nullptr, 0), !r);
  REFUSED(r = wim->WIMMountImage(path, path, 1, path), !r);
  REFUSED(r = wim->WIMUnmountImage(path, path, 1, 0), !r);
  REFUSED(handle = wim->WIMCaptureImage(nullptr, path, 0), handle == nullptr);
  REFUSED(r = wim->WIMSplitFile(nullptr, path, &size, 0), !r);
  REFUSED(r = wim->WIMSetTemporaryPath(nullptr, path), !r);
  REFUSED(count = wim->WIMRegisterMessageCallback(nullptr, nullptr, nullptr),
          count == 0xFFFFFFFFu);
  REFUSED(r = wim->WIMUnregisterMessageCallback(nullptr, nullptr), !r);
  REFUSED(r = wim->WIMGetImageInformation(nullptr, &info, &result), !r);
  REFUSED(r = wim->WIMSetImageInformation(nullptr, nullptr, 0), !r);
  REFUSED(r = wim->GetMountResult(), !r);
  REFUSED(r = wim->IsFirstPart(path), !r);
  REFUSED(part = wim->GetPartNumber(path), part == 0);
  REFUSED(r = wim->WIMSetBootImage(nullptr, 1), !r);
  REFUSED(r = wim->WIMSetReferenceFile(nullptr, path, 0), !r);
  REFUSED(r = wim->SetPassword(path, L"secret"), !r);
  REFUSED(r = wim->GetPassword(path, buffer), !r);
#undef REFUSED
  CALL(wim->Release());
}

// ---- The archive: written, read back, compared and extracted ----
struct SourceFile {
  const wchar_t *path;   // where the content is written before it is added
  const wchar_t *entry;  // the name it takes in the archive
  DWORD size;
  DWORD attributes;
  DWORD timeHigh;  // the three times differ in their low parts
};

const SourceFile kFiles[] = {
    {L"msvc_client_work\\alpha.txt", L"alpha.txt", 5, 0x20, 0x01D9A000u},
    {L"msvc_client_work\\beta.bin", L"data\\beta.bin", 3000, 0x21, 0x01DA1234u},
};
const DWORD kFileCount = sizeof kFiles / sizeof kFiles[0];

unsigned char g_content[3000];
unsigned char g_readBack[3100];

ORVFILEATTRIBUTEDATA AttributesOf(const SourceFile &file) {
  ORVFILEATTRIBUTEDATA data = {};
  data.dwFileAttributes = file.attributes;
  data.ftCreationTime.dwHighDateTime = file.timeHigh;
  data.ftCreationTime.dwLowDateTime = 0x11111100u;
  data.ftLastAccessTime.dwHighDateTime = file.timeHigh;
  data.ftLastAccessTime.dwLowDateTime = 0x22222200u;
  data.ftLastWriteTime.dwHighDateTime = file.timeHigh;
  data.ftLastWriteTime.dwLowDateTime = 0x33333300u;
  data.nFileSizeLow = file.size;
  return data;
}

bool SameTime(const ORVFILETIME &a, const ORVFILETIME &b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

void WriteArchive(void *library) {
  for (DWORD i = 0; i < sizeof g_content; ++i) g_content[i] = static_cast<unsigned char>(i * 7 + i / 251);
  CreateDirectoryW(L"msvc_client_work", nullptr);
  for (DWORD i = 0; i < kFileCount; ++i)
    CHECK(WriteWholeFile(kFiles[i].path, g_content, kFiles[i].size));
  DeleteFileW(L"msvc_client_work\\client.inp");

  IOrvMorlet *archive = Make<IOrvMorlet>(library, "GetMorletInterface");
  if (!archive) return;
  BOOL r = FALSE;
  ULONGLONG split = 0;
  CALL(split = archive->GetSplitSize());
  CHECK(split == 681574400u);
  CALL(split = archive->SetSplitSize(0x100000000ull + 5));  // a 64-bit argument and result
  CHECK(split == 0x100000000ull + 5);
  CALL(split = archive->SetSplitSize(681574400u));
  CALL(archive->SetCompression(1));
  CALL(r = archive->Open(L"msvc_client_work\\client.inp", 0, 5));
  CHECK(r);
  for (DWORD i = 0; i < kFileCount; ++i) {
    const ORVFILEATTRIBUTEDATA data = AttributesOf(kFiles[i]);
    CALL(r = archive->AddFile(kFiles[i].path, kFiles[i].entry, nullptr, 0, &data));
    CHECK(r);
  }
  CALL(r = archive->Close());
  CHECK(r && archive->GetLastErrorCode() == 0);
  CALL(archive->Release());
}

void ReadArchive(void *library) {
  IOrvMorlet *archive = Make<IOrvMorlet>(library, "GetMorletInterface");
  if (!archive) return;
  BOOL r = FALSE;
  wchar_t name[260];
  CALL(r = archive->Open(L"msvc_client_work\\client.inp", 1, 5));
  CHECK(r);
  DWORD type = 0;
  CALL(type = archive->GetArchiveType());
  CHECK(type != 0);
  CALL(r = archive->GetMountPath(name, 260));
  CHECK(r);
  for (DWORD i = 0; i < kFileCount; ++i) {
    const ORVFILEATTRIBUTEDATA expected = AttributesOf(kFiles[i]);
    CALL(r = archive->NextEntry(1));
    CHECK(r);
    CALL(r = archive->GetEntryName(name, 260));
    CHECK(r && SameText(name, kFiles[i].entry));
    ULONGLONG size = 0;
    CALL(size = archive->GetEntrySize());
    CHECK(size == kFiles[i].size);
    ORVFILEATTRIBUTEDATA data;
    CALL(data = archive->GetEntryAttributes());
    CHECK(data.dwFileAttributes == expected.dwFileAttributes);
    CHECK(data.nFileSizeLow == kFiles[i].size && data.nFileSizeHigh == 0);
    CHECK(SameTime(data.ftCreationTime, expected.ftCreationTime));
    CHECK(SameTime(data.ftLastAccessTime, expected.ftLastAccessTime));
    CHECK(SameTime(data.ftLastWriteTime, expected.ftLastWriteTime));
    ORVFILETIME time;
    CALL(time = archive->GetEntryCreationTime());
    CHECK(SameTime(time, expected.ftCreationTime));
    CALL(time = archive->GetEntryLastAccessTime());
    CHECK(SameTime(time, expected.ftLastAccessTime));
    CALL(time = archive->GetEntryLastWriteTime());
    CHECK(SameTime(time, expected.ftLastWriteTime));
    CALL(r = archive->GetEntryTempName(name, 260));
    CHECK(r && name[0] == 0);  // only encrypted entries have one
  }
  CALL(r = archive->NextEntry(1));
  CHECK(!r && archive->GetLastErrorCode() != 0);  // past the last entry

  // Extraction: the current entry through FindEntry, another by name.
  CreateDirectoryW(L"msvc_client_work\\out", nullptr);
  CALL(r = archive->FindEntry(L"alpha.txt"));
  CHECK(r);
  CALL(r = archive->ExtractCurrent(L"msvc_client_work\\out", 0));
  CHECK(r);
  CALL(r = archive->ExtractFile(L"data\\beta.bin", L"msvc_client_work\\out"));
  CHECK(r);
  CHECK(ReadWholeFile(L"msvc_client_work\\out\\alpha.txt", g_readBack, sizeof g_readBack) == 5 &&
        SameBytes(g_readBack, g_content, 5));
  CHECK(ReadWholeFile(L"msvc_client_work\\out\\data\\beta.bin", g_readBack, sizeof g_readBack) ==
            3000 &&
        SameBytes(g_readBack, g_content, 3000));
  // Adding to an archive opened for reading is refused with "access denied".
  CALL(r = archive->AddFile(kFiles[0].path, L"gamma.txt", nullptr, 0, nullptr));
  CHECK(!r && archive->GetLastErrorCode() == 5);
  CALL(r = archive->Close());
  CHECK(r);
  CALL(r = archive->Dump());
  CHECK(r == TRUE);
  CALL(delete archive);
}

void CleanUp() {
  DeleteFileW(L"msvc_client_work\\out\\alpha.txt");
  DeleteFileW(L"msvc_client_work\\out\\data\\beta.bin");
  RemoveDirectoryW(L"msvc_client_work\\out\\data");
  RemoveDirectoryW(L"msvc_client_work\\out");
  for (DWORD i = 0; i < kFileCount; ++i) DeleteFileW(kFiles[i].path);
  DeleteFileW(L"msvc_client_work\\client.inp");
  RemoveDirectoryW(L"msvc_client_work");
}

}  // namespace

extern "C" int ClientMain() {
  void *library = LoadLibraryW(L"Vantrel.dll");
  CHECK(library != nullptr);
  if (library) {
    ExerciseImage(library);
    ExerciseImageEx(library);
    ExerciseRecoveryPoint(library);
    ExerciseComparison(library);
    ExerciseWim(library);
    WriteArchive(library);
    ReadArchive(library);
    CleanUp();
  }
  PrintNumber(static_cast<DWORD>(g_passed));
  Print(" passed, ");
  PrintNumber(static_cast<DWORD>(g_failed));
  Print(" failed\n");
  ExitProcess(g_failed == 0 && g_passed > 0 ? 0 : 1);
}
