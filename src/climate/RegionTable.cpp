#include "RegionTable.h"

TRegionTable RegionTable;
