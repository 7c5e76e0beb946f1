// The type library against the control's documented vocabulary: names,
// DISPIDs, v-table slots, parameter types and flags, events, enumerations.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QivPlayer_h.h"
#include "typelib_check.h"

namespace {

TEST(TypeLib, FileMatchesVocabulary) {
    std::wstring path = L"Z:" + qivtest::Widen(QIV_PLAYER_TLB);
    ITypeLib* lib = nullptr;
    ASSERT_EQ(S_OK, LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib));
    qivtest::CheckQivPlayerLibrary(lib);
    lib->Release();
}

}  // namespace
