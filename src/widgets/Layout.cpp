#include "Layout.h"

#include "Pictures.h"
#include "TToolbarButton97.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QBasicTimer>
#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QScreen>
#include <QShortcut>
#include <QTimerEvent>
#include <QWindow>

#include <algorithm>
#include <array>

QLabel *makeLabel(QWidget *parent, const char *objectName, const QString &text, const QRect &bounds)
{
    auto *label = placed(new QLabel(text, parent), objectName, bounds);
    label->setAccessibleName(text);
    return label;
}

QLabel *makeAutoSizeLabel(QWidget *parent, const char *objectName, const QString &text, QPoint at)
{
    QLabel *label = makeLabel(parent, objectName, text, QRect(at, QSize(1, 1)));
    fitToText(label);
    return label;
}

void fitToText(QLabel *label)
{
    label->resize(label->sizeHint());
}

QLabel *makePicture(QWidget *parent, const char *objectName, const QString &resource, const QRect &bounds,
                    const QString &description, QSize pictureSize)
{
    auto *picture = placed(new QLabel(parent), objectName, bounds);
    picture->setAlignment(Qt::AlignCenter);
    picture->setAccessibleName(description);
    picture->setPixmap(SvgPixmap(resource, pictureSize.isValid() ? pictureSize : bounds.size(),
                                 parent->devicePixelRatioF()));
    return picture;
}

TToolbarButton97 *makeCommandButton(QWidget *parent, const char *objectName, QAction *action, QSize pictureSize,
                                    const QRect &bounds)
{
    auto *button = placed(new TToolbarButton97(parent), objectName, bounds);
    button->setDefaultAction(action);
    if (pictureSize.isValid()) {
        button->setIconSize(pictureSize);
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    } else {
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    }
    button->setAccessibleName(action->text().remove(QStringLiteral("...")));
    return button;
}

QPoint centredFramePosition(const QRect &area, QSize frameSize)
{
    return {area.x() + std::max(0, (area.width() - frameSize.width()) / 2),
            area.y() + std::max(0, (area.height() - frameSize.height()) / 2)};
}

namespace {

// Placed when the Show event comes, with what is known of the frame then; placed again when the
// window is first exposed: by then it has its final size (a message box sizes itself as it is
// shown). A window manager may tell the size of the frame it drew only a moment later, so for
// two seconds after that the frame is looked at again, and the window placed once more should the frame's size have changed; a
// move by the user changes no size and stays.
class CentreOnShow : public QObject
{
public:
    explicit CentreOnShow(QWidget *window)
        : QObject(window)
        , m_window(window)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::Show) {
            centre();
            m_window->removeEventFilter(this);
            if (QWindow *handle = m_window->windowHandle())
                handle->installEventFilter(this);
        } else if (watched != m_window && event->type() == QEvent::Expose
                   && static_cast<QWindow *>(watched)->isExposed()) {
            centre();
            watched->removeEventFilter(this);
            m_frame = frameSize();
            m_watch.start(kWatchMs, this);
        }
        return false;
    }

    void timerEvent(QTimerEvent *event) override
    {
        if (event->timerId() != m_watch.timerId())
            return QObject::timerEvent(event);
        if (const QSize frame = frameSize(); frame != m_frame) {
            m_frame = frame;
            centre();
        }
        if (++m_looks * kWatchMs >= kSettleMs) {
            m_watch.stop();
            deleteLater();
        }
    }

private:
    // The window's own frame, as the window system tells it now: the widget's copy of the frame
    // is brought up to date only when the window next moves or changes size.
    QSize frameSize() const
    {
        const QWindow *handle = m_window->windowHandle();
        return handle ? handle->frameGeometry().size() : m_window->frameGeometry().size();
    }

    void centre()
    {
        const QScreen *screen = m_window->screen();
        QWindow *handle = m_window->windowHandle();
        if (screen && handle)
            handle->setFramePosition(centredFramePosition(screen->availableGeometry(), frameSize()));
        else if (screen)
            m_window->move(centredFramePosition(screen->availableGeometry(), frameSize()));
    }

    static constexpr int kWatchMs = 25;
    static constexpr int kSettleMs = 2000;
    QWidget *m_window;
    QBasicTimer m_watch;
    QSize m_frame;
    int m_looks = 0;
};

} // namespace

void centreOnScreenWhenShown(QWidget *window)
{
    new CentreOnShow(window);
}

TToolbarButton97 *makeDropDown(QWidget *parent, const char *objectName, const QString &text, QMenu *menu,
                               const QRect &bounds)
{
    auto *button = placed(new TToolbarButton97(parent), objectName, bounds);
    button->setText(text);
    button->setAccessibleName(QString(text).remove(u'&'));
    button->setMenu(menu);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
    // Its key opens the menu at once, as a menu bar's does, rather than clicking the button a
    // moment later (when the Alt key may already be up and close it again).
    button->setShortcut({});
    new QShortcut(QKeySequence::mnemonic(text), button, [button] { openDropDown(button); });
    QObject::connect(menu, &QMenu::aboutToShow, button, [button] { button->setDown(true); });
    QObject::connect(menu, &QMenu::aboutToHide, button, [button] { button->setDown(false); });
    return button;
}

void openDropDown(TToolbarButton97 *button)
{
    QMenu *menu = button->menu();
    menu->popup(button->mapToGlobal(QPoint(0, button->height())));
    // Once the popup has settled (its window's activation told), so that a screen reader's
    // last word is the command.
    QTimer::singleShot(0, menu, [menu] {
        const QList<QAction *> actions = menu->actions();
        const auto first = std::find_if(actions.begin(), actions.end(), [](const QAction *action) {
            return !action->isSeparator() && action->isEnabled() && action->isVisible();
        });
        if (menu->isVisible() && !menu->activeAction() && first != actions.end())
            menu->setActiveAction(*first);
    });
}

namespace {

class MenuChain : public QObject
{
public:
    MenuChain(TToolbarButton97 *first, TToolbarButton97 *second)
        : QObject(first)
        , m_buttons{first, second}
    {
        for (TToolbarButton97 *button : m_buttons)
            button->menu()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const int key = event->type() == QEvent::KeyPress ? static_cast<QKeyEvent *>(event)->key() : 0;
        if (key != Qt::Key_Left && key != Qt::Key_Right)
            return false;
        // The other menu opens before this one closes, so that the focus goes from menu to
        // menu and never back to the window between them.
        TToolbarButton97 *other = watched == m_buttons[0]->menu() ? m_buttons[1] : m_buttons[0];
        openDropDown(other);
        static_cast<QMenu *>(watched)->hide();
        return true;
    }

private:
    std::array<TToolbarButton97 *, 2> m_buttons;
};

} // namespace

void chainMenus(TToolbarButton97 *first, TToolbarButton97 *second)
{
    new MenuChain(first, second);
}

namespace {

// A line between controls is a separator to a screen reader, not a frame around nothing.
QAccessibleInterface *accessibleSeparator(const QString &className, QObject *object)
{
    auto *frame = className == QLatin1String("QFrame") ? qobject_cast<QFrame *>(object) : nullptr;
    if (frame && (frame->frameShape() == QFrame::VLine || frame->frameShape() == QFrame::HLine))
        return new QAccessibleWidget(frame, QAccessible::Separator);
    return nullptr;
}

} // namespace

QFrame *makeSeparator(QWidget *parent, const char *objectName, const QRect &bounds)
{
    [[maybe_unused]] static const bool accessible = (QAccessible::installFactory(accessibleSeparator), true);
    auto *line = placed(new QFrame(parent), objectName, bounds);
    line->setFrameShape(bounds.width() < bounds.height() ? QFrame::VLine : QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}
