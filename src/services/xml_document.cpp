// The document object of the XML service. The file is read and written whole through
// the platform layer, so drive-letter paths work on every system; pugixml parses the
// bytes (detecting the byte-order mark) and formats the tree as UTF-8, which is then
// written as UTF-16LE with a byte-order mark and CR LF line ends, the form the
// library's own literal templates have.
#include <pugixml.hpp>
#include <string>

#include "platform/encoding.h"
#include "platform/errors.h"
#include "services/text_file.h"
#include "services/xml.h"
#include "services/xml_nodes.h"

namespace orv {

namespace {

constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_declaration;

class StringWriter final : public pugi::xml_writer {
 public:
  void write(const void* data, size_t size) override {
    text.append(static_cast<const char*>(data), size);
  }
  std::string text;
};

class Document final : public IOrvXmlDocument {
 public:
  DWORD Load(WStringView path) override {
    std::vector<uint8_t> bytes;
    const DWORD error = ReadWholeFile(path, bytes);
    if (error != 0) return error;
    pugi::xml_document parsed;
    if (!parsed.load_buffer(bytes.data(), bytes.size(), kParseOptions, pugi::encoding_auto))
      return err::kInvalidData;
    if (!parsed.document_element()) return err::kInvalidData;
    document_.reset(parsed);
    path_ = path;
    return err::kSuccess;
  }

  DWORD Create(WStringView path, WStringView rootName, IOrvXmlElement*& root) override {
    root = nullptr;
    if (rootName.empty()) return err::kInvalidParameter;
    document_.reset();
    EnsureDeclaration();
    pugi::xml_node node = document_.append_child(os::ToUtf8(rootName).c_str());
    if (!node) return err::kNotEnoughMemory;
    path_ = path;
    root = new xml::Element(node);
    return err::kSuccess;
  }

  DWORD Save(int) override {
    if (path_.empty()) return err::kInvalidHandle;
    EnsureDeclaration();
    StringWriter writer;
    document_.save(writer, "  ", pugi::format_indent, pugi::encoding_utf8);
    std::string crlf;
    crlf.reserve(writer.text.size() + writer.text.size() / 16);
    for (const char c : writer.text) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    std::vector<uint8_t> bytes{kUtf16ByteOrderMark & 0xFF, kUtf16ByteOrderMark >> 8};
    const std::vector<uint8_t> body = Utf16LeBytes(os::FromUtf8(crlf));
    bytes.insert(bytes.end(), body.begin(), body.end());
    return ReplaceFileContent(path_, bytes);
  }

  DWORD SelectNode(WStringView query, IOrvXmlElement*& element) const override {
    element = nullptr;
    try {
      const pugi::xpath_query compiled(os::ToUtf8(query).c_str());
      const pugi::xpath_node_set found = compiled.evaluate_node_set(document_);
      for (const pugi::xpath_node& match : found) {
        if (match.node().type() != pugi::node_element) continue;
        element = new xml::Element(match.node());
        return err::kSuccess;
      }
      return err::kFileNotFound;
    } catch (const pugi::xpath_exception&) {
      return err::kInvalidParameter;
    }
  }

  DWORD GetRoot(IOrvXmlElement*& root) const override {
    root = nullptr;
    const pugi::xml_node node = document_.document_element();
    if (!node) return err::kFileNotFound;
    root = new xml::Element(node);
    return err::kSuccess;
  }

  void Release() override { delete this; }

 private:
  // Files of the library declare UTF-16; pugixml would otherwise write a declaration
  // without an encoding.
  void EnsureDeclaration() {
    pugi::xml_node first = document_.first_child();
    if (first && first.type() == pugi::node_declaration) {
      first.remove_attribute("encoding");
      first.append_attribute("encoding") = "utf-16";
      return;
    }
    pugi::xml_node declaration = document_.prepend_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "utf-16";
  }

  pugi::xml_document document_;
  WString path_;
};

}  // namespace

IOrvXmlDocument* GetOrvXmlInterface(int) { return new Document(); }

bool ReadAttributeText(const IOrvXmlElement& element, WStringView name, WString& text) {
  IOrvXmlAttribute* raw = nullptr;
  if (element.GetAttribute(name, raw) != 0) return false;
  XmlRef<IOrvXmlAttribute> attribute(raw);
  return attribute->GetText(text) == 0;
}

bool WriteAttributeText(IOrvXmlElement& element, WStringView name, WStringView text) {
  IOrvXmlAttribute* raw = nullptr;
  if (element.SetAttribute(name, raw) != 0) return false;
  XmlRef<IOrvXmlAttribute> attribute(raw);
  return attribute->SetText(text) == 0;
}

}  // namespace orv
