#pragma once
// The gtest printers of every layer, for the suites of the conversion and
// the programs.
#include "MfiPrinting.h"
