#pragma once

#include <QString>

#include <optional>

class ClimateDocument;
class QWidget;

// The game folder a path stands for: a folder holding data/weather.cfg, a data folder
// holding weather.cfg, or that weather.cfg itself (any letter case). Nothing otherwise.
std::optional<QString> GameFolderOf(const QString &path);

// Makes sure the document's game folder holds data/weather.cfg, where Open and Save find it:
// when it does not, asks for the game folder until one is chosen (it becomes the document's)
// or the chooser is cancelled. False when there is still no game folder.
bool EnsureGameFolder(QWidget *parent, ClimateDocument &document);
