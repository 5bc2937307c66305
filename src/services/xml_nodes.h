// The element and attribute objects of the XML service, views on nodes of a pugixml
// document that the document object owns.
#pragma once

#include <pugixml.hpp>

#include "services/xml.h"

namespace orv::xml {

class Attribute final : public IOrvXmlAttribute {
 public:
  explicit Attribute(pugi::xml_attribute attribute) : attribute_(attribute) {}

  DWORD GetText(WString& text) const override;
  DWORD GetValue(DWORD& value) const override;
  DWORD GetValue(int32_t& value) const override;
  DWORD GetValue(uint64_t& value) const override;
  DWORD SetText(WStringView text) override;
  DWORD SetValue(DWORD value) override;
  DWORD SetValue(int32_t value) override;
  DWORD SetValue(uint64_t value) override;
  void Release() override { delete this; }

 private:
  pugi::xml_attribute attribute_;
};

class Element final : public IOrvXmlElement {
 public:
  explicit Element(pugi::xml_node node) : node_(node) {}

  DWORD GetName(WString& name) const override;
  DWORD GetText(WString& text) const override;
  DWORD SetText(WStringView text) override;
  DWORD AddChild(WStringView name, IOrvXmlElement*& child) override;
  DWORD FirstChild(IOrvXmlElement*& child) const override;
  DWORD NextSibling(IOrvXmlElement*& sibling) const override;
  DWORD GetAttribute(WStringView name, IOrvXmlAttribute*& attribute) const override;
  DWORD SetAttribute(WStringView name, IOrvXmlAttribute*& attribute) override;
  void Release() override { delete this; }

 private:
  pugi::xml_node node_;
};

// The next element node at or after `node` among its siblings; empty when none.
pugi::xml_node ElementAtOrAfter(pugi::xml_node node);

}  // namespace orv::xml
