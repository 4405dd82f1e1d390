#pragma once

#include <QDialog>

class QLabel;
class TPanel;
class TScrollText;
class TToolbarButton97;

// The About dialog: the program's icon, title and version, where to get it, how to reach its
// author, and a credit line that scrolls from start-up on, shown or not.
class TAboutBox : public QDialog
{
    Q_OBJECT

public:
    explicit TAboutBox(QWidget *parent = nullptr);

    void ToolbarButton971Click();

    TPanel *Panel10;
    QLabel *ProgramIcon;
    QLabel *ProductName;
    QLabel *Version;
    QLabel *Copyright;
    QLabel *Comments;
    TToolbarButton97 *ToolbarButton971;
    QLabel *Image1;
    QLabel *Image2;
    QLabel *Image3;
    QLabel *Label120;
    TScrollText *ScrollText1;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
};
