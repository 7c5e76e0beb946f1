// The type library against the control's documented vocabulary: names,
// DISPIDs, v-table slots, parameter types and flags, events, enumerations.
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "QivPlayer_h.h"
#include "dispids.h"
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

// Name to DISPID of every member of one interface of the library (its v-table side for a
// dual interface, so the inherited IDispatch members stay out).
std::map<std::string, long> LibraryDispids(ITypeLib* lib, REFGUID iid) {
    std::map<std::string, long> out;
    ITypeInfo* outer = nullptr;
    if (FAILED(lib->GetTypeInfoOfGuid(iid, &outer))) return out;
    ITypeInfo* info = outer;
    HREFTYPE href = 0;
    if (SUCCEEDED(outer->GetRefTypeOfImplType(UINT(-1), &href))) outer->GetRefTypeInfo(href, &info);
    for (UINT f = 0;; ++f) {
        FUNCDESC* fd = nullptr;
        if (FAILED(info->GetFuncDesc(f, &fd))) break;
        qivtest::BstrHolder name;
        info->GetDocumentation(fd->memid, &name.b, nullptr, nullptr, nullptr);
        out[name.str()] = fd->memid;
        info->ReleaseFuncDesc(fd);
    }
    if (info != outer) info->Release();
    outer->Release();
    return out;
}

#define QIV_DISPID_ROW(name, id) {#name, id},

// The named DISPIDs of the code and the library agree, member by member, both ways.
TEST(TypeLib, NamedDispidsMatchTheLibrary) {
    std::wstring path = L"Z:" + qivtest::Widen(QIV_PLAYER_TLB);
    ITypeLib* lib = nullptr;
    ASSERT_EQ(S_OK, LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib));
    const std::map<std::string, long> player2 = {QIV_DISPIDS_PLAYER2(QIV_DISPID_ROW)};
    const std::map<std::string, long> player1Methods = {QIV_DISPIDS_PLAYER1_METHODS(QIV_DISPID_ROW)};
    const std::map<std::string, long> events = {QIV_DISPIDS_EVENTS(QIV_DISPID_ROW)};
    EXPECT_EQ(player2, LibraryDispids(lib, IID_IQivPlayer2));
    EXPECT_EQ(events, LibraryDispids(lib, DIID__QivPlayerEvents));
    // The older interface: its methods by their own list, its properties by the newer one's.
    const std::map<std::string, long> player1 = LibraryDispids(lib, IID_IQivPlayer);
    for (const auto& [name, id] : player1) {
        const auto own = player1Methods.find(name);
        if (own != player1Methods.end()) {
            EXPECT_EQ(own->second, id) << name;
        } else {
            const auto shared = player2.find(name);
            ASSERT_NE(player2.end(), shared) << name << " has no named DISPID";
            EXPECT_EQ(shared->second, id) << name;
        }
    }
    for (const auto& [name, id] : player1Methods) EXPECT_EQ(1u, player1.count(name)) << name;
    lib->Release();
}

}  // namespace
