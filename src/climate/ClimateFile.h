#pragma once

#include "ClimateFormat.h"
#include "RegionTable.h"
#include "SavePolicy.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace climate {

// The editor's file, "data/weather.cfg" under the game folder.
struct TClimateFile
{
    QString FileName;
    // The file the last Open read or the last save wrote: a save asks before it writes another.
    storage::FileId Opened;
    // How its reads and saves wait for another program's save to end.
    storage::Waiter Waiting;
};

// The game folder as a whole path, so that nothing depends on the working folder; nothing
// when it is no folder. A folder whose whole path cannot be spelt as text (a name in bytes
// that are no text, entered at start-up) keeps the spelling it was given.
std::optional<QString> GameFolderPath(const QString &folder);

// Binds the file to data/weather.cfg of the game folder.
void BindClimateFile(TClimateFile &file, const QString &gameFolder);

// The file as messages name it: data/weather.cfg under the game folder, in the letter case it
// has on disk and with the platform's separators.
QString DisplayName(const TClimateFile &file, const QString &gameFolder);

// The path to open for a relative file name. When it does not exist as spelled but its
// folder and file do with other letter cases (a game folder copied from Windows), that file.
QString ResolveFileName(const QString &fileName);

// Loads the file into the table, all or nothing: on any failure the table and the count line
// are left exactly as they were, and the failure is thrown. A save in place that was cut short
// is put right first, and the file read is remembered. Returns what the user must be told of
// that (empty when nothing was done).
QString LoadClimateFile(TClimateFile &file, TRegionTable &table, QByteArray &headerCountLine,
                        QByteArray *bytesRead = nullptr);

// storage::SaveBytes() on the file at path, through the platform's primitives; its failure is
// thrown as an EInOutError in the editor's words, its notices and warnings told by Told().
storage::SaveReport ReplaceFileContents(const QString &path, QByteArrayView bytes, const storage::FileId &expected = {},
                                        const storage::Waiter &wait = {});

// Writes the whole file and keeps it the same file (see storage::SaveBytes): the old bytes or
// the new ones, never a mix. ReadOnly or Changed write nothing; once saved, the file written
// is the file opened, and what is true beside the save is in the report's warnings.
storage::SaveReport SaveClimateFile(TClimateFile &file, const TRegionTable &table, QByteArrayView headerCountLine);

} // namespace climate
