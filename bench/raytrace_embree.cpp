// The ray-trace benchmark's scene traced with Embree (Debian's libembree-dev) for a
// comparison: the same triangles in world space, the same camera and 1024 x 768 view, a
// primary ray per pixel, a shadow ray per lit light at every hit, and reflected rays on the
// reflective materials down to the same depth and weight limits as the tracer's. Prints the
// time of the trace with 1 and 5 threads (medians of 3 after a first render) and the rays
// it cast. Built only where Embree is installed.
#include <embree3/rtcore.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "render/raytrace.h"
#include "rtscene.h"
#include "scene/camera.h"
#include "scene/scene.h"

namespace {

struct Material {
    float diffuse[3];
    float specular;  // coefficient x colour (white)
    float exponent;
    bool reflective;
};

struct Tracer {
    RTCScene scene = nullptr;
    std::vector<uint32_t> materialOf;  // per geometry id
    std::vector<Material> materials;
    Vec3 light[2];
    const CamRecord* cam = nullptr;
    float background[3] = {0.2f, 0.25f, 0.35f};
    std::atomic<uint64_t> rays{0}, shadowRays{0};

    bool occluded(const Vec3& p, const Vec3& d) {
        RTCIntersectContext ctx;
        rtcInitIntersectContext(&ctx);
        RTCRay r{};
        r.org_x = p.x + d.x * RT_START_OFFSET;
        r.org_y = p.y + d.y * RT_START_OFFSET;
        r.org_z = p.z + d.z * RT_START_OFFSET;
        r.dir_x = d.x, r.dir_y = d.y, r.dir_z = d.z;
        r.tnear = 0, r.tfar = RT_FAR, r.mask = ~0u, r.flags = 0;
        rtcOccluded1(scene, &ctx, &r);
        return r.tfar < 0;
    }

    void shade(const Vec3& o, const Vec3& d, uint32_t depth, float weight, float rgb[3], uint64_t& cast,
               uint64_t& shadows) {
        rgb[0] = rgb[1] = rgb[2] = 0;
        if (depth >= RT_MAX_DEPTH || weight < RT_WEIGHT_MIN) return;
        RTCIntersectContext ctx;
        rtcInitIntersectContext(&ctx);
        RTCRayHit rh{};
        rh.ray.org_x = o.x, rh.ray.org_y = o.y, rh.ray.org_z = o.z;
        rh.ray.dir_x = d.x, rh.ray.dir_y = d.y, rh.ray.dir_z = d.z;
        rh.ray.tnear = 0, rh.ray.tfar = RT_FAR, rh.ray.mask = ~0u;
        rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
        rtcIntersect1(scene, &ctx, &rh);
        ++cast;
        if (rh.hit.geomID == RTC_INVALID_GEOMETRY_ID) {
            std::copy(background, background + 3, rgb);
            return;
        }
        const Material& m = materials[materialOf[rh.hit.geomID]];
        const Vec3 p = {o.x + d.x * rh.ray.tfar, o.y + d.y * rh.ray.tfar, o.z + d.z * rh.ray.tfar};
        Vec3 n = {rh.hit.Ng_x, rh.hit.Ng_y, rh.hit.Ng_z};
        vecNormalize(&n);
        float nd = n.x * d.x + n.y * d.y + n.z * d.z;
        if (nd > 0) n = {-n.x, -n.y, -n.z}, nd = -nd;
        const Vec3 r = {d.x - 2 * nd * n.x, d.y - 2 * nd * n.y, d.z - 2 * nd * n.z};
        for (int i = 0; i < 3; ++i) rgb[i] = 0.2f * m.diffuse[i];
        for (const Vec3& l : light) {
            const float ln = l.x * n.x + l.y * n.y + l.z * n.z;
            if (ln <= 0) continue;
            ++shadows;
            if (occluded(p, l)) continue;
            const float rl = r.x * l.x + r.y * l.y + r.z * l.z;
            const float s = rl > 0 ? m.specular * std::pow(rl, m.exponent) : 0.0f;
            for (int i = 0; i < 3; ++i) rgb[i] += rtbench::kLightColour[i] * (m.diffuse[i] * ln + s);
        }
        if (m.reflective) {
            float c[3];
            shade(p, r, depth + 1, m.specular * weight, c, cast, shadows);
            for (int i = 0; i < 3; ++i) rgb[i] += m.specular * c[i];
        }
    }

    void traceLines(std::atomic<int32_t>* next, std::vector<uint8_t>* picture) {
        uint64_t cast = 0, shadows = 0;
        for (int32_t y = (*next)++; y < rtbench::kHeight; y = (*next)++)
            for (int32_t x = 0; x < rtbench::kWidth; ++x) {
                const Vec3 pix = {float(x), float(y), -32767.0f};
                Vec3 w, dir;
                mtxProjectPoint(&pix, &w, &cam->pixelToWorld);
                dir = {w.x - cam->eye.x, w.y - cam->eye.y, w.z - cam->eye.z};
                vecNormalize(&dir);
                float c[3];
                shade(cam->eye, dir, 0, 1.0f, c, cast, shadows);
                uint8_t* out = picture->data() + 3 * (size_t(y) * rtbench::kWidth + size_t(x));
                for (int i = 0; i < 3; ++i) out[i] = uint8_t(std::clamp(c[i] * 256.0f + 0.5f, 0.0f, 255.0f));
            }
        rays += cast;
        shadowRays += shadows;
    }

    double render(uint32_t threads, std::vector<uint8_t>* picture) {
        std::atomic<int32_t> next{0};
        rays = shadowRays = 0;
        const auto t0 = std::chrono::steady_clock::now();
        std::vector<std::thread> workers;
        for (uint32_t i = 1; i < threads; ++i) workers.emplace_back(&Tracer::traceLines, this, &next, picture);
        traceLines(&next, picture);
        for (std::thread& t : workers) t.join();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
};

}  // namespace

int main() {
    rtbench::Scene sc;
    if (!sc.make()) return 1;
    RTCDevice device = rtcNewDevice(nullptr);
    if (!device) {
        std::printf("no Embree device\n");
        return 1;
    }
    Tracer tr;
    tr.cam = &sc.cam;
    for (int i = 0; i < 2; ++i) {
        Vec3 l = {-rtbench::kLightDir[i][0], -rtbench::kLightDir[i][1], -rtbench::kLightDir[i][2]};
        vecNormalize(&l);
        tr.light[i] = l;
    }
    const auto tb = std::chrono::steady_clock::now();
    tr.scene = rtcNewScene(device);
    for (ScnNode* node : sc.nodes) {
        if (!node) continue;
        const PelContent* c = node->content;
        const MatInput& mi = c->materials[0];
        const float k = mi.colSpecular[0] * mi.coSpecular;
        tr.materials.push_back({{mi.colDifuse[0], mi.colDifuse[1], mi.colDifuse[2]}, k, std::max(mi.specExp, 1.0f),
                                k >= 0.3f});
        RTCGeometry g = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
        auto* v = static_cast<float*>(rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                                              3 * sizeof(float), c->vertexCount));
        for (uint32_t i = 0; i < c->vertexCount; ++i) {
            Vec3 w;
            mtxTransformPoint(&c->vertices[i].pos, &w, &node->base);
            v[3 * i] = w.x, v[3 * i + 1] = w.y, v[3 * i + 2] = w.z;
        }
        std::vector<uint32_t> tri;
        for (uint32_t f = 0; f < c->faceCount; ++f) {
            const PelFace& face = c->faces[f];
            tri.insert(tri.end(), {face.v[0], face.v[1], face.v[2]});
            if (face.flags & FACE_QUAD) tri.insert(tri.end(), {face.v[0], face.v[2], face.v[3]});
        }
        auto* ix = static_cast<uint32_t*>(rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                                                   3 * sizeof(uint32_t), tri.size() / 3));
        std::copy(tri.begin(), tri.end(), ix);
        rtcCommitGeometry(g);
        const uint32_t id = rtcAttachGeometry(tr.scene, g);
        if (tr.materialOf.size() <= id) tr.materialOf.resize(id + 1);
        tr.materialOf[id] = uint32_t(tr.materials.size() - 1);
        rtcReleaseGeometry(g);
    }
    rtcCommitScene(tr.scene);
    const double build = std::chrono::duration<double>(std::chrono::steady_clock::now() - tb).count();
    std::printf("Embree %d.%d.%d: %llu triangles, %dx%d, build %.4f s, load average %.2f\n", RTC_VERSION_MAJOR,
                RTC_VERSION_MINOR, RTC_VERSION_PATCH, (unsigned long long)sc.triangles, rtbench::kWidth,
                rtbench::kHeight, build, rtbench::loadAverage());
    std::printf("%7s %10s %10s %8s %12s %12s\n", "threads", "cold s", "trace s", "speedup", "rays", "shadow rays");
    std::vector<uint8_t> picture(size_t(rtbench::kWidth) * rtbench::kHeight * 3);
    double base = 0;
    for (uint32_t threads : {1u, 5u}) {
        const double cold = tr.render(threads, &picture);
        std::vector<double> t;
        for (int i = 0; i < 3; ++i) t.push_back(tr.render(threads, &picture));
        std::sort(t.begin(), t.end());
        if (threads == 1) base = t[1];
        std::printf("%7u %10.4f %10.4f %8.2f %12llu %12llu\n", threads, cold, t[1], base / t[1],
                    (unsigned long long)tr.rays.load(), (unsigned long long)tr.shadowRays.load());
    }
    rtcReleaseScene(tr.scene);
    rtcReleaseDevice(device);
    return 0;
}
