#include "MessageBoxQuestions.h"

#include "Failure.h"
#include "Layout.h"

#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <array>

namespace {

// Each question's box: its name, look, and the words of its Yes, No and Cancel (none where the
// question has no such answer); Cancel, where there is one, is what Escape and the close box say.
struct Box
{
    const char *name;
    QMessageBox::Icon icon;
    bool confirm; // captioned "Confirm", Escape says No
    const char *yes;
    const char *no;
    bool cancel;
    bool cancelIsDefault;
    const char *yesTip = nullptr;
    const char *noTip = nullptr;
};

constexpr std::array<Box, 6> kBoxes{{
    {"keepChanges", QMessageBox::Question, false, "&Yes", "&No", true, false},
    {"saveFirst", QMessageBox::Warning, false, "&Save", "&Discard", true, false},
    {"confirm", QMessageBox::Question, true, "&Yes", "&No", false, false},
    {"restore", QMessageBox::Question, false, "&Yes", "&No", true, false},
    {"changedFile", QMessageBox::Warning, false, "&Merge", "&Overwrite", true, true,
     "Lays the kept seasons over the file as it is now, and saves that", "Replaces the file with this table"},
    {"conflict", QMessageBox::Question, false, "&Keep mine", "&Take the file's", true, false},
}};

// A box as narrow as "The file is read-only" leaves its title no room beside the buttons a
// window manager puts in its title bar: made wide enough for the title and four buttons.
void fitTitle(QMessageBox &box)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    QFont title = box.font();
    title.setBold(true);
    if (title.pointSizeF() > 0)
        title.setPointSizeF(title.pointSizeF() * 1.25);
    else
        title.setPixelSize(title.pixelSize() * 5 / 4);
    const int wanted = QFontMetrics(title).horizontalAdvance(box.windowTitle()) + 4 * 24;
    grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

// Shaped for the eye (fitTitle) and for the ear: word joiners that keep a path on one line
// are no words, and a screen reader would spell them out.
void prepare(QMessageBox &box)
{
    fitTitle(box);
    if (auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label")))
        label->setAccessibleName(box.text().remove(QChar(0x2060)));
    centreOnScreenWhenShown(&box);
}

} // namespace

FileQuestions::Answer MessageBoxQuestions::ask(Question question, const QString &text)
{
    const Box &shape = kBoxes[std::size_t(question)];
    QMessageBox box(shape.icon, shape.confirm ? QStringLiteral("Confirm") : kApplicationTitle, text, QMessageBox::NoButton,
                    m_parent);
    box.setObjectName(QLatin1String(shape.name));
    QPushButton *yes = box.addButton(QLatin1String(shape.yes), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QLatin1String(shape.no), shape.confirm ? QMessageBox::NoRole : QMessageBox::DestructiveRole);
    QPushButton *cancel = shape.cancel ? box.addButton(QMessageBox::Cancel) : nullptr;
    if (shape.yesTip)
        yes->setToolTip(QLatin1String(shape.yesTip));
    if (shape.noTip)
        no->setToolTip(QLatin1String(shape.noTip));
    box.setDefaultButton(shape.cancelIsDefault ? cancel : yes);
    box.setEscapeButton(cancel ? static_cast<QAbstractButton *>(cancel) : no);
    prepare(box);
    box.exec();
    // A box whose loop was ended from outside (a signal, the session's end) has no button clicked.
    const QAbstractButton *clicked = box.clickedButton();
    if (!clicked)
        return Answer::None;
    return clicked == yes ? Answer::Yes : clicked == no ? Answer::No : Answer::Cancel;
}

void MessageBoxQuestions::tell(const QString &text)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), text, QMessageBox::Ok, m_parent);
    box.setObjectName(QStringLiteral("information"));
    prepare(box);
    box.exec();
}
