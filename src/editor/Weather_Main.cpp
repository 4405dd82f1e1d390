#include "Weather_Main.h"

#include "ClimateExchange.h"
#include "EditorFont.h"
#include "Failure.h"
#include "GameFolder.h"
#include "Layout.h"
#include "LicencesBox.h"
#include "Pictures.h"
#include "RegionListModel.h"
#include "TListBox.h"
#include "TSpinEdit.h"
#include "TStatusLine.h"
#include "TTabControl.h"
#include "TToolbar97.h"
#include "TToolbarButton97.h"
#include "TextConversion.h"
#include "ValueRules.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScopeGuard>
#include <QSessionManager>
#include <QSignalBlocker>
#include <QTimer>

#include <utility>

namespace {

constexpr QSize kClientSize{606, 348};
constexpr int kDockHeight = 26;
constexpr int kStatusHeight = 19;
constexpr int kStatusWidth = 288;
constexpr int kListItemHeight = 13;
constexpr int kStartDay = kClimateValues[0].index; // the season's first day, shown below the groups

QString startDayCaption(int season)
{
    return QStringLiteral("Start of %1 (days after jan 1st)").arg(climate::SeasonName(season));
}

TToolbar97 *makeToolbar(QWidget *dock, const char *objectName, const QRect &bounds)
{
    return placed(new TToolbar97(QLatin1String(objectName), dock), objectName, bounds);
}

} // namespace

TWeather_Editor_::TWeather_Editor_(QWidget *parent)
    : QMainWindow(parent)
    , m_document(new ClimateDocument(this))
    , m_conversation(*m_document, *this, &m_boxes)
{
    setObjectName(QStringLiteral("Weather_Editor_"));
    setWindowTitle(kApplicationTitle + QStringLiteral("[*]"));
    m_document->setWaiter(WaitVisibly); // a save or Open that waits for another program shows it
    UseProgramIcon();
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
    // Every control stands at its written place: a smaller window would cut some off and leave
    // Tab walking into what cannot be seen.
    setMinimumSize(kClientSize);
    centreOnScreenWhenShown(this);

    connect(m_document, &ClimateDocument::seasonChanged, this, &TWeather_Editor_::seasonChanged);
    connect(m_document, &ClimateDocument::tableReset, this, &TWeather_Editor_::tableReset);
    connect(&m_document->undoStack(), &QUndoStack::cleanChanged, this, &TWeather_Editor_::updateModified);
    connect(m_document, &ClimateDocument::recoveryFailed, this, [this](const QString &message) { setStatus(message); });
}

// One command: its text, shortcut and tooltip, shared by its menu entry and its toolbar
// button. Added to the window, its shortcut works wherever the focus is.
QAction *TWeather_Editor_::makeCommand(const char *objectName, const QString &text, const QKeySequence &shortcut,
                                       void (TWeather_Editor_::*handler)())
{
    auto *action = new QAction(text, this);
    action->setObjectName(QLatin1String(objectName));
    action->setShortcut(shortcut);
    action->setToolTip(QStringLiteral("%1 (%2)").arg(text, shortcut.toString(QKeySequence::NativeText)));
    action->setIconVisibleInMenu(false);
    connect(action, &QAction::triggered, this, &TWeather_Editor_::clearRefusal);
    connect(action, &QAction::triggered, this, guarded(this, handler));
    addAction(action);
    return action;
}

void TWeather_Editor_::createToolbars(QWidget *client)
{
    Dock971 = placed(new QWidget(client), "Dock971", {0, 0, kClientSize.width(), kDockHeight});

    // Where the platform has no key to quit (Windows closes a window with Alt+F4), Ctrl+Q.
    const QKeySequence quit = QKeySequence(QKeySequence::Quit).isEmpty() ? QKeySequence(Qt::CTRL | Qt::Key_Q)
                                                                        : QKeySequence(QKeySequence::Quit);
    QAction *Open1 = makeCommand("Open1", QStringLiteral("Open"), QKeySequence::Open, &TWeather_Editor_::Menu_OpenClick);
    QAction *Save1 = makeCommand("Save1", QStringLiteral("Save"), QKeySequence::Save, &TWeather_Editor_::Menu_SaveClick);
    QAction *Exit1 = makeCommand("Exit1", QStringLiteral("Exit"), quit, &TWeather_Editor_::Exit1Click);
    QAction *About1 = makeCommand("About1", QStringLiteral("About..."), Qt::Key_F1, &TWeather_Editor_::About1Click);
    Open1->setIcon(SvgIcon(QStringLiteral(":/icons/open.svg"), {20, 20}));
    Save1->setIcon(SvgIcon(QStringLiteral(":/icons/save.svg"), {14, 14}));
    About1->setIcon(SvgIcon(QStringLiteral(":/icons/about.svg"), {18, 19}));

    QAction *undo = makeCommand("Undo1", QStringLiteral("Undo"), QKeySequence::Undo, &TWeather_Editor_::UndoClick);
    QAction *redo = makeCommand("Redo1", QStringLiteral("Redo"), QKeySequence::Redo, &TWeather_Editor_::RedoClick);
    QAction *copySeason = makeCommand("CopySeason", QStringLiteral("Copy season"), Qt::CTRL | Qt::SHIFT | Qt::Key_C,
                                      &TWeather_Editor_::CopySeasonClick);
    QAction *pasteSeason = makeCommand("PasteSeason", QStringLiteral("Paste season"), Qt::CTRL | Qt::SHIFT | Qt::Key_V,
                                       &TWeather_Editor_::PasteSeasonClick);
    QAction *worldTable = makeCommand("WorldTable1", QStringLiteral("World table..."), Qt::CTRL | Qt::Key_T,
                                      &TWeather_Editor_::WorldTable1Click);

    file_popup = new QMenu(this);
    file_popup->setObjectName(QStringLiteral("file_popup"));
    file_popup->addActions({Open1, Save1});
    file_popup->addSeparator()->setObjectName(QStringLiteral("N1"));
    file_popup->addActions({undo, redo});
    file_popup->addSeparator()->setObjectName(QStringLiteral("N3"));
    file_popup->addActions({copySeason, pasteSeason, worldTable});
    file_popup->addSeparator()->setObjectName(QStringLiteral("N2"));
    file_popup->addAction(Exit1);
    help_popup = new QMenu(this);
    help_popup->setObjectName(QStringLiteral("help_popup"));
    help_popup->addAction(About1);
    QAction *Licences1 = makeCommand("Licences1", QStringLiteral("Licences..."), {}, &TWeather_Editor_::Licences1Click);
    Licences1->setToolTip({});
    help_popup->addAction(Licences1);
    QAction *LastMessage1 = makeCommand("LastMessage1", QStringLiteral("Last message..."), {},
                                        &TWeather_Editor_::LastMessage1Click);
    LastMessage1->setToolTip({});
    help_popup->addAction(LastMessage1);
    // Qt's own box: the Qt the program is built with, and its licence (the LGPL's notice).
    QAction *aboutQt = help_popup->addAction(QStringLiteral("About Qt"));
    aboutQt->setObjectName(QStringLiteral("AboutQt"));
    connect(aboutQt, &QAction::triggered, this, [this] { QMessageBox::aboutQt(this); });

    Toolbar972 = makeToolbar(Dock971, "Toolbar972", {0, 0, 113, kDockHeight});
    Toolbar972->setAccessibleName(QStringLiteral("Menus"));
    ToolbarButton978 = makeDropDown(Toolbar972, "ToolbarButton978", QStringLiteral("&File"), file_popup, {11, 2, 50, 22});
    ToolbarButton972 = makeDropDown(Toolbar972, "ToolbarButton972", QStringLiteral("&Help"), help_popup, {61, 2, 50, 22});
    // As on a menu bar: F10 opens the first menu, Left and Right go from one menu to the other.
    QAction *menus = makeCommand("OpenMenus", QStringLiteral("Menus"), Qt::Key_F10, &TWeather_Editor_::OpenMenusClick);
    menus->setToolTip({});
    chainMenus(ToolbarButton978, ToolbarButton972);

    Toolbar971 = makeToolbar(Dock971, "Toolbar971", {113, 0, 88, kDockHeight});
    Toolbar971->setAccessibleName(QStringLiteral("File commands and About"));
    Menu_Open = makeCommandButton(Toolbar971, "Menu_Open", Open1, {20, 20}, {11, 2, 23, 22});
    Menu_Save = makeCommandButton(Toolbar971, "Menu_Save", Save1, {14, 14}, {34, 2, 23, 22});
    makeSeparator(Toolbar971, "ToolbarSep971", {57, 2, 6, 22});
    ToolbarButton971 = makeCommandButton(Toolbar971, "ToolbarButton971", About1, {18, 19}, {63, 2, 23, 22});
}

void TWeather_Editor_::createRegionList(QWidget *client)
{
    auto *Label18 = makeLabel(client, "Label18", QStringLiteral("Countrys and Regions"), {8, 32, 126, 13});
    Label18->setAttribute(Qt::WA_TranslucentBackground);

    Regions_List = placed(new TListBox(client), "Regions_List", {8, 48, 161, 273});
    Regions_List->setFrameShape(QFrame::NoFrame);
    Regions_List->setItemHeight(kListItemHeight);
    Regions_List->setAccessibleName(Label18->text());
    m_regions = new RegionListModel(*m_document, this);
    Regions_List->setModel(m_regions);
    connect(Regions_List, &TListBox::currentRowChanged, this, guarded(this, &TWeather_Editor_::Regions_ListClick));

    makeLabel(client, "Label19", QStringLiteral("Name : "), {176, 48, 46, 13});
    Region_Name = placed(new QLineEdit(client), "Region_Name", {232, 44, 169, 21});
    Region_Name->setReadOnly(true);
    Region_Name->setFrame(false);
    Region_Name->setAccessibleName(QStringLiteral("Region"));
}

void TWeather_Editor_::createSeasons(QWidget *client)
{
    QStringList tabs;
    for (int season = 0; season < kSeasonCount; ++season)
        tabs << climate::SeasonName(season);
    Seasons = placed(new TTabControl(tabs, 105, client), "Seasons", {176, 72, 424, 249});
    Seasons->setAccessibleName(QStringLiteral("Seasons"));
    for (QToolButton *scroll : Seasons->tabBar()->findChildren<QToolButton *>())
        scroll->setFocusPolicy(Qt::NoFocus); // hidden while all four tabs fit
    // Switched from elsewhere (Ctrl+Tab in a field), the season shown is said (before its
    // eighteen fields change, which a screen reader may take for a flood and skip what follows);
    // on the strip, the strip says it.
    connect(Seasons, &TTabControl::changed, this, [this] {
        if (!Seasons->tabBar()->hasFocus())
            m_notice->say(Seasons->tabBar()->tabText(Seasons->currentIndex()));
    });
    connect(Seasons, &TTabControl::changed, this, guarded(this, &TWeather_Editor_::SeasonsChange));

    m_editors = std::make_unique<SeasonEditors>(Seasons, [this] { noteTyping(); });
    Label20 = m_editors->startDayLabel();
    rewordStartDay();

    QAction *reset = makeCommand("ResetSeason", QStringLiteral("Reset season"), Qt::CTRL | Qt::Key_R,
                                 &TWeather_Editor_::ToolbarButton973Click);
    QAction *store = makeCommand("SaveSeason", QStringLiteral("Save season"), Qt::CTRL | Qt::Key_Return,
                                 &TWeather_Editor_::ToolbarButton974Click);
    store->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(QKeyCombination(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Enter))});
    // From any control, as tab widgets change their page.
    QAction *next = makeCommand("NextSeason", QStringLiteral("Next season"), Qt::CTRL | Qt::Key_Tab,
                                &TWeather_Editor_::NextSeasonClick);
    next->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)});
    QAction *previous = makeCommand("PreviousSeason", QStringLiteral("Previous season"), Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab,
                                    &TWeather_Editor_::PreviousSeasonClick);
    previous->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), QKeySequence(Qt::CTRL | Qt::Key_PageUp)});
    makeCommandButton(Seasons, "ToolbarButton973", reset, {}, {8, 184, 121, 24});
    makeCommandButton(Seasons, "ToolbarButton974", store, {}, {136, 184, 141, 24});
}

void TWeather_Editor_::createStatusPanel(QWidget *client)
{
    Panel3 = placed(new TStatusBar(client), "Panel3",
                   {0, kClientSize.height() - kStatusHeight, kClientSize.width(), kStatusHeight});
    Panel3->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel3->setLineWidth(1);
    // Opaque: in a small window the panel lies over the list, whose entries must not show through.
    Panel3->setAutoFillBackground(true);
    Panel3->setBackgroundRole(QPalette::Button);
    Status = placed(new TStatusLine(QStringLiteral("Status"), Panel3), "Status", {1, 2, kStatusWidth, 15});
    m_notice = placed(new TNotice(Panel3), "Notice", {0, 0, 0, 0});
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
    for (int v : SeasonEditors::order())
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
    // The status line grows with the window, from its written width, so that a wider window
    // shows more of a long message.
    Status->resize(std::max(kStatusWidth, kStatusWidth + size.width() - kClientSize.width()), Status->height());
}

bool TWeather_Editor_::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_client && event->type() == QEvent::Resize)
        placeEdgeControls();
    return QMainWindow::eventFilter(watched, event);
}

// The first focus shows its ring, as every later one does, once the window is active.
void TWeather_Editor_::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !isActiveWindow() || m_firstFocusShown)
        return;
    m_firstFocusShown = true;
    setAttribute(Qt::WA_KeyboardFocusChange); // what a Tab would have set: focus is drawn from now on
    QWidget *focused = focusWidget() ? focusWidget() : Seasons->tabBar();
    focused->setFocus(Qt::TabFocusReason);
    focused->update();
}

void TWeather_Editor_::OpenMenusClick()
{
    openDropDown(ToolbarButton978);
}

void TWeather_Editor_::NextSeasonClick()
{
    Seasons->setCurrentIndex((Seasons->currentIndex() + 1) % kSeasonCount);
}

void TWeather_Editor_::PreviousSeasonClick()
{
    Seasons->setCurrentIndex((Seasons->currentIndex() + kSeasonCount - 1) % kSeasonCount);
}

void TWeather_Editor_::setStatus(const QString &text, bool refusal)
{
    m_refusalShown = refusal;
    Status->setMessage(text);
}

// A refusal is over once the user does something else.
void TWeather_Editor_::clearRefusal()
{
    if (m_refusalShown)
        setStatus(QStringLiteral("Status"));
}


// Open: reads data/weather.cfg into the table and shows its first region, once what was
// typed or kept is settled; without a game in the game folder, asks for the game folder.
void TWeather_Editor_::Menu_OpenClick()
{
    if (!m_conversation.leaveSeason() || !m_conversation.leaveFile())
        return;
    if (!QFileInfo(QFileInfo(m_document->filePath()).path()).isDir() && !EnsureGameFolder(this, *m_document))
        return;
    setStatus(QStringLiteral("Loading..."));
    Status->repaint();
    const QString notice = m_document->open();
    Loaded = true;
    EnableEditors();
    FillRegionList();
    selectRow(0);
    CurrentRegion = m_regions->rowCount() ? m_regions->slotAt(0) : 0;
    ShowSeason();
    setStatus(QStringLiteral("Status"));
    // On the list, with its ring: the arrows move through the regions at once.
    Regions_List->setFocus(Qt::TabFocusReason);
    if (!notice.isEmpty())
        m_conversation.questions().tell(notice);
    m_conversation.offerRecovery();
}

// Selects a row of the region list as the program does, which is no choice of the user's.
void TWeather_Editor_::selectRow(int row)
{
    m_selectingFromCode = true;
    Regions_List->setCurrentRow(row);
    m_selectingFromCode = false;
}

// Save: writes the table over data/weather.cfg once the user confirmed it.
void TWeather_Editor_::Menu_SaveClick()
{
    setStatus(QStringLiteral("Saving..."));
    Status->repaint();
    const auto done = qScopeGuard([this] { setStatus(QStringLiteral("Status")); }); // however the save ends
    // The table is empty until a file was read: saving it would empty the game's file.
    if (!Loaded)
        m_conversation.questions().tell(QStringLiteral("Open the file before saving it: nothing has been loaded yet"));
    else if (m_conversation.leaveSeason())
        m_conversation.save();
}

// About, from the toolbar: the About box, modal.
void TWeather_Editor_::ToolbarButton971Click()
{
    if (m_aboutBox)
        m_aboutBox->exec();
}

// About, from the Help menu and F1: the same.
void TWeather_Editor_::About1Click()
{
    ToolbarButton971Click();
}

// Licences, from the Help menu: the licences and notices, in a window made on first use.
void TWeather_Editor_::Licences1Click()
{
    if (!m_licencesBox)
        m_licencesBox = new TLicencesBox(this);
    m_licencesBox->exec();
}

// World table, from the File menu: every region and season in a window of its own, made on
// first use by whoever wired the program (it is a view of the same document).
void TWeather_Editor_::WorldTable1Click()
{
    if (!m_worldTable && m_makeWorldTable)
        m_worldTable = m_makeWorldTable(*this);
    if (!m_worldTable)
        return;
    m_worldTable->show();
    m_worldTable->raise();
    m_worldTable->activateWindow();
}

// Before a change made elsewhere in the document: what was typed here and not kept is settled.
bool TWeather_Editor_::settleTyping()
{
    clearRefusal();
    bool settled = false;
    RunGuarded([&] { settled = m_conversation.leaveSeason(); });
    return settled;
}

// A region's season chosen elsewhere (the world table), shown here once what was typed is settled.
void TWeather_Editor_::showSeasonOf(SeasonKey key)
{
    if (!Loaded || (key.slot == CurrentRegion && key.season == Seasons->currentIndex()))
        return;
    if (!settleTyping())
        return;
    CurrentRegion = quint8(key.slot);
    selectRow(m_regions->rowOf(key.slot));
    {
        const QSignalBlocker quiet(Seasons);
        Seasons->setCurrentIndex(key.season);
    }
    ShowSeason();
    rewordStartDay();
}

// Last message, from the Help menu: the status line's last message whole, for whoever cannot
// read it there (cut short, or out of a keyboard's reach in its tooltip).
void TWeather_Editor_::LastMessage1Click()
{
    m_conversation.questions().tell(Status->lastMessage());
}

// Exit: closes the window, which ends the program (closeEvent asks what is to be kept).
void TWeather_Editor_::Exit1Click()
{
    close();
}

namespace {

// The number field that has the focus, while it holds typing it can take back itself.
QLineEdit *fieldWithOwnHistory(bool redo)
{
    auto *spin = qobject_cast<TSpinEdit *>(QApplication::focusWidget());
    QLineEdit *field = spin ? spin->lineEdit() : nullptr;
    if (!field)
        return nullptr;
    return (redo ? field->isRedoAvailable() : field->isUndoAvailable()) ? field : nullptr;
}

} // namespace

// Undo: what was typed into the focused field first, as in any text field, then what was typed
// into the season and not kept; then the table's last change (a kept, reset, pasted or
// restored season).
void TWeather_Editor_::UndoClick()
{
    if (QLineEdit *field = fieldWithOwnHistory(false)) {
        field->undo();
    } else if (seasonEdited()) {
        const SeasonEditors::Texts typing = m_editors->texts();
        ShowSeason();
        m_editors->keepForRedo(typing);
    } else {
        walkHistory(&QUndoStack::undo);
    }
}

// Redo: what the focused field can redo, then the season's typing that Undo dropped, then the
// table's next change.
void TWeather_Editor_::RedoClick()
{
    if (QLineEdit *field = fieldWithOwnHistory(true)) {
        field->redo();
    } else if (!m_editors->redoTyping()) {
        walkHistory(&QUndoStack::redo);
    }
}

// A step of the table's history, shown where it happens: the season it changes comes into view,
// whichever region and season were shown.
void TWeather_Editor_::walkHistory(void (QUndoStack::*step)())
{
    m_walkingHistory = true;
    (m_document->undoStack().*step)();
    m_walkingHistory = false;
}

// Exit and the close box: nothing typed or kept is lost without the user's say.
void TWeather_Editor_::closeEvent(QCloseEvent *event)
{
    bool leave = m_leaving;
    if (!leave)
        RunGuarded([&] { leave = m_conversation.leaveSeason() && m_conversation.leaveFile(); });
    if (leave) {
        event->accept();
        if (m_worldTable) // a view of this window's file: it goes with it, and so does the program
            m_worldTable->close();
    } else {
        event->ignore();
    }
}

void TWeather_Editor_::commitData(QSessionManager &manager)
{
    if (!manager.allowsInteraction()) {
        keepWorkAndLeave();
        return;
    }
    bool settled = false;
    RunGuarded([&] { settled = m_conversation.leaveSeason() && m_conversation.leaveFile(); });
    manager.release();
    if (!settled)
        manager.cancel(); // settled, nothing is left to ask when the window closes
}

// The record holds the kept seasons and what is typed in the shown one; a question still open
// ends with no answer, which changes nothing.
void TWeather_Editor_::keepWorkAndLeave()
{
    RunGuarded([this] {
        noteTyping();
        m_document->keepRecovery();
    });
    m_leaving = true;
    close();
    QCoreApplication::exit(0);
}

void TWeather_Editor_::EnableEditors()
{
    m_editors->enable();
}

void TWeather_Editor_::FillRegionList()
{
    m_selectingFromCode = true;
    m_regions->refill();
    m_selectingFromCode = false;
}

void TWeather_Editor_::ShowSeason()
{
    // What the editors show now is the season as shown, even when a value stops the showing.
    const auto shown = qScopeGuard([this] { noteShownSeason(); });
    const TSeasonRecord &season = m_document->region(CurrentRegion).Season[std::size_t(Seasons->currentIndex())];
    Region_Name->setText(m_document->regionName(CurrentRegion));
    m_editors->show(season.Values);
}

void TWeather_Editor_::noteShownSeason()
{
    m_shownSeason = Seasons->currentIndex();
    m_editors->noteShown();
    noteTyping();
}

// What is typed and not kept goes into the record too, once the editors have settled (a
// season shown sets all eighteen).
void TWeather_Editor_::noteTyping()
{
    updateModified();
    if (!Loaded)
        return;
    m_document->setTyping(shownSeason(), seasonEdited() ? std::optional(editorNumbers()) : std::nullopt);
}

QString TWeather_Editor_::typedSeason() const
{
    return QStringLiteral("%1, %2").arg(m_document->regionName(CurrentRegion), climate::SeasonName(m_shownSeason));
}

void TWeather_Editor_::showTyped(const RecordedSeason &season)
{
    bringIntoView(season.key);
    ShowSeason();
    m_editors->set(season.values);
}

// Selects the region and the season tab, which with nothing typed shows the season at once.
void TWeather_Editor_::bringIntoView(SeasonKey key)
{
    selectRow(m_regions->rowOf(key.slot));
    CurrentRegion = quint8(key.slot);
    Seasons->setCurrentIndex(key.season);
}

SeasonKey TWeather_Editor_::shownSeason() const
{
    return {CurrentRegion, m_shownSeason};
}

// Changed since the season was shown, that is, typed or stepped and neither kept nor reset.
bool TWeather_Editor_::seasonEdited() const
{
    return Loaded && m_editors->typed();
}

// The title's mark: changes not saved (the history is away from its saved point), or editors
// changed but not kept.
void TWeather_Editor_::updateModified()
{
    setWindowModified((Loaded && m_document->isModified()) || seasonEdited());
}

// A season the document changed (kept, reset, pasted, restored, undone, redone): the editors
// show it again when it is the one shown; one that Undo or Redo changed is brought into view.
void TWeather_Editor_::seasonChanged(SeasonKey key)
{
    const auto shown = [&] { return key == shownSeason() && key.season == Seasons->currentIndex(); };
    if (Loaded && m_walkingHistory && !seasonEdited() && !shown())
        bringIntoView(key);
    if (Loaded && shown())
        RunGuarded([this] { ShowSeason(); });
    updateModified();
}

// The whole table changed under the window (a merge): the list again, the same region where
// it is still there.
void TWeather_Editor_::tableReset()
{
    if (!Loaded)
        return;
    // Its own slot while that holds it (a copy of the region elsewhere is another region).
    const QString shownName = Region_Name->text();
    int row = m_document->regionName(CurrentRegion) == shownName ? m_regions->rowOf(CurrentRegion) : -1;
    for (int other = m_regions->rowCount() - 1; row < 0 && other >= 0; --other)
        row = m_document->regionName(m_regions->slotAt(other)) == shownName ? other : -1;
    row = std::max(row, 0);
    selectRow(row);
    CurrentRegion = m_regions->rowCount() ? m_regions->slotAt(row) : 0;
    RunGuarded([this] { ShowSeason(); });
}

// A region chosen in the list, by mouse or keyboard: shows its season, once what was typed
// into the one shown is settled (Cancel keeps the selection where it was).
void TWeather_Editor_::Regions_ListClick()
{
    const int row = Regions_List->currentRow();
    if (m_selectingFromCode || row < 0 || row >= m_regions->rowCount())
        return;
    clearRefusal();
    if (!m_conversation.leaveSeason()) {
        // Now, and again once the click that chose the row has selected it.
        const int shown = m_regions->rowOf(CurrentRegion);
        selectRow(shown);
        QTimer::singleShot(0, this, [this, shown] { selectRow(shown); });
        return;
    }
    CurrentRegion = quint8(m_regions->slotAt(row));
    ShowSeason();
}

// Another season tab: shows that season of the region and rewords the start-day label, once
// what was typed into the one shown is settled (Cancel keeps the tab where it was).
void TWeather_Editor_::SeasonsChange()
{
    clearRefusal();
    if (Loaded && !m_conversation.leaveSeason()) {
        const QSignalBlocker quiet(Seasons);
        Seasons->setCurrentIndex(m_shownSeason);
        return;
    }
    if (Loaded)
        ShowSeason();
    rewordStartDay();
}

// The start-day label names the season shown, for a screen reader on its field too.
void TWeather_Editor_::rewordStartDay()
{
    Label20->setText(startDayCaption(Seasons->currentIndex()));
    Label20->setAccessibleName(Label20->text());
    editor(kStartDay)->setAccessibleName(Label20->text());
    editor(kStartDay)->lineEdit()->setAccessibleName(Label20->text());
    fitToText(Label20);
}

SeasonNumbers TWeather_Editor_::editorNumbers() const
{
    return m_editors->numbers();
}

// "Copy season": the eighteen values the editors show, as they read them, onto the clipboard
// as one tab-separated row, which a spreadsheet pastes as a row.
void TWeather_Editor_::CopySeasonClick()
{
    QGuiApplication::clipboard()->setText(climate::SeasonRow(editorNumbers()));
}

// "Paste season": such a row becomes the shown season's values, kept at once (each within its
// bounds) and undone as one step, once what was typed over them is settled. A clipboard
// without one changes nothing, and the status line says why.
void TWeather_Editor_::PasteSeasonClick()
{
    QString why;
    const std::optional<SeasonNumbers> values = climate::ParseSeasonRow(QGuiApplication::clipboard()->text(), why);
    if (!Loaded)
        why = QStringLiteral("open the file before pasting a season");
    if (!values || !Loaded) {
        setStatus(why.left(1).toUpper() + why.mid(1), true);
        return;
    }
    if (!m_conversation.leaveSeason())
        return;
    if (!m_document->keepSeason(shownSeason(), *values, QStringLiteral("Paste into")))
        ShowSeason(); // the same values: what was typed over them goes
    setStatus(QStringLiteral("Status"));
}

// "Reset season": shows the table's values again, dropping what was typed. A kept season stays
// kept: Undo takes it back.
void TWeather_Editor_::ToolbarButton973Click()
{
    ShowSeason();
}

// "Save season": keeps the eighteen values in the table, for Save to write.
void TWeather_Editor_::ToolbarButton974Click()
{
    storeSeason(Seasons->currentIndex());
}

// The editors' values, each clamped as leaving the editor would, become the season's values;
// the editors then show what was kept (an emptied field shows its lowest value, as it is written).
void TWeather_Editor_::storeSeason(int seasonIndex)
{
    const SeasonNumbers numbers = editorNumbers();
    if (!Loaded || !m_document->keepSeason({CurrentRegion, seasonIndex}, numbers, QStringLiteral("Keep"))) {
        m_editors->set(numbers);
        if (seasonIndex == Seasons->currentIndex())
            noteShownSeason();
    }
    updateModified();
}
