// Writes the sample game's weather.cfg with the editor's own save code:
//   make_sample <game folder>
// Forty-one regions of the world, each given the seasons of its kind of climate.

#include "ClimateFile.h"
#include "RegionTable.h"

#include <QDir>

#include <array>
#include <cstdio>

namespace {

// One season of a kind of climate: wind Calm..Gale, precipitation Dry..Down Pour and
// warmth Freezing..Very Hot, each group in percent.
struct Season
{
    std::array<int, 5> wind;
    std::array<int, 5> rain;
    std::array<int, 7> warmth;
};

using Climate = std::array<Season, 4>; // Spring, Summer, Autumn, Winter

const Climate kPolar{{
    {{20, 25, 25, 20, 10}, {50, 20, 20, 5, 5}, {60, 30, 10, 0, 0, 0, 0}},
    {{25, 30, 25, 15, 5}, {40, 25, 20, 10, 5}, {20, 40, 30, 10, 0, 0, 0}},
    {{15, 25, 25, 20, 15}, {45, 20, 20, 10, 5}, {55, 35, 10, 0, 0, 0, 0}},
    {{10, 20, 25, 25, 20}, {60, 15, 20, 5, 0}, {90, 10, 0, 0, 0, 0, 0}},
}};
const Climate kMaritime{{
    {{25, 30, 25, 15, 5}, {30, 25, 25, 15, 5}, {5, 20, 40, 25, 10, 0, 0}},
    {{35, 35, 20, 8, 2}, {40, 20, 20, 15, 5}, {0, 5, 20, 40, 25, 10, 0}},
    {{20, 30, 25, 15, 10}, {25, 25, 25, 15, 10}, {5, 20, 40, 25, 10, 0, 0}},
    {{15, 25, 25, 20, 15}, {20, 30, 25, 15, 10}, {20, 45, 30, 5, 0, 0, 0}},
}};
const Climate kContinental{{
    {{30, 30, 20, 15, 5}, {45, 20, 20, 10, 5}, {10, 30, 35, 20, 5, 0, 0}},
    {{40, 30, 20, 8, 2}, {40, 15, 15, 20, 10}, {0, 0, 10, 30, 35, 20, 5}},
    {{30, 30, 25, 10, 5}, {45, 20, 20, 10, 5}, {5, 25, 40, 25, 5, 0, 0}},
    {{25, 25, 25, 15, 10}, {55, 20, 20, 5, 0}, {55, 35, 10, 0, 0, 0, 0}},
}};
const Climate kMediterranean{{
    {{35, 35, 20, 8, 2}, {50, 20, 15, 10, 5}, {0, 5, 25, 40, 25, 5, 0}},
    {{45, 35, 15, 5, 0}, {85, 5, 5, 5, 0}, {0, 0, 0, 10, 30, 40, 20}},
    {{35, 30, 20, 10, 5}, {55, 15, 15, 10, 5}, {0, 0, 15, 35, 35, 15, 0}},
    {{25, 30, 25, 15, 5}, {35, 25, 20, 15, 5}, {0, 15, 45, 30, 10, 0, 0}},
}};
const Climate kDesert{{
    {{30, 30, 20, 15, 5}, {95, 5, 0, 0, 0}, {0, 0, 5, 20, 35, 30, 10}},
    {{25, 30, 25, 15, 5}, {98, 2, 0, 0, 0}, {0, 0, 0, 0, 10, 40, 50}},
    {{35, 30, 20, 10, 5}, {95, 5, 0, 0, 0}, {0, 0, 5, 20, 40, 25, 10}},
    {{40, 30, 20, 8, 2}, {90, 5, 5, 0, 0}, {0, 10, 35, 35, 20, 0, 0}},
}};
const Climate kTropical{{
    {{40, 35, 15, 8, 2}, {10, 30, 20, 25, 15}, {0, 0, 0, 5, 30, 45, 20}},
    {{35, 35, 15, 10, 5}, {5, 25, 15, 30, 25}, {0, 0, 0, 0, 25, 50, 25}},
    {{35, 30, 15, 10, 10}, {10, 25, 20, 25, 20}, {0, 0, 0, 5, 30, 45, 20}},
    {{45, 35, 15, 5, 0}, {20, 30, 25, 15, 10}, {0, 0, 0, 15, 40, 35, 10}},
}};
const Climate kMonsoon{{
    {{40, 35, 15, 8, 2}, {70, 15, 10, 5, 0}, {0, 0, 0, 10, 25, 40, 25}},
    {{20, 25, 25, 20, 10}, {5, 15, 15, 30, 35}, {0, 0, 0, 10, 40, 40, 10}},
    {{35, 30, 20, 10, 5}, {30, 25, 20, 15, 10}, {0, 0, 5, 20, 40, 30, 5}},
    {{50, 30, 15, 5, 0}, {85, 10, 5, 0, 0}, {0, 0, 15, 40, 35, 10, 0}},
}};
const Climate kHighland{{
    {{20, 25, 25, 20, 10}, {40, 20, 25, 10, 5}, {20, 35, 30, 15, 0, 0, 0}},
    {{25, 30, 25, 15, 5}, {35, 20, 20, 15, 10}, {5, 20, 40, 30, 5, 0, 0}},
    {{20, 25, 25, 20, 10}, {40, 25, 20, 10, 5}, {20, 40, 30, 10, 0, 0, 0}},
    {{15, 20, 25, 25, 15}, {50, 20, 25, 5, 0}, {60, 30, 10, 0, 0, 0, 0}},
}};

struct Region
{
    const char *name; // bytes in the game's Windows code page
    const Climate *climate;
    bool south;       // seasons start half a year later south of the equator
};

const std::array<Region, kRegionSlots> kRegions{{
    {"England", &kMaritime, false},          {"Scotland", &kMaritime, false},
    {"Ireland", &kMaritime, false},          {"France", &kMaritime, false},
    {"Spain", &kMediterranean, false},       {"Portugal", &kMediterranean, false},
    {"Italy", &kMediterranean, false},       {"Germany", &kContinental, false},
    {"Norway", &kPolar, false},              {"Sweden", &kContinental, false},
    {"Iceland", &kPolar, false},             {"Greece", &kMediterranean, false},
    {"Poland", &kContinental, false},        {"Russia", &kContinental, false},
    {"Egypt", &kDesert, false},              {"Morocco", &kMediterranean, false},
    {"Sahara", &kDesert, false},             {"Kenya", &kTropical, true},
    {"South Africa", &kMediterranean, true}, {"Madagascar", &kTropical, true},
    {"Arabia", &kDesert, false},             {"Persia", &kDesert, false},
    {"India", &kMonsoon, false},             {"China", &kMonsoon, false},
    {"Mongolia", &kContinental, false},      {"Japan", &kMaritime, false},
    {"Siam", &kMonsoon, false},              {"Indonesia", &kTropical, true},
    {"Australian Outback", &kDesert, true},  {"New Zealand", &kMaritime, true},
    {"Alaska", &kPolar, false},              {"Qu\xe9" "bec", &kContinental, false},
    {"New England", &kContinental, false},   {"Mississippi", &kTropical, false},
    {"California", &kMediterranean, false},  {"Mexico", &kDesert, false},
    {"Caribbean", &kTropical, false},        {"Amazon", &kTropical, true},
    {"Andes", &kHighland, true},             {"Patagonia", &kHighland, true},
    {"Antarctica", &kPolar, true},
}};

// Days after 1 January on which Spring, Summer, Autumn and Winter start in the north.
constexpr std::array<int, 4> kNorthStarts{79, 171, 265, 355};

void setValue(TSeasonRecord &season, int index, int value)
{
    season.Values[std::size_t(index)] = QByteArray::number(value);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample <game folder>\n");
        return 2;
    }
    if (!QDir::setCurrent(QString::fromLocal8Bit(argv[1])) || !QDir().mkpath(QStringLiteral("data"))) {
        std::fprintf(stderr, "make_sample: cannot use %s\n", argv[1]);
        return 1;
    }

    auto table = std::make_unique<TRegionTable>();
    for (int slot = 0; slot < kRegionSlots; ++slot) {
        const Region &region = kRegions[std::size_t(slot)];
        TRegionRecord &record = (*table)[std::size_t(slot)];
        record.Name = QByteArrayView(region.name);
        for (int s = 0; s < kSeasonCount; ++s) {
            const Season &season = (*region.climate)[std::size_t(s)];
            TSeasonRecord &out = record.Season[std::size_t(s)];
            setValue(out, 0, region.south ? (kNorthStarts[std::size_t(s)] + 182) % 365 : kNorthStarts[std::size_t(s)]);
            for (int i = 0; i < 5; ++i)
                setValue(out, 1 + i, season.wind[std::size_t(i)]);
            for (int i = 0; i < 5; ++i)
                setValue(out, 6 + i, season.rain[std::size_t(i)]);
            for (int i = 0; i < 7; ++i)
                setValue(out, 11 + i, season.warmth[std::size_t(i)]);
        }
    }

    try {
        climate::TClimateFile file;
        climate::BindClimateFile(file);
        if (climate::SaveClimateFile(file, *table, "41") != climate::SaveOutcome::Saved) {
            std::fprintf(stderr, "make_sample: data/weather.cfg is read-only\n");
            return 1;
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "make_sample: %s\n", error.what());
        return 1;
    }
    return 0;
}
