#include "faultguard_win.h"

#include <windows.h>

#include <mutex>

namespace imaging {

namespace {

struct GuardFrame {
    void* jump[5];
    GuardFrame* outer;
#if !defined(_WIN64)
    // The thread's chain of exception handlers: records of the abandoned frames go.
    void* handlers;
#endif
};

#if !defined(_WIN64)
void* handlerChain() {
    void* head;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}
void setHandlerChain(void* head) { __asm__ volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }
#endif

thread_local GuardFrame* t_frame = nullptr;

[[noreturn]] __attribute__((noinline)) void backToFrame() { __builtin_longjmp(t_frame->jump, 1); }

bool isFault(DWORD code) {
    switch (code) {
        case EXCEPTION_ACCESS_VIOLATION:
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
        case EXCEPTION_DATATYPE_MISALIGNMENT:
        case EXCEPTION_FLT_DENORMAL_OPERAND:
        case EXCEPTION_FLT_DIVIDE_BY_ZERO:
        case EXCEPTION_FLT_INEXACT_RESULT:
        case EXCEPTION_FLT_INVALID_OPERATION:
        case EXCEPTION_FLT_OVERFLOW:
        case EXCEPTION_FLT_STACK_CHECK:
        case EXCEPTION_FLT_UNDERFLOW:
        case EXCEPTION_ILLEGAL_INSTRUCTION:
        case EXCEPTION_IN_PAGE_ERROR:
        case EXCEPTION_INT_DIVIDE_BY_ZERO:
        case EXCEPTION_INT_OVERFLOW:
        case EXCEPTION_PRIV_INSTRUCTION: return true;
        default: return false;  // C++ exceptions, breakpoints, stack overflow: not ours
    }
}

// Resumes the faulting thread in backToFrame, on its own stack below the fault.
LONG CALLBACK onFault(EXCEPTION_POINTERS* e) {
    if (!t_frame || !isFault(e->ExceptionRecord->ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
    CONTEXT* c = e->ContextRecord;
#if defined(_WIN64)
    c->Rsp = ((c->Rsp - 256) & ~DWORD64(15)) - 8;
    c->Rip = DWORD64(&backToFrame);
#else
    c->Esp = ((c->Esp - 256) & ~DWORD(15)) - 4;
    c->Eip = DWORD(&backToFrame);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

__attribute__((noinline)) bool CallGuarded(void (*fn)(void*), void* context) {
    static std::once_flag installed;
    std::call_once(installed, [] { AddVectoredExceptionHandler(1, onFault); });
    GuardFrame frame;
    frame.outer = t_frame;
#if !defined(_WIN64)
    frame.handlers = handlerChain();
#endif
    if (__builtin_setjmp(frame.jump)) {
#if !defined(_WIN64)
        setHandlerChain(frame.handlers);
#endif
        t_frame = frame.outer;
        return false;
    }
    t_frame = &frame;
    fn(context);
    t_frame = frame.outer;
    return true;
}

}  // namespace imaging
