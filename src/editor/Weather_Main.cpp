#include "Weather_Main.h"

#include "ClimateErrors.h"
#include "ClimateFile.h"
#include "EditorFont.h"
#include "Failure.h"
#include "Layout.h"
#include "Pictures.h"
#include "SeasonDecoding.h"
#include "TGroupBox.h"
#include "TListBox.h"
#include "TSpinEdit.h"
#include "TTabControl.h"
#include "TToolbar97.h"
#include "TToolbarButton97.h"
#include "TextConversion.h"

#include <QDialog>
#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include <utility>

namespace {

constexpr QSize kClientSize{606, 348};
constexpr int kDockHeight = 26;
constexpr int kStatusHeight = 19;
constexpr int kListItemHeight = 13;

struct GroupLayout
{
    ValueGroup group;
    const char *name;
    const char *title;
    QRect bounds;
    int labelWidth;
    int editorLeft;
};

// Enabling the editors and "Save season" take the levels first and the start day last.
constexpr std::array<int, kValueCount> kLevelsThenStartDay = [] {
    std::array<int, kValueCount> order{};
    for (int i = 0; i + 1 < kValueCount; ++i)
        order[std::size_t(i)] = i + 1;
    return order; // the last entry stays 0, the start day
}();

constexpr std::array<GroupLayout, 3> kGroups{{
    {ValueGroup::Wind, "GroupBox1", "Wind", {8, 32, 121, 145}, 56, 64},
    {ValueGroup::Precipitation, "GroupBox2", "Precipitation", {136, 32, 141, 145}, 76, 84},
    {ValueGroup::Warmth, "GroupBox3", "Warmth", {284, 32, 133, 193}, 68, 76},
}};

QString name(std::string_view text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

// A value text as the editors read it; one that is no number fails with the text as stored.
int valueOf(QByteArrayView text)
{
    const QString shown = climate::FromWindows1252(text);
    if (const std::optional<int> value = TSpinEdit::ParseInteger(shown))
        return *value;
    throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(shown));
}

// A question answered "&Yes" or "&No" (Escape says No), sized to its text and centred on the
// screen rather than over the window. True for Yes.
bool askYesNo(QWidget *parent, QMessageBox::Icon icon, const QString &caption, const QString &text,
              const char *objectName, bool yesIsDefault)
{
    QMessageBox box(icon, caption, text, QMessageBox::NoButton, parent);
    box.setObjectName(QLatin1String(objectName));
    QPushButton *yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yesIsDefault ? yes : no);
    box.setEscapeButton(no);
    centreOnScreenWhenShown(&box);
    box.exec();
    return box.clickedButton() == yes;
}

QString startDayCaption(int season)
{
    return QStringLiteral("Start of %1 (days after jan 1st)").arg(name(kSeasonNames[std::size_t(season)]));
}

TToolbarButton97 *makeDropDown(QWidget *parent, const char *objectName, const QString &text, QMenu *menu,
                               const QRect &bounds)
{
    auto *button = placed(new TToolbarButton97(parent), objectName, bounds);
    button->setText(text);
    button->setAccessibleName(text);
    button->setMenu(menu);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
    return button;
}

QAction *makeAction(QMenu *menu, const char *objectName, const QString &text)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(QLatin1String(objectName));
    return action;
}

TToolbar97 *makeToolbar(QWidget *dock, const char *objectName, const QRect &bounds)
{
    return placed(new TToolbar97(QLatin1String(objectName), dock), objectName, bounds);
}

} // namespace

TWeather_Editor_::TWeather_Editor_(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Weather_Editor_"));
    setWindowTitle(kApplicationTitle);
    setWindowIcon(SvgIcon(QStringLiteral(":/icons/program.svg"), {32, 32}));
    setFont(EditorFont());

    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setAutoFillBackground(true);
    m_client->setBackgroundRole(QPalette::Button);
    m_client->installEventFilter(this);
    setCentralWidget(m_client);

    createToolbars(m_client);
    createRegionList(m_client);
    createSeasons(m_client);
    createStatusPanel(m_client);
    chainTabOrder();
    resize(kClientSize);
    centreOnScreenWhenShown(this);
    // Binding touches no file; doing it now as well keeps Open working where the window is
    // never activated (no window manager, or a test on the offscreen platform).
    BindClimateFile();
}

void TWeather_Editor_::createToolbars(QWidget *client)
{
    Dock971 = placed(new QWidget(client), "Dock971", {0, 0, kClientSize.width(), kDockHeight});

    file_popup = new QMenu(this);
    file_popup->setObjectName(QStringLiteral("file_popup"));
    QAction *Open1 = makeAction(file_popup, "Open1", QStringLiteral("Open"));
    QAction *Save1 = makeAction(file_popup, "Save1", QStringLiteral("Save"));
    file_popup->addSeparator()->setObjectName(QStringLiteral("N1"));
    QAction *Exit1 = makeAction(file_popup, "Exit1", QStringLiteral("Exit"));
    help_popup = new QMenu(this);
    help_popup->setObjectName(QStringLiteral("help_popup"));
    QAction *About1 = makeAction(help_popup, "About1", QStringLiteral("About..."));

    Toolbar972 = makeToolbar(Dock971, "Toolbar972", {0, 0, 113, kDockHeight});
    ToolbarButton978 = makeDropDown(Toolbar972, "ToolbarButton978", QStringLiteral("File"), file_popup, {11, 2, 50, 22});
    ToolbarButton972 = makeDropDown(Toolbar972, "ToolbarButton972", QStringLiteral("Help"), help_popup, {61, 2, 50, 22});

    Toolbar971 = makeToolbar(Dock971, "Toolbar971", {113, 0, 88, kDockHeight});
    Menu_Open = makeImageButton(Toolbar971, "Menu_Open", QStringLiteral("Open"), QStringLiteral(":/icons/open.svg"), {20, 20},
                                {11, 2, 23, 22});
    Menu_Save = makeImageButton(Toolbar971, "Menu_Save", QStringLiteral("Save"), QStringLiteral(":/icons/save.svg"), {14, 14},
                                {34, 2, 23, 22});
    auto *ToolbarSep971 = placed(new QFrame(Toolbar971), "ToolbarSep971", {57, 2, 6, 22});
    ToolbarSep971->setFrameShape(QFrame::VLine);
    ToolbarSep971->setFrameShadow(QFrame::Sunken);
    ToolbarButton971 = makeImageButton(Toolbar971, "ToolbarButton971", QStringLiteral("About"), QStringLiteral(":/icons/about.svg"),
                                       {18, 19}, {63, 2, 23, 22});

    connect(Menu_Open, &QToolButton::clicked, this, guarded(this, &TWeather_Editor_::Menu_OpenClick));
    connect(Open1, &QAction::triggered, this, guarded(this, &TWeather_Editor_::Menu_OpenClick));
    connect(Menu_Save, &QToolButton::clicked, this, guarded(this, &TWeather_Editor_::Menu_SaveClick));
    connect(Save1, &QAction::triggered, this, guarded(this, &TWeather_Editor_::Menu_SaveClick));
    connect(ToolbarButton971, &QToolButton::clicked, this, guarded(this, &TWeather_Editor_::ToolbarButton971Click));
    connect(About1, &QAction::triggered, this, guarded(this, &TWeather_Editor_::About1Click));
    connect(Exit1, &QAction::triggered, this, guarded(this, &TWeather_Editor_::Exit1Click));
}

void TWeather_Editor_::createRegionList(QWidget *client)
{
    auto *Label18 = makeLabel(client, "Label18", QStringLiteral("Countrys and Regions"), {8, 32, 126, 13});
    Label18->setAttribute(Qt::WA_TranslucentBackground);

    Regions_List = placed(new TListBox(client), "Regions_List", {8, 48, 161, 273});
    Regions_List->setFrameShape(QFrame::NoFrame);
    Regions_List->setUniformItemSizes(true);
    Regions_List->setSelectionMode(QAbstractItemView::SingleSelection);
    Regions_List->setAccessibleName(Label18->text());
    connect(Regions_List, &QListWidget::currentRowChanged, this, guarded(this, &TWeather_Editor_::Regions_ListClick));

    auto *Label19 = makeLabel(client, "Label19", QStringLiteral("Name : "), {176, 48, 46, 13});
    Region_Name = placed(new QLineEdit(client), "Region_Name", {232, 44, 169, 21});
    Region_Name->setReadOnly(true);
    Region_Name->setFrame(false);
    Region_Name->setAccessibleName(Label19->text());
}

void TWeather_Editor_::createSeasons(QWidget *client)
{
    QStringList tabs;
    for (std::string_view season : kSeasonNames)
        tabs << name(season);
    Seasons = placed(new TTabControl(tabs, 105, client), "Seasons", {176, 72, 424, 249});
    Seasons->setAccessibleName(QStringLiteral("Seasons"));
    connect(Seasons, &TTabControl::changed, this, guarded(this, &TWeather_Editor_::SeasonsChange));

    std::array<TGroupBox *, kGroups.size()> boxes{};
    for (std::size_t g = 0; g < kGroups.size(); ++g)
        boxes[g] = placed(new TGroupBox(QLatin1String(kGroups[g].title), Seasons), kGroups[g].name, kGroups[g].bounds);

    for (const ClimateValue &value : kClimateValues) {
        const bool startDay = value.group == ValueGroup::StartDay;
        QWidget *parent = Seasons;
        QRect labelBounds{8, 221, 0, 13};
        QRect editorBounds{224, 216, 49, 22};
        if (!startDay) {
            const auto g = std::size_t(std::find_if(kGroups.begin(), kGroups.end(),
                                                    [&](const GroupLayout &group) { return group.group == value.group; })
                                       - kGroups.begin());
            parent = boxes[g];
            labelBounds = {8, 21 + 24 * value.row, kGroups[g].labelWidth, 13};
            editorBounds = {kGroups[g].editorLeft, 16 + 24 * value.row, 48, 22};
        }
        // The level labels are fixed in size; the start-day label sizes itself to its wording.
        QLabel *label = startDay ? makeAutoSizeLabel(parent, value.labelName.data(), startDayCaption(0), labelBounds.topLeft())
                                 : makeLabel(parent, value.labelName.data(), name(value.label), labelBounds);
        if (!startDay)
            label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        else
            Label20 = label;

        auto *spin = placed(new TSpinEdit(parent), value.editorName.data(), editorBounds);
        spin->setBounds(value.minValue, value.maxValue);
        spin->setMaxLength(3);
        spin->setEnabled(false);
        spin->setAccessibleName(startDay ? QStringLiteral("Start day") : name(value.label).chopped(3));
        label->setBuddy(spin);
        m_editors[std::size_t(value.index)] = spin;
    }

    auto *reset = placed(new TToolbarButton97(Seasons), "ToolbarButton973", {8, 184, 121, 24});
    reset->setText(QStringLiteral("Reset season"));
    reset->setAccessibleName(reset->text());
    connect(reset, &QToolButton::clicked, this, guarded(this, &TWeather_Editor_::ToolbarButton973Click));

    auto *store = placed(new TToolbarButton97(Seasons), "ToolbarButton974", {136, 184, 141, 24});
    store->setText(QStringLiteral("Save season"));
    store->setAccessibleName(store->text());
    connect(store, &QToolButton::clicked, this, guarded(this, &TWeather_Editor_::ToolbarButton974Click));
}

void TWeather_Editor_::createStatusPanel(QWidget *client)
{
    Panel3 = placed(new QFrame(client), "Panel3",
                   {0, kClientSize.height() - kStatusHeight, kClientSize.width(), kStatusHeight});
    Panel3->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel3->setLineWidth(1);
    // Opaque: in a small window the panel lies over the list, whose entries must not show through.
    Panel3->setAutoFillBackground(true);
    Panel3->setBackgroundRole(QPalette::Button);
    Status = makeLabel(Panel3, "Status", QStringLiteral("Status"), {1, 2, 288, 15});
    Image1 = makePicture(Panel3, "Image1", QStringLiteral(":/icons/status.svg"), {kClientSize.width() - 16, 2, 15, 15},
                         QStringLiteral("Status picture"));
}

void TWeather_Editor_::chainTabOrder()
{
    QWidget *previous = Seasons->tabBar();
    auto chain = [&previous](QWidget *next) {
        QWidget::setTabOrder(previous, next);
        previous = next;
    };
    for (int v : kLevelsThenStartDay)
        chain(editor(v));
    chain(Regions_List);
    chain(Region_Name);
}

// The dock keeps to the top edge at full width and the status panel to the bottom edge;
// nothing else moves when the window is resized.
void TWeather_Editor_::placeEdgeControls()
{
    const QSize size = m_client->size();
    Dock971->setGeometry(0, 0, size.width(), kDockHeight);
    Panel3->setGeometry(0, size.height() - kStatusHeight, size.width(), kStatusHeight);
    Image1->move(size.width() - Image1->width() - 1, 2);
}

bool TWeather_Editor_::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        RunGuarded([this] { FormActivate(); });
    return QMainWindow::event(event);
}

bool TWeather_Editor_::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_client && event->type() == QEvent::Resize)
        placeEdgeControls();
    return QMainWindow::eventFilter(watched, event);
}

void TWeather_Editor_::Menu_OpenClick()
{
    Status->setText(QStringLiteral("Loading..."));
    Status->repaint();
    LoadClimateFile();
    Loaded = true;
    EnableEditors();
    DecodeTable();
    FillRegionList();
    m_selectingFromCode = true;
    Regions_List->setCurrentRow(0);
    m_selectingFromCode = false;
    CurrentRegion = m_rowSlots.empty() ? 0 : m_rowSlots.front();
    ShowSeason();
    Status->setText(QStringLiteral("Status"));
    if (!m_notice.isEmpty())
        showInformation(std::exchange(m_notice, {}));
}

void TWeather_Editor_::Menu_SaveClick()
{
    Status->setText(QStringLiteral("Saving..."));
    Status->repaint();
    // The table is empty until a file was read: saving it would empty the game's file.
    if (!Loaded) {
        showInformation(QStringLiteral("Open the file before saving it: nothing has been loaded yet"));
    } else if (confirmSave()) {
        SaveClimateFile();
    }
    Status->setText(QStringLiteral("Status"));
}

void TWeather_Editor_::ToolbarButton971Click()
{
    if (m_aboutBox)
        m_aboutBox->exec();
}

void TWeather_Editor_::About1Click()
{
    ToolbarButton971Click();
}

void TWeather_Editor_::Exit1Click()
{
    close();
}

void TWeather_Editor_::FormActivate()
{
    BindClimateFile();
}

bool TWeather_Editor_::confirmSave()
{
    return askYesNo(this, QMessageBox::Question, QStringLiteral("Confirm"), QStringLiteral("Save over the existing data?"),
                    "confirm", true);
}

void TWeather_Editor_::showInformation(const QString &text)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("information"));
    box.exec();
}


void TWeather_Editor_::BindClimateFile()
{
    climate::BindClimateFile(climate::ClimateFile);
}

void TWeather_Editor_::LoadClimateFile()
{
    m_notice = climate::LoadClimateFile(climate::ClimateFile, RegionTable, HeaderCountLine);
}

void TWeather_Editor_::SaveClimateFile()
{
    using storage::SaveOutcome;
    storage::SaveReport report = climate::SaveClimateFile(climate::ClimateFile, RegionTable, HeaderCountLine);
    if (report.outcome == SaveOutcome::Changed && confirmChangedFile(report))
        report = climate::SaveClimateFile(climate::ClimateFile, RegionTable, HeaderCountLine, true);
    if (report.outcome == SaveOutcome::ReadOnly)
        showInformation(QStringLiteral("The file is read-only"));
    else if (!report.notice.isEmpty())
        showInformation(report.notice);
}

// The name leads to another file than Open read (another program replaced or moved it, or
// put a link in its place): writing it is the user's decision, and No is the safe answer.
// The question names the file that would be written, and its owner when that is someone else.
bool TWeather_Editor_::confirmChangedFile(const storage::SaveReport &report)
{
    const QString path = QDir::toNativeSeparators(QDir::current().absoluteFilePath(
        climate::ResolveFileName(climate::ClimateFile.FileName)));
    QString text = QStringLiteral("%1 is no longer the file that was opened: it was replaced, moved or made a "
                                  "link since.").arg(path);
    const QString target = QDir::toNativeSeparators(report.target);
    if (!target.isEmpty() && target != path)
        text += QStringLiteral("\n\nSaving now writes %1%2").arg(target, report.owner.isEmpty() ? QStringLiteral(".") : QStringLiteral(", "));
    else if (!report.owner.isEmpty())
        text += QStringLiteral("\n\nIt is now ");
    if (!report.owner.isEmpty())
        text += QStringLiteral("%1's file.").arg(report.owner);
    return askYesNo(this, QMessageBox::Warning, kApplicationTitle, text + QStringLiteral("\n\nSave over it anyway?"),
                    "changedFile", false);
}

void TWeather_Editor_::DecodeTable()
{
    climate::DecodeTable(RegionTable);
}

void TWeather_Editor_::EnableEditors()
{
    for (int v : kLevelsThenStartDay)
        editor(v)->setEnabled(true);
}

void TWeather_Editor_::FillRegionList()
{
    m_selectingFromCode = true;
    Regions_List->clear();
    m_rowSlots.clear();
    for (int slot = 0; slot < kRegionSlots; ++slot) {
        const TRegionRecord &region = RegionTable[std::size_t(slot)];
        if (!region.isUsed())
            continue;
        auto *item = new QListWidgetItem(climate::FromWindows1252(region.Name), Regions_List);
        item->setSizeHint({1, kListItemHeight}); // as wide as the list, 13 pixels high
        m_rowSlots.push_back(quint8(slot));
    }
    m_selectingFromCode = false;
}

void TWeather_Editor_::ShowSeason()
{
    const TRegionRecord &region = RegionTable[CurrentRegion];
    const TSeasonRecord &season = region.Season[std::size_t(Seasons->currentIndex())];
    Region_Name->setText(climate::FromWindows1252(region.Name));
    for (int v = 0; v < kValueCount; ++v)
        editor(v)->setValue(valueOf(season.Values[std::size_t(v)]));
}


void TWeather_Editor_::Regions_ListClick()
{
    const int row = Regions_List->currentRow();
    if (m_selectingFromCode || row < 0 || std::size_t(row) >= m_rowSlots.size())
        return;
    CurrentRegion = m_rowSlots[std::size_t(row)];
    ShowSeason();
}

void TWeather_Editor_::SeasonsChange()
{
    if (Loaded)
        ShowSeason();
    Label20->setText(startDayCaption(Seasons->currentIndex()));
    Label20->setAccessibleName(Label20->text());
    fitToText(Label20);
}

void TWeather_Editor_::ToolbarButton973Click()
{
    ShowSeason();
}

void TWeather_Editor_::ToolbarButton974Click()
{
    TSeasonRecord &season = RegionTable[CurrentRegion].Season[std::size_t(Seasons->currentIndex())];
    for (int v : kLevelsThenStartDay) {
        TSpinEdit *spin = editor(v);
        // A value typed into the focused editor has not been clamped yet: it is clamped here,
        // as leaving the editor would, so the file never gets a value out of range.
        const int value = spin->clampedValue();
        if (spin->isOutOfRange())
            spin->setValue(value);
        season.Values[std::size_t(v)] = QByteArray::number(value);
    }
}
