#pragma once

#include <QWidget>

class QTabBar;

// A row of tabs over one client area whose controls are the same for every tab: the
// controls are children of this widget, placed in its coordinates.
class TTabControl : public QWidget
{
    Q_OBJECT

public:
    TTabControl(const QStringList &tabs, int tabWidth, QWidget *parent = nullptr);

    int currentIndex() const;
    void setCurrentIndex(int index);
    QTabBar *tabBar() const { return m_tabs; }

signals:
    void changed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QTabBar *m_tabs;
};
