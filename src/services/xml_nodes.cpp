#include "services/xml_nodes.h"

#include <charconv>
#include <string>

#include "platform/encoding.h"
#include "platform/errors.h"

namespace orv::xml {

namespace {

// Parses the whole text as a decimal number of type T (a leading minus only for signed
// types); surrounding blanks are tolerated as a hand-edited file may carry them.
template <class T>
DWORD ParseDecimal(const char* text, T& value) {
  std::string_view view(text);
  while (!view.empty() && (view.front() == ' ' || view.front() == '\t')) view.remove_prefix(1);
  while (!view.empty() && (view.back() == ' ' || view.back() == '\t')) view.remove_suffix(1);
  if (view.empty()) return err::kInvalidData;
  T parsed{};
  const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), parsed);
  if (error != std::errc() || end != view.data() + view.size()) return err::kInvalidData;
  value = parsed;
  return err::kSuccess;
}

template <class T>
DWORD StoreDecimal(pugi::xml_attribute attribute, T value) {
  return attribute.set_value(std::to_string(value).c_str()) ? err::kSuccess : err::kNotEnoughMemory;
}

}  // namespace

DWORD Attribute::GetText(WString& text) const {
  text = os::FromUtf8(attribute_.value());
  return err::kSuccess;
}

DWORD Attribute::GetValue(DWORD& value) const {
  uint32_t parsed = 0;
  const DWORD error = ParseDecimal(attribute_.value(), parsed);
  if (error == 0) value = parsed;
  return error;
}

DWORD Attribute::GetValue(int32_t& value) const { return ParseDecimal(attribute_.value(), value); }

DWORD Attribute::GetValue(uint64_t& value) const { return ParseDecimal(attribute_.value(), value); }

DWORD Attribute::SetText(WStringView text) {
  return attribute_.set_value(os::ToUtf8(text).c_str()) ? err::kSuccess : err::kNotEnoughMemory;
}

DWORD Attribute::SetValue(DWORD value) {
  return StoreDecimal(attribute_, static_cast<uint32_t>(value));
}
DWORD Attribute::SetValue(int32_t value) { return StoreDecimal(attribute_, value); }
DWORD Attribute::SetValue(uint64_t value) { return StoreDecimal(attribute_, value); }

pugi::xml_node ElementAtOrAfter(pugi::xml_node node) {
  while (node && node.type() != pugi::node_element) node = node.next_sibling();
  return node;
}

DWORD Element::GetName(WString& name) const {
  name = os::FromUtf8(node_.name());
  return err::kSuccess;
}

DWORD Element::GetText(WString& text) const {
  text = os::FromUtf8(node_.text().get());
  return err::kSuccess;
}

DWORD Element::SetText(WStringView text) {
  return node_.text().set(os::ToUtf8(text).c_str()) ? err::kSuccess : err::kNotEnoughMemory;
}

DWORD Element::AddChild(WStringView name, IOrvXmlElement*& child) {
  child = nullptr;
  if (name.empty()) return err::kInvalidParameter;
  pugi::xml_node node = node_.append_child(os::ToUtf8(name).c_str());
  if (!node) return err::kNotEnoughMemory;
  child = new Element(node);
  return err::kSuccess;
}

DWORD Element::FirstChild(IOrvXmlElement*& child) const {
  child = nullptr;
  const pugi::xml_node node = ElementAtOrAfter(node_.first_child());
  if (!node) return err::kNoMoreItems;
  child = new Element(node);
  return err::kSuccess;
}

DWORD Element::NextSibling(IOrvXmlElement*& sibling) const {
  sibling = nullptr;
  const pugi::xml_node node = ElementAtOrAfter(node_.next_sibling());
  if (!node) return err::kNoMoreItems;
  sibling = new Element(node);
  return err::kSuccess;
}

DWORD Element::GetAttribute(WStringView name, IOrvXmlAttribute*& attribute) const {
  attribute = nullptr;
  const pugi::xml_attribute found = node_.attribute(os::ToUtf8(name).c_str());
  if (!found) return err::kFileNotFound;
  attribute = new Attribute(found);
  return err::kSuccess;
}

DWORD Element::SetAttribute(WStringView name, IOrvXmlAttribute*& attribute) {
  attribute = nullptr;
  if (name.empty()) return err::kInvalidParameter;
  const std::string key = os::ToUtf8(name);
  pugi::xml_attribute found = node_.attribute(key.c_str());
  if (!found) found = node_.append_attribute(key.c_str());
  if (!found) return err::kNotEnoughMemory;
  attribute = new Attribute(found);
  return err::kSuccess;
}

}  // namespace orv::xml
