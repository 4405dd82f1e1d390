#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

// Answers the next modal dialog by clicking the button with the given text (or rejecting it
// when the text is empty), and keeps what the dialog showed so the test can check it.
class DialogAnswerer : public QObject
{
public:
    explicit DialogAnswerer(QString buttonText = QStringLiteral("OK"))
        : m_buttonText(std::move(buttonText))
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, &DialogAnswerer::poll);
        m_timer.start();
    }

    // What the test can look at while the dialog is still open.
    std::function<void()> whileOpen;

    bool answered = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString defaultButton;
    QString escapeButton;

private:
    void poll()
    {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        m_timer.stop();
        answered = true;
        title = dialog->windowTitle();
        if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
            text = box->text();
            icon = box->icon();
            if (box->defaultButton())
                defaultButton = box->defaultButton()->text();
            if (box->escapeButton())
                escapeButton = box->escapeButton()->text();
        }
        if (whileOpen)
            whileOpen();
        for (QAbstractButton *button : dialog->findChildren<QAbstractButton *>()) {
            if (!m_buttonText.isEmpty() && button->text() == m_buttonText) {
                button->click();
                return;
            }
        }
        dialog->reject();
    }

    QString m_buttonText;
    QTimer m_timer;
};
