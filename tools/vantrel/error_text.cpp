#include "error_text.h"

#include <cstdio>

#include "progress_bar.h"

namespace vantrel_cli {

namespace {

const char* Meaning(DWORD code) {
  switch (code) {
    case 2: return "the file was not found";
    case 3: return "the path was not found";
    case 5: return "access is denied";
    case 8: return "not enough memory, or a component is missing";
    case 11: return "the file is not in a format that can be read";
    case 13: return "the data is not valid";
    case 15: return "the drive cannot be found";
    case 19: return "the medium is write protected";
    case 21: return "the device is not ready";
    case 29: return "the device cannot be written";
    case 39: return "the disk is full";
    case 32: return "the file is in use by another process";
    case 50: return "not supported here";
    case 80: return "the file exists";
    case 87: return "a parameter is not valid";
    case 110: return "the file or device cannot be opened";
    case 112: return "the disk is full";
    case 123: return "the name is not valid";
    case 145: return "the folder is not empty";
    case 183: return "the file already exists";
    case 206: return "the name is too long";
    case 681: return "a link stands where a file was expected; it is not followed";
    case 1235: return "the operation was aborted";
    case 1113: return "a character has no equivalent in the system's code page";
    case 1392: return "the file or folder is corrupted";
    case 1920: return "the file cannot be accessed";
    case 0x80040154u: return "the component is not installed on this system";
    case ORV_ERROR_NO_SPACE_FOR_CHANGES: return "the changes were refused for the room they take";
    case ORV_ERROR_ARG1: return "the first argument is not usable";
    case ORV_ERROR_ARG2: return "the second argument is not usable";
    case ORV_ERROR_ARG3: return "the third argument is not usable";
    case ORV_ERROR_ARCHIVE_NOT_OPEN: return "the archive is not open";
    case ORV_ERROR_CANCELLED: return "cancelled";
    case ORV_ERROR_NO_SNAPSHOT: return "no snapshot of the volume could be made";
    case ORV_ERROR_NO_DRIVE_LETTER: return "no drive letter is free";
    case ORV_ERROR_NOT_SUPPORTED: return "not supported for this image or archive";
    default: return nullptr;
  }
}

}  // namespace

std::string ErrorText(DWORD code) {
  if (code == 0) return "no error code was given";
  char text[160];
  const char* meaning = Meaning(code);
  if (code >= 0x10000000u)
    std::snprintf(text, sizeof text, "error 0x%08X%s%s", unsigned(code), meaning ? ": " : "",
                  meaning ? meaning : "");
  else
    std::snprintf(text, sizeof text, "error %u%s%s", unsigned(code), meaning ? ": " : "",
                  meaning ? meaning : "");
  return text;
}

void PrintError(const std::string& doing, DWORD code, const std::string& name) {
  EndProgressLine();
  std::fprintf(stderr, "vantrel: %s: %s%s%s\n", doing.c_str(), ErrorText(code).c_str(),
               name.empty() ? "" : ": ", name.c_str());
}

bool EndsTheWork(DWORD code) { return code == 112 || code == 39 || code == 19; }

}  // namespace vantrel_cli
