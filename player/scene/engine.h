// Engine memory, error queue and processor helpers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

// Error levels
enum : uint32_t {
    ERR_PLAIN = 0,
    ERR_NOMEM = 1,
    ERR_READ = 2,
    ERR_FORMAT = 3,
    ERR_LENGTH = 4,
};

// The error queue is shared by the threads under a lock; each thread sees and pops only the
// records it reported. The error context is the thread's own.
// Error context: set by memAlloc and by callers before errReport.
void errSetContext(const char* fileText, uint32_t line);

// Zero-filling allocator; on failure reports at level 1 and answers null.
void* memAlloc(const char* fileText, uint32_t line, size_t bytes, const char* typeText,
               int32_t count, const char* nameText, int32_t elementSize);
// Shorthand used throughout the engine: memAlloc("???", 99999, bytes, "", 0, "", 0).
void* memAllocZ(size_t bytes);

void* memMalloc(size_t bytes);
void* memRealloc(void* block, size_t bytes);
void memFree(void* block);

// Frees *holder (if any) and clears it. 0 for a null holder, else 1.
int memFreeRef(void** holder);
// Stores memAllocZ(bytes) in *holder. 0 for a null holder or zero bytes, else 1
// (0 too when the allocation failed).
int memAllocRef(void** holder, size_t bytes);

template <class T> inline int memFreeRefT(T** holder) {
    return memFreeRef(reinterpret_cast<void**>(holder));
}

// A block of memAlloc that is freed when its holder goes, also when an exception ends
// the call.
struct MemFreeDeleter {
    void operator()(void* block) const noexcept { memFree(block); }
};
template <class T> using MemHold = std::unique_ptr<T, MemFreeDeleter>;

// MinGW's C++ runtime formats with the ANSI (gnu) printf, not the MS one.
#if defined(__MINGW32__)
#define QIV_PRINTF_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#elif defined(__GNUC__)
#define QIV_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define QIV_PRINTF_FORMAT(f, a)
#endif
// Formats printf-style (at most 499 characters) and queues the message.
int errReport(uint32_t level, const char* format, ...) QIV_PRINTF_FORMAT(2, 3);
int errReportPlain(const char* format, ...) QIV_PRINTF_FORMAT(1, 2);
int errPush(const char* contextText, uint32_t line, uint32_t level, const char* message);
// Pops the calling thread's newest record. message and context receive up to 499 characters
// (buffers of at least 500 bytes, may be null). 0 when the queue is empty.
int errPop(uint32_t* level, char* message, char* context, uint32_t* line);
// Number of the calling thread's queued records, and the bound of all records beyond which
// the oldest are dropped.
size_t errQueueSize();
constexpr size_t ERR_QUEUE_MAX = 1024;
// Empties the queue (every thread's records) and resets the context (tests start clean).
void errReset();

int dbgPrintf(const char* format, ...) QIV_PRINTF_FORMAT(1, 2);

// No C++ exception leaves an engine function: the functions whose work can throw (the
// standard library's containers, strings and paths) end in one of these handlers, which
// report the failure (level 1 for a lack of memory, as memAlloc does) and give the
// function's failure answer. Used as a function-try-block:
//   int pelFoo(...) try { ... } QIV_ENGINE_CATCH(0)
void errReportCaught() noexcept;  // only inside a handler
#define QIV_ENGINE_CATCH(failure) \
    catch (...) {                 \
        errReportCaught();        \
        return failure;           \
    }
#define QIV_ENGINE_CATCH_VOID \
    catch (...) {             \
        errReportCaught();    \
    }

// Floating-point environment guard around drawing (not nestable).
void errMaskFpu();
void errRestoreFpu();

int memDetectMmx();
int memSetMmx(int on);
// Told every new setting of memSetMmx (the rasteriser installs it to switch its routines).
typedef void (*MemMmxListener)(int on);
void memSetMmxListener(MemMmxListener fn);
int memGetMmx();

void memFill16(void* destination, uint32_t value, size_t count);
void memFill32(void* destination, uint32_t value, size_t count);
