#pragma once

#include "ClimateFormat.h"
#include "FileAccess.h"
#include "RegionTable.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>

namespace climate {

// The editor's file, "data/weather.cfg" under the working directory.
struct TClimateFile
{
    QString FileName;
};

extern TClimateFile ClimateFile;

void BindClimateFile(TClimateFile &file);

// The path to open for a relative file name. When it does not exist as spelled but its
// folder and file do with other letter cases (a game folder copied from Windows), that file.
QString ResolveFileName(const QString &fileName);

// Loads the file into the table, all or nothing: on any failure the table and the count line
// are left exactly as they were, and the failure is thrown.
void LoadClimateFile(const TClimateFile &file, TRegionTable &table, QByteArray &headerCountLine);

// Writes the whole file and keeps it the same file (see ReplaceFileContents): the old bytes
// or the new ones, never a mix. A file that may not be written gives ReadOnly and writes
// nothing; any other failure is thrown.
SaveOutcome SaveClimateFile(const TClimateFile &file, const TRegionTable &table, QByteArrayView headerCountLine);

} // namespace climate
