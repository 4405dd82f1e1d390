#pragma once

#include "ClimateDocument.h"

#include <QString>

#include <optional>

// The questions the conversation about the file asks. The window answers them with message
// boxes, a test with a script.
class FileQuestions
{
public:
    enum class Question { KeepChanges, SaveFirst, ConfirmSave, Restore, ChangedFile, Conflict };
    // Yes, No and Cancel are the user's answers (in the words of each question's buttons:
    // Save/Discard, Merge/Overwrite, Keep mine/Take the file's). None is a question that ended
    // without one: its loop ended by a signal, the session's end or the window closing. None
    // is never No.
    enum class Answer { Yes, No, Cancel, None };

    virtual ~FileQuestions() = default;
    virtual Answer ask(Question question, const QString &text) = 0;
    virtual void tell(const QString &text) = 0;
};

// What the conversation needs of the editors: the season typed into and not kept.
class TypedWork
{
public:
    virtual ~TypedWork() = default;
    virtual bool typed() const = 0;
    virtual QString typedSeason() const = 0; // "Region, Season"
    virtual void keepTyped() = 0;
    virtual void dropTyped() = 0;
    // The numbers an editor that ended had typed, back in the editors as typed, not kept.
    virtual void showTyped(const RecordedSeason &season) = 0;
};

// Open, Save, Exit, Restore, Merge and the changed-file question: the one conversation between
// the user and the document. Every way a question can end has one outcome here.
class FileConversation
{
public:
    FileConversation(ClimateDocument &document, TypedWork &editors, FileQuestions *questions)
        : m_document(document)
        , m_editors(editors)
        , m_questions(questions)
    {
    }

    void setQuestions(FileQuestions *questions) { m_questions = questions; }
    FileQuestions &questions() { return *m_questions; }

    // Before the shown season is left: what was typed is kept or dropped as the user says.
    // False when the user chose to stay, or gave no answer.
    bool leaveSeason();
    // Before the file is read again or the window closes: kept seasons not saved are saved
    // first or dropped. False when the user chose to stay, gave no answer, or the save failed.
    bool leaveFile();
    // Save: asks for confirmation, then saves, asking about a file changed since it was read.
    void save();
    // After Open: what an editor that ended left unsaved, offered back.
    void offerRecovery();

private:
    void saveDocument();
    std::optional<bool> conflict(const RecordedSeason &mine, SeasonKey there);
    QString changedFileText(const storage::SaveReport &report) const;
    void tellSaved(const storage::SaveReport &report, const QString &notice);

    ClimateDocument &m_document;
    TypedWork &m_editors;
    FileQuestions *m_questions;
};
