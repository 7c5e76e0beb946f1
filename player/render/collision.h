// Collision tests between scene nodes: world boxes, part boxes, then the
// exact distance of two parts' vertex sets (GJK), warm-started from a cache
// of recent part pairs.
#pragma once
#include <cstdint>

#include "scene/vecmath.h"

struct ScnNode;
struct PelPart;
struct PelVertex;

constexpr uint32_t COL_CACHE_SIZE = 20;
constexpr float COL_AGE_FACTOR = 1.5f;
constexpr float COL_GAP_TOLERANCE = 0.01f;  // relative to |v|^2
constexpr uint32_t COL_MAX_ADDED = 6;
constexpr float COL_CONTACT_DISTANCE = 0.01f;
constexpr float COL_PLANE_MARGIN = 1e-5f;
constexpr uint32_t COL_PART_EXCLUDED = 8;  // part flag: never collides

// Simplex of the difference set: index pairs (vertex of A, vertex of B).
struct ColSimplex {
    uint32_t count;  // 0 = none
    uint32_t a[4];
    uint32_t b[4];
};

struct ColPair {
    ScnNode* moving;
    ScnNode* obstacle;
    PelPart* movingPart;
    PelPart* obstaclePart;
    float distance;
    uint32_t used;
    uint32_t apart;
    Vec3 pointMoving;    // closest points, in the moving node's object space
    Vec3 pointObstacle;
    ColSimplex simplex;
};

// One vertex set of a distance search: positions, or the scratch coordinates
// (PelVertex::world) of a transformed set.
struct ColVertexSet {
    const PelVertex* verts;
    uint32_t count;
    uint32_t useScratch;
};

// Answers of colGjk.
enum : uint32_t {
    COL_GJK_FAILED = 0,      // origin enclosed, or the simplex step failed
    COL_GJK_CONVERGED = 1,   // v is the nearest point within the gap tolerance
    COL_GJK_UNFINISHED = 2,  // stopped by the step limit or lack of progress
};

// Node lists are zero-terminated.
uint32_t colFindHits(ScnNode** moving, ScnNode** obstacles, ScnNode*** hitsOut);
uint32_t colFindHitsOne(ScnNode* node, ScnNode** obstacles, ScnNode*** hitsOut);
uint32_t colTestMove(ScnNode** moving, ScnNode** obstacles, ScnNode*** contacts, uint32_t* hitOut);
uint32_t colTestMoveOne(ScnNode* node, ScnNode** obstacles, ScnNode*** contacts, uint32_t* hitOut);
uint32_t colTestLists(ScnNode** moving, ScnNode** obstacles, uint32_t* hitOut);
uint32_t colTestNode(ScnNode* node, ScnNode** obstacles, uint32_t* hitOut);
uint32_t colNodeHitsList(ScnNode* node, ScnNode** obstacles, uint32_t* slotInOut);

uint32_t colBoxesOverlap(const ScnNode* a, const ScnNode* b);
uint32_t colPartBoxesOverlap(const Box3* a, const Box3* b);

int32_t colPairCollide(ScnNode* obstacle, ScnNode* node, PelPart* obstaclePart, PelPart* nodePart,
                       const Mat4* toNodeSpace);
int32_t colPairTest(ColPair* pair, const Mat4* toNodeSpace);
int32_t colPairDistance(ColPair* pair, const Mat4* toNodeSpace);

// GJK on A - B. simplex is the warm start (count 0: cold) and receives the
// final simplex; weights its barycentric weights; v the nearest point found;
// lowerOut (may be null) a proven lower bound of the distance (v . w / |v|
// for the last support point w; not above 0 unless the sets are apart).
uint32_t colGjk(const ColVertexSet* a, const ColVertexSet* b, Vec3* vOut, ColSimplex* simplex, float* weightsOut,
                double* lowerOut);
double colSupport(const ColVertexSet* a, const ColVertexSet* b, const Vec3* direction, Vec3* wOut,
                  uint32_t* indexA, uint32_t* indexB);
double colSupportOne(const ColVertexSet* set, const Vec3* direction, Vec3* pointOut, uint32_t* indexOut);
// Johnson's sub-algorithm: reduces points[0..count) to the smallest subset
// whose affine hull holds the point nearest the origin. keep receives the
// indices kept (in order), weights theirs; answers the new count (0: failed).
int32_t colSimplexReduce(const Vec3* points, uint32_t count, Vec3* v, uint32_t* keep, float* weights);

uint32_t colTestListsNear(ScnNode** moving, ScnNode** obstacles, uint32_t mode, float distance, uint32_t* hitOut);
uint32_t colNodesNear(ScnNode* a, ScnNode* b, uint32_t mode, float distance);
int32_t colBoxNear(const Box3* a, const Box3* b, uint32_t mode, float distance);
uint32_t colTestPointNear(ScnNode** list, const Vec3* point, uint32_t mode, float distance, uint32_t* hitOut);
uint32_t colNodeNearPoint(ScnNode* node, const Vec3* point, uint32_t mode, float distance);
int32_t colPointNearBox(const Box3* box, const Vec3* point, uint32_t mode, float distance);

// Pair cache. Records are keyed by node address: a node that is freed must be
// forgotten before its memory can be reused.
void colForgetNode(const ScnNode* node);
void colReset();
// The cached record of these two nodes and parts, or null.
ColPair* colFindPair(const ScnNode* moving, const ScnNode* obstacle, const PelPart* movingPart,
                     const PelPart* obstaclePart);
uint32_t colCacheCount();
