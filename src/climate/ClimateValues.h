#pragma once

#include <array>
#include <string_view>

// The eighteen numbers of a season, in file order. The window lays out its editors from
// this table and the file code writes the separators from it, so neither spells them out.
enum class ValueGroup { StartDay, Wind, Precipitation, Warmth };

struct ClimateValue
{
    int index;
    ValueGroup group;
    int row;                     // row inside its group box; 0 for the start day
    std::string_view editorName; // object name of its spin editor
    std::string_view labelName;  // object name of the label beside it
    std::string_view name;       // the level, as the window labels it and a table's column names it
    std::string_view column;     // the column of the exported table
    int minValue;
    int maxValue;
    std::string_view separator;  // written before the value in a season line
};

inline constexpr int kValueCount = 18;

inline constexpr std::array<ClimateValue, kValueCount> kClimateValues{{
    {0, ValueGroup::StartDay, 0, "start_season", "Label20", "", "Start day", 0, 365, ""},
    {1, ValueGroup::Wind, 0, "Wind_1", "Label1", "Calm", "Wind Calm", -1, 100, ", W"},
    {2, ValueGroup::Wind, 1, "Wind_2", "Label2", "Breezy", "Wind Breezy", -1, 100, ", W"},
    {3, ValueGroup::Wind, 2, "Wind_3", "Label3", "Gusty", "Wind Gusty", -1, 100, ", W"},
    {4, ValueGroup::Wind, 3, "Wind_4", "Label4", "Strong", "Wind Strong", -1, 100, ", W"},
    {5, ValueGroup::Wind, 4, "Wind_5", "Label5", "Gale", "Wind Gale", -1, 100, ", W"},
    {6, ValueGroup::Precipitation, 0, "Precipitation_1", "Label6", "Dry", "Precipitation Dry", -1, 100, ", P"},
    {7, ValueGroup::Precipitation, 1, "Precipitation_2", "Label7", "Wet", "Precipitation Wet", -1, 100, ", P"},
    {8, ValueGroup::Precipitation, 2, "Precipitation_3", "Label8", "Drizzle", "Precipitation Drizzle", -1, 100, ", P"},
    {9, ValueGroup::Precipitation, 3, "Precipitation_4", "Label9", "Shower", "Precipitation Shower", -1, 100, ", P"},
    {10, ValueGroup::Precipitation, 4, "Precipitation_5", "Label10", "Down Pour", "Precipitation Down Pour", -1, 100, ", P"},
    // The game's own files carry two spaces before Cold and Warm; they are part of the format.
    {11, ValueGroup::Warmth, 0, "Warmth_1", "Label11", "Freezing", "Warmth Freezing", -1, 100, ", H"},
    {12, ValueGroup::Warmth, 1, "Warmth_2", "Label12", "Cold", "Warmth Cold", -1, 100, ",  H"},
    {13, ValueGroup::Warmth, 2, "Warmth_3", "Label13", "Mild", "Warmth Mild", -1, 100, ", H"},
    {14, ValueGroup::Warmth, 3, "Warmth_4", "Label14", "Fine", "Warmth Fine", -1, 100, ", H"},
    {15, ValueGroup::Warmth, 4, "Warmth_5", "Label15", "Warm", "Warmth Warm", -1, 100, ",  H"},
    {16, ValueGroup::Warmth, 5, "Warmth_6", "Label16", "Hot", "Warmth Hot", -1, 100, ", H"},
    {17, ValueGroup::Warmth, 6, "Warmth_7", "Label17", "Very Hot", "Warmth Very Hot", -1, 100, ", H"},
}};

inline constexpr int kSeasonCount = 4;

// Season names as the tabs show them, and the labels that start their lines in the file.
inline constexpr std::array<std::string_view, kSeasonCount> kSeasonNames{"Spring", "Summer", "Autumn", "Winter"};
inline constexpr std::array<std::string_view, kSeasonCount> kSeasonLabels{"SPRING: ", "SUMMER: ", "AUTUMN: ", "WINTER: "};
