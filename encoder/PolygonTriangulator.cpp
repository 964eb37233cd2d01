#include "PolygonTriangulator.h"

#include "MessageCodes.h"

#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <string>

namespace {

constexpr unsigned kNone = ~0u;
// Polygons of fewer corners are searched corner by corner; the index costs more than it saves there.
constexpr size_t kIndexFrom = 64;

struct Point {
    double x, y;
};

bool samePlace(const Point& a, const Point& b) { return a.x == b.x && a.y == b.y; }

// Twice the signed area of the triangle a b c: positive when counter-clockwise, 0 when on one line.
// The corners are floats, so the differences and products are exact in double and the sign is true.
double turn(const Point& a, const Point& b, const Point& c)
{
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

// The outline still to be cut: corners linked both ways around the ring, and, for large polygons,
// the same corners linked in z-order of their grid cell, so that the corners inside a box are
// those between the box's lowest and highest z-value.
struct Ring {
    std::vector<Point> at;
    std::vector<unsigned> prev, next;
    std::vector<uint32_t> zKey;
    std::vector<unsigned> prevZ, nextZ;
    double minX = 0, minY = 0, cellsPerUnit = 0;
};

// The bits of a 16-bit value spread to the even bit positions.
uint32_t spread(uint32_t v)
{
    v &= 0xFFFF;
    v = (v | (v << 8)) & 0x00FF00FF;
    v = (v | (v << 4)) & 0x0F0F0F0F;
    v = (v | (v << 2)) & 0x33333333;
    v = (v | (v << 1)) & 0x55555555;
    return v;
}

uint32_t zOrder(const Ring& ring, const Point& p)
{
    const auto cell = [&](double v, double low) {
        return uint32_t(std::min(65535.0, std::max(0.0, (v - low) * ring.cellsPerUnit)));
    };
    return spread(cell(p.x, ring.minX)) | spread(cell(p.y, ring.minY)) << 1;
}

void buildIndex(Ring& ring)
{
    const size_t n = ring.at.size();
    double maxX = ring.at[0].x, maxY = ring.at[0].y;
    ring.minX = maxX, ring.minY = maxY;
    for (const Point& p : ring.at) {
        ring.minX = std::min(ring.minX, p.x), ring.minY = std::min(ring.minY, p.y);
        maxX = std::max(maxX, p.x), maxY = std::max(maxY, p.y);
    }
    const double extent = std::max(maxX - ring.minX, maxY - ring.minY);
    ring.cellsPerUnit = extent > 0 ? 65535.0 / extent : 0;
    ring.zKey.resize(n);
    for (size_t i = 0; i < n; ++i)
        ring.zKey[i] = zOrder(ring, ring.at[i]);
    std::vector<unsigned> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](unsigned a, unsigned b) { return ring.zKey[a] < ring.zKey[b]; });
    ring.prevZ.assign(n, kNone);
    ring.nextZ.assign(n, kNone);
    for (size_t i = 1; i < n; ++i) {
        ring.prevZ[order[i]] = order[i - 1];
        ring.nextZ[order[i - 1]] = order[i];
    }
}

void removeCorner(Ring& ring, unsigned c)
{
    ring.next[ring.prev[c]] = ring.next[c];
    ring.prev[ring.next[c]] = ring.prev[c];
    if (ring.zKey.empty())
        return;
    if (ring.prevZ[c] != kNone)
        ring.nextZ[ring.prevZ[c]] = ring.nextZ[c];
    if (ring.nextZ[c] != kNone)
        ring.prevZ[ring.nextZ[c]] = ring.prevZ[c];
}

// Whether the corner `p` keeps the triangle a b c from being cut off. Corners on the triangle's edges
// count unless `lenient`; corners at the same place as one of its own do not (the outline may touch
// itself there, as where a hole is joined to the outer outline).
bool blocks(const Ring& ring, unsigned p, const unsigned (&abc)[3], bool lenient)
{
    if (p == abc[0] || p == abc[1] || p == abc[2])
        return false;
    const Point &a = ring.at[abc[0]], &b = ring.at[abc[1]], &c = ring.at[abc[2]], &q = ring.at[p];
    if (samePlace(q, a) || samePlace(q, b) || samePlace(q, c))
        return false;
    const double ab = turn(a, b, q), bc = turn(b, c, q), ca = turn(c, a, q);
    return lenient ? ab > 0 && bc > 0 && ca > 0 : ab >= 0 && bc >= 0 && ca >= 0;
}

// Whether the triangle of `b` and its neighbours can be cut off: it turns left (or not at all, which
// cuts off no area) and no other corner lies in it.
bool isEar(const Ring& ring, unsigned b, bool lenient)
{
    const unsigned abc[3] = {ring.prev[b], b, ring.next[b]};
    const Point &pa = ring.at[abc[0]], &pb = ring.at[b], &pc = ring.at[abc[2]];
    const double bend = turn(pa, pb, pc);
    if (bend <= 0)
        return bend == 0;
    if (ring.zKey.empty()) {
        for (unsigned p = ring.next[abc[2]]; p != abc[0]; p = ring.next[p]) {
            if (blocks(ring, p, abc, lenient))
                return false;
        }
        return true;
    }
    const Point low {std::min({pa.x, pb.x, pc.x}), std::min({pa.y, pb.y, pc.y})};
    const Point high {std::max({pa.x, pb.x, pc.x}), std::max({pa.y, pb.y, pc.y})};
    const uint32_t zLow = zOrder(ring, low), zHigh = zOrder(ring, high);
    for (unsigned p = ring.nextZ[b]; p != kNone && ring.zKey[p] <= zHigh; p = ring.nextZ[p]) {
        if (blocks(ring, p, abc, lenient))
            return false;
    }
    for (unsigned p = ring.prevZ[b]; p != kNone && ring.zKey[p] >= zLow; p = ring.prevZ[p]) {
        if (blocks(ring, p, abc, lenient))
            return false;
    }
    return true;
}

// Cuts ears off the ring until one triangle is left. False when no corner is an ear, not even with
// corners on its edges allowed: then the outline crosses itself.
bool cutEars(Ring& ring, std::vector<PolygonTriangulator::Triangle>& triangles)
{
    unsigned ear = 0;
    size_t left = ring.at.size(), tried = 0;
    bool lenient = false;
    while (left > 3) {
        if (!isEar(ring, ear, lenient)) {
            ear = ring.next[ear];
            if (++tried < left)
                continue;
            if (lenient)
                return false;
            tried = 0;
            lenient = true;
            continue;
        }
        triangles.push_back({ring.prev[ear], ear, ring.next[ear]});
        const unsigned after = ring.next[ear];
        removeCorner(ring, ear);
        --left;
        tried = 0;
        lenient = false;
        ear = after;
    }
    triangles.push_back({ring.prev[ear], ear, ring.next[ear]});
    return true;
}

// The polygon laid onto the coordinate plane its normal is closest to, counter-clockwise; false when
// it has no area there.
bool project(const std::vector<aiVector3D>& corners, std::vector<Point>& points)
{
    const size_t n = corners.size();
    double normal[3] = {0, 0, 0};
    for (size_t i = 0; i < n; ++i) {
        const aiVector3D &p = corners[i], &q = corners[(i + 1) % n];
        normal[0] += (double(p.y) - q.y) * (double(p.z) + q.z);
        normal[1] += (double(p.z) - q.z) * (double(p.x) + q.x);
        normal[2] += (double(p.x) - q.x) * (double(p.y) + q.y);
    }
    const int axis = int(
        std::max_element(normal, normal + 3, [](double a, double b) { return std::fabs(a) < std::fabs(b); }) - normal);
    // The two other axes in cyclic order, so that the normal's own direction sees them counter-clockwise.
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    const double mirror = normal[axis] < 0 ? -1 : 1;
    points.resize(n);
    Point low = {HUGE_VAL, HUGE_VAL}, high = {-HUGE_VAL, -HUGE_VAL};
    for (size_t i = 0; i < n; ++i) {
        points[i] = {mirror * corners[i][unsigned(u)], double(corners[i][unsigned(v)])};
        low = {std::min(low.x, points[i].x), std::min(low.y, points[i].y)};
        high = {std::max(high.x, points[i].x), std::max(high.y, points[i].y)};
    }
    double area = 0;
    for (size_t i = 1; i + 1 < n; ++i)
        area += turn(points[0], points[i], points[i + 1]);
    const double extent = std::max(high.x - low.x, high.y - low.y);
    return std::isfinite(area) && area > 1e-12 * extent * extent;
}

// Whether the triangles cover the polygon's area exactly once: all counter-clockwise, their areas summing to its.
bool coversExactly(const std::vector<Point>& points, const std::vector<PolygonTriangulator::Triangle>& triangles)
{
    double polygon = 0, covered = 0;
    for (size_t i = 1; i + 1 < points.size(); ++i)
        polygon += turn(points[0], points[i], points[i + 1]);
    for (const PolygonTriangulator::Triangle& t : triangles) {
        const double area = turn(points[t[0]], points[t[1]], points[t[2]]);
        if (area < 0)
            return false;
        covered += area;
    }
    return std::fabs(covered - polygon) <= 1e-6 * polygon;
}

std::string meshLabel(const aiMesh& mesh)
{
    return mesh.mName.length ? "\"" + std::string(mesh.mName.C_Str()) + "\"" : std::string("without a name");
}

void reportPolygon(const aiMesh& mesh, size_t corners, PolygonTriangulator::Outcome outcome, Messages& messages)
{
    const std::string polygon = "A polygon of " + std::to_string(corners) + " corners in the mesh " + meshLabel(mesh);
    if (outcome == PolygonTriangulator::Outcome::NoArea)
        messages.warning(MessageCode::PolygonNotTriangulated, "Polygon not triangulated",
                         polygon + " has no area (its corners lie on one line); it is left out.");
    else
        messages.warning(MessageCode::PolygonNotTriangulated, "Polygon not triangulated",
                         polygon
                             + " crosses itself, so the area it covers is not defined; it is left out. Check it in "
                               "the modelling tool.");
}

unsigned primitiveTypesOf(const aiMesh& mesh)
{
    unsigned types = 0;
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const unsigned n = mesh.mFaces[f].mNumIndices;
        types |= n == 1 ? aiPrimitiveType_POINT
            : n == 2    ? aiPrimitiveType_LINE
            : n == 3    ? aiPrimitiveType_TRIANGLE
                        : aiPrimitiveType_POLYGON;
    }
    return types;
}

bool indicesInside(const aiFace& face, unsigned vertices)
{
    return face.mIndices
        && std::all_of(face.mIndices, face.mIndices + face.mNumIndices, [&](unsigned i) { return i < vertices; });
}

} // namespace

PolygonTriangulator::Outcome PolygonTriangulator::triangulate(const std::vector<aiVector3D>& corners,
                                                              std::vector<Triangle>& triangles)
{
    triangles.clear();
    Ring ring;
    if (corners.size() < 3 || !project(corners, ring.at))
        return Outcome::NoArea;
    const unsigned n = unsigned(corners.size());
    ring.prev.resize(n);
    ring.next.resize(n);
    for (unsigned i = 0; i < n; ++i) {
        ring.prev[i] = (i + n - 1) % n;
        ring.next[i] = (i + 1) % n;
    }
    if (n >= kIndexFrom)
        buildIndex(ring);
    const std::vector<Point> points = ring.at;
    if (cutEars(ring, triangles) && coversExactly(points, triangles))
        return Outcome::Complete;
    triangles.clear();
    return Outcome::CrossesItself;
}

void PolygonTriangulator::apply(aiScene& scene, Messages& messages)
{
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
        if (scene.mMeshes[m])
            apply(*scene.mMeshes[m], messages);
    }
}

void PolygonTriangulator::apply(aiMesh& mesh, Messages& messages)
{
    if (!mesh.mFaces || !mesh.mVertices)
        return;
    size_t faces = 0;
    bool polygons = false;
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const unsigned n = mesh.mFaces[f].mNumIndices;
        polygons = polygons || n > 3;
        faces += n > 3 ? n - 2 : 1;
    }
    if (!polygons)
        return;
    aiFace* out = new aiFace[faces];
    unsigned written = 0;
    std::vector<aiVector3D> corners;
    std::vector<Triangle> triangles;
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        aiFace& face = mesh.mFaces[f];
        if (face.mNumIndices <= 3 || !indicesInside(face, mesh.mNumVertices)) {
            std::swap(out[written].mNumIndices, face.mNumIndices);
            std::swap(out[written++].mIndices, face.mIndices);
            continue;
        }
        corners.resize(face.mNumIndices);
        for (unsigned k = 0; k < face.mNumIndices; ++k)
            corners[k] = mesh.mVertices[face.mIndices[k]];
        const Outcome outcome = triangulate(corners, triangles);
        if (outcome != Outcome::Complete)
            reportPolygon(mesh, corners.size(), outcome, messages);
        for (const Triangle& t : triangles) {
            out[written].mNumIndices = 3;
            out[written++].mIndices = new unsigned[3] {face.mIndices[t[0]], face.mIndices[t[1]], face.mIndices[t[2]]};
        }
    }
    delete[] mesh.mFaces;
    mesh.mFaces = out;
    mesh.mNumFaces = written;
    // A mesh whose polygons were all left out keeps a type, as Assimp's later steps demand; with no
    // faces, the planner leaves it out as empty.
    mesh.mPrimitiveTypes = written ? primitiveTypesOf(mesh) : unsigned(aiPrimitiveType_TRIANGLE);
}
