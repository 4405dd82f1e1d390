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
    // The file the last Open read: a save asks before it writes another one.
    FileId Opened;
};

extern TClimateFile ClimateFile;

void BindClimateFile(TClimateFile &file);

// The path to open for a relative file name. When it does not exist as spelled but its
// folder and file do with other letter cases (a game folder copied from Windows), that file.
QString ResolveFileName(const QString &fileName);

// Loads the file into the table, all or nothing: on any failure the table and the count line
// are left exactly as they were, and the failure is thrown. A save in place that was cut short
// is put right first (see RecoverInterruptedSave), and the file read is remembered.
void LoadClimateFile(TClimateFile &file, TRegionTable &table, QByteArray &headerCountLine);

// Writes the whole file and keeps it the same file (see ReplaceFileContents): the old bytes
// or the new ones, never a mix. A file that may not be written gives ReadOnly and writes
// nothing; any other failure is thrown.
// Changed, with nothing written, when the name now leads to another file than the one
// opened; evenIfChanged writes it all the same.
SaveOutcome SaveClimateFile(const TClimateFile &file, const TRegionTable &table, QByteArrayView headerCountLine,
                            bool evenIfChanged = false);

} // namespace climate
