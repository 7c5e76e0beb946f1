// Engine memory, error queue and processor helpers.
#include "scene/engine.h"

#include <cfenv>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <cpuid.h>
#define QIV_HAVE_CPUID 1
#endif

namespace {

constexpr size_t kTextMax = 499;  // characters of a message or context text

// One queue for the process, under its lock; each thread sees and pops its own records (a
// worker thread's failures never answer for the user-interface thread's call). The context
// is the thread's own.
struct ErrRecord {
    char* context;
    uint32_t line;
    uint32_t level;
    char* message;
    std::thread::id thread;
    ErrRecord* next;
    ErrRecord* previous;
};

thread_local char t_context[kTextMax + 1] = "";
thread_local uint32_t t_line = 0;
std::mutex g_queueLock;
ErrRecord* g_first = nullptr;
ErrRecord* g_last = nullptr;
size_t g_count = 0;

thread_local std::fenv_t t_fpuSave;
int g_mmx = 0;

// Copies at most kTextMax characters of text into a new block ("" when null).
char* copyText(const char* text) {
    if (!text) text = "";
    size_t n = strnlen(text, kTextMax);
    char* copy = static_cast<char*>(malloc(n + 1));
    if (!copy) return nullptr;
    memcpy(copy, text, n);
    copy[n] = '\0';
    return copy;
}

void freeRecord(ErrRecord* r) {
    free(r->context);
    free(r->message);
    free(r);
}

// Takes a record out of the list (under the lock) and frees it.
void unlink(ErrRecord* r) {
    if (r->previous)
        r->previous->next = r->next;
    else
        g_first = r->next;
    if (r->next)
        r->next->previous = r->previous;
    else
        g_last = r->previous;
    freeRecord(r);
    --g_count;
}

// The calling thread's newest record, or null (under the lock).
ErrRecord* newestOfThread() {
    const std::thread::id self = std::this_thread::get_id();
    for (ErrRecord* r = g_last; r; r = r->previous)
        if (r->thread == self) return r;
    return nullptr;
}

void copyOut(char* destination, const char* text) {
    if (!destination) return;
    if (!text) text = "";
    size_t n = strnlen(text, kTextMax);
    memmove(destination, text, n);
    destination[n] = '\0';
}

int vreport(uint32_t level, const char* format, va_list args) {
    char buffer[kTextMax + 1];
    int n = vsnprintf(buffer, sizeof buffer, format ? format : "", args);
    if (n < 0) {
        buffer[0] = '\0';
        n = 0;
    } else if (static_cast<size_t>(n) > kTextMax) {
        n = static_cast<int>(kTextMax);
    }
    errPush(t_context, t_line, level, buffer);
    return n;
}

}  // namespace

void errSetContext(const char* fileText, uint32_t line) {
    copyOut(t_context, fileText);
    t_line = line;
}

void* memAlloc(const char* fileText, uint32_t line, size_t bytes, const char* typeText,
               int32_t count, const char* nameText, int32_t elementSize) {
    errSetContext(fileText, line);
    void* block = nullptr;
    // No object may exceed PTRDIFF_MAX; refusing here also keeps sanitizer
    // builds from aborting on absurd sizes.
    if (bytes <= static_cast<size_t>(PTRDIFF_MAX)) block = calloc(bytes ? bytes : 1, 1);
    if (!block)
        errReport(ERR_NOMEM, "No memory for <%s>=%d times type <%s>(size=%d>", nameText ? nameText : "",
                  static_cast<int>(count), typeText ? typeText : "", static_cast<int>(elementSize));
    return block;
}

void* memAllocZ(size_t bytes) {
    return memAlloc("???", 99999, bytes, "", 0, "", 0);
}

void* memMalloc(size_t bytes) {
    return malloc(bytes);
}

void* memRealloc(void* block, size_t bytes) {
    return realloc(block, bytes);
}

void memFree(void* block) {
    free(block);
}

int memFreeRef(void** holder) {
    if (!holder) return 0;
    free(*holder);
    *holder = nullptr;
    return 1;
}

int memAllocRef(void** holder, size_t bytes) {
    if (!holder || bytes == 0) return 0;
    *holder = memAllocZ(bytes);
    return *holder ? 1 : 0;
}

int errReport(uint32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = vreport(level, format, args);
    va_end(args);
    return n;
}

int errReportPlain(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = vreport(ERR_PLAIN, format, args);
    va_end(args);
    return n;
}

int errPush(const char* contextText, uint32_t line, uint32_t level, const char* message) {
    ErrRecord* r = static_cast<ErrRecord*>(malloc(sizeof(ErrRecord)));
    if (!r) return 0;
    r->context = copyText(contextText);
    r->message = copyText(message);
    r->line = line;
    r->level = level;
    r->thread = std::this_thread::get_id();
    r->next = nullptr;
    std::lock_guard<std::mutex> lock(g_queueLock);
    r->previous = g_last;
    if (g_last)
        g_last->next = r;
    else
        g_first = r;
    g_last = r;
    ++g_count;
    while (g_count > ERR_QUEUE_MAX) unlink(g_first);
    return 1;
}

int errPop(uint32_t* level, char* message, char* context, uint32_t* line) {
    std::lock_guard<std::mutex> lock(g_queueLock);
    ErrRecord* r = newestOfThread();
    if (!r) return 0;
    if (level) *level = r->level;
    if (line) *line = r->line;
    copyOut(message, r->message);
    copyOut(context, r->context);
    unlink(r);
    return 1;
}

size_t errQueueSize() {
    std::lock_guard<std::mutex> lock(g_queueLock);
    const std::thread::id self = std::this_thread::get_id();
    size_t n = 0;
    for (ErrRecord* r = g_first; r; r = r->next) n += r->thread == self ? 1 : 0;
    return n;
}

void errReset() {
    {
        std::lock_guard<std::mutex> lock(g_queueLock);
        while (g_first) unlink(g_first);
    }
    t_context[0] = '\0';
    t_line = 0;
}

int dbgPrintf(const char*, ...) {
    return 0;
}

void errMaskFpu() {
    std::feholdexcept(&t_fpuSave);
}

void errRestoreFpu() {
    std::fesetenv(&t_fpuSave);
}

int memDetectMmx() {
#ifdef QIV_HAVE_CPUID
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return 0;
    return (edx >> 23) & 1;
#else
    return 0;
#endif
}

namespace {
MemMmxListener g_mmxListener = nullptr;
}  // namespace

void memSetMmxListener(MemMmxListener fn) { g_mmxListener = fn; }

int memSetMmx(int on) {
    g_mmx = on != 0;
    if (g_mmxListener) g_mmxListener(g_mmx);
    return 1;
}

int memGetMmx() {
    return g_mmx;
}

void memFill16(void* destination, uint32_t value, size_t count) {
    const uint16_t v = static_cast<uint16_t>(value);
    unsigned char* p = static_cast<unsigned char*>(destination);
    // eight words at a time: the word repeated in 64 bits has the same bytes in either order
    const uint64_t four = uint64_t(v) * 0x0001000100010001ull;
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        memcpy(p + 2 * i, &four, 8);
        memcpy(p + 2 * i + 8, &four, 8);
    }
    for (; i < count; ++i) memcpy(p + 2 * i, &v, 2);
}

void memFill32(void* destination, uint32_t value, size_t count) {
    unsigned char* p = static_cast<unsigned char*>(destination);
    for (size_t i = 0; i < count; ++i) memcpy(p + 4 * i, &value, 4);
}

void errReportCaught() noexcept {
    errSetContext("???", 99999);
    try {
        throw;
    } catch (const std::bad_alloc&) {
        errReport(ERR_NOMEM, "No memory for <%s>=%d times type <%s>(size=%d>", "???", 0, "std", 0);
    } catch (const std::length_error&) {
        errReport(ERR_NOMEM, "No memory for <%s>=%d times type <%s>(size=%d>", "???", 0, "std", 0);
    } catch (...) {
        errReport(ERR_PLAIN, "Engine call failed");
    }
}
