#pragma once

#include "ClimateDocument.h"
#include "ClimateValues.h"
#include "FileConversation.h"
#include "MessageBoxQuestions.h"
#include "SeasonEditors.h"

#include <QByteArray>
#include <QMainWindow>

#include <array>
#include <functional>
#include <optional>
#include <vector>

class QAction;
class QCloseEvent;
class QKeySequence;
class QDialog;
class QFrame;
class TStatusBar;
class TNotice;
class QLabel;
class QLineEdit;
class RegionListModel;
class TListBox;
class QMenu;
class QSessionManager;
class TSpinEdit;
class TStatusLine;
class TTabControl;
class TToolbar97;
class TToolbarButton97;

// The editor's main window: the region list, the season tabs with their eighteen editors,
// the toolbar and the status line, and the commands and questions that tie them to the
// document, which holds the table and does the work.
class TWeather_Editor_ : public QMainWindow, private TypedWork
{
    Q_OBJECT

public:
    explicit TWeather_Editor_(QWidget *parent = nullptr);

    void setAboutBox(QDialog *aboutBox) { m_aboutBox = aboutBox; }
    // Makes the world table (a window of its own over this window's document) on first use.
    using ViewMaker = std::function<QWidget *(TWeather_Editor_ &window)>;
    void setWorldTableMaker(ViewMaker make) { m_makeWorldTable = std::move(make); }
    // A region's season chosen in another view: shown here, once what was typed is settled.
    void showSeasonOf(SeasonKey key);
    // What was typed and not kept, settled as leaving the season does (asked about); false when
    // the user cancelled.
    bool settleTyping();
    ClimateDocument &document() { return *m_document; }
    // Who answers the questions about the file: message boxes, unless a test scripts them.
    void setQuestions(FileQuestions *questions) { m_conversation.setQuestions(questions ? questions : &m_boxes); }

    // Commands and events.
    void Menu_OpenClick();
    void Menu_SaveClick();
    void ToolbarButton971Click();
    void About1Click();
    void Licences1Click();
    void LastMessage1Click();
    void WorldTable1Click();
    void Exit1Click();
    void UndoClick();
    void RedoClick();
    void OpenMenusClick();
    void NextSeasonClick();
    void PreviousSeasonClick();
    void Regions_ListClick();
    void SeasonsChange();
    void ToolbarButton973Click();
    void ToolbarButton974Click();
    void CopySeasonClick();
    void PasteSeasonClick();

    void EnableEditors();
    void FillRegionList();
    void ShowSeason();

    // The session ends: asks what to keep where the session allows it; otherwise keeps the
    // typed and kept work in the recovery record and lets the window close without a question.
    void commitData(QSessionManager &manager);
    // Keeps what was typed as kept, records all that is unsaved, and closes without a question:
    // for a signal to end, or a session that allows no question.
    void keepWorkAndLeave();

    bool Loaded = false;
    quint8 CurrentRegion = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QAction *makeCommand(const char *objectName, const QString &text, const QKeySequence &shortcut,
                         void (TWeather_Editor_::*handler)());
    void createToolbars(QWidget *client);
    void createRegionList(QWidget *client);
    void createSeasons(QWidget *client);
    void createStatusPanel(QWidget *client);
    void chainTabOrder();
    void placeEdgeControls();
    void storeSeason(int seasonIndex);
    void noteShownSeason();
    void noteTyping();
    void rewordStartDay();
    bool seasonEdited() const;
    void updateModified();
    void walkHistory(void (QUndoStack::*step)());
    // The editors as the conversation about the file sees them.
    bool typed() const override { return seasonEdited(); }
    QString typedSeason() const override;
    void keepTyped() override { storeSeason(m_shownSeason); }
    void dropTyped() override { ShowSeason(); }
    void showTyped(const RecordedSeason &season) override;
    void bringIntoView(SeasonKey key);
    void seasonChanged(SeasonKey key);
    void tableReset();
    void selectRow(int row);
    SeasonKey shownSeason() const;
    SeasonNumbers editorNumbers() const;
    void setStatus(const QString &text, bool refusal = false);
    void clearRefusal();
    TSpinEdit *editor(int valueIndex) const { return m_editors->at(valueIndex); }

    QWidget *m_client = nullptr;
    QWidget *Dock971 = nullptr;
    TToolbar97 *Toolbar972 = nullptr;
    TToolbar97 *Toolbar971 = nullptr;
    TToolbarButton97 *ToolbarButton978 = nullptr;
    TToolbarButton97 *ToolbarButton972 = nullptr;
    TToolbarButton97 *Menu_Open = nullptr;
    TToolbarButton97 *Menu_Save = nullptr;
    TToolbarButton97 *ToolbarButton971 = nullptr;
    QMenu *file_popup = nullptr;
    QMenu *help_popup = nullptr;
    TListBox *Regions_List = nullptr;
    QLineEdit *Region_Name = nullptr;
    TTabControl *Seasons = nullptr;
    QLabel *Label20 = nullptr;
    TStatusBar *Panel3 = nullptr;
    TStatusLine *Status = nullptr;
    TNotice *m_notice = nullptr;
    QWidget *m_worldTable = nullptr;
    ViewMaker m_makeWorldTable;
    QLabel *Image1 = nullptr;
    std::unique_ptr<SeasonEditors> m_editors;

    RegionListModel *m_regions = nullptr;
    bool m_selectingFromCode = false;
    bool m_walkingHistory = false; // Undo or Redo changes the table: show what it changes
    QDialog *m_aboutBox = nullptr;
    QDialog *m_licencesBox = nullptr;
    ClimateDocument *m_document;
    MessageBoxQuestions m_boxes{this};
    FileConversation m_conversation;
    bool m_firstFocusShown = false;
    bool m_refusalShown = false; // the status line says why a command did nothing
    bool m_leaving = false; // the work is kept in the record: close without a question
    int m_shownSeason = 0; // the season the editors show
};
