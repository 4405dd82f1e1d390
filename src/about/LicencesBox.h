#pragma once

#include <QDialog>

class QTabWidget;

// Help > Licences...: Nimbrel's licence, Qt's notice, the GPL-3.0 and LGPL-3.0 texts that Qt's
// licence refers to, and the notices of what else the program links, each on a tab of its own,
// read from the program's resources.
class TLicencesBox : public QDialog
{
    Q_OBJECT

public:
    explicit TLicencesBox(QWidget *parent = nullptr);

    // The tabs' titles and texts, in order.
    static QList<std::pair<QString, QString>> Documents();

    QTabWidget *Documents_Tabs;
};
