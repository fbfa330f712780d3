#include "model_import.h"

#include <gtest/gtest.h>
