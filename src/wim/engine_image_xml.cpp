#if !defined(_WIN32)
#include "wim/engine_image_xml.h"

#include <pugixml.hpp>

#include <sstream>

#include "platform/errors.h"

namespace orv::wim {

namespace {

bool HasElementChild(const pugi::xml_node& node) {
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element) return true;
  return false;
}

// Collects the text elements below `node`, named by their path from the IMAGE element.
void Collect(const pugi::xml_node& node, const std::string& prefix,
             std::vector<std::pair<std::string, std::string>>& properties) {
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    int position = 0, count = 0;
    for (pugi::xml_node same = node.child(child.name()); same;
         same = same.next_sibling(child.name())) {
      ++count;
      if (same == child) position = count;
    }
    std::string name = child.name();
    if (count > 1) name += "[" + std::to_string(position) + "]";
    const std::string path = prefix.empty() ? name : prefix + "/" + name;
    if (HasElementChild(child))
      Collect(child, path, properties);
    else
      properties.emplace_back(path, child.text().get());
  }
}

}  // namespace

DWORD ImageInformationBlock(const void* document, size_t size, DWORD image,
                            std::vector<BYTE>& block) {
  pugi::xml_document xml;
  if (!xml.load_buffer(document, size, pugi::parse_default, pugi::encoding_utf16_le))
    return err::kInvalidData;
  pugi::xml_node root = xml.child("WIM");
  if (!root) return err::kInvalidData;
  std::ostringstream out;
  const unsigned format = pugi::format_raw | pugi::format_no_declaration | pugi::format_write_bom;
  if (image == 0) {
    xml.save(out, "", format, pugi::encoding_utf16_le);
  } else {
    const std::string index = std::to_string(image);
    pugi::xml_node found = root.find_child_by_attribute("IMAGE", "INDEX", index.c_str());
    if (!found) return err::kInvalidData;
    pugi::xml_document single;
    single.append_copy(found);
    single.save(out, "", format, pugi::encoding_utf16_le);
  }
  const std::string bytes = out.str();
  block.assign(bytes.begin(), bytes.end());
  return err::kSuccess;
}

DWORD ImageProperties(const void* block, size_t size,
                      std::vector<std::pair<std::string, std::string>>& properties) {
  properties.clear();
  pugi::xml_document xml;
  // A byte-order mark, when present, names the encoding; without one it is UTF-16LE.
  const auto* bytes = static_cast<const BYTE*>(block);
  const bool marked = size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
  if (!xml.load_buffer(block, size, pugi::parse_default,
                       marked ? pugi::encoding_auto : pugi::encoding_utf16_le))
    return err::kInvalidData;
  pugi::xml_node image = xml.child("IMAGE");
  if (!image) image = xml.child("WIM").child("IMAGE");
  if (!image) return err::kInvalidData;
  Collect(image, "", properties);
  return err::kSuccess;
}

}  // namespace orv::wim
#endif
