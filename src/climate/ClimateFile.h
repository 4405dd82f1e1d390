#pragma once

#include "ClimateFormat.h"
#include "RegionTable.h"
#include "SavePolicy.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace climate {

// The editor's file, "data/weather.cfg" under the working directory.
struct TClimateFile
{
    QString FileName;
    // The file the last Open read or the last save wrote: a save asks before it writes another.
    storage::FileId Opened;
};

extern TClimateFile ClimateFile;

// Makes folder the game the editor works on: the working folder, where the file is named
// relative to it. A folder the system cannot enter (on Windows, a path past the classic length
// limit) is kept by its whole path instead. False when it is no folder.
bool EnterGameFolder(const QString &folder);

// Binds the file to data/weather.cfg of the game folder.
void BindClimateFile(TClimateFile &file);

// The path to open for a relative file name. When it does not exist as spelled but its
// folder and file do with other letter cases (a game folder copied from Windows), that file.
QString ResolveFileName(const QString &fileName);

// Loads the file into the table, all or nothing: on any failure the table and the count line
// are left exactly as they were, and the failure is thrown. A save in place that was cut short
// is put right first, and the file read is remembered. Returns what the user must be told of
// that (empty when nothing was done).
QString LoadClimateFile(TClimateFile &file, TRegionTable &table, QByteArray &headerCountLine);

// storage::SaveBytes() on the file at path, through the platform's primitives.
storage::SaveReport ReplaceFileContents(const QString &path, QByteArrayView bytes, const storage::FileId &opened = {},
                                        bool evenIfChanged = false);

// Writes the whole file and keeps it the same file (see storage::SaveBytes): the old bytes or
// the new ones, never a mix. ReadOnly or Changed write nothing; once saved, the file written
// is the file opened. A save whose new bytes may not last is thrown as a failure after that.
storage::SaveReport SaveClimateFile(TClimateFile &file, const TRegionTable &table, QByteArrayView headerCountLine,
                                    bool evenIfChanged = false);

} // namespace climate
