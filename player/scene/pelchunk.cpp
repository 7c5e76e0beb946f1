// Object file chunk directory, chunk writing/removal, multilingual text lists.
#include "scene/pelchunk.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "scene/anim.h"
#include "scene/contentlist.h"
#include "scene/bytes.h"
#include "scene/engine.h"
#include "scene/scene.h"

namespace {

using bytes::rd32;
using bytes::wr32;
using bytes::fileLength;
using bytes::seekTo;

PelChunkEntry readEntry(const uint8_t* p) {
    return PelChunkEntry{rd32(p), rd32(p + 4), rd32(p + 8), rd32(p + 12)};
}
void writeEntry(uint8_t* p, const PelChunkEntry& e) {
    wr32(p, e.id);
    wr32(p + 4, e.offset);
    wr32(p + 8, e.size);
    wr32(p + 12, e.extra);
}

char g_language[2] = {'D', 'E'};
uint64_t g_entriesSkipped = 0;  // entries passed over by lookups (a figure for tests)

}  // namespace

// ---------------------------------------------------------------------------
// The fixed context of the object file modules' reports ("???", 99999).
void errContext() { errSetContext("???", 99999); }

// Header helpers shared with the reader.

void pelMakeMagic(uint32_t width, uint8_t* field, const char* text) {
    if (!field || width == 0) return;
    std::memset(field, 0, width);
    if (!text || width < 2) return;
    size_t n = std::strlen(text);
    if (n > width - 2) n = width - 2;
    field[0] = uint8_t(n);
    std::memcpy(field + 1, text, n);
}

int pelCheckMagic(const uint8_t* header) {
    if (!header) return 0;
    for (const char* text : {"PEL V1.0", "PEL V1.1", "KVO V1.0"}) {
        uint8_t magic[PEL_MAGIC_SIZE];
        pelMakeMagic(PEL_MAGIC_SIZE, magic, text);
        if (std::memcmp(magic, header, PEL_MAGIC_SIZE) == 0) return 1;
    }
    return 0;
}

void pelHeaderToInfo(const uint8_t* h, char* objectName, PelFileInfo* info) {
    if (info) {
        auto f32 = [&](uint32_t off) {
            uint32_t w = rd32(h + off);
            float x;
            std::memcpy(&x, &w, 4);
            return x;
        };
        info->geoOffset = rd32(h + 220);
        info->geoSize = rd32(h + 224);
        info->geoChecksum = rd32(h + 228);
        info->previewOffset = rd32(h + 232);
        info->previewSize = rd32(h + 236);
        info->previewSum = rd32(h + 240);
        info->outlineOffset = rd32(h + 244);
        info->outlineSize = rd32(h + 248);
        info->outlineSum = rd32(h + 252);
        info->sizeX = f32(96);
        info->sizeY = f32(100);
        info->sizeZ = f32(104);
        info->callerValue = rd32(h + 108);
        info->areaNameBytes = rd32(h + 116);
        info->faceCount = rd32(h + 112);
        info->flags = rd32(h + 92) & 0xFF;
    }
    if (objectName) {
        // The length byte may claim more than the field holds.
        uint32_t n = h[PEL_NAME_OFFSET];
        if (n > PEL_NAME_MAX) n = PEL_NAME_MAX;
        std::memcpy(objectName, h + PEL_NAME_OFFSET + 1, n);
        objectName[n] = 0;
    }
}

uint32_t pelByteSum(size_t size, const void* data) {
    if (!data) return 0;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint32_t sum = 0;
    size_t i = 0;
    // Eight bytes at a time: byte pairs, then the four pair sums, added in one word.
    for (; i + 8 <= size; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        w = (w & 0x00FF00FF00FF00FFull) + ((w >> 8) & 0x00FF00FF00FF00FFull);
        w = (w & 0x0000FFFF0000FFFFull) + ((w >> 16) & 0x0000FFFF0000FFFFull);
        sum += uint32_t(w) + uint32_t(w >> 32);
    }
    for (; i < size; ++i) sum += p[i];
    return sum;
}

int pelReadChunkList(std::FILE* file, const uint8_t* header, uint64_t fileLength, uint32_t* count,
                     PelChunkEntry** directory) {
    if (!count || !directory) return 0;
    *count = 0;
    *directory = nullptr;
    if (!file || !header) return 0;

    PelChunkEntry slots[4];
    for (int i = 0; i < 4; ++i) slots[i] = readEntry(header + PEL_SLOT_OFFSET + 16 * i);
    if (slots[0].id == 0) return 1;

    uint64_t total;
    bool continued = slots[3].id == PEL_CHUNK_CONTINUE;
    if (continued) {
        total = slots[3].size;
        if (total < 3) {
            errContext();
            errReport(ERR_FORMAT, "Chunk directory has wrong format (%u entries)", slots[3].size);
            return 0;
        }
        uint64_t tableEnd = uint64_t(slots[3].offset) + (total - 3) * PEL_CHUNK_ENTRY_SIZE;
        if (slots[3].offset < PEL_HEADER_SIZE || tableEnd > fileLength) {
            errContext();
            errReport(ERR_LENGTH, "Chunk directory lies outside the file (offset %u, %u entries)",
                      slots[3].offset, slots[3].size);
            return 0;
        }
    } else {
        total = 4;
        while (total > 0 && slots[total - 1].id == 0) --total;
    }

    if (total * sizeof(PelChunkEntry) > SIZE_MAX) return 0;
    PelChunkEntry* dir = static_cast<PelChunkEntry*>(memAllocZ(size_t(total) * sizeof(PelChunkEntry)));
    if (!dir) return 0;
    uint64_t inHeader = continued ? 3 : total;
    for (uint64_t i = 0; i < inHeader; ++i) dir[i] = slots[i];
    if (continued && total > 3) {
        uint64_t bytes = (total - 3) * PEL_CHUNK_ENTRY_SIZE;
        uint8_t* table = static_cast<uint8_t*>(memAllocZ(size_t(bytes)));
        if (!table) {
            memFree(dir);
            return 0;
        }
        bool ok = seekTo(file, slots[3].offset) && std::fread(table, 1, size_t(bytes), file) == bytes;
        if (ok)
            for (uint64_t i = 3; i < total; ++i) dir[i] = readEntry(table + (i - 3) * PEL_CHUNK_ENTRY_SIZE);
        memFree(table);
        if (!ok) {
            memFree(dir);
            errContext();
            errReport(ERR_READ, "Error reading chunk directory");
            return 0;
        }
    }
    // Entries whose data lie past the end stay in the directory: readers leave
    // them out, rewriting refuses the layout.
    *count = uint32_t(total);
    *directory = dir;
    return 1;
}

int pelFreeDirectory(PelChunkEntry** holder) {
    if (holder) memFreeRefT(holder);
    return 1;
}

int pelOpenChecked(const char* path, std::FILE** out, uint8_t* header, uint64_t* length) {
    if (!out || !header || !length) return 0;
    *out = nullptr;
    errContext();
    std::FILE* f = path ? std::fopen(path, "rb") : nullptr;
    if (!f) {
        errReport(ERR_READ, "Error opening file %s", path ? path : "");
        return 0;
    }
    int64_t len = fileLength(f);
    if (len < 0 || std::fread(header, 1, PEL_HEADER_SIZE, f) != PEL_HEADER_SIZE) {
        std::fclose(f);
        errReport(ERR_READ, "Error reading Header of file %s", path);
        return 0;
    }
    if (!pelCheckMagic(header)) {
        std::fclose(f);
        errReport(ERR_FORMAT, "File %s has wrong format", path);
        return 0;
    }
    uint32_t total = rd32(header + PEL_TOTAL_OFFSET);
    if (uint64_t(len) != total) {
        std::fclose(f);
        errReport(ERR_LENGTH, "File %s has wrong length (is %d, must be %d)", path, int(len), int(total));
        return 0;
    }
    *out = f;
    *length = uint64_t(len);
    return 1;
}

int pelReadDirectory(const char* path, char* objectName, PelFileInfo* info, uint32_t* count,
                     PelChunkEntry** directory) {
    if (count) *count = 0;
    if (directory) *directory = nullptr;
    if (objectName) objectName[0] = 0;
    if (!count || !directory) return 0;
    uint8_t header[PEL_HEADER_SIZE];
    std::FILE* f;
    uint64_t length;
    if (!pelOpenChecked(path, &f, header, &length)) return 0;
    int ok = pelReadChunkList(f, header, length, count, directory);
    std::fclose(f);
    if (!ok) return 0;
    pelHeaderToInfo(header, objectName, info);
    return 1;
}

// ---------------------------------------------------------------------------
// Rewriting the chunk area. The new file is built beside the old one and
// renamed over it only when complete.

namespace {

struct Piece {
    const uint8_t* data;  // null: copy from the source file at offset
    uint64_t offset;
    uint64_t size;
};

bool copyRange(std::FILE* src, std::FILE* dst, uint64_t offset, uint64_t size) {
    if (size == 0) return true;
    if (!seekTo(src, offset)) return false;
    std::vector<uint8_t> buf(size_t(size < (1u << 20) ? size : (1u << 20)));
    while (size > 0) {
        size_t n = size_t(size < buf.size() ? size : buf.size());
        if (std::fread(buf.data(), 1, n, src) != n) return false;
        if (std::fwrite(buf.data(), 1, n, dst) != n) return false;
        size -= n;
    }
    return true;
}

// Writes the pieces into a temporary file beside path and renames it over path.
bool replaceFile(const char* path, std::FILE*& src, const std::vector<Piece>& pieces) {
    std::string tmp = std::string(path) + ".~tmp";
    std::FILE* dst = std::fopen(tmp.c_str(), "wb");
    if (!dst) return false;
    // Unless renamed, the temporary file goes at every exit.
    struct Target {
        std::FILE*& file;
        const std::string& path;
        bool kept = false;
        ~Target() {
            if (file) std::fclose(file);
            if (!kept) std::remove(path.c_str());
        }
    } target{dst, tmp};
    bool ok = true;
    for (const Piece& p : pieces) {
        if (p.data)
            ok = p.size == 0 || std::fwrite(p.data, 1, size_t(p.size), dst) == p.size;
        else
            ok = copyRange(src, dst, p.offset, p.size);
        if (!ok) break;
    }
    const bool closed = std::fclose(dst) == 0;
    dst = nullptr;
    ok = ok && closed;
    std::error_code ec;
    if (ok) {
        std::fclose(src);  // Windows cannot replace a file that is open
        src = nullptr;
        std::filesystem::rename(std::filesystem::path(tmp), std::filesystem::path(path), ec);
        ok = !ec;
    }
    target.kept = ok;
    return ok;
}

// The chunk area as these operations rely on it: data in directory order, each
// directly behind the one before, behind the header and the blocks it names;
// a continuation table (if any) ends the file.
struct Layout {
    std::vector<PelChunkEntry> entries;
    uint64_t dataStart = 0;  // where the first chunk's data lies (or would lie)
    uint64_t dataEnd = 0;    // end of the last chunk's data
    uint32_t continueWord = 0;  // fourth word of a continuation record
    bool continued = false;
};

bool checkLayout(const uint8_t* header, uint64_t length, const PelChunkEntry* dir, uint32_t count, Layout* out) {
    out->entries.assign(dir, dir + count);
    out->continued = rd32(header + PEL_SLOT_OFFSET + 48) == PEL_CHUNK_CONTINUE;
    out->continueWord = out->continued ? rd32(header + PEL_SLOT_OFFSET + 60) : 0;
    uint64_t tableBytes = out->continued ? uint64_t(count - 3) * PEL_CHUNK_ENTRY_SIZE : 0;
    if (tableBytes > length) return false;
    uint64_t end = length - tableBytes;
    if (out->continued && rd32(header + PEL_SLOT_OFFSET + 52) != end) return false;
    // The blocks named by the header lie before the chunks.
    uint64_t floor = PEL_HEADER_SIZE;
    for (uint32_t off : {220u, 232u, 244u}) {
        uint64_t o = rd32(header + off), s = rd32(header + off + 4);
        if (o != 0 && o + s > floor) floor = o + s;
    }
    if (count == 0) {
        if (floor > length) return false;
        out->dataStart = out->dataEnd = length;
        return true;
    }
    uint64_t pos = out->entries[0].offset;
    if (pos < floor) return false;
    out->dataStart = pos;
    for (const PelChunkEntry& e : out->entries) {
        if (e.offset != pos) return false;
        pos += e.size;
    }
    if (pos != end) return false;
    out->dataEnd = pos;
    return true;
}

// Writes entries as directory into header (slots, continuation record) and
// returns the continuation table bytes (empty for up to four entries).
std::vector<uint8_t> layoutDirectory(uint8_t* header, const std::vector<PelChunkEntry>& entries, uint64_t tableOffset,
                                     uint32_t continueWord) {
    std::memset(header + PEL_SLOT_OFFSET, 0, 64);
    std::vector<uint8_t> table;
    size_t n = entries.size();
    if (n <= 4) {
        for (size_t i = 0; i < n; ++i) writeEntry(header + PEL_SLOT_OFFSET + 16 * i, entries[i]);
        return table;
    }
    for (size_t i = 0; i < 3; ++i) writeEntry(header + PEL_SLOT_OFFSET + 16 * i, entries[i]);
    writeEntry(header + PEL_SLOT_OFFSET + 48,
               PelChunkEntry{PEL_CHUNK_CONTINUE, uint32_t(tableOffset), uint32_t(n), continueWord});
    table.resize((n - 3) * PEL_CHUNK_ENTRY_SIZE);
    for (size_t i = 3; i < n; ++i) writeEntry(table.data() + (i - 3) * PEL_CHUNK_ENTRY_SIZE, entries[i]);
    return table;
}

// Removes the chunk with removeId (if any) and appends a new chunk (when data
// is given or addSize is 0 with add set); one rewrite of the file.
int rewriteChunks(const char* path, uint32_t removeId, bool add, uint32_t addId, uint32_t addSize,
                  const void* addData) {
    uint8_t header[PEL_HEADER_SIZE];
    std::FILE* f;
    uint64_t length;
    if (!pelOpenChecked(path, &f, header, &length)) return 0;
    // The source is closed at every exit (replaceFile closes it before its rename).
    struct Source {
        std::FILE*& file;
        ~Source() {
            if (file) std::fclose(file);
        }
    } source{f};
    uint32_t count = 0;
    PelChunkEntry* dir = nullptr;
    if (!pelReadChunkList(f, header, length, &count, &dir)) return 0;
    MemHold<PelChunkEntry> dirBlock(dir);
    Layout lay;
    bool good = checkLayout(header, length, dir, count, &lay);
    dirBlock.reset();
    if (!good) {
        errContext();
        errReport(ERR_FORMAT, "File %s has an unsupported chunk layout", path);
        return 0;
    }

    // Pieces of the new file behind the header: what lies before the chunks, then every
    // chunk that stays. Empty slots (id 0) hold no chunk and go with their bytes: left in
    // the directory, one could reach slot 1 and hide every chunk behind it.
    std::vector<Piece> pieces;
    std::vector<PelChunkEntry> entries;
    uint32_t continueWord = lay.continueWord;
    pieces.push_back({nullptr, PEL_HEADER_SIZE, lay.dataStart - PEL_HEADER_SIZE});
    uint64_t dataEnd = lay.dataStart;
    bool removed = false;
    for (const PelChunkEntry& e : lay.entries) {
        if (!removed && e.id == removeId) {
            removed = true;
            continue;
        }
        if (e.id == 0) continue;
        pieces.push_back({nullptr, e.offset, e.size});
        entries.push_back(PelChunkEntry{e.id, uint32_t(dataEnd), e.size, e.extra});
        dataEnd += e.size;
    }
    if (!removed && !add) return 1;  // nothing to remove: file unchanged
    if (entries.size() <= 4) continueWord = 0;
    if (add) {
        if (dataEnd + addSize > 0xFFFFFFFFull) return 0;
        entries.push_back(PelChunkEntry{addId, uint32_t(dataEnd), addSize, pelByteSum(addSize, addData)});
        pieces.push_back({static_cast<const uint8_t*>(addData), 0, addSize});
        dataEnd += addSize;
    }
    std::vector<uint8_t> table = layoutDirectory(header, entries, dataEnd, continueWord);
    uint64_t total = dataEnd + table.size();
    if (total > 0xFFFFFFFFull) return 0;
    wr32(header + PEL_TOTAL_OFFSET, uint32_t(total));
    pieces.insert(pieces.begin(), Piece{header, 0, PEL_HEADER_SIZE});
    pieces.push_back({table.data(), 0, table.size()});
    return replaceFile(path, f, pieces) ? 1 : 0;
}

}  // namespace

int pelRemoveChunk(const char* path, uint32_t id) try {
    if (id == 0 || id == PEL_CHUNK_CONTINUE) return 0;
    return rewriteChunks(path, id, false, 0, 0, nullptr);
} QIV_ENGINE_CATCH(0)

int pelWriteChunk(const char* path, uint32_t id, uint32_t size, const void* data) try {
    if (id == 0 || id == PEL_CHUNK_CONTINUE) return 0;
    if (size != 0 && !data) return 0;
    return rewriteChunks(path, id, true, id, size, data);
} QIV_ENGINE_CATCH(0)

// ---------------------------------------------------------------------------
// Content language.

int pelGetLanguage(char* out) {
    if (!out) return 0;
    out[0] = g_language[0];
    out[1] = g_language[1];
    return 1;
}

void pelResetLanguage() {
    g_language[0] = 'D';
    g_language[1] = 'E';
}

int pelSetLanguage(const char* code) try {
    if (!code) return 0;
    if (code[0] == g_language[0] && code[1] == g_language[1]) return 1;
    g_language[0] = code[0];
    g_language[1] = code[1];
    for (PelContent* c = pelFirstObject(); c; c = c->next) pelRenameDescs(c, 127);
    return 1;
} QIV_ENGINE_CATCH(0)

void pelRenameDescs(PelContent* content, uint32_t maxChars) try {
    if (!content || !content->textList1 || !content->descs) return;
    if (maxChars > sizeof(content->descs[0].name) - 1) maxChars = sizeof(content->descs[0].name) - 1;
    // One walk over the list finds the entries of the names, each looked up where it starts.
    const char* list = content->textList1;
    const uint32_t size = content->textList1Size;
    uint64_t entry = 0;
    uint32_t at = 0;
    auto advance = [&](uint64_t to) {
        while (entry < to && at < size) {
            const void* z = std::memchr(list + at, 0, size - at);
            if (!z) {
                at = size;
                break;
            }
            at = uint32_t(static_cast<const char*>(z) - list) + 1;
            ++entry;
        }
        return entry == to && at < size;
    };
    for (uint32_t i = 0; i < content->descCount; ++i) {
        if (!advance(uint64_t(content->partCount) + i)) break;
        char* text = nullptr;
        if (!pelGetLangText(list + at, size - at, g_language, 1, 0, &text)) continue;
        size_t n = std::strlen(text);
        // A sub-range descriptor keeps its track range behind character 110.
        size_t limit = (content->descs[i].flags & ANIM_DESC_SUBRANGE) && maxChars > 110 ? 110 : maxChars;
        if (n > limit) n = limit;
        std::memcpy(content->descs[i].name, text, n);
        content->descs[i].name[n] = 0;
        memFreeRefT(&text);
    }
} QIV_ENGINE_CATCH_VOID

uint64_t pelTextEntriesSkipped() { return g_entriesSkipped; }

// ---------------------------------------------------------------------------
// Multilingual text lists.
//
// A list is a sequence of entries, each ended by 0x00. An entry holds
// segments "LLtext\x01". An empty entry is stored as 0x00 or as 0x01 0x00;
// a lone 0x01 where a segment would start is such an empty mark.

namespace {

struct Segment {
    uint32_t start, end;  // [start, end) including code and the closing 0x01
};

// Finds entry index: [*start, *end) with list[*end] == 0.
bool findEntry(const uint8_t* list, uint32_t size, uint32_t index, uint32_t* start, uint32_t* end) {
    uint32_t p = 0;
    for (uint32_t i = 0; i < index; ++i) {
        ++g_entriesSkipped;
        const void* z = std::memchr(list + p, 0, size - p);
        if (!z) return false;
        p = uint32_t(static_cast<const uint8_t*>(z) - list) + 1;
        if (p >= size) return false;
    }
    const void* z = std::memchr(list + p, 0, size - p);
    if (!z) return false;
    *start = p;
    *end = uint32_t(static_cast<const uint8_t*>(z) - list);
    return true;
}

// Splits an entry into segments; false when a segment lacks its 0x01.
bool parseEntry(const uint8_t* list, uint32_t start, uint32_t end, std::vector<Segment>* segs) {
    uint32_t p = start;
    while (p < end) {
        if (list[p] == 1) {  // empty mark
            ++p;
            continue;
        }
        if (end - p < 3) return false;
        const void* q = std::memchr(list + p + 2, 1, end - p - 2);
        if (!q) return false;
        uint32_t e = uint32_t(static_cast<const uint8_t*>(q) - list) + 1;
        segs->push_back({p, e});
        p = e;
    }
    return true;
}

bool sameCode(const uint8_t* list, const Segment& s, const char* language) {
    return language && list[s.start] == uint8_t(language[0]) && list[s.start + 1] == uint8_t(language[1]);
}

}  // namespace

int pelGetLangText(const char* listText, uint32_t size, const char* language, int fallback, uint32_t index,
                   char** out) try {
    if (!out) return 0;
    *out = nullptr;
    if (!listText || size < 3) return 0;
    const uint8_t* list = reinterpret_cast<const uint8_t*>(listText);
    uint32_t start, end;
    if (!findEntry(list, size, index, &start, &end)) return 0;

    // Search in order; a segment without its 0x01 ends the search.
    std::vector<Segment> segs;
    bool complete = parseEntry(list, start, end, &segs);
    const Segment* hit = nullptr;
    for (const Segment& s : segs)
        if (sameCode(list, s, language)) {
            hit = &s;
            break;
        }
    if (!hit) {
        if (!complete || !fallback) return 0;
        if (language && language[0] == 'X' && language[1] == 'Y') return 0;
        if (segs.empty()) return 0;
        for (const Segment& s : segs)
            if (sameCode(list, s, "XX")) {
                hit = &s;
                break;
            }
        if (!hit) return 0;
    }
    uint32_t len = hit->end - hit->start - 3;
    char* copy = static_cast<char*>(memAllocZ(size_t(len) + 1));
    if (!copy) return 0;
    std::memcpy(copy, list + hit->start + 2, len);
    *out = copy;
    return 1;
} QIV_ENGINE_CATCH(0)

int pelSetLangText(char** listHolder, uint32_t* sizeHolder, const char* text, uint32_t index, const char* language,
                   uint32_t entryCount) try {
    if (!text || !listHolder || !sizeHolder || !language) return 0;
    if (language[0] == 0 || language[0] == 1 || language[1] == 0 || language[1] == 1) return 0;
    size_t textLen = std::strlen(text);
    if (std::memchr(text, 1, textLen)) return 0;  // would split the segment
    std::vector<uint8_t> seg;
    if (textLen > 0) {
        seg.reserve(textLen + 3);
        seg.push_back(uint8_t(language[0]));
        seg.push_back(uint8_t(language[1]));
        seg.insert(seg.end(), text, text + textLen);
        seg.push_back(1);
    }

    std::vector<uint8_t> out;
    uint8_t* list = reinterpret_cast<uint8_t*>(*listHolder);
    uint32_t size = *sizeHolder;
    if (!list || size == 0) {
        if (textLen == 0 || entryCount == 0) return 1;
        if (index >= entryCount) return 0;
        uint64_t newSize = uint64_t(textLen) + 2ull * entryCount + 2;
        if (newSize > 0xFFFFFFFFull) return 0;
        out.reserve(size_t(newSize));
        for (uint32_t i = 0; i < entryCount; ++i) {
            if (i == index)
                out.insert(out.end(), seg.begin(), seg.end());
            else
                out.push_back(1);
            out.push_back(0);
        }
    } else {
        uint32_t start, end;
        if (!findEntry(list, size, index, &start, &end)) return 0;
        std::vector<Segment> segs;
        if (!parseEntry(list, start, end, &segs)) return 0;
        uint32_t cutFrom = end, cutTo = end;  // bytes replaced by seg
        bool hit = false;
        for (const Segment& s : segs)
            if (sameCode(list, s, language)) {
                cutFrom = s.start;
                cutTo = s.end;
                hit = true;
                break;
            }
        if (!hit && segs.empty()) cutFrom = start;  // drop empty marks
        if (!hit && textLen == 0) cutFrom = cutTo = end;
        uint64_t newSize = uint64_t(size) - (cutTo - cutFrom) + seg.size();
        if (newSize > 0xFFFFFFFFull) return 0;
        out.reserve(size_t(newSize));
        out.insert(out.end(), list, list + cutFrom);
        out.insert(out.end(), seg.begin(), seg.end());
        out.insert(out.end(), list + cutTo, list + size);
    }
    char* block = static_cast<char*>(memAllocZ(out.size()));
    if (!block) return 0;
    std::memcpy(block, out.data(), out.size());
    memFreeRefT(listHolder);
    *listHolder = block;
    *sizeHolder = uint32_t(out.size());
    return 1;
} QIV_ENGINE_CATCH(0)
