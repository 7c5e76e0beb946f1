// HTML fragment that embeds the control in a page, and the "HTML Format"
// clipboard text around it. Portable: the Windows layer feeds the property
// bag's writes in, supplies texts, size and inline data, and places the
// results on the clipboard.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qivhtml {

// A property value as the bag receives it (already converted to UTF-8).
struct PropertyValue {
  enum class Kind { Int, UInt, Float, Text, Bool, Other };
  Kind kind = Kind::Other;
  int32_t i = 0;
  uint32_t u = 0;
  float f = 0.0f;
  bool b = false;
  std::string text;

  static PropertyValue ofInt(int32_t v) { PropertyValue p; p.kind = Kind::Int; p.i = v; return p; }
  static PropertyValue ofUInt(uint32_t v) { PropertyValue p; p.kind = Kind::UInt; p.u = v; return p; }
  static PropertyValue ofFloat(float v) { PropertyValue p; p.kind = Kind::Float; p.f = v; return p; }
  static PropertyValue ofBool(bool v) { PropertyValue p; p.kind = Kind::Bool; p.b = v; return p; }
  static PropertyValue ofText(std::string v) { PropertyValue p; p.kind = Kind::Text; p.text = std::move(v); return p; }
};

// Longest value text of one parameter, in bytes.
constexpr size_t kMaxValueText = 1023;

// Escapes text for an attribute value in double quotes.
std::string escapeAttribute(std::string_view text);

// The value text of one parameter: numbers in the invariant format, texts
// escaped between double quotes, "true"/"false". Empty for kinds that are left
// out. Never longer than kMaxValueText; a cut text keeps its closing quote and
// never splits an entity or a UTF-8 sequence.
std::string valueText(const PropertyValue& v);

// Collects the properties of one save, in the order they arrive.
class PropertyCollector {
 public:
  // "_cx"/"_cy" (any case) are dropped, "ObjectURL" unless accepted, and
  // values of other kinds.
  void write(std::string_view name, const PropertyValue& v);
  void acceptObjectUrl(bool on) { acceptUrl_ = on; }
  const std::vector<std::pair<std::string, std::string>>& pairs() const { return pairs_; }

 private:
  bool acceptUrl_ = false;
  std::vector<std::pair<std::string, std::string>> pairs_;
};

// What the page needs beside the parameters.
struct PageInputs {
  std::string classId;   // registry form without braces
  std::string title;     // hint for readers without the player
  std::string codebase;  // installation cabinet of the control
  std::string embedCodebase;  // plug-in download page
  int width = 0;
  int height = 0;
  const uint8_t* data = nullptr;  // inline object data (may be null)
  size_t dataLength = 0;
};

// Base64 (RFC 2045 alphabet and padding) with line breaks: the first line
// holds 15 characters, each further line 65.
std::string base64Lines(const uint8_t* data, size_t length);

// The complete HTML page with the fragment.
std::string buildHtmlText(const PageInputs& in,
                          const std::vector<std::pair<std::string, std::string>>& pairs);

// Offsets of the "HTML Format" header; each end is just past its range.
struct HtmlFormatOffsets {
  size_t startHtml, endHtml, startFragment, endFragment;
};
HtmlFormatOffsets htmlFormatOffsets(std::string_view html);

// Header plus HTML text, as placed under "HTML Format".
std::string buildHtmlFormat(std::string_view html);

// The URL the plain export proposes for an object URL: the text after its last
// backslash, else after its last slash; empty when it has neither.
std::string defaultObjectUrl(std::string_view objectUrl);

}  // namespace qivhtml
