#include "htmlexport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace qivhtml;

namespace {

// Independent decoder: skips line breaks, stops at padding.
std::vector<uint8_t> decodeBase64(std::string_view s) {
  auto val = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  std::vector<uint8_t> out;
  uint32_t acc = 0;
  int bits = 0;
  for (char c : s) {
    if (c == '=') break;
    int v = val(c);
    if (v < 0) continue;
    acc = (acc << 6) | uint32_t(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(uint8_t(acc >> bits));
    }
  }
  return out;
}

PageInputs inputs() {
  PageInputs in;
  in.classId = "12345678-9ABC-DEF0-1234-56789ABCDEF0";
  in.title = "Get the player";
  in.codebase = "http://example.invalid/qiv.cab";
  in.embedCodebase = "http://example.invalid/plugin";
  in.width = 320;
  in.height = 200;
  return in;
}

}  // namespace

TEST(HtmlExport, GoldenPage) {
  PropertyCollector bag;
  bag.write("_cx", PropertyValue::ofInt(8000));
  bag.write("Appearance", PropertyValue::ofInt(0));
  bag.write("Zoom", PropertyValue::ofFloat(1.5f));
  bag.write("ObjectURL", PropertyValue::ofText("stored.qiv"));
  bag.write("Enabled", PropertyValue::ofBool(true));
  bag.acceptObjectUrl(true);
  bag.write("ObjectURL", PropertyValue::ofText("a b.qiv"));
  PageInputs in = inputs();
  const uint8_t data[] = {'Q', 'i'};
  in.data = data;
  in.dataLength = sizeof data;
  const std::string expected =
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n"
      "<HTML><BODY>\r\n"
      "<!--StartFragment-->\r\n"
      "<OBJECT CLASSID=\"CLSID:12345678-9ABC-DEF0-1234-56789ABCDEF0\"\r\n"
      "        CODEBASE=\"http://example.invalid/qiv.cab#version=1,9,9,135\"\r\n"
      "        TITLE=\"Get the player\"\r\n"
      "        WIDTH=320 HEIGHT=200\r\n"
      "        DATA=\"DATA:application/x-oleobject;BASE64,UWk=\">\r\n"
      "    <PARAM NAME=Appearance VALUE=0>\r\n"
      "    <PARAM NAME=Zoom VALUE=1.500000>\r\n"
      "    <PARAM NAME=Enabled VALUE=true>\r\n"
      "    <PARAM NAME=ObjectURL VALUE=\"a b.qiv\">\r\n"
      "\r\n"
      "    <EMBED\r\n"
      "        CODEBASE=\"http://example.invalid/plugin\"\r\n"
      "        TYPE=\"application/x-qiv-object\"\r\n"
      "        WIDTH=320 HEIGHT=200\r\n"
      "        PARAM_Appearance=0\r\n"
      "        PARAM_Zoom=1.500000\r\n"
      "        PARAM_Enabled=true\r\n"
      "        PARAM_ObjectURL=\"a b.qiv\"\r\n"
      "    >\r\n"
      "</OBJECT>\r\n"
      "<!--EndFragment-->\r\n"
      "</BODY></HTML>\r\n";
  EXPECT_EQ(buildHtmlText(in, bag.pairs()), expected);

  in.data = nullptr;
  std::string plain = buildHtmlText(in, {});
  EXPECT_NE(plain.find("WIDTH=320 HEIGHT=200>\r\n\r\n    <EMBED"), std::string::npos);
  EXPECT_EQ(plain.find("DATA="), std::string::npos);
}

TEST(HtmlExport, CollectorDropsExtentOtherKindsAndUnacceptedUrl) {
  PropertyCollector bag;
  bag.write("_CX", PropertyValue::ofInt(1));
  bag.write("_cY", PropertyValue::ofInt(1));
  bag.write("ObjectURL", PropertyValue::ofText("x"));
  bag.write("Blob", PropertyValue{});
  bag.write("B", PropertyValue::ofInt(2));
  bag.write("A", PropertyValue::ofInt(1));
  ASSERT_EQ(bag.pairs().size(), 2u);
  EXPECT_EQ(bag.pairs()[0].first, "B");
  EXPECT_EQ(bag.pairs()[1].first, "A");
}

TEST(HtmlExport, ValueTexts) {
  struct Case { PropertyValue v; std::string text; } cases[] = {
      {PropertyValue::ofInt(-5), "-5"},
      {PropertyValue::ofUInt(0x80000005u), "2147483653"},  // system colours stay positive
      {PropertyValue::ofFloat(3.926991f), "3.926991"},
      {PropertyValue::ofFloat(0.5f), "0.500000"},
      {PropertyValue::ofFloat(-250.0f), "-250.000000"},
      {PropertyValue::ofBool(true), "true"},
      {PropertyValue::ofBool(false), "false"},
      {PropertyValue::ofText(""), "\"\""},
      {PropertyValue::ofText("say \"hi\" & <b>"), "\"say &quot;hi&quot; &amp; &lt;b&gt;\""},
      {PropertyValue::ofText("K\xC3\xBC" "che"), "\"K\xC3\xBC" "che\""},
      {PropertyValue{}, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(valueText(c.v), c.text);
}

TEST(HtmlExport, LongTextsAreCutInsideTheirQuotes) {
  std::string t = valueText(PropertyValue::ofText(std::string(2000, 'x')));
  EXPECT_EQ(t.size(), kMaxValueText);
  EXPECT_EQ(t.front(), '"');
  EXPECT_EQ(t.back(), '"');

  // An entity that does not fit is left out whole.
  t = valueText(PropertyValue::ofText(std::string(1018, 'x') + "&"));
  EXPECT_EQ(t, "\"" + std::string(1018, 'x') + "\"");

  // So is a UTF-8 sequence.
  t = valueText(PropertyValue::ofText(std::string(1020, 'x') + "\xE2\x82\xAC"));
  EXPECT_EQ(t, "\"" + std::string(1020, 'x') + "\"");
  t = valueText(PropertyValue::ofText(std::string(1018, 'x') + "\xE2\x82\xAC"));
  EXPECT_EQ(t.size(), kMaxValueText);
}

TEST(HtmlExport, Base64PaddingAndLineBreaks) {
  const uint8_t one[] = {0xFF}, two[] = {0xFF, 0xEE}, three[] = {'a', 'b', 'c'};
  EXPECT_EQ(base64Lines(one, 1), "/w==");
  EXPECT_EQ(base64Lines(two, 2), "/+4=");
  EXPECT_EQ(base64Lines(three, 3), "YWJj");
  EXPECT_EQ(base64Lines(nullptr, 0), "");

  // 15 characters on the first line, 65 on each further one.
  std::vector<uint8_t> data(300);
  std::mt19937 rng(7);
  for (auto& b : data) b = uint8_t(rng());
  std::string s = base64Lines(data.data(), data.size());
  size_t first = s.find("\r\n");
  EXPECT_EQ(first, 15u);
  size_t second = s.find("\r\n", first + 2);
  EXPECT_EQ(second - (first + 2), 65u);
  EXPECT_EQ(decodeBase64(s), data);

  // 60 characters end exactly at a break: the line end comes last.
  std::vector<uint8_t> exact(60);  // 80 characters: 15 + 65
  s = base64Lines(exact.data(), exact.size());
  EXPECT_EQ(s.size(), 80u + 4u);
  EXPECT_EQ(s.substr(s.size() - 2), "\r\n");
}

TEST(HtmlExport, HtmlFormatOffsetsPointPastTheirRanges) {
  PropertyCollector bag;
  bag.write("Language", PropertyValue::ofText("de"));
  PageInputs in = inputs();
  std::string html = buildHtmlText(in, bag.pairs());
  std::string fmt = buildHtmlFormat(html);
  const size_t l = html.size();
  char expect[128];
  std::snprintf(expect, sizeof expect,
                "Version: 0.9\r\nStartHTML:00000098\r\nEndHTML:%08zu\r\n"
                "StartFragment:00000198\r\nEndFragment:%08zu\r\n",
                98 + l, 98 + l - 36);
  ASSERT_EQ(fmt.substr(0, 98), expect);
  EXPECT_EQ(fmt.size(), 98 + l);
  EXPECT_EQ(fmt.compare(98, 9, "<!DOCTYPE"), 0);
  EXPECT_EQ(fmt.compare(198, 7, "<OBJECT"), 0);
  EXPECT_EQ(fmt.compare(98 + l - 36, 18, "<!--EndFragment-->"), 0);
  EXPECT_EQ(fmt.substr(98 + l - 38, 2), "\r\n");
}

TEST(HtmlExport, DefaultObjectUrl) {
  struct Case { const char* in; const char* out; } cases[] = {
      {"C:\\Objects\\car.qiv", "car.qiv"},
      {"http://host/dir/car.qiv", "car.qiv"},
      {"dir/sub\\car.qiv", "car.qiv"},
      {"car.qiv", ""},
      {"", ""},
      {"C:\\dir\\", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(defaultObjectUrl(c.in), c.out) << c.in;
}

// The DATA attribute within the page: its first line ends after 15 characters; a text
// that ends exactly at a break has the line end before the closing quote.
TEST(HtmlExport, DataAttributeInThePage) {
    const std::string head = "DATA=\"DATA:application/x-oleobject;BASE64,";
    std::vector<uint8_t> counting(12);
    for (size_t i = 0; i < counting.size(); ++i) counting[i] = uint8_t(i);
    std::vector<uint8_t> zeros(60);
    struct Case { const std::vector<uint8_t>* data; std::string attribute; } cases[] = {
        {&counting, head + "AAECAwQFBgcICQo\r\nL\">\r\n"},
        {&zeros, head + std::string(15, 'A') + "\r\n" + std::string(65, 'A') + "\r\n\">\r\n"},
    };
    for (const Case& c : cases) {
        PageInputs in = inputs();
        in.data = c.data->data();
        in.dataLength = c.data->size();
        std::string page = buildHtmlText(in, {});
        EXPECT_NE(page.find("WIDTH=320 HEIGHT=200\r\n        " + c.attribute + "\r\n    <EMBED"), std::string::npos)
            << page;
    }
}
