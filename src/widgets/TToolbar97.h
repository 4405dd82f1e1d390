#pragma once

#include <QWidget>

// A toolbar strip with its grip at the left; its buttons are placed on it by their bounds.
// Not a QToolBar: that one loads the icon theme and every image plugin for its extension
// button, which doubled the editor's start-up.
class TToolbar97 : public QWidget
{
    Q_OBJECT

public:
    TToolbar97(const QString &title, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
