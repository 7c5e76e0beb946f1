// The type library against the control's documented vocabulary: names,
// DISPIDs, v-table slots, parameter types and flags, events, enumerations.
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

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

// BackColor's type is stdole's OLE_COLOR, which property browsers know as a colour; the library
// holds no alias of its own, so its first type is its first enumeration and no later index
// moves.
TEST(TypeLib, BackColorIsTheStandardColourType) {
    std::wstring path = L"Z:" + qivtest::Widen(QIV_PLAYER_TLB);
    ITypeLib* lib = nullptr;
    ASSERT_EQ(S_OK, LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib));
    for (UINT i = 0, n = lib->GetTypeInfoCount(); i < n; ++i) {
        TYPEKIND kind{};
        ASSERT_EQ(S_OK, lib->GetTypeInfoType(i, &kind));
        EXPECT_NE(TKIND_ALIAS, kind) << "type " << i;
    }
    qivtest::BstrHolder first;
    ASSERT_EQ(S_OK, lib->GetDocumentation(0, &first.b, nullptr, nullptr, nullptr));
    EXPECT_EQ("qivAppearance", first.str());

    ITypeInfo* dual = nullptr;
    ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(IID_IQivPlayer2, &dual));
    ITypeInfo* info = dual;
    HREFTYPE href = 0;
    if (SUCCEEDED(dual->GetRefTypeOfImplType(UINT(-1), &href))) dual->GetRefTypeInfo(href, &info);  // the v-table side
    bool found = false;
    for (UINT f = 0;; ++f) {
        FUNCDESC* fd = nullptr;
        if (FAILED(info->GetFuncDesc(f, &fd))) break;
        if (fd->memid == DISPID_BACKCOLOR && fd->invkind == INVOKE_PROPERTYPUT) {
            ASSERT_EQ(1, fd->cParams);
            const TYPEDESC& td = fd->lprgelemdescParam[0].tdesc;
            ASSERT_EQ(VT_USERDEFINED, td.vt);
            ITypeInfo* colour = nullptr;
            ASSERT_EQ(S_OK, info->GetRefTypeInfo(td.hreftype, &colour));
            TYPEATTR* attr = nullptr;
            ASSERT_EQ(S_OK, colour->GetTypeAttr(&attr));
            EXPECT_EQ(TKIND_ALIAS, attr->typekind);
            EXPECT_EQ(VT_UI4, attr->tdescAlias.vt);
            colour->ReleaseTypeAttr(attr);
            ITypeLib* home = nullptr;
            UINT index = 0;
            ASSERT_EQ(S_OK, colour->GetContainingTypeLib(&home, &index));
            TLIBATTR* la = nullptr;
            ASSERT_EQ(S_OK, home->GetLibAttr(&la));
            const GUID stdole = {0x00020430, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
            EXPECT_TRUE(IsEqualGUID(stdole, la->guid)) << "the alias of stdole";
            home->ReleaseTLibAttr(la);
            home->Release();
            qivtest::BstrHolder name;
            colour->GetDocumentation(MEMBERID_NIL, &name.b, nullptr, nullptr, nullptr);
            EXPECT_EQ("OLE_COLOR", name.str());
            colour->Release();
            found = true;
        }
        info->ReleaseFuncDesc(fd);
    }
    EXPECT_TRUE(found);
    if (info != dual) info->Release();
    dual->Release();
    lib->Release();
}

}  // namespace
