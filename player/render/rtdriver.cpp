// Ray-trace driver and worker threads.
#include "render/rtdriver.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <chrono>
#include <cmath>
#include <cstring>
#include <system_error>
#include <thread>

#include "render/blit.h"
#include "render/clear.h"
#include "render/dxhook.h"
#include "render/fzbuffer.h"
#include "render/light.h"
#include "render/meshpipe.h"
#include "render/renderlist.h"
#include "scene/engine.h"
#include "scene/sceneops.h"

uint32_t rtIdPass = 0;

namespace {

struct Driver {
    std::atomic<int32_t> nextLine{0};
    std::atomic<int32_t> finished{0};
    std::atomic<int32_t> cancel{0};
    int32_t progressCalls = 0;
    RtProgressFn progress = nullptr;
    RtShowFn show = nullptr;
    int32_t showInterval = 16;
    ScnRenderJob* job = nullptr;
    PicRecord* target = nullptr;
    int32_t vx = 0, vy = 0, vw = 0, vh = 0;
    int32_t total = 0;
};

Driver g_drv;
uint32_t g_processors = 0;
uint32_t g_startFault = 0;
RtPixelObserverFn g_observer = nullptr;
uint32_t g_lastStarted = 0, g_lastJoined = 0;
RtPhaseTimes g_times{};

double secondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

uint8_t* pixelAt(PicRecord* p, int32_t x, int32_t y) {
    return p->pixels + (size_t(y) * size_t(p->width) + size_t(x)) * p->bytesPerPixel;
}

void putPixel(int32_t x, int32_t y, const uint8_t rgb[3]) {
    PicRecord* t = g_drv.target;
    uint8_t* p = pixelAt(t, x, y);
    if (t->bytesPerPixel == 2)
        picPut16(p, ((rgb[0] & 0xF8u) << 7) | ((rgb[1] & 0xF8u) << 2) | (rgb[2] >> 3));
    else
        picPut32(p, (uint32_t(rgb[0]) << 16) | (uint32_t(rgb[1]) << 8) | rgb[2]);
}

void getPixel(int32_t x, int32_t y, uint8_t rgb[3]) {
    PicRecord* t = g_drv.target;
    const uint8_t* p = pixelAt(t, x, y);
    if (t->bytesPerPixel == 2) {
        const uint32_t v = picRgb555ToRgb(picGet16(p));
        rgb[0] = uint8_t(v >> 16);
        rgb[1] = uint8_t(v >> 8);
        rgb[2] = uint8_t(v);
    } else {
        uint32_t v = picGet32(p);
        rgb[0] = uint8_t(v >> 16);
        rgb[1] = uint8_t(v >> 8);
        rgb[2] = uint8_t(v);
    }
}

// Worker threads, started on first use and kept for later passes and runs: each waits for the
// work of a pass and reports when it has finished it. They are never ended (a thread parked
// in its wait costs nothing, and one ended while the library unloads could not finish); the
// process's end takes them.
class WorkerPool {
public:
    // Hands the pass's work to worker i, starting it when it does not run yet.
    bool start(uint32_t i, void (*body)(RtWorkerContext*), RtWorkerContext* ctx) {
        std::lock_guard<std::mutex> g(lock_);
        Slot& s = slots_[i];
        if (!s.running) {
            try {
                std::thread(&WorkerPool::loop, this, i).detach();
            } catch (const std::system_error&) {
                return false;
            }
            s.running = true;
        }
        s.body = body;
        s.ctx = ctx;
        s.busy = true;
        wake_.notify_all();
        return true;
    }
    // Waits until worker i has finished the work it was given.
    void wait(uint32_t i) {
        std::unique_lock<std::mutex> g(lock_);
        done_.wait(g, [&] { return !slots_[i].busy; });
    }

private:
    struct Slot {
        bool running = false, busy = false;
        void (*body)(RtWorkerContext*) = nullptr;
        RtWorkerContext* ctx = nullptr;
    };
    void loop(uint32_t i) {
        std::unique_lock<std::mutex> g(lock_);
        for (;;) {
            wake_.wait(g, [&] { return slots_[i].busy; });
            void (*body)(RtWorkerContext*) = slots_[i].body;
            RtWorkerContext* ctx = slots_[i].ctx;
            g.unlock();
            body(ctx);
            g.lock();
            slots_[i].busy = false;
            done_.notify_all();
        }
    }
    std::mutex lock_;
    std::condition_variable wake_, done_;
    Slot slots_[RT_MAX_THREADS];
};

WorkerPool& workerPool() {
    static WorkerPool* pool = new WorkerPool;  // never destroyed: its threads outlive every run
    return *pool;
}

// The workers of one pass; a worker that failed to start is never waited on.
struct WorkerSet {
    bool started[RT_MAX_THREADS] = {};
    void start(uint32_t i, void (*body)(RtWorkerContext*), RtWorkerContext* ctx) {
        started[i] = false;
        if (g_startFault & (1u << i)) return;
        if (workerPool().start(i, body, ctx)) {
            started[i] = true;
            ++g_lastStarted;
        } else {
            errReport(ERR_PLAIN, "ray tracer: worker %u did not start", i);
        }
    }
    void joinAll() {
        for (uint32_t i = 0; i < RT_MAX_THREADS; ++i)
            if (started[i]) {
                workerPool().wait(i);
                started[i] = false;
                ++g_lastJoined;
            }
    }
    ~WorkerSet() { joinAll(); }
};

}  // namespace

uint8_t rtChannelByte(float c) {
    float v = c * 256.0f + 0.5f;
    if (!(v >= 0.0f)) return 0;
    if (v > 255.0f) return 255;
    return uint8_t(int32_t(v));
}

void rtSetProcessorCount(uint32_t count) { g_processors = count; }
uint32_t rtProcessorCount() {
    uint32_t n = g_processors ? g_processors : std::thread::hardware_concurrency();
    if (n < 1) n = 1;
    return std::min(n, RT_MAX_THREADS);
}
void rtSetWorkerStartFault(uint32_t mask) { g_startFault = mask; }
void rtSetPixelObserver(RtPixelObserverFn fn) { g_observer = fn; }
uint32_t rtLastRunWorkers(uint32_t* joined) {
    if (joined) *joined = g_lastJoined;
    return g_lastStarted;
}
void rtLastRunTimes(RtPhaseTimes* out) {
    if (out) *out = g_times;
}

void rtResetDriver() {
    g_times = {};
    g_drv.nextLine = 0;
    g_drv.finished = 0;
    g_drv.cancel = 0;
    g_drv.progressCalls = 0;
    g_drv.progress = nullptr;
    g_drv.show = nullptr;
    g_drv.showInterval = 16;
    g_drv.job = nullptr;
    g_drv.target = nullptr;
    g_processors = 0;
    g_startFault = 0;
    g_observer = nullptr;
    g_lastStarted = g_lastJoined = 0;
    rtIdPass = 0;
}

int32_t rtProgress(int32_t done, int32_t total, int32_t every) {
    if (total == 0 || !g_drv.progress) return 0;
    if (++g_drv.progressCalls < every) return 0;
    g_drv.progressCalls = 0;
    float f = float(double(done) / double(total) * 0.8 + 0.2);
    return g_drv.progress(f) == 0 ? 1 : 0;
}

void rtShowLines(uint32_t show, uint32_t force) {
    int32_t n = g_drv.finished.load();
    if (show && g_drv.show && (force || n % g_drv.showInterval == 0)) g_drv.show();
    g_drv.finished.fetch_add(1);
}

int32_t rtNextLine(int32_t step) { return g_drv.nextLine.fetch_add(step ? step : 1) + (step ? step : 1); }

void rtTracePixel(RtWorkerContext* ctx, int32_t x, int32_t y, PicRecord* idPicture, uint8_t rgbOut[3],
                  uint32_t thread) {
    RtRunState& run = rtState();
    uint32_t id = picGet32(pixelAt(idPicture, x, y));
    Vec3 pix = {float(x), float(y), -32767.0f};
    Vec3 W;
    const CamRecord* cam = g_drv.job->camera;
    mtxProjectPoint(&pix, &W, &cam->pixelToWorld);
    Vec3 ray[2] = {ctx->origin, ctx->direction};
    if (run.parallel) {
        ray[0] = W;
        run.threads[thread].eye = W;
    } else {
        Vec3 d = {W.x - ctx->origin.x, W.y - ctx->origin.y, W.z - ctx->origin.z};
        vecNormalize(&d);
        ray[1] = d;
    }
    float c[3] = {0, 0, 0};
    if (id == RT_NO_HIT) {
        uint32_t ground = 0;
        fzBackgroundColorAt(run.rayCamera, x, y, nullptr, c, &ground);
    } else {
        int behind = 0;
        rtShade(ray, 0, x, y, 1.0f, 1.0f, id, 0, c, &behind, thread);
    }
    for (int i = 0; i < 3; ++i) rgbOut[i] = rtChannelByte(c[i]);
    if (g_observer) g_observer(x, y, thread);
}

int rtRenderLine(RtWorkerContext* ctx, int32_t block, int32_t line, PicRecord* idPicture, uint8_t* lineBuffer,
                 int32_t* doneCount, int32_t total, uint32_t thread) {
    int32_t done = doneCount ? *doneCount : 0;
    int32_t step = block > 0 ? block : 1;
    int32_t y = g_drv.vy + line;
    for (int32_t x = 0; x < g_drv.vw; x += step) {
        if (thread == 0 && rtProgress(done, total, 32)) {
            g_drv.cancel = 1;
            if (doneCount) *doneCount = done;
            return 0;
        }
        if (g_drv.cancel.load()) {
            if (doneCount) *doneCount = done;
            return 0;
        }
        uint8_t rgb[3];
        int32_t fx = g_drv.vx + x;
        if (block == 0) {
            rtTracePixel(ctx, fx, y, idPicture, rgb, thread);
            putPixel(fx, y, rgb);
        } else {
            if (block >= 32 || (line & block) || (x & block))
                rtTracePixel(ctx, fx, y, idPicture, rgb, thread);
            else
                getPixel(fx, y, rgb);
            std::memcpy(lineBuffer + 3 * size_t(x), rgb, 3);
        }
        ++done;
    }
    if (doneCount) *doneCount = done;
    return 1;
}

void rtDrawBlock(int32_t line, const uint8_t* buf, int32_t block, uint32_t show) {
    int32_t y = g_drv.vy + line;
    if (block < 2) {
        for (int32_t x = 0; x < g_drv.vw; ++x) putPixel(g_drv.vx + x, y, buf + 3 * size_t(x));
    } else {
        for (int32_t x = 0; x < g_drv.vw; ++x) putPixel(g_drv.vx + x, y, buf + 3 * size_t(x / block * block));
        PicRecord* t = g_drv.target;
        size_t bytes = size_t(g_drv.vw) * t->bytesPerPixel;
        for (int32_t k = 1; k < block && line + k < g_drv.vh; ++k)
            std::memcpy(pixelAt(t, g_drv.vx, y + k), pixelAt(t, g_drv.vx, y), bytes);
    }
    rtShowLines(show, 0);
}

int rtRenderLists(ScnRenderJob* job, ScnNode** list1, ScnNode** list2, uint32_t idPass, uint32_t mode) {
    if (!job || !job->camera) return 0;
    if (job->kind < 128 && !job->target) return 0;
    size_t n1 = scnListLength(list1), n2 = scnListLength(list2);
    auto* all = static_cast<ScnNode**>(memAllocZ((n1 + n2 + 1) * sizeof(ScnNode*)));
    if (!all) return 0;
    for (size_t i = 0; i < n1; ++i) all[i] = list1[i];
    for (size_t i = 0; i < n2; ++i) all[n1 + i] = list2[i];
    if (job->faceBudget && n1 + n2) job->faceBudget = std::max<uint32_t>(1, uint32_t(job->faceBudget / (n1 + n2)));
    rtIdPass = idPass;
    ScnNode* marked = job->node;
    if (marked) marked->flags |= NODE_ID_PASS;
    int r = scnRenderOne(job, all, mode, 0);
    if (marked) marked->flags &= ~NODE_ID_PASS;
    rtIdPass = 0;
    job->faceBudget = 0;
    memFree(all);
    return r;
}

namespace {

struct PassArgs {
    RtWorkerContext ctx;
    PicRecord* idPicture;
};

void workerLoop(RtWorkerContext* ctx, bool progressive) {
    uint8_t* buffer = ctx->lineBuffer;
    if (progressive && !buffer) return;
    int32_t step = progressive ? ctx->block : 1;
    int32_t done = 0;
    for (int32_t line = rtNextLine(step); line < g_drv.vh; line = rtNextLine(step)) {
        if (!rtRenderLine(ctx, progressive ? ctx->block : 0, line, ctx->idPicture, buffer, &done, g_drv.total,
                          ctx->thread))
            break;
        if (progressive)
            rtDrawBlock(line, buffer, ctx->block, 0);
        else
            rtShowLines(0, 0);
    }
}

}  // namespace

void rtWorkerPass1(RtWorkerContext* ctx) { workerLoop(ctx, true); }
void rtWorkerPass2(RtWorkerContext* ctx) { workerLoop(ctx, false); }

int rtCopyList(uint32_t count, ScnNode* const* source, ScnNode*** out) {
    if (!out) return 0;
    *out = nullptr;
    if (!source) return 1;
    if (!count) return 0;
    auto* a = static_cast<ScnNode**>(memAllocZ((size_t(count) + 1) * sizeof(ScnNode*)));
    if (!a) return 0;
    std::memcpy(a, source, size_t(count) * sizeof(ScnNode*));
    *out = a;
    return 1;
}

int rtFreeList(ScnNode*** holder) {
    if (holder) memFreeRefT(holder);
    return 1;
}

int rtRender(ScnRenderJob* job, PicRecord* work, RtProgressFn progress, RtShowFn show, ScnNode** list1,
             ScnNode** list2, const CamRecord* rayCamera, uint32_t extShadows, uint32_t shadows,
             uint32_t reflections, uint32_t refraction, uint32_t noSelfShadow, uint32_t resetClear) try {
    g_lastStarted = g_lastJoined = 0;
    g_times = {};
    size_t n1 = scnListLength(list1), n2 = scnListLength(list2);
    if (n1 + n2 == 0) return 1;
    if (n1 + n2 >= (1u << 28)) {
        errReport(ERR_LENGTH, "ray tracer: too many nodes");
        return 0;
    }
    uint32_t count = uint32_t(n1 + n2);
    FzBackgroundState& bgs = fzBackgroundState();
    const int savedDx = dxActive;
    const uint32_t savedClear32 = bgs.clear32;
    const uint16_t savedClear15 = bgs.clear15;
    RtRunState& run = rtState();
    g_drv.showInterval = 16;
    g_drv.progress = progress;
    g_drv.show = show;
    g_drv.progressCalls = 0;
    g_drv.cancel = 0;
    g_drv.finished = 0;
    g_drv.nextLine = 0;

    ScnNode** table = nullptr;
    uint8_t* lineBuffer = nullptr;
    RtWorkerContext* contexts = nullptr;
    PicRecord idPic;
    std::memset(&idPic, 0, sizeof idPic);
    int result = 0;
    bool idPassInstalled = false;

    auto cleanup = [&](int r) {
        if (idPassInstalled) rpSetRayFaceId(nullptr);
        dxActive = savedDx;
        scnRayNoLod = 0;
        scnRayLightsOnly = 0;
        rtFreeTree();
        rtFreeThreads();
        memFreeRefT(&lineBuffer);
        memFreeRefT(&contexts);
        bgs.clear32 = savedClear32;
        bgs.clear15 = savedClear15;
        if (resetClear) fzSetClearColor(bgs.bg.clear[0], bgs.bg.clear[1], bgs.bg.clear[2]);
        memFreeRefT(&table);
        run.nodes = nullptr;
        run.nodeCount = 0;
        run.progress = nullptr;
        g_drv.job = nullptr;
        g_drv.target = nullptr;
        return r;
    };

    table = static_cast<ScnNode**>(memAllocZ((size_t(count) + 1) * sizeof(ScnNode*)));
    if (!table) return cleanup(0);
    for (size_t i = 0; i < n1; ++i) table[i] = list1[i];
    for (size_t i = 0; i < n2; ++i) table[n1 + i] = list2[i];
    for (uint32_t i = 0; i < count; ++i) table[i]->rtSeq = i;
    run.nodes = table;
    run.nodeCount = count;
    run.extShadows = extShadows;
    run.noSelfShadow = noSelfShadow;
    run.shadows = shadows;
    run.reflections = reflections;
    run.refraction = refraction;
    bgs.clear32 = 0xFFFFFFFFu;
    bgs.clear15 = 0xFFFFu;

    PicRecord* target = job ? job->target : nullptr;
    const CamRecord* cam = job ? job->camera : nullptr;
    if (!job || !cam || !target || !target->pixels || !target->depth || !work || !work->pixels || !work->depth)
        return cleanup(0);
    if ((target->bytesPerPixel != 2 && target->bytesPerPixel != 4) || target->width <= 0 || target->height <= 0)
        return cleanup(0);
    // the work buffer receives the id picture: it must hold the frame's pixels at 4 bytes each
    if (work->bytesPerPixel != 4 || int64_t(work->width) * work->height < int64_t(target->width) * target->height) {
        errReport(ERR_LENGTH, "ray tracer: work buffer %dx%d too small for %dx%d", work->width, work->height,
                  target->width, target->height);
        return cleanup(0);
    }
    if (cam->pixX < 0 || cam->pixY < 0 || cam->pixW <= 0 || cam->pixH <= 0 ||
        int64_t(cam->pixX) + cam->pixW > target->width || int64_t(cam->pixY) + cam->pixH > target->height) {
        errReport(ERR_LENGTH, "ray tracer: view outside the frame buffer");
        return cleanup(0);
    }
    run.rayCamera = rayCamera ? rayCamera : cam;
    g_drv.job = job;
    g_drv.target = target;
    g_drv.vx = cam->pixX;
    g_drv.vy = cam->pixY;
    g_drv.vw = cam->pixW;
    g_drv.vh = cam->pixH;
    if (g_drv.vh > 800)
        g_drv.showInterval = 64;
    else if (g_drv.vh > 500)
        g_drv.showInterval = 32;

    uint32_t procs = rtProcessorCount();

    auto t0 = std::chrono::steady_clock::now();
    for (uint32_t i = 0; i < count; ++i)
        if (table[i]->content && !rtBuildFaceGroups(table[i])) return cleanup(0);
    g_times.groups = secondsSince(t0);
    if (!rtCheckIds(table, count)) return cleanup(0);

    idPic.pixels = work->pixels;
    idPic.depth = target->depth;
    idPic.height = target->height;
    idPic.width = target->width;
    idPic.bytesPerPixel = 4;
    rtClearFaceSlots(table, count);

    if (progress && progress(0.0f) == 0) return cleanup(1);

    t0 = std::chrono::steady_clock::now();
    dxActive = 0;
    fzClear(&idPic, nullptr);
    ScnRenderJob local = *job;
    local.target = &idPic;
    local.kind = SCN_KIND_RAY_ID;
    local.rect = IRect{0, 0, 0, 0};
    scnRayNoLod = 1;
    rpSetRayFaceId(rtFaceIdColour);
    idPassInstalled = true;
    int ok = rtRenderLists(&local, table, nullptr, 1, 0);
    rpSetRayFaceId(nullptr);
    idPassInstalled = false;
    dxActive = savedDx;
    scnRayNoLod = 0;
    g_times.idPass = secondsSince(t0);
    if (!ok) return cleanup(0);

    run.progress = progress;
    run.treeCancelled = 0;
    RtTreeNode* root = nullptr;
    t0 = std::chrono::steady_clock::now();
    if (!rtBuildObjectTree(count, &root)) return cleanup(run.treeCancelled ? 1 : 0);
    run.eye = cam->eye;
    rtPrepareRayQueries();  // without them the queries walk the tree
    g_times.tree = secondsSince(t0);
    t0 = std::chrono::steady_clock::now();

    run.eye = cam->eye;
    run.parallel = camIsParallel(cam) ? 1 : 0;
    Vec3 fixedDir = {0, 0, 0};
    if (run.parallel) {
        fixedDir = {cam->vrp.x - cam->eye.x, cam->vrp.y - cam->eye.y, cam->vrp.z - cam->eye.z};
        vecNormalize(&fixedDir);
    }

    uint32_t lights = 0;
    ltActivateAll(&lights);
    ltSetShadowTest(rtShadowTestHook);
    if (!rtAllocThreads(procs, lights)) return cleanup(0);

    int64_t total64 = int64_t(g_drv.vw) * g_drv.vh;
    contexts = static_cast<RtWorkerContext*>(memAllocZ(RT_MAX_THREADS * sizeof(RtWorkerContext)));
    if (!contexts) return cleanup(0);
    RtWorkerContext self{};
    self.origin = cam->eye;
    self.direction = fixedDir;
    self.idPicture = &idPic;
    self.thread = 0;

    bool progressive = false;
    uint8_t* workerBuffers[RT_MAX_THREADS] = {};
    if (show) {
        lineBuffer = static_cast<uint8_t*>(memAllocZ(size_t(g_drv.vw) * 3 + 3));
        progressive = lineBuffer != nullptr;
        // a worker without a buffer renders nothing; the others take its lines
        for (uint32_t i = 1; progressive && i < procs; ++i)
            workerBuffers[i] = static_cast<uint8_t*>(memAllocZ(size_t(g_drv.vw) * 3 + 3));
    }
    struct BufferGuard {
        uint8_t** buffers;
        ~BufferGuard() {
            for (uint32_t i = 0; i < RT_MAX_THREADS; ++i) memFreeRefT(&buffers[i]);
        }
    } bufferGuard{workerBuffers};
    int32_t done = 0;
    bool cancelled = false;
    if (progressive) {
        for (int32_t b = 32; b >= 2; b /= 2) total64 += int64_t(g_drv.vh / b) * (g_drv.vw / b);
        g_drv.total = int32_t(std::min<int64_t>(total64, INT32_MAX));
        for (int32_t b = 32; b >= 1 && !cancelled; b /= 2) {
            WorkerSet workers;
            self.block = b;
            g_drv.nextLine = 0;
            for (uint32_t i = 1; i < procs; ++i) {
                contexts[i] = self;
                contexts[i].thread = i;
                contexts[i].lineBuffer = workerBuffers[i];
                if (workerBuffers[i]) workers.start(i, rtWorkerPass1, &contexts[i]);
            }
            int32_t line = 0;
            while (line < g_drv.vh) {
                if (!rtRenderLine(&self, b, line, &idPic, lineBuffer, &done, g_drv.total, 0)) {
                    cancelled = true;
                    break;
                }
                rtDrawBlock(line, lineBuffer, b, 1);
                int32_t next = rtNextLine(b);
                if (next > line + b) done += (g_drv.vw / b) * ((next - line - b) / b);
                line = next;
            }
            workers.joinAll();
            if (!cancelled) rtShowLines(1, 1);
        }
    } else {
        g_drv.total = int32_t(std::min<int64_t>(total64, INT32_MAX));
        WorkerSet workers;
        self.block = 0;
        g_drv.nextLine = 0;
        for (uint32_t i = 1; i < procs; ++i) {
            contexts[i] = self;
            contexts[i].thread = i;
            workers.start(i, rtWorkerPass2, &contexts[i]);
        }
        int32_t line = 0;
        while (line < g_drv.vh) {
            if (!rtRenderLine(&self, 0, line, &idPic, nullptr, &done, g_drv.total, 0)) {
                cancelled = true;
                break;
            }
            rtShowLines(1, 0);
            int32_t next = rtNextLine(1);
            if (next > line + 1) done += g_drv.vw * (next - line - 1);
            line = next;
        }
        workers.joinAll();
    }

    g_times.trace = secondsSince(t0);
    // Final pass: keep a copy of the picture, let lights and bookkeeping run, then the overlay.
    fzCopyRect(target, work, nullptr);
    ScnRenderJob last = *job;
    last.node = nullptr;
    last.target = target;
    last.kind = SCN_KIND_GOURAUD_TEX;
    scnRayLightsOnly = 1;
    rtRenderLists(&last, table, nullptr, 0, 0);
    scnRayLightsOnly = 0;
    if (bgs.bg.overlay) {
        IRect clip = {g_drv.vx, g_drv.vy, g_drv.vw, g_drv.vh};
        fzDrawOverlay(target, bgs.bg.overlay, &clip, bgs.bg.overlayX, bgs.bg.overlayY, fzOverlaySkipIndex(), 0);
    }
    result = 1;
    return cleanup(result);
} QIV_ENGINE_CATCH(0)
