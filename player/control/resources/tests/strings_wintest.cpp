// The compiled string tables, read back from this module's resources: every
// text in every language, non-ASCII texts intact from their code pages, and
// the exact English texts through LoadString. Expected texts below are UTF-8.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "stringids.h"

namespace {

struct Language {
  LANGID id;
  UINT codePage;
  const char* name;
};

const Language kLanguages[] = {
    {MAKELANGID(LANG_CZECH, SUBLANG_DEFAULT), 1250, "Czech"},
    {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), 1252, "German"},
    {MAKELANGID(LANG_GREEK, SUBLANG_DEFAULT), 1253, "Greek"},
    {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), 1252, "English"},
    {MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH), 1252, "Spanish"},
    {MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), 1252, "French"},
    {MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN), 1252, "Italian"},
    {MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), 932, "Japanese"},
    {MAKELANGID(LANG_POLISH, SUBLANG_DEFAULT), 1250, "Polish"},
    {MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN), 1252, "Portuguese (Brazil)"},
    {MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), 1251, "Russian"},
    {MAKELANGID(LANG_CROATIAN, SUBLANG_DEFAULT), 1250, "Croatian"},
    {MAKELANGID(LANG_LITHUANIAN, SUBLANG_LITHUANIAN), 1257, "Lithuanian"},
};

const LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

HMODULE self() { return GetModuleHandleW(nullptr); }

// The language LoadString picks: Windows follows the thread's UI language,
// Wine the thread locale.
void useLanguage(LANGID lang) {
  SetThreadUILanguage(lang);
  SetThreadLocale(MAKELCID(lang, SORT_DEFAULT));
}

// String `id` of one language, read from its block of sixteen.
bool resourceString(UINT id, LANGID lang, std::wstring& out) {
  HRSRC r = FindResourceExW(self(), reinterpret_cast<LPCWSTR>(RT_STRING), MAKEINTRESOURCEW(id / 16 + 1), lang);
  if (!r) return false;
  const WORD* p = static_cast<const WORD*>(LockResource(LoadResource(self(), r)));
  if (!p) return false;
  const WORD* end = p + SizeofResource(self(), r) / sizeof(WORD);
  for (UINT i = 0; i < id % 16; ++i) {
    if (p >= end) return false;
    p += 1 + *p;
  }
  if (p >= end || p + 1 + *p > end) return false;
  out.assign(reinterpret_cast<const wchar_t*>(p + 1), *p);
  return true;
}

std::wstring fromUtf8(const char* s) {
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s, -1, nullptr, 0);
  std::wstring w(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s, -1, w.data(), n);
  return w;
}

BOOL CALLBACK collectBlock(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
  if (IS_INTRESOURCE(name)) reinterpret_cast<std::set<UINT>*>(param)->insert(LOWORD(reinterpret_cast<ULONG_PTR>(name)));
  return TRUE;
}

BOOL CALLBACK collectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD lang, LONG_PTR param) {
  reinterpret_cast<std::set<LANGID>*>(param)->insert(lang);
  return TRUE;
}

}  // namespace

TEST(StringTables, EveryTextInEveryLanguage) {
  std::set<UINT> blocks;
  ASSERT_TRUE(EnumResourceNamesW(self(), reinterpret_cast<LPCWSTR>(RT_STRING), collectBlock,
                                 reinterpret_cast<LONG_PTR>(&blocks)));
  ASSERT_FALSE(blocks.empty());
  std::set<LANGID> expected;
  for (const auto& l : kLanguages) expected.insert(l.id);

  int englishTexts = 0;
  for (UINT block : blocks) {
    std::set<LANGID> langs;
    EnumResourceLanguagesW(self(), reinterpret_cast<LPCWSTR>(RT_STRING), MAKEINTRESOURCEW(block), collectLanguage,
                           reinterpret_cast<LONG_PTR>(&langs));
    EXPECT_EQ(langs, expected) << "string block " << block;
    for (UINT i = 0; i < 16; ++i) {
      UINT id = (block - 1) * 16 + i;
      std::wstring en;
      bool inEnglish = resourceString(id, kEnglish, en) && !en.empty();
      englishTexts += inEnglish;
      for (const auto& l : kLanguages) {
        std::wstring t;
        bool present = resourceString(id, l.id, t) && !t.empty();
        EXPECT_EQ(present, inEnglish) << l.name << " string " << id;
      }
    }
  }
  EXPECT_EQ(englishTexts, 65);
  std::wstring t;
  EXPECT_TRUE(resourceString(IDS_PROJNAME, kEnglish, t));
  EXPECT_TRUE(resourceString(IDS_POINT_OF_VIEW, MAKELANGID(LANG_LITHUANIAN, SUBLANG_LITHUANIAN), t));
}

// Texts written in each file's code page arrive as the right characters, and
// convert back to that code page without loss.
TEST(StringTables, NonAsciiTextsRoundTripThroughTheirCodePages) {
  struct Case {
    LANGID lang;
    UINT codePage;
    UINT id;
    const char* utf8;
  };
  const Case cases[] = {
      {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), 1252, IDS_INVALID_SIZE, "Ungültige Dateigröße!"},
      {MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), 1252, IDS_CANCEL_ANIMATION, "Arrêter l'&animation"},
      {MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH), 1252, IDS_INVALID_SIZE, "¡Tamaño de archivo no válido!"},
      {MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN), 1252, IDS_OPTIONS_TITLE, "Opções"},
      {MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN), 1252, IDS_BITMAP_TOO_WIDE,
       "La larghezza massima della bitmap salvata è di %d pixel!"},
      {MAKELANGID(LANG_CZECH, SUBLANG_DEFAULT), 1250, IDS_POINT_OF_VIEW, "Úhel pohledu"},
      {MAKELANGID(LANG_POLISH, SUBLANG_DEFAULT), 1250, IDS_WRITE_FAILED, "Błąd zapisu pliku '%s'"},
      {MAKELANGID(LANG_CROATIAN, SUBLANG_DEFAULT), 1250, IDS_MODE_WIREFRAME, "Žičani model"},
      {MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), 1251, IDS_CANCEL, "Отмена"},
      {MAKELANGID(LANG_GREEK, SUBLANG_DEFAULT), 1253, IDS_CANCEL, "Άκυρο"},
      {MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), 932, IDS_CANCEL, "キャンセル"},
      {MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), 932, IDS_FILTER_BITMAP,
       "ビットマップ ファイル (*.bmp)|*.bmp|すべてのファイル (*.*)|*.*||"},
      {MAKELANGID(LANG_LITHUANIAN, SUBLANG_LITHUANIAN), 1257, IDS_LOAD_OBJECT, "Įkelti objektą"},
  };
  for (const auto& c : cases) {
    std::wstring text;
    ASSERT_TRUE(resourceString(c.id, c.lang, text)) << c.utf8;
    EXPECT_EQ(text, fromUtf8(c.utf8)) << c.utf8;

    BOOL lossy = FALSE;
    int n = WideCharToMultiByte(c.codePage, WC_NO_BEST_FIT_CHARS, text.c_str(), int(text.size()), nullptr, 0,
                                nullptr, &lossy);
    ASSERT_GT(n, 0) << c.utf8;
    std::string bytes(n, '\0');
    WideCharToMultiByte(c.codePage, WC_NO_BEST_FIT_CHARS, text.c_str(), int(text.size()), bytes.data(), n, nullptr,
                        &lossy);
    EXPECT_FALSE(lossy) << c.utf8 << " has characters outside code page " << c.codePage;
    std::wstring back(MultiByteToWideChar(c.codePage, 0, bytes.data(), n, nullptr, 0), L'\0');
    MultiByteToWideChar(c.codePage, 0, bytes.data(), n, back.data(), int(back.size()));
    EXPECT_EQ(back, text) << c.utf8;
  }
}

// LoadString in the English user interface gives the texts exactly, blanks,
// quotes and backslash included; a number without an entry gives an empty text.
TEST(StringTables, LoadStringGivesTheEnglishTexts) {
  useLanguage(kEnglish);
  const std::map<UINT, const char*> texts = {
      {IDS_PROJNAME, "Qiv Player"},
      {IDS_INVALID_URL, "Invalid URL: \"%s\""},
      {IDS_CONNECTING, "Connecting to %s "},
      {IDS_BITMAP_TOO_WIDE, "The maximum width of the saved bitmap may be %d  pixels!"},
      {IDS_OBJECT_FOLDER, "\\Qiv"},
      {IDS_PERCENT, "(%d%%)"},
      {IDS_FILTER_OBJECTS,
       "Qiv Objects (*.qiv, *.vov, *.pel)|*.qiv;*.pel;*.vov|DB Objects (*.kvo)|*.kvo|All files (*.*)|*.*||"},
      {IDS_LANGUAGE_CODE,
       "Language abreviations must consist of two characters, i.e. EN for English. Special values XX for "
       "\"universal\", XY for \"Database\"."},
      {IDS_POINT_OF_VIEW, "Point of view"},
  };
  for (const auto& [id, text] : texts) {
    char buf[1024];
    int n = LoadStringA(self(), id, buf, sizeof buf);
    EXPECT_EQ(std::string(buf, n > 0 ? n : 0), text) << "string " << id;
  }
  char buf[16] = "unchanged";
  EXPECT_EQ(LoadStringA(self(), 101, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "");
}

TEST(StringTables, LoadStringFollowsTheThreadLanguage) {
  const struct {
    LANGID lang;
    const char* cancel;
  } cases[] = {
      {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), "Abbrechen"},
      {MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), "Отмена"},
      {MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), "キャンセル"},
      {MAKELANGID(LANG_LITHUANIAN, SUBLANG_LITHUANIAN), "Atšaukti"},
  };
  for (const auto& c : cases) {
    useLanguage(c.lang);
    wchar_t buf[256];
    int n = LoadStringW(self(), IDS_CANCEL, buf, 256);
    EXPECT_EQ(std::wstring(buf, n > 0 ? n : 0), fromUtf8(c.cancel)) << c.cancel;
  }
  // LoadStringA hands the text over in the process's ANSI code page.
  if (GetACP() == 1252) {
    useLanguage(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN));
    char buf[256];
    int n = LoadStringA(self(), IDS_INVALID_SIZE, buf, sizeof buf);
    EXPECT_EQ(std::string(buf, n > 0 ? n : 0), "Ung\xFCltige Dateigr\xF6\xDF" "e!");
  }
  useLanguage(kEnglish);
}
