// The error queue with two threads reporting at once, as the thumbnail thread allocates while
// the user-interface thread reports: each thread pops only its own records, with its own
// context, and nothing is lost or torn. The native build runs it a second time under
// ThreadSanitizer.
#include "scene/engine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr int kReports = 200;

// Reports kReports records under a context of its own, pops them back newest first and
// counts those that are not what it reported.
void reportAndPop(const char* who, int* wrong) {
    for (int i = 0; i < kReports; ++i) {
        errSetContext(who, uint32_t(i));
        errReport(ERR_FORMAT, "%s %d", who, i);
        if (i % 7 == 0) errSetContext(who, uint32_t(i));  // a context set between reports
    }
    if (errQueueSize() != size_t(kReports)) ++*wrong;
    for (int i = kReports - 1; i >= 0; --i) {
        uint32_t level = 0, line = 0;
        char message[500] = {}, context[500] = {};
        if (!errPop(&level, message, context, &line)) {
            ++*wrong;
            continue;
        }
        char want[64];
        std::snprintf(want, sizeof want, "%s %d", who, i);
        if (std::strcmp(message, want) != 0 || std::strcmp(context, who) != 0 || line != uint32_t(i) ||
            level != ERR_FORMAT)
            ++*wrong;
    }
    if (errQueueSize() != 0) ++*wrong;
}

TEST(ErrorQueueThreads, EachThreadPopsItsOwnRecords) {
    errReset();
    int wrongA = 0, wrongB = 0;
    std::thread a(reportAndPop, "interface", &wrongA);
    std::thread b(reportAndPop, "thumbnail", &wrongB);
    a.join();
    b.join();
    EXPECT_EQ(0, wrongA);
    EXPECT_EQ(0, wrongB);
    // A record another thread left is not this thread's to pop.
    std::thread([] { errReport(ERR_READ, "left behind"); }).join();
    EXPECT_EQ(0u, errQueueSize());
    EXPECT_EQ(0, errPop(nullptr, nullptr, nullptr, nullptr));
    errReset();
}

}  // namespace
