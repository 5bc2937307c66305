// The XML service: documents of elements and attributes kept in UTF-16LE files with a
// byte-order mark. Catalogues and the layout file are first written as literal text and
// then filled through this service; it reads such files and saves them back in the
// same encoding.
//
// Every operation returns 0 on success or a Windows error code. Objects handed out
// through an out parameter belong to the caller, who ends them with Release (XmlRef
// does that). An element or attribute stays usable only while its document lives.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/text.h"

namespace orv {

class IOrvXmlAttribute {
 public:
  virtual DWORD GetText(WString& text) const = 0;
  // Decimal text; 13 (invalid data) when the text is not a number.
  virtual DWORD GetValue(DWORD& value) const = 0;
  virtual DWORD GetValue(int32_t& value) const = 0;
  virtual DWORD GetValue(uint64_t& value) const = 0;
  virtual DWORD SetText(WStringView text) = 0;
  virtual DWORD SetValue(DWORD value) = 0;
  virtual DWORD SetValue(int32_t value) = 0;
  virtual DWORD SetValue(uint64_t value) = 0;
  virtual void Release() = 0;

 protected:
  virtual ~IOrvXmlAttribute() = default;
};

class IOrvXmlElement {
 public:
  virtual DWORD GetName(WString& name) const = 0;
  virtual DWORD GetText(WString& text) const = 0;
  virtual DWORD SetText(WStringView text) = 0;
  // A new last child element.
  virtual DWORD AddChild(WStringView name, IOrvXmlElement*& child) = 0;
  // The first child element, then the element after a given one; 259 at the end.
  virtual DWORD FirstChild(IOrvXmlElement*& child) const = 0;
  virtual DWORD NextSibling(IOrvXmlElement*& sibling) const = 0;
  // 2 (not found) when the attribute is missing.
  virtual DWORD GetAttribute(WStringView name, IOrvXmlAttribute*& attribute) const = 0;
  // The attribute, created when missing.
  virtual DWORD SetAttribute(WStringView name, IOrvXmlAttribute*& attribute) = 0;
  virtual void Release() = 0;

 protected:
  virtual ~IOrvXmlElement() = default;
};

class IOrvXmlDocument {
 public:
  // Reads the document from a file (UTF-16 with byte-order mark; UTF-8 is accepted too).
  virtual DWORD Load(WStringView path) = 0;
  // A new document with one root element, bound to `path` for Save.
  virtual DWORD Create(WStringView path, WStringView rootName, IOrvXmlElement*& root) = 0;
  // Writes the document back to the file it was loaded from or created for.
  virtual DWORD Save(int flags) = 0;
  // The first element that matches an XPath query such as "image/disk[@Number='3']";
  // 2 when none matches, 87 for a query that does not parse.
  virtual DWORD SelectNode(WStringView query, IOrvXmlElement*& element) const = 0;
  virtual DWORD GetRoot(IOrvXmlElement*& root) const = 0;
  virtual void Release() = 0;

 protected:
  virtual ~IOrvXmlDocument() = default;
};

// A new, empty document; null when the service is not available. The argument is kept
// for callers that select a service variant; 0 is the only value in use.
IOrvXmlDocument* GetOrvXmlInterface(int variant);

// Owns one object of the service and releases it.
template <class T>
struct XmlRelease {
  void operator()(T* object) const {
    if (object) object->Release();
  }
};
template <class T>
using XmlRef = std::unique_ptr<T, XmlRelease<T>>;

// Shorthands for the common "out parameter into an owner" pattern.
inline XmlRef<IOrvXmlElement> AdoptElement(IOrvXmlElement* element) {
  return XmlRef<IOrvXmlElement>(element);
}

// Reads an attribute into `value`, leaving it unchanged when the attribute is missing
// or not a number. Returns true when the value was read.
template <class Value>
bool ReadAttribute(const IOrvXmlElement& element, WStringView name, Value& value) {
  IOrvXmlAttribute* raw = nullptr;
  if (element.GetAttribute(name, raw) != 0) return false;
  XmlRef<IOrvXmlAttribute> attribute(raw);
  Value read{};
  if (attribute->GetValue(read) != 0) return false;
  value = read;
  return true;
}
bool ReadAttributeText(const IOrvXmlElement& element, WStringView name, WString& text);

// Sets an attribute to a value or text; false when it could not be set.
template <class Value>
bool WriteAttribute(IOrvXmlElement& element, WStringView name, Value value) {
  IOrvXmlAttribute* raw = nullptr;
  if (element.SetAttribute(name, raw) != 0) return false;
  XmlRef<IOrvXmlAttribute> attribute(raw);
  return attribute->SetValue(value) == 0;
}
bool WriteAttributeText(IOrvXmlElement& element, WStringView name, WStringView text);

}  // namespace orv
