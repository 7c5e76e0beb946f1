// Animation records: key lists, part tracks, sub-animations; evaluation and editing.
#pragma once
#include <cstddef>
#include <cstdint>

#include "scene/vecmath.h"

struct PelContent;
struct ScnNode;

// What a list yields for a time outside its active window.
enum AnimRangeMode : uint32_t {
    ANIM_MODE_HOLD = 0,
    ANIM_MODE_REPEAT = 1,
    ANIM_MODE_LOOP = 2,
    ANIM_MODE_PINGPONG = 3,
    ANIM_MODE_LINEAR = 4,
    ANIM_MODE_RELATIVE = 5,
};

// AnimKey::flags
enum : uint32_t {
    ANIM_KEY_TENSION = 1,
    ANIM_KEY_CONTINUITY = 2,
    ANIM_KEY_BIAS = 4,
    ANIM_KEY_EASE_TO = 8,
    ANIM_KEY_EASE_FROM = 16,
    ANIM_KEY_TANGENTS = 32,  // tangents given, parameters absent
};

// AnimList::interpolation
enum : uint32_t {
    ANIM_INTERP_QUAT = 1,       // keep successive quaternions on the same side
    ANIM_INTERP_SPHERICAL = 2,  // slerp; fifth component holds the turn angle
};

// AnimTrack::kind
enum : uint32_t {
    ANIM_TRACK_STANDALONE = 1,
    ANIM_TRACK_SAMPLED = 2,
};

// AnimDesc::flags
enum : uint32_t {
    ANIM_DESC_FROM_TRACK = 1,
    ANIM_DESC_REVERSED = 2,
    ANIM_DESC_SUBRANGE = 4,
    ANIM_DESC_FIRST = 8,
};

// Track list slots (list index of the editing operations).
enum : uint32_t {
    ANIM_LIST_POSITION = 0,
    ANIM_LIST_ROTATION = 1,
    ANIM_LIST_SCALE = 2,
    ANIM_LIST_EXTRA = 3,
};

constexpr float ANIM_TIME_UNSET = -1.0e10f;
constexpr float ANIM_DEFAULT_FRAME_RATE = 15.0f;

// One key. Values and tangents of all keys of a list live in one float block
// owned by the list; the block is the first key's value pointer.
struct AnimKey {
    float* value;
    float* inTangent;
    float* outTangent;
    float time;
    uint32_t flags;
    float tension;
    float continuity;
    float bias;
    float easeTo;
    float easeFrom;
    uint32_t refCount;  // first key: number of lists sharing the key array
};

struct AnimList {
    uint32_t keyCount;
    uint32_t dimension;  // 1..5
    AnimKey* keys;       // ascending time
    float startTime, endTime;
    uint32_t beforeMode, afterMode;
    float activeStart, activeEnd;
    uint32_t activeBeforeMode, activeAfterMode;
    uint32_t interpolation;
    float wrapInFirst[5], wrapOutFirst[5];
    float wrapInLast[5], wrapOutLast[5];
    float valueAtStart[5], valueAtEnd[5];
    uint32_t ownsKeys;
};

// Optional range of animListCreate (nine words).
struct AnimListRange {
    float start, end;
    uint32_t beforeMode, afterMode;
    float activeStart, activeEnd;
    uint32_t activeBeforeMode, activeAfterMode;
    uint32_t interpolation;
};

struct AnimTrack {
    Mat4 preMatrix;
    Mat4 localMatrix;
    Mat4 cachedMatrix;
    Mat4 postMatrix;
    AnimList* position;  // dimension 3
    AnimList* rotation;  // quaternion x, y, z, w (+ turn angle)
    AnimList* scale;     // dimension 3
    AnimList* extra;     // dimension 4
    float pivot[3];
    AnimTrack* parent;
    float lastTime;       // time of cachedMatrix; ANIM_TIME_UNSET = not evaluated
    float headingOffset;  // radians
    uint32_t kind;
};

// Named sub-animation. With ANIM_DESC_SUBRANGE, name bytes 111..118 hold the
// first track index and track count (u32 LE); bytes 119..126 the part range.
struct AnimDesc {
    char name[128];
    float start, end;
    uint32_t beforeMode, afterMode;
    uint32_t flags;
    uint32_t indexCount;
    uint32_t* indices;
    AnimTrack* firstTrack;
    uint32_t trackCount;
};

// Sub-range words in the name field.
void animDescGetTrackRange(const AnimDesc* desc, uint32_t* first, uint32_t* count);
void animDescSetTrackRange(AnimDesc* desc, uint32_t first, uint32_t count);
void animDescGetPartRange(const AnimDesc* desc, uint32_t* first, uint32_t* count);
void animDescSetPartRange(AnimDesc* desc, uint32_t first, uint32_t count);

// Key lists.
int animTangentsCompute(uint32_t keyCount, uint32_t dimension, AnimKey* keys);
int animListCreate(uint32_t keyCount, uint32_t dimension, AnimKey* keys, uint32_t ownsKeys,
                   const AnimListRange* range, AnimList** out);
int animListPrepare(AnimList* list);
int animListFree(AnimList** holder);
int animListSetRange(AnimList* list, const AnimDesc* desc);
int animListEval(AnimList* list, float time, float* out);
int animListEvalWithDerivative(AnimList* list, float time, float* out, float* derivative);

// Tracks.
int animTrackEval(AnimTrack* track, float time, Mat4* out, float* extraOut);
int animTrackEvalMatrix(AnimTrack* track, float time, Mat4* out);
int animTrackEvalFollowPath(AnimTrack* track, float time, Mat4* out, float* extraOut);
int animTracksSetRange(uint32_t count, AnimTrack* first, const AnimDesc* desc);
// Frees all four lists of a track (not the track). For content track arrays.
int animTrackFreeLists(AnimTrack* track);

// Scene nodes and contents.
int animApplyDesc(ScnNode* node, AnimDesc* desc, float time);
void animSetTime(ScnNode* node, AnimDesc* desc);
int animGetInfo(PelContent* content, uint32_t* trackCount, uint32_t* descCount, AnimDesc** descs,
                float* frameRate);
int animTrackKeySpan(const AnimTrack* track, float* start, float* end, uint32_t* distinctTimes);

// Editing (standalone tracks unless said otherwise).
int animTrackFromFrames(uint32_t count, const Mat4* frames, const float* extras /* 4 per frame or null */,
                        float frameRate, AnimTrack** out);
int animTrackFromSamples(uint32_t count, const Mat4* matrices, const float* times, const Mat4* preMatrix,
                         const Mat4* postMatrix, AnimTrack* parent, const float* pivot, AnimTrack** out);
int animTrackSetKey(AnimTrack* track, uint32_t listIndex, const AnimKey* key);
int animTrackDeleteKey(AnimTrack* track, uint32_t listIndex, uint32_t keyIndex);
int animTrackMoveKey(AnimTrack* track, uint32_t listIndex, uint32_t keyIndex, float newTime);
int animTrackRecordPose(AnimTrack* track, const Mat4* target, const float* extra, int followPath,
                        const float* basePosition, const float* baseRotation, const float* baseScale,
                        const float* baseExtra, float time);
int animTrackRetime(AnimTrack* track, float newStart, float newEnd);
int animTrackNearestKeys(const AnimTrack* track, float time, float timesOut[4], int32_t indicesOut[4]);
int animTrackTimeRange(const AnimTrack* track, float* start, float* end);
int animTrackGetModes(const AnimTrack* track, uint32_t beforeOut[4], uint32_t afterOut[4]);
int animTrackEvalRelative(AnimTrack* track, float time, const float* basePosition, const float* baseRotation,
                          const float* baseScale, const float* baseExtra, int followPath, Mat4* out,
                          float* extraOut);
int animDecomposeMatrix(const Mat4* m, float translation[3], float scale[3], float quat[4]);
int animTrackRebuild(const AnimTrack* track, AnimTrack** out);
// Reads the first track record of an animation block (size bytes).
int animTrackFromBlock(const uint8_t* block, size_t size, AnimTrack** out);
int animTrackFree(AnimTrack** holder);      // standalone tracks only
int animPartTrackFree(AnimTrack** holder);  // any track: its lists and the record

int animSetTracks(PelContent* content, uint32_t count, AnimTrack* const* tracks);
int animSetDescs(PelContent* content, uint32_t count, AnimDesc* const* descs);
// triples: count x (part, track, sub-animation), -1 = none.
int animSetPartMap(PelContent* content, uint32_t count, const int32_t* triples);
int animDescFromTrack(const AnimTrack* track, AnimDesc* desc, const char* name);
int animDescDerive(float startShift, float endShift, uint32_t beforeMode, uint32_t afterMode, int reversed,
                   const AnimDesc* source, AnimDesc* out);
