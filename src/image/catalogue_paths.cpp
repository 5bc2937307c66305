#include "image/catalogue_paths.h"

#include "archive/target_path.h"

namespace orv {

std::optional<WString> SafeRelativePath(WStringView text) {
  if (!text.empty() && (text.front() == '\\' || text.front() == '/')) text.remove_prefix(1);
  if (text.empty() || !archive::IsSafeEntryName(text)) return std::nullopt;
  WString result;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = start;
    while (end < text.size() && text[end] != '\\' && text[end] != '/') ++end;
    const WStringView part = text.substr(start, end - start);
    // Catalogues never write empty or "." components: such a name is not ours.
    if (part.empty() || part == ORV_T(".")) return std::nullopt;
    if (!result.empty()) result += ORV_T("\\");
    result += part;
    start = end + 1;
  }
  return result;
}

bool IsPlainFileName(WStringView text) {
  return text.find_first_of(ORV_T("\\/")) == WStringView::npos &&
         SafeRelativePath(text).has_value();
}

}  // namespace orv
