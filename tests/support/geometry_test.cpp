#include <gtest/gtest.h>

#include <vector>

#include "support/geometry.hpp"

namespace kelpra {
namespace {

using R8 = std::vector<double>;

TEST(PointInElement, PrismFacesCountAsInside) {
  // Over the triangle (0,0), (2,0), (0,2); bottom plane z = x, top z = 5 + y.
  const R8 x{0, 2, 0, 0, 2, 0};
  const R8 y{0, 0, 2, 0, 0, 2};
  const R8 z{0, 2, 0, 5, 5, 7};
  auto in = [&](double xp, double yp, double zp) { return pointinelement3d(6, x, y, z, xp, yp, zp); };
  EXPECT_TRUE(in(0.5, 0.5, 3.0));
  EXPECT_TRUE(in(0.5, 0.5, 0.5));  // bottom face
  EXPECT_FALSE(in(0.5, 0.5, 0.49));
  EXPECT_TRUE(in(0.5, 0.5, 5.5));  // top face
  EXPECT_FALSE(in(0.5, 0.5, 5.51));
  EXPECT_TRUE(in(1.0, 1.0, 3.0));  // side faces
  EXPECT_TRUE(in(0.0, 1.0, 3.0));
  EXPECT_FALSE(in(1.01, 1.0, 3.0));
  // Seven nodes, too few coordinates, or a flat triangle: never inside.
  EXPECT_FALSE(pointinelement3d(7, R8(7), R8(7), R8(7), 0.0, 0.0, 0.0));
  EXPECT_FALSE(pointinelement3d(8, x, y, z, 0.5, 0.5, 3.0));  // six coordinates for eight nodes
  const R8 line{0, 1, 2, 0, 1, 2};
  EXPECT_FALSE(pointinelement3d(6, line, line, R8{0, 0, 0, 1, 1, 1}, 1.0, 1.0, 0.5));
}

TEST(PointInElement, BlockSplitsAlongTheDiagonal) {
  // Unit square, top flat at 10; only node 4 of the bottom is raised (to 2), so the
  // bottom of triangle 1-3-4 is 2 (y - x) and that of triangle 1-2-3 is 0.
  const R8 x{0, 1, 1, 0, 0, 1, 1, 0};
  const R8 y{0, 0, 1, 1, 0, 0, 1, 1};
  const R8 z{0, 0, 0, 2, 10, 10, 10, 10};
  auto in = [&](double xp, double yp, double zp) { return pointinelement3d(8, x, y, z, xp, yp, zp); };
  EXPECT_TRUE(in(0.8, 0.2, 0.0));
  EXPECT_TRUE(in(0.2, 0.8, 1.3));
  EXPECT_FALSE(in(0.2, 0.8, 1.1));
  EXPECT_TRUE(in(0.5, 0.5, 0.0));  // on the diagonal
  EXPECT_TRUE(in(1.0, 1.0, 10.0));
  EXPECT_FALSE(in(1.2, 0.5, 5.0));
}

TEST(BoundingBox, OfPoints) {
  const R8 x{3, -1, 2};
  EXPECT_EQ(getboundingbox3d(x, R8{0.5}, R8{7, 8}), (Box3d{-1, 3, 0.5, 0.5, 7, 8}));
  const double big = 1.7976931348623157e308;
  EXPECT_EQ(getboundingbox2d(R8{}, R8{}), (Box2d{big, -big, big, -big}));
}

TEST(BoundingBox, VolumeOverlapAndIntersection) {
  const Box2d a{0, 1, 0, 1};
  const Box2d b{1, 2, 0, 1};
  EXPECT_FALSE(boundingboxhasintersection2d(a, b));
  EXPECT_EQ(boundingboxintersection2d(a, b), (Box2d{1, 1, 0, 1}));
  EXPECT_EQ(boundingboxvolume2d(boundingboxintersection2d(a, b)), 0.0);
  const Box2d d{0.5, 3, -1, 0.5};
  EXPECT_TRUE(boundingboxhasintersection2d(a, d));
  EXPECT_DOUBLE_EQ(boundingboxvolume2d(boundingboxintersection2d(a, d)), 0.25);

  const Box3d p{0, 2, 0, 3, 0, 4};
  EXPECT_DOUBLE_EQ(boundingboxvolume3d(p), 24.0);
  EXPECT_EQ(boundingboxintersection3d(p, Box3d{1, 5, 1, 5, 3.5, 9}), (Box3d{1, 2, 1, 3, 3.5, 4}));
  EXPECT_TRUE(boundingboxhasintersection3d(p, Box3d{1, 5, 1, 5, 3.5, 9}));
  EXPECT_FALSE(boundingboxhasintersection3d(p, Box3d{0, 2, 0, 3, 4, 5}));  // shared face

  // Boxes empty along two axes: the negative extents must not multiply to a positive size.
  EXPECT_EQ(boundingboxvolume2d(boundingboxintersection2d(a, Box2d{2, 3, 2, 3})), 0.0);
  EXPECT_EQ(boundingboxvolume3d(Box3d{1, 0, 1, 0, 0, 1}), 0.0);
}

}  // namespace
}  // namespace kelpra
