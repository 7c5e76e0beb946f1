// Checks a loaded type library against the control's documented vocabulary
// (the tables in typelib_golden.inc). Shared by the tests of the .tlb file and
// of the library's TYPELIB resource.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "QivPlayer_h.h"

namespace qivtest {

#include "typelib_golden.inc"

// The older interface: its own DISPIDs for the methods it carries.
struct OldMethod { long id; const char* name; };
static const OldMethod kOldMethods[] = {
    {0x32, "GetAnimationParameters"}, {0x33, "StartAnimation"}, {0x34, "StopAnimation"},
    {0x35, "GetSubAnimationInfo"},    {0x36, "StartSubAnimation"}, {0x37, "BrowseForTexturePath"},
    {0x38, "LoadObject"},             {0x39, "SaveMiniBitmap"},  {0x3a, "ShowAll"},
    {0x3c, "SaveBitmap"},             {0x3d, "DisplayThumbnail"}, {0x3e, "Show2DView"},
    {0x3f, "OneTimeRaytrace"},        {0x40, "SaveObject"},      {0x41, "ConfigureCache"},
};

inline std::wstring Widen(const char* s) {
    std::wstring w;
    for (; *s; ++s) w += static_cast<wchar_t>(static_cast<unsigned char>(*s));
    return w;
}
inline std::string Narrow(const wchar_t* s) {
    std::string n;
    if (s)
        for (; *s; ++s) n += static_cast<char>(*s);
    return n;
}

struct BstrHolder {
    BSTR b = nullptr;
    ~BstrHolder() { SysFreeString(b); }
    std::string str() const { return Narrow(b); }
};

inline std::string TypeName(ITypeInfo* info, const TYPEDESC& td) {
    switch (td.vt) {
    case VT_I4: return "long";
    case VT_UI4: return "unsigned long";
    case VT_R4: return "float";
    case VT_BOOL: return "VARIANT_BOOL";
    case VT_BSTR: return "BSTR";
    case VT_VARIANT: return "VARIANT";
    case VT_HRESULT: return "HRESULT";
    case VT_VOID: return "void";
    case VT_PTR: return TypeName(info, *td.lptdesc) + "*";
    case VT_USERDEFINED: {
        ITypeInfo* ref = nullptr;
        if (FAILED(info->GetRefTypeInfo(td.hreftype, &ref))) return "?ref";
        BstrHolder name;
        ref->GetDocumentation(MEMBERID_NIL, &name.b, nullptr, nullptr, nullptr);
        ref->Release();
        return name.str();
    }
    default: return "?vt" + std::to_string(td.vt);
    }
}

// One member as the documented notation writes it.
struct Member {
    long id = 0;
    INVOKEKIND kind = INVOKE_FUNC;
    std::string name;
    std::string params;  // "out float Length, long Index" / "byref BSTR Name"
    std::string retval;  // name of the [retval] parameter, empty if none
    std::string result;  // HRESULT or void
    short vtableOffset = 0;
    bool flagsOk = true;
    std::string propType;  // the property's type for get/put
};

inline std::vector<Member> ReadMembers(ITypeInfo* info, bool eventStyle) {
    std::vector<Member> out;
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) return out;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* fd = nullptr;
        if (FAILED(info->GetFuncDesc(i, &fd))) continue;
        if (fd->wFuncFlags & FUNCFLAG_FRESTRICTED) {
            info->ReleaseFuncDesc(fd);
            continue;
        }
        Member m;
        m.id = fd->memid;
        m.kind = fd->invkind;
        m.vtableOffset = fd->oVft;
        m.result = TypeName(info, fd->elemdescFunc.tdesc);
        BSTR names[32] = {};
        UINT got = 0;
        info->GetNames(fd->memid, names, 32, &got);
        m.name = Narrow(names[0]);
        int lastOut = -1;
        for (int p = 0; p < fd->cParams; ++p)
            if (fd->lprgelemdescParam[p].paramdesc.wParamFlags & PARAMFLAG_FOUT) lastOut = p;
        for (int p = 0; p < fd->cParams; ++p) {
            const ELEMDESC& e = fd->lprgelemdescParam[p];
            USHORT f = e.paramdesc.wParamFlags;
            std::string ty = TypeName(info, e.tdesc);
            std::string pname = (UINT)(p + 1) < got ? Narrow(names[p + 1]) : std::string("?");
            if (!m.params.empty()) m.params += ", ";
            if (eventStyle) {
                if (e.tdesc.vt == VT_PTR) {
                    m.params += "byref " + ty.substr(0, ty.size() - 1) + " " + pname;
                    if (f != (PARAMFLAG_FIN | PARAMFLAG_FOUT)) m.flagsOk = false;
                } else {
                    m.params += ty + " " + pname;
                    if (f != PARAMFLAG_FIN) m.flagsOk = false;
                }
                continue;
            }
            if (f & PARAMFLAG_FOUT) {
                if (e.tdesc.vt != VT_PTR) m.flagsOk = false;
                m.params += "out " + ty.substr(0, ty.size() - 1) + " " + pname;
                bool retval = (f & PARAMFLAG_FRETVAL) != 0;
                if (retval != (p == lastOut) || (f & PARAMFLAG_FIN)) m.flagsOk = false;
                if (retval) m.retval = pname;
            } else {
                if (f != PARAMFLAG_FIN) m.flagsOk = false;
                m.params += ty + " " + pname;
            }
            if (m.kind == INVOKE_PROPERTYGET) m.propType = ty.substr(0, ty.size() - 1);
            if (m.kind == INVOKE_PROPERTYPUT) m.propType = ty;
        }
        for (UINT n = 0; n < got; ++n) SysFreeString(names[n]);
        info->ReleaseFuncDesc(fd);
        out.push_back(m);
    }
    info->ReleaseTypeAttr(attr);
    return out;
}

// The expected member sequence of a dual interface.
struct Expected {
    long id;
    INVOKEKIND kind;
    std::string name;
    std::string params;  // methods only
    std::string type;    // properties only
};

inline std::vector<Expected> ExpectedPlayer2() {
    std::vector<Expected> e;
    for (const GoldProp& p : kGoldProps) {
        Expected get{p.id, INVOKE_PROPERTYGET, p.name, "", p.type};
        Expected put{p.id, INVOKE_PROPERTYPUT, p.name, "", p.type};
        bool putFirst = !std::strcmp(p.name, "BackColor") || !std::strcmp(p.name, "CurrentObject");
        if (!p.put) {
            e.push_back(get);
        } else if (putFirst) {
            e.push_back(put);
            e.push_back(get);
        } else {
            e.push_back(get);
            e.push_back(put);
        }
    }
    for (const GoldMethod& m : kGoldMethods) e.push_back({m.id, INVOKE_FUNC, m.name, m.params, ""});
    return e;
}

inline std::vector<Expected> ExpectedPlayer1() {
    std::vector<Expected> all = ExpectedPlayer2();
    std::vector<Expected> e(all.begin(), all.begin() + 97);
    for (const OldMethod& o : kOldMethods) {
        for (const GoldMethod& m : kGoldMethods)
            if (!std::strcmp(m.name, o.name)) e.push_back({o.id, INVOKE_FUNC, o.name, m.params, ""});
    }
    return e;
}

inline void CheckDual(ITypeLib* lib, REFIID iid, const char* name, const std::vector<Expected>& want) {
    SCOPED_TRACE(name);
    ITypeInfo* disp = nullptr;
    ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(iid, &disp));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, disp->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_DISPATCH, attr->typekind);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
    disp->ReleaseTypeAttr(attr);
    BstrHolder tn;
    disp->GetDocumentation(MEMBERID_NIL, &tn.b, nullptr, nullptr, nullptr);
    EXPECT_EQ(name, tn.str());

    HREFTYPE href = 0;
    ASSERT_EQ(S_OK, disp->GetRefTypeOfImplType(-1, &href));
    ITypeInfo* vt = nullptr;
    ASSERT_EQ(S_OK, disp->GetRefTypeInfo(href, &vt));
    ASSERT_EQ(S_OK, vt->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_INTERFACE, attr->typekind);
    EXPECT_EQ(1, attr->cImplTypes);
    EXPECT_EQ(want.size(), attr->cFuncs);
    vt->ReleaseTypeAttr(attr);
    // The base is IDispatch.
    ASSERT_EQ(S_OK, vt->GetRefTypeOfImplType(0, &href));
    ITypeInfo* base = nullptr;
    ASSERT_EQ(S_OK, vt->GetRefTypeInfo(href, &base));
    ASSERT_EQ(S_OK, base->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID_IDispatch));
    base->ReleaseTypeAttr(attr);
    base->Release();

    std::vector<Member> got = ReadMembers(vt, false);
    ASSERT_EQ(want.size(), got.size());
    for (size_t i = 0; i < want.size(); ++i) {
        const Expected& w = want[i];
        const Member& g = got[i];
        SCOPED_TRACE(w.name + " slot " + std::to_string(i));
        EXPECT_EQ(w.name, g.name);
        EXPECT_EQ(w.id, g.id);
        EXPECT_EQ(w.kind, g.kind);
        EXPECT_EQ(static_cast<short>((7 + i) * sizeof(void*)), g.vtableOffset);
        EXPECT_EQ("HRESULT", g.result);
        EXPECT_TRUE(g.flagsOk) << g.params;
        if (w.kind == INVOKE_FUNC) {
            EXPECT_EQ(w.params, g.params);
        } else {
            EXPECT_EQ(w.type, g.propType);
            EXPECT_EQ(w.kind == INVOKE_PROPERTYGET ? 1u : 0u, g.retval.empty() ? 0u : 1u);
        }
    }
    vt->Release();
    disp->Release();
}

inline void CheckEvents(ITypeLib* lib) {
    ITypeInfo* info = nullptr;
    ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(DIID__QivPlayerEvents, &info));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_DISPATCH, attr->typekind);
    EXPECT_FALSE(attr->wTypeFlags & TYPEFLAG_FDUAL);
    info->ReleaseTypeAttr(attr);
    std::vector<Member> got = ReadMembers(info, true);
    ASSERT_EQ(std::size(kGoldEvents), got.size());
    for (size_t i = 0; i < got.size(); ++i) {
        const GoldMethod& w = kGoldEvents[i];
        SCOPED_TRACE(w.name);
        EXPECT_EQ(w.id, got[i].id);
        EXPECT_EQ(w.name, got[i].name);
        EXPECT_EQ(INVOKE_FUNC, got[i].kind);
        EXPECT_EQ(std::string(w.params) == "none" ? "" : w.params, got[i].params);
        EXPECT_TRUE(got[i].flagsOk);
    }
    info->Release();
}

inline void CheckEnums(ITypeLib* lib) {
    size_t seen = 0;
    UINT n = lib->GetTypeInfoCount();
    for (UINT i = 0; i < n; ++i) {
        TYPEKIND kind;
        if (FAILED(lib->GetTypeInfoType(i, &kind)) || kind != TKIND_ENUM) continue;
        ++seen;
        ITypeInfo* info = nullptr;
        ASSERT_EQ(S_OK, lib->GetTypeInfo(i, &info));
        BstrHolder name;
        info->GetDocumentation(MEMBERID_NIL, &name.b, nullptr, nullptr, nullptr);
        SCOPED_TRACE(name.str());
        const GoldEnum* want = nullptr;
        for (const GoldEnum& g : kGoldEnums)
            if (name.str() == g.name) want = &g;
        ASSERT_NE(nullptr, want);
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
        ASSERT_EQ(want->constants.size(), attr->cVars);
        EXPECT_EQ(4, attr->cbSizeInstance);
        for (UINT v = 0; v < attr->cVars; ++v) {
            VARDESC* vd = nullptr;
            ASSERT_EQ(S_OK, info->GetVarDesc(v, &vd));
            BstrHolder cn;
            info->GetDocumentation(vd->memid, &cn.b, nullptr, nullptr, nullptr);
            EXPECT_EQ(want->constants[v].name, cn.str());
            ASSERT_EQ(VAR_CONST, vd->varkind);
            VARIANT val;
            VariantInit(&val);
            ASSERT_EQ(S_OK, VariantChangeType(&val, vd->lpvarValue, 0, VT_I4));
            EXPECT_EQ(want->constants[v].value, val.lVal) << cn.str();
            info->ReleaseVarDesc(vd);
        }
        info->ReleaseTypeAttr(attr);
        info->Release();
    }
    EXPECT_EQ(18u, seen);
    EXPECT_EQ(std::size(kGoldEnums), seen);
}

inline void CheckCoclasses(ITypeLib* lib) {
    ITypeInfo* info = nullptr;
    ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(CLSID_QivPlayer, &info));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_COCLASS, attr->typekind);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCANCREATE);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCONTROL);
    ASSERT_EQ(3, attr->cImplTypes);
    info->ReleaseTypeAttr(attr);
    struct Impl { const IID* iid; int flags; } want[] = {
        {&IID_IQivPlayer2, IMPLTYPEFLAG_FDEFAULT},
        {&IID_IQivPlayer, 0},
        {&DIID__QivPlayerEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE},
    };
    for (int i = 0; i < 3; ++i) {
        int flags = -1;
        EXPECT_EQ(S_OK, info->GetImplTypeFlags(i, &flags));
        EXPECT_EQ(want[i].flags, flags);
        HREFTYPE href;
        ASSERT_EQ(S_OK, info->GetRefTypeOfImplType(i, &href));
        ITypeInfo* ref = nullptr;
        ASSERT_EQ(S_OK, info->GetRefTypeInfo(href, &ref));
        ASSERT_EQ(S_OK, ref->GetTypeAttr(&attr));
        EXPECT_TRUE(IsEqualGUID(*want[i].iid, attr->guid)) << i;
        ref->ReleaseTypeAttr(attr);
        ref->Release();
    }
    info->Release();
    for (const CLSID* page : {&CLSID_QivPlayerOptions, &CLSID_QivPlayerPaths}) {
        ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(*page, &info));
        ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
        EXPECT_EQ(TKIND_COCLASS, attr->typekind);
        EXPECT_EQ(0, attr->cImplTypes);
        info->ReleaseTypeAttr(attr);
        info->Release();
    }
}

inline void CheckQivPlayerLibrary(ITypeLib* lib) {
    TLIBATTR* la = nullptr;
    ASSERT_EQ(S_OK, lib->GetLibAttr(&la));
    EXPECT_TRUE(IsEqualGUID(LIBID_QivPlayer, la->guid));
    EXPECT_EQ(1, la->wMajorVerNum);
    EXPECT_EQ(0, la->wMinorVerNum);
    EXPECT_EQ(1033u, la->lcid);
    lib->ReleaseTLibAttr(la);
    BstrHolder name, help;
    lib->GetDocumentation(-1, &name.b, &help.b, nullptr, nullptr);
    EXPECT_EQ("QivPlayer", name.str());
    EXPECT_NE(std::string::npos, help.str().find("QivPlayer"));
    EXPECT_NE(std::string::npos, help.str().find("Tarnwick"));

    CheckDual(lib, IID_IQivPlayer2, "IQivPlayer2", ExpectedPlayer2());
    CheckDual(lib, IID_IQivPlayer, "IQivPlayer", ExpectedPlayer1());
    CheckEvents(lib);
    CheckEnums(lib);
    CheckCoclasses(lib);
}

}  // namespace qivtest
