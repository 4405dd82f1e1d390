#pragma once

#include "ClimateValues.h"
#include "ShortText.h"

#include <array>

inline constexpr int kRegionSlots = 41;

using TValueText = ShortText<3>;
using TRawLine = ShortText<250>;
using TRegionName = ShortText<200>;

struct TSeasonRecord
{
    std::array<TValueText, kValueCount> Values;
    TRawLine Line; // the season line as loaded, then as normalized by decoding
};

struct TRegionRecord
{
    TRegionName Name; // a record is in use exactly when its name is non-empty
    TRawLine NameLine; // the name line as loaded; emptied by decoding
    std::array<TSeasonRecord, kSeasonCount> Season;

    bool isUsed() const { return !Name.isEmpty(); }
};

using TRegionTable = std::array<TRegionRecord, kRegionSlots>;
