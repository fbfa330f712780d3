#include "host/sim/sim_host.h"

#include <gtest/gtest.h>

TEST(SimHost, GeometryConstructorMakesTheArraysTheFormatAsksFor) {
  SimHost sim;
  HostGeometry* g = sim.CreateGeometry(3, 1, 0x02 | 0x04 | 0x10);
  GeometryView view = sim.GetGeometry(g);
  EXPECT_NE(view.positions, nullptr);
  EXPECT_NE(view.texCoords, nullptr);
  EXPECT_NE(view.normals, nullptr);
  EXPECT_EQ(view.colours, nullptr);
  EXPECT_EQ(view.vertexCount, 3);
  EXPECT_EQ(view.triangleCount, 1);
}
