#pragma once

#include <QIcon>
#include <QPixmap>

// The program's pictures are SVG files in the resources, drawn here at the sizes the windows
// need. Drawing them directly, rather than through Qt's image plugins, spares every start-up
// the loading of those plugins.

// One picture at a logical size, sharp at the given device pixel ratio.
QPixmap SvgPixmap(const QString &resource, QSize size, qreal devicePixelRatio);

// An icon holding the picture at the size, at single and double density.
QIcon SvgIcon(const QString &resource, QSize size);
