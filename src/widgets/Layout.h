#pragma once

#include <QRect>
#include <QSize>
#include <QString>

class QMenu;

class QAction;
class QFrame;
class QLabel;
class QWidget;
class TToolbarButton97;

// Small helpers for building a window from controls at fixed places. Every control gets its
// object name, so that tests and accessibility tools find it, and an accessible name.

// Names a control and puts it at its bounds.
template <typename Widget>
Widget *placed(Widget *widget, const char *objectName, const QRect &bounds)
{
    widget->setObjectName(QLatin1String(objectName));
    widget->setGeometry(bounds);
    return widget;
}

// A sunken line between controls, upright where its bounds are narrow; a separator to a
// screen reader.
QFrame *makeSeparator(QWidget *parent, const char *objectName, const QRect &bounds);

// A label that keeps its bounds whatever its text.
QLabel *makeLabel(QWidget *parent, const char *objectName, const QString &text, const QRect &bounds);

// A label that sizes itself to its text from its top-left corner, as labels do unless they
// are fixed; fitToText() sizes it again after its text or font changed.
QLabel *makeAutoSizeLabel(QWidget *parent, const char *objectName, const QString &text, QPoint at);
void fitToText(QLabel *label);

// A picture drawn from SVG at the screen's density, centred in its bounds.
QLabel *makePicture(QWidget *parent, const char *objectName, const QString &resource, const QRect &bounds,
                    const QString &description, QSize pictureSize = {});

// A flat button for a command: its text, tooltip and click come from the action; with a
// picture size, it shows the action's picture instead of its text.
TToolbarButton97 *makeCommandButton(QWidget *parent, const char *objectName, QAction *action, QSize pictureSize,
                                    const QRect &bounds);

// Centres a top-level window on the available area of its screen the next time it is shown:
// the whole window, its frame included, never above or left of the area. Later showings
// leave it where it was.
void centreOnScreenWhenShown(QWidget *window);

// Flat buttons that drop down their menus, side by side as on a menu bar ("&File": Alt+F opens
// it); Left and Right in an open menu go to the menu beside it.
TToolbarButton97 *makeDropDown(QWidget *parent, const char *objectName, const QString &text, QMenu *menu,
                               const QRect &bounds);
// Opens the drop-down's menu as from the keyboard: its first command highlighted.
void openDropDown(TToolbarButton97 *button);
void chainMenus(TToolbarButton97 *first, TToolbarButton97 *second);
QPoint centredFramePosition(const QRect &area, QSize frameSize);
