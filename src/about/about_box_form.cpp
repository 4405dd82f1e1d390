#include "about_box_form.h"

#include "EditorFont.h"
#include "Layout.h"
#include "Pictures.h"
#include "TToolbarButton97.h"
#include "scroll_text.h"

#include <QKeyEvent>
#include <QLabel>

namespace {

constexpr QSize kClientSize{296, 205};

QLabel *makeWrappedText(QWidget *parent, const char *name, const QString &text, const QRect &bounds)
{
    QLabel *label = makeLabel(parent, name, text, bounds);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

} // namespace

TAboutBox::TAboutBox(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setFont(EditorFont());
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    setFixedSize(kClientSize);
    centreOnScreenWhenShown(this); // the first showing; later ones keep where it was left

    Panel10 = new TPanel(this);
    Panel10->setObjectName(QStringLiteral("Panel10"));
    Panel10->setGeometry(8, 8, 281, 161);
    Panel10->setBevelOuter(TPanel::bvLowered);
    Panel10->setBevelInner(TPanel::bvRaised);

    ProgramIcon = makePicture(Panel10, "ProgramIcon", QStringLiteral(":/icons/program.svg"), {16, 16, 49, 49},
                              QStringLiteral("Program icon"), {32, 32});
    ProductName = makeWrappedText(Panel10, "ProductName", QStringLiteral("Nimbrel Climate Editor\nby [Kest]"),
                                  {72, 16, 177, 26});
    Version = makeAutoSizeLabel(Panel10, "Version", QStringLiteral("Version " NIMBREL_VERSION), {72, 48});
    Copyright = makeAutoSizeLabel(Panel10, "Copyright", QStringLiteral("Copyright \u00a9 [Kest]"), {32, 72});
    Comments = makeWrappedText(Panel10, "Comments",
                               QStringLiteral("Get the latest version from Example Mods, www.example.org/nimbrel"),
                               {32, 88, 241, 30});
    Image1 = makePicture(Panel10, "Image1", QStringLiteral(":/icons/web.svg"), {8, 94, 20, 19},
                         QStringLiteral("Web address"));
    Label120 = makeAutoSizeLabel(Panel10, "Label120", QStringLiteral("kest@example.org"), {32, 116});
    Image2 = makePicture(Panel10, "Image2", QStringLiteral(":/icons/mail.svg"), {8, 114, 20, 17},
                         QStringLiteral("E-mail address"));
    Image3 = makePicture(Panel10, "Image3", QStringLiteral(":/icons/copyright.svg"), {8, 69, 19, 19},
                         QStringLiteral("Copyright"));

    ScrollText1 = new TScrollText(Panel10);
    ScrollText1->setObjectName(QStringLiteral("ScrollText1"));
    ScrollText1->setGeometry(10, 134, 262, 18);
    ScrollText1->setBevelOuter(TPanel::bvLowered);
    ScrollText1->setColor(palette().color(QPalette::Button));
    ScrollText1->setFont(font());
    ScrollText1->setScrollingText(QStringLiteral(
        "Nimbrel Climate Editor by [Kest]  -  questions, ideas and bug reports are welcome at kest@example.org"));
    ScrollText1->setDistance(1);
    // The credit line comes in at the right, where each of its later passes starts too.
    ScrollText1->Label1->move(ScrollText1->clientRect().width() - 2, ScrollText1->Label1->y());

    ToolbarButton971 = new TToolbarButton97(this);
    ToolbarButton971->setObjectName(QStringLiteral("ToolbarButton971"));
    ToolbarButton971->setGeometry(111, 176, 75, 25);
    ToolbarButton971->setText(QStringLiteral("OK"));
    ToolbarButton971->setAccessibleName(QStringLiteral("OK"));
    // The dialog's one control to take the focus, so a screen reader announces the dialog.
    ToolbarButton971->setFocusPolicy(Qt::StrongFocus);
    connect(ToolbarButton971, &QToolButton::clicked, this, &TAboutBox::ToolbarButton971Click);
}

void TAboutBox::ToolbarButton971Click()
{
    close();
}

// Esc, Enter and the keypad's Enter close the dialog as OK does, so the keyboard alone can.
void TAboutBox::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        close();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void TAboutBox::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The focus is drawn from the start, as after a Tab: the keyboard's user sees where it is.
    setAttribute(Qt::WA_KeyboardFocusChange);
    ToolbarButton971->setFocus(Qt::TabFocusReason);
}
