#pragma once

#include "FileConversation.h"

class QWidget;

// The conversation's questions as message boxes over a window, each sized to its text and
// centred on the screen.
class MessageBoxQuestions : public FileQuestions
{
public:
    explicit MessageBoxQuestions(QWidget *parent)
        : m_parent(parent)
    {
    }

    Answer ask(Question question, const QString &text) override;
    void tell(const QString &text) override;

private:
    QWidget *m_parent;
};
