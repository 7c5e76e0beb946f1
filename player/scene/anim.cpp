// Animation records: key lists, part tracks, sub-animations; evaluation and editing.
#include "scene/anim.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "scene/animblock.h"
#include "scene/bytes.h"
#include "scene/engine.h"
#include "scene/scene.h"

namespace {

constexpr float kUnsetTime = ANIM_TIME_UNSET;
constexpr float kTwoPi = 6.283185f;
constexpr float kInvTwoPi = 0.15915495f;
constexpr float kRadToDeg = 57.295784f;
constexpr float kKeyTimeTolerance = 0.01f;
constexpr float kChangeEpsilon = 1e-7f;
// Longest parent chain followed in one evaluation (guards against cycles).
constexpr int kMaxParentDepth = 1024;

const uint32_t kDefaultDims[4] = {3, 4, 3, 4};

bool validList(const AnimList* list) {
    return list && list->keys && list->keyCount > 0 && list->dimension >= 1 && list->dimension <= 5;
}

AnimList** slotOf(AnimTrack* track, uint32_t index) {
    switch (index) {
    case 0: return &track->position;
    case 1: return &track->rotation;
    case 2: return &track->scale;
    case 3: return &track->extra;
    }
    return nullptr;
}

const AnimList* listOf(const AnimTrack* track, uint32_t index) {
    return *slotOf(const_cast<AnimTrack*>(track), index);
}

bool standalone(const AnimTrack* track) {
    return track && (track->kind & ANIM_TRACK_STANDALONE);
}

// Kochanek-Bartels weights of a key (parameters whose flag is clear count as 0).
void keyWeights(const AnimKey& k, float& a, float& b, float& c, float& e) {
    a = b = c = e = 0.5f;
    if (k.flags & ANIM_KEY_TENSION) a = b = c = e = 0.5f * (1.0f - k.tension);
    if (k.flags & ANIM_KEY_CONTINUITY) {
        a *= 1.0f - k.continuity;
        b *= 1.0f + k.continuity;
        c *= 1.0f + k.continuity;
        e *= 1.0f - k.continuity;
    }
    if (k.flags & ANIM_KEY_BIAS) {
        a *= 1.0f + k.bias;
        b *= 1.0f - k.bias;
        c *= 1.0f + k.bias;
        e *= 1.0f - k.bias;
    }
}

void copyN(float* dst, const float* src, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) dst[i] = src[i];
}

// Last key whose time is <= t: 0 before the first key, n - 1 after the last.
uint32_t locateKey(const AnimList* list, float t) {
    uint32_t lo = 0, hi = list->keyCount;  // answer in [lo, hi)
    if (!(list->keys[0].time <= t)) return 0;
    while (hi - lo > 1) {
        uint32_t mid = lo + (hi - lo) / 2;
        if (list->keys[mid].time <= t)
            lo = mid;
        else
            hi = mid;
    }
    return lo;
}

bool wrapsTime(uint32_t mode) {
    return mode == ANIM_MODE_REPEAT || mode == ANIM_MODE_LOOP || mode == ANIM_MODE_PINGPONG ||
           mode == ANIM_MODE_RELATIVE;
}

// Evaluation shared by the plain and the derivative entry.
int evalList(AnimList* list, float t, float* out, float* deriv) {
    if (!list || !out) return 0;
    const uint32_t n = list->keyCount;
    if (n < 1 || !list->keys) return 0;
    const uint32_t d = list->dimension;
    if (d < 1 || d > 5) return 0;
    AnimKey* keys = list->keys;
    if (n == 1) {
        copyN(out, keys[0].value, d);
        return 1;
    }
    const float S = list->activeStart, E = list->activeEnd, L = E - S;
    if (!(L > 0.0f)) return 0;

    float tp = t;
    double k = 0.0;
    auto wrap = [&](uint32_t mode) {
        double q = (double(t) - E) / L;
        double c = std::trunc(q);
        if (c <= q) c += 1.0;
        tp = float(double(t) - c * L);
        if (mode == ANIM_MODE_PINGPONG && std::fmod(c, 2.0) != 0.0) tp = E - (tp - S);
        k = mode == ANIM_MODE_RELATIVE ? c : 0.0;
    };
    if (t < S && wrapsTime(list->activeBeforeMode)) wrap(list->activeBeforeMode);
    if (t > E && wrapsTime(list->activeAfterMode)) wrap(list->activeAfterMode);

    bool wrapCase = false;
    const uint32_t decider = t < S + 0.5f * L ? list->activeBeforeMode : list->activeAfterMode;
    if (decider == ANIM_MODE_LOOP) {
        wrapCase = tp < keys[1].time || tp > keys[n - 2].time;
        if (tp < keys[0].time) tp += L;
    }

    const uint32_t i = locateKey(list, tp);
    uint32_t j;
    const float *P0, *P1, *T0, *T1;
    auto setDeriv = [&](const float* v) {
        if (deriv) copyN(deriv, v, d < 3 ? d : 3);
    };
    auto finish = [&]() {
        if (k != 0.0)
            for (uint32_t c = 0; c < d; ++c)
                out[c] = float(out[c] + k * (double(list->valueAtEnd[c]) - list->valueAtStart[c]));
        return 1;
    };

    if (wrapCase) {
        j = i == n - 1 ? 0 : i + 1;
    } else {
        if (tp < S) {
            copyN(out, list->valueAtStart, d);
            if (list->activeBeforeMode == ANIM_MODE_LINEAR)
                for (uint32_t c = 0; c < d; ++c) out[c] += (tp - S) * keys[i].outTangent[c];
            setDeriv(keys[i].outTangent);
            return finish();
        }
        if (tp > E) {
            copyN(out, list->valueAtEnd, d);
            j = i < n - 1 ? i + 1 : i;
            if (list->activeAfterMode == ANIM_MODE_LINEAR)
                for (uint32_t c = 0; c < d; ++c) out[c] += (tp - E) * keys[j].inTangent[c];
            setDeriv(keys[j].inTangent);
            return finish();
        }
        j = i < n - 1 ? i + 1 : i;
    }

    P0 = keys[i].value;
    T0 = keys[i].outTangent;
    P1 = keys[j].value;
    T1 = keys[j].inTangent;
    if (wrapCase) {
        if (i == n - 1) {
            T1 = list->wrapInFirst;
            T0 = list->wrapOutLast;
        }
        if (i == 0) T0 = list->wrapOutFirst;
        if (j == n - 1) T1 = list->wrapInLast;
    }

    float delta = keys[j].time - keys[i].time;
    if (delta < 0.0f) delta += L;
    if (delta == 0.0f) {
        copyN(out, P0, d);
        setDeriv(T0);
        return finish();
    }
    float u = (tp - keys[i].time) / delta;
    if (u <= 0.0f) {
        if (i != 0) {
            copyN(out, P0, d);
            setDeriv(T0);
            return finish();
        }
        u = 1e-5f;
    }
    if (u >= 1.0f) {
        copyN(out, P1, d);
        setDeriv(T1);
        return finish();
    }

    float flipped[5];
    if ((list->interpolation & ANIM_INTERP_QUAT) && d >= 4) {
        double diff = 0.0, sum = 0.0;
        for (int c = 0; c < 4; ++c) {
            double m = double(P0[c]) - P1[c], p = double(P0[c]) + P1[c];
            diff += m * m;
            sum += p * p;
        }
        // The far sign of the next key: use its negation (same rotation) without touching the key.
        if (diff - 0.0001 > sum) {
            copyN(flipped, P1, d);
            for (int c = 0; c < 4; ++c) flipped[c] = -flipped[c];
            P1 = flipped;
        }
    }
    if ((list->interpolation & ANIM_INTERP_SPHERICAL) && d >= 4) {
        double turns = d >= 5 ? std::trunc((double(P1[4]) - P0[4]) * kInvTwoPi) : 0.0;
        double dp = 0.0;
        for (int c = 0; c < 4; ++c) dp += double(P0[c]) * P1[c];
        // At |d| >= 1 the angle is a whole number of half turns: sin is 0 there.
        if (dp > -1.0 && dp < 1.0) {
            double theta = std::acos(dp) + turns * double(kTwoPi);
            double s = std::sin(theta);
            if (s != 0.0) {
                double w0 = std::sin((1.0 - u) * theta) / s, w1 = std::sin(u * theta) / s;
                for (int c = 0; c < 4; ++c) out[c] = float(P0[c] * w0 + P1[c] * w1);
                return finish();
            }
        }
    }

    if (u <= 1e-5f) {
        copyN(out, P0, d);
        setDeriv(T0);
        return finish();
    }
    const float u2 = u * u, u3 = u2 * u;
    const float h1 = 2 * u3 - 3 * u2 + 1, h2 = 3 * u2 - 2 * u3, h3 = u3 - 2 * u2 + u, h4 = u3 - u2;
    for (uint32_t c = 0; c < d; ++c) out[c] = h1 * P0[c] + h2 * P1[c] + h3 * T0[c] + h4 * T1[c];
    if (deriv) {
        const float g1 = 6 * u2 - 6 * u, g2 = 6 * u - 6 * u2, g3 = 3 * u2 - 4 * u + 1, g4 = 3 * u2 - 2 * u;
        for (uint32_t c = 0; c < d && c < 3; ++c) deriv[c] = g1 * P0[c] + g2 * P1[c] + g3 * T0[c] + g4 * T1[c];
    }
    return finish();
}

// ---- Editable key lists -------------------------------------------------

struct EKey {
    float time = 0.0f;
    uint32_t flags = 0;
    float params[5] = {};
    float value[5] = {};
    float in[5] = {};
    float out[5] = {};
};

struct EList {
    uint32_t dimension = 3;
    uint32_t interpolation = 0;
    uint32_t beforeMode = 0, afterMode = 0;
    std::vector<EKey> keys;
};

EList extractList(const AnimList* list) {
    EList e;
    e.dimension = list->dimension;
    e.interpolation = list->interpolation;
    e.beforeMode = list->beforeMode;
    e.afterMode = list->afterMode;
    const uint32_t d = list->dimension;
    for (uint32_t i = 0; i < list->keyCount; ++i) {
        const AnimKey& k = list->keys[i];
        EKey ek;
        ek.time = k.time;
        ek.flags = k.flags;
        ek.params[0] = k.tension, ek.params[1] = k.continuity, ek.params[2] = k.bias;
        ek.params[3] = k.easeTo, ek.params[4] = k.easeFrom;
        copyN(ek.value, k.value, d);
        if (k.inTangent) copyN(ek.in, k.inTangent, d);
        if (k.outTangent) copyN(ek.out, k.outTangent, d);
        e.keys.push_back(ek);
    }
    return e;
}

// Builds an owning list (tangents computed, window = full range, prepared).
int buildList(const EList& e, AnimList** out) {
    *out = nullptr;
    const size_t n = e.keys.size();
    const uint32_t d = e.dimension;
    if (n == 0 || d < 1 || d > 5) return 0;
    AnimKey* keys = static_cast<AnimKey*>(memAllocZ(n * sizeof(AnimKey)));
    if (!keys) return 0;
    float* block = static_cast<float*>(memAllocZ(n * 3 * d * sizeof(float)));
    if (!block) {
        memFree(keys);
        return 0;
    }
    for (size_t i = 0; i < n; ++i) {
        const EKey& ek = e.keys[i];
        AnimKey& k = keys[i];
        k.value = block + i * 3 * d;
        k.inTangent = k.value + d;
        k.outTangent = k.value + 2 * d;
        k.time = ek.time;
        k.flags = ek.flags;
        k.tension = ek.params[0], k.continuity = ek.params[1], k.bias = ek.params[2];
        k.easeTo = ek.params[3], k.easeFrom = ek.params[4];
        k.refCount = i == 0 ? 0 : 1;
        copyN(k.value, ek.value, d);
        if (ek.flags & ANIM_KEY_TANGENTS) {
            copyN(k.inTangent, ek.in, d);
            copyN(k.outTangent, ek.out, d);
        }
    }
    animTangentsCompute(uint32_t(n), d, keys);
    AnimListRange r{};
    r.start = r.activeStart = keys[0].time;
    r.end = r.activeEnd = keys[n - 1].time;
    r.beforeMode = r.activeBeforeMode = e.beforeMode;
    r.afterMode = r.activeAfterMode = e.afterMode;
    r.interpolation = e.interpolation;
    if (!animListCreate(uint32_t(n), d, keys, 1, &r, out)) {
        memFree(block);
        memFree(keys);
        return 0;
    }
    return 1;
}

void sortKeys(EList& e) {
    std::stable_sort(e.keys.begin(), e.keys.end(), [](const EKey& a, const EKey& b) { return a.time < b.time; });
}

// Inserts in time order; a key within the tolerance of an existing time replaces it.
void insertKey(EList& e, const EKey& key) {
    size_t best = e.keys.size();
    float bestDist = kKeyTimeTolerance;
    for (size_t i = 0; i < e.keys.size(); ++i) {
        float dist = std::fabs(e.keys[i].time - key.time);
        if (dist < bestDist) best = i, bestDist = dist;
    }
    if (best < e.keys.size())
        e.keys[best] = key;
    else
        e.keys.push_back(key);
    sortKeys(e);
}

void updateHeading(AnimTrack* track) {
    track->headingOffset = 0.0f;
    const AnimList* p = track->position;
    if (validList(p) && p->keyCount >= 2 && p->dimension >= 2 && p->keys[0].outTangent)
        track->headingOffset = std::atan2(p->keys[0].outTangent[1], p->keys[0].outTangent[0]);
}

// Replaces the list in a slot by one built from e (an empty e removes it).
int replaceList(AnimTrack* track, uint32_t index, const EList& e) {
    AnimList* fresh = nullptr;
    if (!e.keys.empty() && !buildList(e, &fresh)) return 0;
    AnimList** slot = slotOf(track, index);
    animListFree(slot);
    *slot = fresh;
    if (index == ANIM_LIST_POSITION) updateHeading(track);
    track->lastTime = kUnsetTime;
    return 1;
}

AnimTrack* newTrack(uint32_t kind) {
    AnimTrack* t = static_cast<AnimTrack*>(memAllocZ(sizeof(AnimTrack)));
    if (!t) return nullptr;
    mtxIdentity(&t->preMatrix);
    mtxIdentity(&t->postMatrix);
    mtxIdentity(&t->localMatrix);
    mtxIdentity(&t->cachedMatrix);
    t->lastTime = kUnsetTime;
    t->kind = kind;
    return t;
}

void freeTrackLists(AnimTrack* t) {
    animListFree(&t->position);
    animListFree(&t->rotation);
    animListFree(&t->scale);
    animListFree(&t->extra);
}

void freeTrackRecord(AnimTrack** holder) {
    freeTrackLists(*holder);
    memFree(*holder);
    *holder = nullptr;
}

// Canonical copy of a list, as it reads back from an animation block.
int canonicalList(const AnimList* src, uint32_t slot, AnimList** out) {
    *out = nullptr;
    if (!validList(src)) return 0;
    EList e = extractList(src);
    for (EKey& k : e.keys) {
        if (k.flags & ANIM_KEY_TANGENTS) {
            std::fill(k.params, k.params + 5, 0.0f);
            k.flags &= ANIM_KEY_TANGENTS;
        } else {
            for (int b = 0; b < 5; ++b)
                if (!(k.flags & (1u << b))) k.params[b] = 0.0f;
        }
    }
    e.interpolation = (src->interpolation & ANIM_INTERP_SPHERICAL) + (slot == ANIM_LIST_ROTATION ? 1 : 0);
    if (!buildList(e, out)) return 0;
    // Keep the stored full range (it need not coincide with the key times).
    (*out)->startTime = (*out)->activeStart = src->startTime;
    (*out)->endTime = (*out)->activeEnd = src->endTime;
    animListPrepare(*out);
    return 1;
}

// A track copy in canonical form; kind, matrices and pivot are kept, parent cleared.
int copyTrack(const AnimTrack* src, uint32_t kind, AnimTrack** out) {
    *out = nullptr;
    AnimTrack* t = newTrack(kind);
    if (!t) return 0;
    t->preMatrix = src->preMatrix;
    t->postMatrix = src->postMatrix;
    copyN(t->pivot, src->pivot, 3);
    for (uint32_t s = 0; s < 4; ++s) {
        const AnimList* l = listOf(src, s);
        if (!l) continue;
        if (!canonicalList(l, s, slotOf(t, s))) {
            freeTrackRecord(&t);
            return 0;
        }
    }
    updateHeading(t);
    *out = t;
    return 1;
}

void quatConjMul(const float* base, const float* q, float* out) {
    // out = conj(base) (x) q, base taken as unit
    Quat a{-base[0], -base[1], -base[2], base[3]};
    Quat b{q[0], q[1], q[2], q[3]};
    mtxQuatMultiply(&a, &b);
    out[0] = b.x, out[1] = b.y, out[2] = b.z, out[3] = b.w;
}

// Sets a key of dimension-default value in a slot (creating the list when absent).
int setSimpleKey(AnimTrack* track, uint32_t slot, const float* value, float time) {
    AnimKey k{};
    float v[5] = {};
    copyN(v, value, kDefaultDims[slot]);
    k.value = v;
    k.time = time;
    return animTrackSetKey(track, slot, &k);
}

const float kIdentityValues[4][4] = {{0, 0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1, 0}, {0, 0, 0, 0}};

// Shared part of animTrackEval / animTrackEvalFollowPath.
int evalTrack(AnimTrack* track, float t, Mat4* out, float* extraOut, bool followPath, int depth) {
    if (!track || !out) return 0;
    if (track->lastTime == t) {
        *out = track->cachedMatrix;
        if (extraOut && !followPath) {
            std::fill(extraOut, extraOut + 4, 0.0f);
            if (track->extra) {
                float tmp[5] = {};
                if (evalList(track->extra, t, tmp, nullptr)) copyN(extraOut, tmp, 4);
            }
        }
        return 1;
    }
    float pos[5] = {}, rot[5] = {0, 0, 0, 1, 0}, scl[5] = {1, 1, 1, 0, 0};
    float deriv[3] = {1, 0, 0};
    if (track->position) evalList(track->position, t, pos, followPath ? deriv : nullptr);
    if (track->rotation) evalList(track->rotation, t, rot, nullptr);
    if (track->scale) evalList(track->scale, t, scl, nullptr);
    if (extraOut) {
        float tmp[5] = {};
        if (track->extra) evalList(track->extra, t, tmp, nullptr);
        copyN(extraOut, tmp, 4);
    }
    Mat4 local;
    mtxMakeTranslation(pos[0], pos[1], pos[2], &local);
    if (track->rotation) {
        Quat q{rot[0], rot[1], rot[2], rot[3]};
        mtxRotateQuat(&q, &local);
    }
    if (track->scale) mtxScale(scl[0], scl[1], scl[2], &local);
    if (followPath && track->position && track->position->keyCount > 1 && deriv[0] != 0.0f)
        mtxRotate(3, (std::atan2(deriv[1], deriv[0]) - track->headingOffset) * kRadToDeg, &local);
    track->localMatrix = local;

    if (track->kind & ANIM_TRACK_STANDALONE) {
        *out = local;
    } else {
        Mat4 m = local;
        mtxTranslate(-track->pivot[0], -track->pivot[1], -track->pivot[2], &m);
        track->lastTime = t;
        AnimTrack* parent = track->parent;
        if (parent) {
            if (parent->lastTime != t && depth < kMaxParentDepth) {
                Mat4 scratch;
                evalTrack(parent, t, &scratch, nullptr, false, depth + 1);
            }
            mtxPostMultiply(&parent->localMatrix, &m);
            mtxPostMultiply(&parent->localMatrix, &track->localMatrix);
        }
        mtxPreMultiply(&track->preMatrix, &m);
        mtxMultiply(&m, &track->postMatrix, out);
    }
    track->cachedMatrix = *out;
    return 1;
}

float sqDist(const float* a, const float* b, int n) {
    float s = 0.0f;
    for (int i = 0; i < n; ++i) s += (a[i] - b[i]) * (a[i] - b[i]);
    return s;
}

// Turns sampled matrices (sorted by time) into position, rotation and scale lists.
struct SampleLists {
    EList pos, rot, scl;
};

void sampleMatrix(SampleLists& s, const Mat4& m, float time, bool turnAngle, float last[3][5]) {
    float t[3], sc[3], q[4];
    animDecomposeMatrix(&m, t, sc, q);
    EKey k;
    k.time = time;
    if (sqDist(t, last[0], 3) > kChangeEpsilon) {
        copyN(k.value, t, 3);
        s.pos.keys.push_back(k);
        copyN(last[0], t, 3);
    }
    if (sqDist(q, last[1], 3) > kChangeEpsilon) {
        EKey r = k;
        std::fill(r.value, r.value + 5, 0.0f);
        copyN(r.value, q, 4);
        if (turnAngle) {
            float w = std::clamp(q[3], -1.0f, 1.0f);
            float angle = kTwoPi - 2.0f * std::acos(w);
            if (angle < 0.0f) angle += kTwoPi;
            r.value[4] = angle;
        }
        s.rot.keys.push_back(r);
        copyN(last[1], q, 4);
    }
    // Against the last stored scale, so that a return to (1, 1, 1) gets its key.
    if (sqDist(sc, last[2], 3) > kChangeEpsilon) {
        EKey r = k;
        std::fill(r.value, r.value + 5, 0.0f);
        copyN(r.value, sc, 3);
        s.scl.keys.push_back(r);
        copyN(last[2], sc, 3);
    }
}

}  // namespace

// ---- Sub-range words --------------------------------------------------------

void animDescGetTrackRange(const AnimDesc* desc, uint32_t* first, uint32_t* count) {
    const uint8_t* n = reinterpret_cast<const uint8_t*>(desc->name);
    if (first) *first = bytes::rd32(n + 111);
    if (count) *count = bytes::rd32(n + 115);
}
void animDescSetTrackRange(AnimDesc* desc, uint32_t first, uint32_t count) {
    uint8_t* n = reinterpret_cast<uint8_t*>(desc->name);
    bytes::wr32(n + 111, first);
    bytes::wr32(n + 115, count);
}
void animDescGetPartRange(const AnimDesc* desc, uint32_t* first, uint32_t* count) {
    const uint8_t* n = reinterpret_cast<const uint8_t*>(desc->name);
    if (first) *first = bytes::rd32(n + 119);
    if (count) *count = bytes::rd32(n + 123);
}
void animDescSetPartRange(AnimDesc* desc, uint32_t first, uint32_t count) {
    uint8_t* n = reinterpret_cast<uint8_t*>(desc->name);
    bytes::wr32(n + 119, first);
    bytes::wr32(n + 123, count);
}

// ---- Key lists ----------------------------------------------------------------

int animTangentsCompute(uint32_t keyCount, uint32_t dimension, AnimKey* keys) {
    if (!keys || dimension >= 6 || dimension == 0) return 0;
    if (keyCount < 2) return 1;
    for (uint32_t i = 0; i < keyCount; ++i)
        if (!keys[i].value || !keys[i].inTangent || !keys[i].outTangent) return 0;
    float A[5] = {}, B[5] = {};
    for (uint32_t i = 0; i < keyCount; ++i) {
        for (uint32_t c = 0; c < dimension; ++c)
            B[c] = i + 1 < keyCount ? keys[i + 1].value[c] - keys[i].value[c] : 0.0f;
        AnimKey& k = keys[i];
        if (!(k.flags & ANIM_KEY_TANGENTS)) {
            float a, b, c, e;
            keyWeights(k, a, b, c, e);
            for (uint32_t j = 0; j < dimension; ++j) {
                k.inTangent[j] = b * B[j] + a * A[j];
                k.outTangent[j] = e * B[j] + c * A[j];
            }
        }
        copyN(A, B, dimension);
    }
    return 1;
}

int animListPrepare(AnimList* list) {
    if (!validList(list)) return 0;
    const uint32_t n = list->keyCount, d = list->dimension;
    if (n >= 2) {
        const AnimKey* k = list->keys;
        float a, b, c, e;
        keyWeights(k[0], a, b, c, e);
        for (uint32_t j = 0; j < d; ++j) {
            float A = k[0].value[j] - k[n - 1].value[j], B = k[1].value[j] - k[0].value[j];
            list->wrapInFirst[j] = a * A + b * B;
            list->wrapOutFirst[j] = c * A + e * B;
        }
        keyWeights(k[n - 1], a, b, c, e);
        for (uint32_t j = 0; j < d; ++j) {
            float A = k[n - 1].value[j] - k[n - 2].value[j], B = k[0].value[j] - k[n - 1].value[j];
            list->wrapInLast[j] = a * A + b * B;
            list->wrapOutLast[j] = c * A + e * B;
        }
    }
    // The start value first: the end evaluation does not read it.
    float v[5];
    copyN(v, list->valueAtStart, 5);
    if (evalList(list, list->activeStart, v, nullptr)) copyN(list->valueAtStart, v, 5);
    copyN(v, list->valueAtEnd, 5);
    if (evalList(list, list->activeEnd, v, nullptr)) copyN(list->valueAtEnd, v, 5);
    return 1;
}

int animListCreate(uint32_t keyCount, uint32_t dimension, AnimKey* keys, uint32_t ownsKeys,
                   const AnimListRange* range, AnimList** out) {
    if (!out) return 0;
    *out = nullptr;
    if (!keys || keyCount == 0 || dimension == 0 || dimension > 5) {
        errReport(ERR_FORMAT, "Bad key list (%u keys, dimension %u)", keyCount, dimension);
        return 0;
    }
    for (uint32_t i = 0; i < keyCount; ++i)
        if (!keys[i].value) return 0;
    AnimList* list = static_cast<AnimList*>(memAllocZ(sizeof(AnimList)));
    if (!list) return 0;
    list->keyCount = keyCount;
    list->dimension = dimension;
    list->keys = keys;
    list->ownsKeys = ownsKeys;
    if (range) {
        list->startTime = range->start;
        list->endTime = range->end;
        list->beforeMode = range->beforeMode;
        list->afterMode = range->afterMode;
        list->activeStart = range->activeStart;
        list->activeEnd = range->activeEnd;
        list->activeBeforeMode = range->activeBeforeMode;
        list->activeAfterMode = range->activeAfterMode;
        list->interpolation = range->interpolation;
    } else {
        list->startTime = list->activeStart = keys[0].time;
        list->endTime = list->activeEnd = keys[keyCount - 1].time;
    }
    // An empty or reversed window becomes a tiny one, as a window set later would.
    if (!(list->activeStart < list->activeEnd)) list->activeEnd = list->activeStart + 1e-5f;
    keys[0].refCount++;
    animListPrepare(list);
    *out = list;
    return 1;
}

int animListFree(AnimList** holder) {
    if (!holder) return 0;
    AnimList* list = *holder;
    if (!list) return 1;
    if (list->keys && list->keyCount > 0) {
        AnimKey* first = list->keys;
        if (first->refCount > 0) first->refCount--;
        if (list->ownsKeys && first->refCount < 1) {
            memFree(first->value);
            memFree(list->keys);
        }
    }
    memFree(list);
    *holder = nullptr;
    return 1;
}

int animListSetRange(AnimList* list, const AnimDesc* desc) {
    if (!list) return 0;
    if (desc) {
        list->activeStart = desc->start;
        list->activeEnd = desc->end;
        list->activeBeforeMode = desc->beforeMode;
        list->activeAfterMode = desc->afterMode;
    } else {
        list->activeStart = list->startTime;
        list->activeEnd = list->endTime;
        list->activeBeforeMode = list->beforeMode;
        list->activeAfterMode = list->afterMode;
    }
    if (list->activeStart >= list->activeEnd) list->activeEnd = list->activeStart + 1e-5f;
    animListPrepare(list);
    return 1;
}

int animListEval(AnimList* list, float time, float* out) {
    return evalList(list, time, out, nullptr);
}

int animListEvalWithDerivative(AnimList* list, float time, float* out, float* derivative) {
    float deriv[3] = {1.0f, 0.0f, 0.0f};
    int ok = evalList(list, time, out, deriv);
    if (derivative) {
        if (!ok) deriv[0] = 1.0f, deriv[1] = deriv[2] = 0.0f;
        copyN(derivative, deriv, 3);
    }
    return ok;
}

// ---- Tracks ---------------------------------------------------------------------

int animTrackEval(AnimTrack* track, float time, Mat4* out, float* extraOut) {
    return evalTrack(track, time, out, extraOut, false, 0);
}

int animTrackEvalMatrix(AnimTrack* track, float time, Mat4* out) {
    return evalTrack(track, time, out, nullptr, false, 0);
}

int animTrackEvalFollowPath(AnimTrack* track, float time, Mat4* out, float* extraOut) {
    return evalTrack(track, time, out, extraOut, true, 0);
}

int animTracksSetRange(uint32_t count, AnimTrack* first, const AnimDesc* desc) {
    if (count > 0 && !first) return 0;
    for (uint32_t i = 0; i < count; ++i) {
        AnimTrack& t = first[i];
        for (uint32_t s = 0; s < 4; ++s)
            if (AnimList* l = *slotOf(&t, s)) animListSetRange(l, desc);
        // A new window changes the result at every time.
        t.lastTime = kUnsetTime;
    }
    return 1;
}

int animTrackFreeLists(AnimTrack* track) {
    if (!track) return 0;
    freeTrackLists(track);
    return 1;
}

// ---- Scene nodes and contents ---------------------------------------------------

int animApplyDesc(ScnNode* node, AnimDesc* desc, float time) {
    if (!node || !node->content) return 0;
    PelContent* c = node->content;
    // A refused descriptor does not become the node's.
    if (desc && !(desc->flags & ANIM_DESC_SUBRANGE) &&
        (desc->firstTrack != c->tracks || desc->trackCount != c->trackCount)) {
        errReport(ERR_PLAIN, "Sub-animation does not belong to the object");
        return 0;
    }
    if (!desc || c->trackCount != 0) node->desc = desc;
    if (desc) {
        const bool sub = desc->flags & ANIM_DESC_SUBRANGE;
        if (c->trackCount != 0 && sub) {
            uint32_t first = 0, count = 0;
            animDescGetTrackRange(desc, &first, &count);
            // Clamp the stored sub-range to the tracks that exist.
            if (first > c->trackCount) first = c->trackCount;
            if (count > c->trackCount - first) count = c->trackCount - first;
            animTracksSetRange(count, c->tracks + first, desc);
        } else if (c->tracks) {
            animTracksSetRange(c->trackCount, c->tracks, desc);
        }
    } else if (c->tracks) {
        animTracksSetRange(c->trackCount, c->tracks, nullptr);
    }
    scnSetTime(node, time);
    return 1;
}

void animSetTime(ScnNode* node, AnimDesc* desc) {
    if (!node) return;
    animApplyDesc(node, desc, node->reqTime);
}

int animGetInfo(PelContent* content, uint32_t* trackCount, uint32_t* descCount, AnimDesc** descs,
                float* frameRate) {
    if (trackCount) *trackCount = 0;
    if (descCount) *descCount = 0;
    if (descs) *descs = nullptr;
    if (frameRate) *frameRate = 0.0f;
    if (!descs || !content) return 0;
    if (trackCount) *trackCount = content->trackCount;
    if (descCount) *descCount = content->descCount;
    *descs = content->descs;
    if (frameRate) *frameRate = content->frameRate == 0.0f ? ANIM_DEFAULT_FRAME_RATE : content->frameRate;
    return 1;
}

int animTrackKeySpan(const AnimTrack* track, float* start, float* end, uint32_t* distinctTimes) try {
    if (!standalone(track)) return 0;
    float s, e;
    animTrackTimeRange(track, &s, &e);
    if (start) *start = s;
    if (end) *end = e;
    if (distinctTimes) {
        std::vector<float> times;
        for (uint32_t i = 0; i < 4; ++i)
            if (const AnimList* l = listOf(track, i); validList(l))
                for (uint32_t k = 0; k < l->keyCount; ++k) times.push_back(l->keys[k].time);
        std::sort(times.begin(), times.end());
        *distinctTimes = uint32_t(std::unique(times.begin(), times.end()) - times.begin());
    }
    return 1;
} QIV_ENGINE_CATCH(0)

// ---- Editing ----------------------------------------------------------------------

int animDecomposeMatrix(const Mat4* m, float translation[3], float scale[3], float quat[4]) {
    if (!m) return 0;
    float t[3] = {}, s[3] = {1, 1, 1}, q[4] = {0, 0, 0, 1};
    if (!mtxIsMarked(m)) {
        const float* e = m->m;
        t[0] = e[12], t[1] = e[13], t[2] = e[14];
        for (int r = 0; r < 3; ++r)
            s[r] = float(std::sqrt(double(e[4 * r]) * e[4 * r] + double(e[4 * r + 1]) * e[4 * r + 1] +
                                   double(e[4 * r + 2]) * e[4 * r + 2]));
        double det = double(e[0]) * (double(e[5]) * e[10] - double(e[6]) * e[9]) -
                     double(e[1]) * (double(e[4]) * e[10] - double(e[6]) * e[8]) +
                     double(e[2]) * (double(e[4]) * e[9] - double(e[5]) * e[8]);
        if (det < 0.0) s[0] = -s[0];
        // A zero scale leaves no rotation to read: the identity stands in.
        if (s[0] != 0.0f && s[1] != 0.0f && s[2] != 0.0f) {
            Mat4 r;
            mtxIdentity(&r);
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j) r.m[4 * i + j] = e[4 * i + j] / s[i];
            Quat qq;
            mtxQuatFromMatrix(&r, &qq);
            q[0] = qq.x, q[1] = qq.y, q[2] = qq.z, q[3] = qq.w;
        }
    }
    if (translation) copyN(translation, t, 3);
    if (scale) copyN(scale, s, 3);
    if (quat) copyN(quat, q, 4);
    return 1;
}

int animTrackSetKey(AnimTrack* track, uint32_t listIndex, const AnimKey* key) try {
    if (!standalone(track) || listIndex > 3 || !key || !key->value) return 0;
    if ((key->flags & ANIM_KEY_TANGENTS) && (!key->inTangent || !key->outTangent)) return 0;
    AnimList* cur = *slotOf(track, listIndex);
    EList e;
    if (validList(cur)) {
        e = extractList(cur);
    } else {
        e.dimension = kDefaultDims[listIndex];
        e.interpolation = listIndex == ANIM_LIST_ROTATION ? uint32_t(ANIM_INTERP_QUAT) : 0u;
    }
    // The caller's vectors hold the slot's standard dimension.
    const uint32_t n = std::min(e.dimension, kDefaultDims[listIndex]);
    EKey k;
    k.time = key->time;
    k.flags = key->flags;
    k.params[0] = key->tension, k.params[1] = key->continuity, k.params[2] = key->bias;
    k.params[3] = key->easeTo, k.params[4] = key->easeFrom;
    copyN(k.value, key->value, n);
    if (key->flags & ANIM_KEY_TANGENTS) {
        copyN(k.in, key->inTangent, n);
        copyN(k.out, key->outTangent, n);
    }
    insertKey(e, k);
    return replaceList(track, listIndex, e);
} QIV_ENGINE_CATCH(0)

int animTrackDeleteKey(AnimTrack* track, uint32_t listIndex, uint32_t keyIndex) try {
    if (!standalone(track) || listIndex > 3) return 0;
    AnimList* cur = *slotOf(track, listIndex);
    if (!validList(cur)) return 0;
    EList e = extractList(cur);
    if (keyIndex >= e.keys.size()) keyIndex = uint32_t(e.keys.size() - 1);
    e.keys.erase(e.keys.begin() + keyIndex);
    return replaceList(track, listIndex, e);
} QIV_ENGINE_CATCH(0)

int animTrackMoveKey(AnimTrack* track, uint32_t listIndex, uint32_t keyIndex, float newTime) try {
    if (!standalone(track) || listIndex > 3) return 0;
    AnimList* cur = *slotOf(track, listIndex);
    if (!validList(cur) || cur->dimension >= 5 || keyIndex >= cur->keyCount) return 0;
    EList e = extractList(cur);
    EKey k = e.keys[keyIndex];
    e.keys.erase(e.keys.begin() + keyIndex);
    k.time = newTime;
    insertKey(e, k);
    return replaceList(track, listIndex, e);
} QIV_ENGINE_CATCH(0)

int animTrackTimeRange(const AnimTrack* track, float* start, float* end) {
    if (!track) return 0;
    float s = 1e10f, e = -1e10f;
    bool any = false;
    for (uint32_t i = 0; i < 4; ++i)
        if (const AnimList* l = listOf(track, i)) {
            any = true;
            s = std::min(s, l->startTime);
            e = std::max(e, l->endTime);
        }
    if (!any) s = e = 0.0f;
    if (start) *start = s;
    if (end) *end = e;
    return 1;
}

int animTrackRecordPose(AnimTrack* track, const Mat4* target, const float* extra, int followPath,
                        const float* basePosition, const float* baseRotation, const float* baseScale,
                        const float* baseExtra, float time) try {
    if (!standalone(track) || !target) return 0;
    float t[3], s[3], q[4];
    animDecomposeMatrix(target, t, s, q);
    float want[4][4] = {};
    for (int c = 0; c < 3; ++c) {
        want[0][c] = t[c] - (basePosition ? basePosition[c] : 0.0f);
        float b = baseScale ? baseScale[c] : 1.0f;
        want[2][c] = b != 0.0f ? s[c] / b : s[c];
    }
    if (baseRotation)
        quatConjMul(baseRotation, q, want[1]);
    else
        copyN(want[1], q, 4);
    for (int c = 0; c < 4; ++c) want[3][c] = (extra ? extra[c] : 0.0f) - (baseExtra ? baseExtra[c] : 0.0f);

    float trackStart = 0.0f, trackEnd = 0.0f;
    animTrackTimeRange(track, &trackStart, &trackEnd);
    const bool hasLists = track->position || track->rotation || track->scale || track->extra;
    for (uint32_t slot = 0; slot < 4; ++slot) {
        // The path gives the heading; the rotation is then not recorded.
        if (slot == ANIM_LIST_ROTATION && followPath) continue;
        if (slot == ANIM_LIST_EXTRA && !extra) continue;
        const uint32_t dim = kDefaultDims[slot];
        AnimList* l = *slotOf(track, slot);
        float current[5] = {};
        copyN(current, kIdentityValues[slot], dim);
        if (l) evalList(l, time, current, nullptr);
        float diff = sqDist(current, want[slot], int(dim));
        if (slot == ANIM_LIST_ROTATION) {  // q and -q are the same rotation
            float neg[4] = {-want[1][0], -want[1][1], -want[1][2], -want[1][3]};
            diff = std::min(diff, sqDist(current, neg, 4));
        }
        if (!(diff > kChangeEpsilon)) continue;
        if (!l && hasLists && time > trackStart)
            if (!setSimpleKey(track, slot, kIdentityValues[slot], trackStart)) return 0;
        if (!setSimpleKey(track, slot, want[slot], time)) return 0;
    }
    track->lastTime = kUnsetTime;
    return 1;
} QIV_ENGINE_CATCH(0)

int animTrackRetime(AnimTrack* track, float newStart, float newEnd) {
    if (!standalone(track)) return 0;
    float s, e;
    animTrackTimeRange(track, &s, &e);
    if (newStart == newEnd || !(e > s)) return 0;
    const double f = (double(newEnd) - newStart) / (double(e) - s);
    for (uint32_t i = 0; i < 4; ++i) {
        AnimList* l = *slotOf(track, i);
        if (!validList(l)) continue;
        for (uint32_t k = 0; k < l->keyCount; ++k) l->keys[k].time = float(newStart + (l->keys[k].time - s) * f);
        l->startTime = l->activeStart = l->keys[0].time;
        l->endTime = l->activeEnd = l->keys[l->keyCount - 1].time;
        l->activeBeforeMode = l->beforeMode;
        l->activeAfterMode = l->afterMode;
        animListPrepare(l);
    }
    track->lastTime = kUnsetTime;
    return 1;
}

int animTrackNearestKeys(const AnimTrack* track, float time, float timesOut[4], int32_t indicesOut[4]) {
    if (!standalone(track) || !timesOut || !indicesOut) return 0;
    for (uint32_t i = 0; i < 4; ++i) {
        timesOut[i] = 0.0f;
        indicesOut[i] = -1;
        const AnimList* l = listOf(track, i);
        if (!validList(l)) continue;
        float best = 0.0f;
        for (uint32_t k = 0; k < l->keyCount; ++k) {
            float dist = std::fabs(l->keys[k].time - time);
            if (indicesOut[i] < 0 || dist <= best) {
                best = dist;
                indicesOut[i] = int32_t(k);
                timesOut[i] = l->keys[k].time;
            }
        }
    }
    return 1;
}

int animTrackGetModes(const AnimTrack* track, uint32_t beforeOut[4], uint32_t afterOut[4]) {
    if (!standalone(track) || !beforeOut || !afterOut) return 0;
    for (uint32_t i = 0; i < 4; ++i) {
        const AnimList* l = listOf(track, i);
        beforeOut[i] = l ? l->beforeMode : 0;
        afterOut[i] = l ? l->afterMode : 0;
    }
    return 1;
}

int animTrackEvalRelative(AnimTrack* track, float time, const float* basePosition, const float* baseRotation,
                          const float* baseScale, const float* baseExtra, int followPath, Mat4* out,
                          float* extraOut) {
    if (!standalone(track) || !out) return 0;
    float pos[5] = {}, rot[5] = {0, 0, 0, 1, 0}, scl[5] = {1, 1, 1, 0, 0}, ext[5] = {};
    float deriv[3] = {1, 0, 0};
    if (track->position) evalList(track->position, time, pos, followPath ? deriv : nullptr);
    if (track->rotation) evalList(track->rotation, time, rot, nullptr);
    if (track->scale) evalList(track->scale, time, scl, nullptr);
    if (track->extra) evalList(track->extra, time, ext, nullptr);
    for (int c = 0; c < 3; ++c) {
        if (basePosition) pos[c] += basePosition[c];
        if (baseScale) scl[c] *= baseScale[c];
    }
    Quat q{rot[0], rot[1], rot[2], rot[3]};
    if (baseRotation) {
        Quat b{baseRotation[0], baseRotation[1], baseRotation[2], baseRotation[3]};
        mtxQuatMultiply(&b, &q);
    }
    if (extraOut)
        for (int c = 0; c < 4; ++c) extraOut[c] = (track->extra ? ext[c] : 0.0f) + (baseExtra ? baseExtra[c] : 0.0f);
    Mat4 m;
    mtxMakeTranslation(pos[0], pos[1], pos[2], &m);
    mtxRotateQuat(&q, &m);
    mtxScale(scl[0], scl[1], scl[2], &m);
    if (followPath && track->position && track->position->keyCount > 1 && deriv[0] != 0.0f)
        mtxRotate(3, (std::atan2(deriv[1], deriv[0]) - track->headingOffset) * kRadToDeg, &m);
    track->localMatrix = m;
    *out = m;
    return 1;
}

int animTrackFromFrames(uint32_t count, const Mat4* frames, const float* extras, float frameRate,
                        AnimTrack** out) try {
    if (!out) return 0;
    *out = nullptr;
    if (count < 2 || !frames || !(frameRate >= 0.0001f && frameRate <= 1e8f)) return 0;
    SampleLists s;
    s.rot.dimension = 4;
    s.rot.interpolation = ANIM_INTERP_QUAT;
    EList ext;
    ext.dimension = 4;
    float last[3][5] = {{0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}};
    float lastExtra[4] = {};
    for (uint32_t i = 0; i < count; ++i) {
        const float time = float(double(i) / frameRate);
        sampleMatrix(s, frames[i], time, false, last);
        if (extras) {
            const float* x = extras + 4 * size_t(i);
            bool changed = false;
            for (int c = 0; c < 4; ++c)
                if (std::fabs(x[c] - lastExtra[c]) > (c == 3 ? 1e-5f : 0.001f)) changed = true;
            if (changed) {
                EKey k;
                k.time = time;
                copyN(k.value, x, 4);
                ext.keys.push_back(k);
                copyN(lastExtra, x, 4);
            }
        }
    }
    AnimTrack* t = newTrack(ANIM_TRACK_STANDALONE);
    if (!t) return 0;
    if (!replaceList(t, ANIM_LIST_POSITION, s.pos) || !replaceList(t, ANIM_LIST_ROTATION, s.rot) ||
        !replaceList(t, ANIM_LIST_SCALE, s.scl) || !replaceList(t, ANIM_LIST_EXTRA, ext)) {
        freeTrackRecord(&t);
        return 0;
    }
    // Canonical form, as a block round trip gives it.
    AnimTrack* canon = nullptr;
    int ok = animTrackRebuild(t, &canon);
    freeTrackRecord(&t);
    if (!ok) return 0;
    *out = canon;
    return 1;
} QIV_ENGINE_CATCH(0)

int animTrackFromSamples(uint32_t count, const Mat4* matrices, const float* times, const Mat4* preMatrix,
                         const Mat4* postMatrix, AnimTrack* parent, const float* pivot, AnimTrack** out) try {
    if (!out) return 0;
    *out = nullptr;
    if (count == 0 || !matrices || !times) return 0;
    std::vector<uint32_t> order(count);
    for (uint32_t i = 0; i < count; ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return times[a] < times[b]; });
    const float tMin = times[order.front()], tMax = times[order.back()];
    if (!(tMin < tMax)) return 0;
    SampleLists s;
    s.rot.dimension = 5;
    s.rot.interpolation = ANIM_INTERP_QUAT | ANIM_INTERP_SPHERICAL;
    float last[3][5] = {{0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}};
    for (uint32_t i : order) sampleMatrix(s, matrices[i], times[i], true, last);
    AnimTrack* t = newTrack(ANIM_TRACK_SAMPLED);
    if (!t) return 0;
    if (preMatrix) t->preMatrix = *preMatrix;
    if (postMatrix) t->postMatrix = *postMatrix;
    if (pivot) copyN(t->pivot, pivot, 3);
    t->parent = parent;
    if (!replaceList(t, ANIM_LIST_POSITION, s.pos) || !replaceList(t, ANIM_LIST_ROTATION, s.rot) ||
        !replaceList(t, ANIM_LIST_SCALE, s.scl)) {
        freeTrackRecord(&t);
        return 0;
    }
    for (uint32_t slot = 0; slot < 3; ++slot)
        if (AnimList* l = *slotOf(t, slot)) {
            l->startTime = l->activeStart = tMin;
            l->endTime = l->activeEnd = tMax;
            animListPrepare(l);
        }
    *out = t;
    return 1;
} QIV_ENGINE_CATCH(0)

int animTrackRebuild(const AnimTrack* track, AnimTrack** out) {
    if (!out) return 0;
    *out = nullptr;
    if (!standalone(track)) return 0;
    uint8_t* block = nullptr;
    uint32_t size = 0;
    if (!animBlockBuild(track, &block, &size)) return 0;
    int ok = animTrackFromBlock(block, size, out);
    animBlockFree(&block);
    return ok;
}

int animTrackFromBlock(const uint8_t* block, size_t size, AnimTrack** out) {
    if (!out) return 0;
    *out = nullptr;
    if (!block) return 0;
    AnimBlockData d;
    if (!animBlockParse(block, size, nullptr, &d)) return 0;
    if (d.trackCount == 0) {
        errReport(ERR_FORMAT, "Bad animation block: no track");
        return 0;
    }
    AnimTrack* t = newTrack(ANIM_TRACK_STANDALONE);
    if (!t) {
        animBlockDataFree(&d);
        return 0;
    }
    AnimTrack& first = d.tracks[0];
    t->preMatrix = first.preMatrix;
    t->postMatrix = first.postMatrix;
    copyN(t->pivot, first.pivot, 3);
    for (uint32_t s = 0; s < 4; ++s) std::swap(*slotOf(t, s), *slotOf(&first, s));
    updateHeading(t);
    animBlockDataFree(&d);
    *out = t;
    return 1;
}

int animTrackFree(AnimTrack** holder) {
    if (!holder) return 0;
    if (!*holder) return 1;
    if (!standalone(*holder)) return 0;
    freeTrackRecord(holder);
    return 1;
}

int animPartTrackFree(AnimTrack** holder) {
    if (!holder) return 0;
    if (!*holder) return 1;
    freeTrackRecord(holder);
    return 1;
}

namespace {

// Forgets descriptors of the content that the nodes still point at.
void clearNodeDescs(PelContent* content) {
    for (ScnNode* n = content->firstNode; n; n = n->next) n->desc = nullptr;
}

}  // namespace

int animSetTracks(PelContent* content, uint32_t count, AnimTrack* const* tracks) try {
    if (!content || (count > 0 && !tracks)) return 0;
    for (uint32_t i = 0; i < count; ++i)
        if (!tracks[i]) return 0;
    AnimTrack* fresh = static_cast<AnimTrack*>(memAllocZ((size_t(count) + 1) * sizeof(AnimTrack)));
    if (!fresh) return 0;
    for (uint32_t i = 0; i <= count; ++i) {
        mtxIdentity(&fresh[i].preMatrix);
        mtxIdentity(&fresh[i].postMatrix);
        fresh[i].lastTime = kUnsetTime;
    }
    for (uint32_t i = 0; i < count; ++i) {
        AnimTrack* copy = nullptr;
        if (!copyTrack(tracks[i], tracks[i]->kind, &copy)) {
            for (uint32_t k = 0; k < i; ++k) freeTrackLists(&fresh[k]);
            memFree(fresh);
            return 0;
        }
        fresh[i] = *copy;
        memFree(copy);
        for (uint32_t p = 0; p < count; ++p)
            if (tracks[i]->parent == tracks[p]) fresh[i].parent = &fresh[p];
    }
    for (ScnNode* n = content->firstNode; n; n = n->next) memFreeRefT(&n->parts);
    clearNodeDescs(content);
    if (content->tracks)
        for (uint32_t i = 0; i < content->trackCount; ++i) freeTrackLists(&content->tracks[i]);
    memFreeRefT(&content->tracks);
    memFreeRefT(&content->trackIndex);
    memFreeRefT(&content->partWords);
    memFreeRefT(&content->descs);
    content->descCount = 0;
    content->tracks = fresh;
    content->trackCount = count + 1;
    content->frameRate = 1.0f;
    return 1;
} QIV_ENGINE_CATCH(0)

int animSetDescs(PelContent* content, uint32_t count, AnimDesc* const* descs) {
    if (!content || (count > 0 && !descs)) return 0;
    uint64_t words = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (!descs[i]) return 0;
        if (descs[i]->indexCount && !descs[i]->indices) return 0;
        words += descs[i]->indexCount;
    }
    AnimDesc* fresh = nullptr;
    if (count > 0) {
        const uint64_t bytes = uint64_t(count) * sizeof(AnimDesc) + words * 4;
        if (bytes > SIZE_MAX) return 0;
        fresh = static_cast<AnimDesc*>(memAllocZ(size_t(bytes)));
        if (!fresh) return 0;
        uint32_t* idx = reinterpret_cast<uint32_t*>(fresh + count);
        for (uint32_t i = 0; i < count; ++i) {
            fresh[i] = *descs[i];
            fresh[i].flags &= ~uint32_t(ANIM_DESC_SUBRANGE);
            fresh[i].firstTrack = content->tracks;
            fresh[i].trackCount = content->trackCount;
            fresh[i].indices = descs[i]->indexCount ? idx : nullptr;
            for (uint32_t k = 0; k < descs[i]->indexCount; ++k) *idx++ = descs[i]->indices[k];
        }
    }
    clearNodeDescs(content);
    memFreeRefT(&content->descs);
    content->descs = fresh;
    content->descCount = count;
    return 1;
}

int animSetPartMap(PelContent* content, uint32_t count, const int32_t* triples) {
    if (!content || (count > 0 && !triples) || content->trackCount == 0) return 0;
    const uint32_t parts = content->partCount;
    bool anyDesc = false;
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t part = triples[3 * i], track = triples[3 * i + 1], desc = triples[3 * i + 2];
        if (part >= 0 && uint32_t(part) >= parts) return 0;
        if (track >= 0 && uint32_t(track) >= content->trackCount) return 0;
        if (desc >= 0 && uint32_t(desc) >= content->descCount) return 0;
        if (desc >= 0) anyDesc = true;
    }
    const size_t bytes = size_t(parts ? parts : 1) * 4;
    uint32_t* map = static_cast<uint32_t*>(memAllocZ(bytes));
    if (!map) return 0;
    uint32_t* descMap = nullptr;
    if (anyDesc) {
        descMap = static_cast<uint32_t*>(memAllocZ(bytes));
        if (!descMap) {
            memFree(map);
            return 0;
        }
        for (uint32_t p = 0; p < parts; ++p) descMap[p] = 0xFFFFFFFFu;
    }
    for (uint32_t p = 0; p < parts; ++p) map[p] = content->trackCount - 1;
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t part = triples[3 * i], track = triples[3 * i + 1], desc = triples[3 * i + 2];
        if (part < 0) {
            if (track >= 0)
                for (uint32_t p = 0; p < parts; ++p) map[p] = uint32_t(track);
            continue;
        }
        if (track >= 0) map[part] = uint32_t(track);
        if (descMap) descMap[part] = desc >= 0 ? uint32_t(desc) : 0xFFFFFFFFu;
    }
    memFreeRefT(&content->trackIndex);
    content->trackIndex = map;
    if (descMap) {
        memFreeRefT(&content->partWords);
        content->partWords = descMap;
    }
    return 1;
}

int animDescFromTrack(const AnimTrack* track, AnimDesc* desc, const char* name) {
    if (!track || !desc || !(track->kind & ANIM_TRACK_SAMPLED)) return 0;
    float s = 1e20f, e = -1e20f;
    for (uint32_t i = 0; i < 4; ++i)
        if (const AnimList* l = listOf(track, i)) {
            s = std::min(s, l->startTime);
            e = std::max(e, l->endTime);
        }
    if (!(s < e)) return 0;
    std::memset(desc, 0, sizeof(*desc));
    const char* text = name ? name : "Generated nameless subanimation";
    std::strncpy(desc->name, text, 127);
    desc->name[127] = '\0';
    desc->start = s;
    desc->end = e;
    desc->flags = ANIM_DESC_FROM_TRACK;
    desc->firstTrack = const_cast<AnimTrack*>(track);
    desc->trackCount = 1;
    return 1;
}

int animDescDerive(float startShift, float endShift, uint32_t beforeMode, uint32_t afterMode, int reversed,
                   const AnimDesc* source, AnimDesc* out) {
    if (!source || !out) return 0;
    AnimDesc d = *source;
    d.start = source->start - startShift;
    d.end = source->end + endShift;
    d.beforeMode = beforeMode;
    d.afterMode = afterMode;
    if (reversed)
        d.flags |= ANIM_DESC_REVERSED;
    else
        d.flags &= ~uint32_t(ANIM_DESC_REVERSED);
    d.indexCount = 0;
    d.indices = nullptr;
    *out = d;
    return 1;
}
