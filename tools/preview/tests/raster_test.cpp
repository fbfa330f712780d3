#include <gtest/gtest.h>

#include "software_raster.h"

TEST(PreviewRaster, Placeholder) { SUCCEED(); }
