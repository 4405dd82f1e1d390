#include "Layout.h"

#include "Pictures.h"
#include "TToolbarButton97.h"

#include <QAction>
#include <QEvent>
#include <QLabel>
#include <QScreen>

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

// Placed when the Show event comes: the native window exists then, so the frame is known
// where the platform knows it before mapping, and the window is not yet on the screen.
class CentreOnShow : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            auto *window = static_cast<QWidget *>(watched);
            if (const QScreen *screen = window->screen())
                window->move(centredFramePosition(screen->availableGeometry(), window->frameGeometry().size()));
            window->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }
};

} // namespace

void centreOnScreenWhenShown(QWidget *window)
{
    window->installEventFilter(new CentreOnShow(window));
}
