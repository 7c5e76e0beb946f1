#include "htmlexport.h"

#include <charconv>
#include <cstdio>

namespace qivhtml {
namespace {

constexpr std::string_view kPrefix =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n"
    "<HTML><BODY>\r\n<!--StartFragment-->\r\n";
constexpr std::string_view kSuffix =
    "    >\r\n</OBJECT>\r\n<!--EndFragment-->\r\n</BODY></HTML>\r\n";
constexpr size_t kEndFragmentTail = 36;  // "<!--EndFragment-->\r\n</BODY></HTML>\r\n"
constexpr size_t kHeaderLength = 98;
constexpr char kAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

static_assert(kPrefix.size() == 100);

std::string_view entityFor(char c) {
  switch (c) {
    case '&': return "&amp;";
    case '"': return "&quot;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    default: return {};
  }
}

// Bytes of the UTF-8 sequence that starts with lead (1 for stray bytes).
size_t sequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead < 0xF8) return 4;
  if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
  if (lead >= 0xC0) return 2;
  return 1;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

std::string escapeAttribute(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    std::string_view e = entityFor(c);
    if (e.empty()) out += c;
    else out += e;
  }
  return out;
}

std::string valueText(const PropertyValue& v) {
  char buf[64];
  switch (v.kind) {
    case PropertyValue::Kind::Int:
      std::snprintf(buf, sizeof buf, "%d", static_cast<int>(v.i));
      return buf;
    case PropertyValue::Kind::UInt:
      std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(v.u));
      return buf;
    case PropertyValue::Kind::Float: {
      auto r = std::to_chars(buf, buf + sizeof buf, v.f, std::chars_format::fixed, 6);
      if (r.ec != std::errc()) return "0.000000";
      return std::string(buf, r.ptr);
    }
    case PropertyValue::Kind::Bool:
      return v.b ? "true" : "false";
    case PropertyValue::Kind::Text: {
      const size_t budget = kMaxValueText - 2;
      std::string out = "\"";
      const std::string& t = v.text;
      for (size_t i = 0; i < t.size();) {
        std::string_view piece = entityFor(t[i]);
        size_t step = 1;
        if (piece.empty()) {
          step = sequenceLength(static_cast<unsigned char>(t[i]));
          if (i + step > t.size()) step = t.size() - i;
          piece = std::string_view(t).substr(i, step);
        }
        if (out.size() - 1 + piece.size() > budget) break;
        out += piece;
        i += step;
      }
      out += '"';
      return out;
    }
    case PropertyValue::Kind::Other:
      break;
  }
  return {};
}

void PropertyCollector::write(std::string_view name, const PropertyValue& v) {
  if (equalsNoCase(name, "_cx") || equalsNoCase(name, "_cy")) return;
  if (name == "ObjectURL" && !acceptUrl_) return;
  if (v.kind == PropertyValue::Kind::Other) return;
  pairs_.emplace_back(std::string(name), valueText(v));
}

std::string base64Lines(const uint8_t* data, size_t length) {
  std::string out;
  if (!data) return out;
  out.reserve(length / 3 * 4 + length / 48 * 2 + 8);
  int column = 50;
  auto put = [&](char c) {
    out += c;
    if (++column == 65) {
      column = 0;
      out += "\r\n";
    }
  };
  for (size_t i = 0; i < length; i += 3) {
    size_t n = length - i < 3 ? length - i : 3;
    uint32_t group = 0;
    for (size_t k = 0; k < n; ++k) group |= uint32_t(data[i + k]) << (16 - 8 * k);
    put(kAlphabet[(group >> 18) & 63]);
    put(kAlphabet[(group >> 12) & 63]);
    put(n > 1 ? kAlphabet[(group >> 6) & 63] : '=');
    put(n > 2 ? kAlphabet[group & 63] : '=');
  }
  return out;
}

std::string buildHtmlText(const PageInputs& in,
                          const std::vector<std::pair<std::string, std::string>>& pairs) {
  std::string out(kPrefix);
  out += "<OBJECT CLASSID=\"CLSID:";
  out += in.classId;
  out += "\"\r\n        CODEBASE=\"";
  out += escapeAttribute(in.codebase);
  out += "#version=1,9,9,135\"\r\n        TITLE=\"";
  out += escapeAttribute(in.title);
  out += "\"\r\n        WIDTH=" + std::to_string(in.width) + " HEIGHT=" + std::to_string(in.height);
  if (in.data && in.dataLength > 0) {
    out += "\r\n        DATA=\"DATA:application/x-oleobject;BASE64,";
    out += base64Lines(in.data, in.dataLength);
    out += "\">\r\n";
  } else {
    out += ">\r\n";
  }
  for (const auto& [name, value] : pairs) out += "    <PARAM NAME=" + name + " VALUE=" + value + ">\r\n";
  out += "\r\n    <EMBED\r\n        CODEBASE=\"";
  out += escapeAttribute(in.embedCodebase);
  out += "\"\r\n        TYPE=\"application/x-qiv-object\"\r\n        WIDTH=" + std::to_string(in.width) +
         " HEIGHT=" + std::to_string(in.height) + "\r\n";
  for (const auto& [name, value] : pairs) out += "        PARAM_" + name + "=" + value + "\r\n";
  out += kSuffix;
  return out;
}

HtmlFormatOffsets htmlFormatOffsets(std::string_view html) {
  const size_t h = kHeaderLength, l = html.size();
  HtmlFormatOffsets o{};
  o.startHtml = h;
  o.endHtml = h + l;
  o.startFragment = h + (l >= kPrefix.size() ? kPrefix.size() : l);
  o.endFragment = h + (l >= kEndFragmentTail ? l - kEndFragmentTail : 0);
  if (o.endFragment < o.startFragment) o.endFragment = o.startFragment;
  return o;
}

std::string buildHtmlFormat(std::string_view html) {
  HtmlFormatOffsets o = htmlFormatOffsets(html);
  char header[kHeaderLength + 1];
  int n = std::snprintf(header, sizeof header,
                        "Version: 0.9\r\nStartHTML:%08llu\r\nEndHTML:%08llu\r\n"
                        "StartFragment:%08llu\r\nEndFragment:%08llu\r\n",
                        (unsigned long long)o.startHtml, (unsigned long long)o.endHtml,
                        (unsigned long long)o.startFragment, (unsigned long long)o.endFragment);
  std::string out;
  if (n != int(kHeaderLength)) return out;  // offsets beyond eight digits
  out.reserve(kHeaderLength + html.size());
  out.append(header, kHeaderLength);
  out.append(html);
  return out;
}

std::string defaultObjectUrl(std::string_view objectUrl) {
  size_t p = objectUrl.rfind('\\');
  if (p == std::string_view::npos) p = objectUrl.rfind('/');
  if (p == std::string_view::npos) return {};
  return std::string(objectUrl.substr(p + 1));
}

}  // namespace qivhtml
