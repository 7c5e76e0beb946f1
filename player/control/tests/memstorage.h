// Compound-document storages of the tests: one in memory, and streams written into it.
#pragma once
#include <windows.h>
#include <objidl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace qivtest {

inline IStorage* MemoryStorage() {
    ILockBytes* lb = nullptr;
    IStorage* st = nullptr;
    CreateILockBytesOnHGlobal(nullptr, TRUE, &lb);
    StgCreateDocfileOnILockBytes(lb, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &st);
    lb->Release();
    return st;
}

inline void PutStream(IStorage* st, const wchar_t* name, const std::vector<uint8_t>& b) {
    IStream* s = nullptr;
    ASSERT_EQ(S_OK, st->CreateStream(name, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &s));
    if (!b.empty()) s->Write(b.data(), ULONG(b.size()), nullptr);
    s->Release();
}

}  // namespace qivtest
