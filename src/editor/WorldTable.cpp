#include "WorldTable.h"

#include "ClimateDocument.h"
#include "ClimateErrors.h"
#include "FileErrors.h"
#include "GameFolder.h"
#include "Layout.h"
#include "TListBox.h"
#include "TSpinEdit.h"
#include "TStatusLine.h"
#include "ValueRules.h"
#include "WorldTableModel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

namespace {

constexpr std::array<int, 3> kGroupHues{210, 160, 20}; // wind, precipitation, warmth

bool isValueColumn(int column)
{
    return column >= WorldTableModel::FirstValueColumn && column < WorldTableModel::ShapeColumn;
}

// A level's colour: its group's hue, stronger for a larger share, over the palette's base so
// that light and dark palettes keep the text readable.
QColor levelColour(ValueGroup group, int number, const QPalette &palette)
{
    const QColor base = palette.color(QPalette::Base);
    const QColor hue = QColor::fromHsl(kGroupHues[std::size_t(int(group) - 1)], 170, 128);
    const qreal strength = 0.08 + 0.5 * std::clamp(number, 0, 100) / 100.0;
    return QColor::fromRgbF(float(base.redF() + (hue.redF() - base.redF()) * strength),
                            float(base.greenF() + (hue.greenF() - base.greenF()) * strength),
                            float(base.blueF() + (hue.blueF() - base.blueF()) * strength));
}

class WorldTableDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (index.column() == WorldTableModel::ShapeColumn) {
            paintShape(painter, option, index.data(WorldTableModel::ShapeRole).value<QList<int>>());
            return;
        }
        QStyledItemDelegate::paint(painter, option, index);
        if (index.data(WorldTableModel::TheirsRole).isValid()) { // a difference: framed, besides its text
            painter->save();
            painter->setPen(QPen(option.palette.color(QPalette::Highlight), 2));
            painter->drawRect(option.rect.adjusted(1, 1, -1, -1));
            painter->restore();
        }
    }

    // The cell's editor keeps the editors' rules: what it reads, and the bounds it clamps to.
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const override
    {
        const ClimateValue &value = kClimateValues[std::size_t(WorldTableModel::valueOf(index.column()))];
        auto *editor = new TSpinEdit(climate::ReadEditorNumber, parent);
        editor->setBounds(value.minValue, value.maxValue);
        editor->setMaxLength(3);
        return editor;
    }
    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        static_cast<TSpinEdit *>(editor)->setText(index.data(Qt::EditRole).toString());
        static_cast<TSpinEdit *>(editor)->lineEdit()->selectAll();
    }
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        model->setData(index, static_cast<TSpinEdit *>(editor)->text());
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!isValueColumn(index.column()) || index.column() == WorldTableModel::FirstValueColumn)
            return;
        const QVariant number = index.data(WorldTableModel::NumberRole);
        const ValueGroup group = kClimateValues[std::size_t(WorldTableModel::valueOf(index.column()))].group;
        if (number.isValid() && number.toInt() >= 0) {
            option->backgroundBrush = levelColour(group, number.toInt(), option->palette);
        } else { // none (-1): apart from every share
            option->font.setItalic(true);
            option->palette.setColor(QPalette::Text, option->palette.color(QPalette::PlaceholderText));
        }
    }

private:
    // A bar a group, its levels side by side in proportion, the higher levels darker.
    static void paintShape(QPainter *painter, const QStyleOptionViewItem &option, const QList<int> &numbers)
    {
        painter->save();
        if (option.state & QStyle::State_Selected)
            painter->fillRect(option.rect, option.palette.highlight());
        const QRect area = option.rect.adjusted(3, 2, -3, -2);
        const int barHeight = std::max(1, area.height() / 3);
        int first = 0;
        for (int g = 0; g < 3; ++g) {
            const ValueGroup group = ValueGroup(g + 1);
            const int count = int(std::count_if(kClimateValues.begin(), kClimateValues.end(),
                                                [group](const ClimateValue &value) { return value.group == group; }));
            int total = 0;
            for (int i = 0; i < count; ++i)
                total += std::max(0, numbers.value(first + i));
            qreal x = area.left();
            for (int i = 0; total > 0 && i < count; ++i) {
                const qreal width = area.width() * std::max(0, numbers.value(first + i)) / qreal(total);
                const QColor colour = QColor::fromHsl(kGroupHues[std::size_t(g)], 150, 200 - 130 * i / std::max(1, count - 1));
                painter->fillRect(QRectF(x, area.top() + g * barHeight, width, barHeight - 1), colour);
                x += width;
            }
            first += count;
        }
        painter->restore();
    }
};

// The regions whose names hold what was typed, and, when asked, only the seasons that differ.
class WorldFilter : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setOnlyDiffering(bool only)
    {
        m_onlyDiffering = only;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex &parent) const override
    {
        if (m_onlyDiffering && !static_cast<WorldTableModel *>(sourceModel())->rowDiffers(row))
            return false;
        return QSortFilterProxyModel::filterAcceptsRow(row, parent);
    }

private:
    bool m_onlyDiffering = false;
};

QString legendHtml(const QPalette &palette)
{
    QString html = QStringLiteral("Shares: ");
    const char *groups[] = {"Wind", "Precipitation", "Warmth"};
    for (int g = 0; g < 3; ++g) {
        html += QStringLiteral("<span style='background:%1'>&nbsp;0&nbsp;</span><span style='background:%2'>&nbsp;100&nbsp;</span> %3 &nbsp; ")
                    .arg(levelColour(ValueGroup(g + 1), 0, palette).name(), levelColour(ValueGroup(g + 1), 100, palette).name(),
                         QLatin1String(groups[g]));
    }
    return html + QStringLiteral("&nbsp; <i>none</i>: −1 &nbsp; 25 ≠ 30: differs, theirs after ≠");
}

} // namespace

TWorldTable::TWorldTable(ClimateDocument &document, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_model(new WorldTableModel(document, this))
    , m_filter(new WorldFilter(this))
    , m_view(new QTableView(this))
    , m_region(new QLineEdit(this))
    , m_onlyDiffering(new QCheckBox(QStringLiteral("Only seasons that &differ"), this))
    , m_take(new QPushButton(QStringLiteral("&Take theirs"), this))
    , m_differences(new QLabel(this))
    , m_message(new QLabel(this))
    , m_notice(new TNotice(this))
{
    setObjectName(QStringLiteral("WorldTable"));
    setWindowTitle(QStringLiteral("World table - Nimbrel"));
    m_filter->setSourceModel(m_model);
    m_filter->setFilterKeyColumn(WorldTableModel::RegionColumn);
    m_filter->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_filter->setSortRole(WorldTableModel::NumberRole);
    m_view->setObjectName(QStringLiteral("Table"));
    m_view->setAccessibleName(QStringLiteral("World table"));
    m_view->setModel(m_filter);
    m_view->setItemDelegate(new WorldTableDelegate(m_view));
    m_view->setSortingEnabled(true);
    m_view->sortByColumn(WorldTableModel::SlotColumn, Qt::AscendingOrder);
    m_view->setTabKeyNavigation(false); // the arrows walk the cells; Tab goes on to the next control
    m_view->installEventFilter(this);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    m_view->horizontalHeader()->setSectionsClickable(true);
    m_view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);

    m_region->setObjectName(QStringLiteral("Filter"));
    m_region->setPlaceholderText(QStringLiteral("Region name"));
    m_region->setClearButtonEnabled(true);
    auto *filterLabel = new QLabel(QStringLiteral("&Filter:"), this);
    filterLabel->setBuddy(m_region);
    connect(m_region, &QLineEdit::textChanged, this, [this](const QString &text) { m_filter->setFilterFixedString(text); });
    m_onlyDiffering->setObjectName(QStringLiteral("OnlyDiffering"));
    connect(m_onlyDiffering, &QCheckBox::toggled, this, [this](bool only) { static_cast<WorldFilter *>(m_filter)->setOnlyDiffering(only); });
    // Sorting from the keyboard too: the column and the order, as a header click does.
    auto *sortBy = new QComboBox(this);
    sortBy->setObjectName(QStringLiteral("SortBy"));
    for (int column = 0; column < WorldTableModel::ShapeColumn; ++column)
        sortBy->addItem(m_model->headerData(column, Qt::Horizontal, Qt::ToolTipRole).toString());
    auto *sortLabel = new QLabel(QStringLiteral("&Sort by:"), this);
    sortLabel->setBuddy(sortBy);
    auto *descending = new QCheckBox(QStringLiteral("Highest &first"), this);
    descending->setObjectName(QStringLiteral("Descending"));
    const auto sort = [this, sortBy, descending] {
        m_view->sortByColumn(sortBy->currentIndex(), descending->isChecked() ? Qt::DescendingOrder : Qt::AscendingOrder);
    };
    connect(sortBy, &QComboBox::activated, this, sort);
    connect(descending, &QCheckBox::toggled, this, sort);
    connect(m_view->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this, [sortBy, descending](int column, Qt::SortOrder order) {
        const QSignalBlocker quietColumn(sortBy), quietOrder(descending);
        sortBy->setCurrentIndex(column);
        descending->setChecked(order == Qt::DescendingOrder);
    });
    auto *compare = new QPushButton(QStringLiteral("&Compare with..."), this);
    compare->setObjectName(QStringLiteral("CompareWith"));
    connect(compare, &QPushButton::clicked, this, &TWorldTable::chooseOther);
    m_take->setObjectName(QStringLiteral("TakeTheirs"));
    connect(m_take, &QPushButton::clicked, this, &TWorldTable::takeTheirs);
    m_differences->setObjectName(QStringLiteral("Differences"));
    m_message->setObjectName(QStringLiteral("Message"));
    m_message->setWordWrap(true);
    auto *legend = new QLabel(legendHtml(palette()), this);
    legend->setObjectName(QStringLiteral("Legend"));
    legend->setTextFormat(Qt::RichText);

    auto *bar = new QHBoxLayout;
    for (QWidget *widget : std::initializer_list<QWidget *>{filterLabel, m_region, sortLabel, sortBy, descending, m_onlyDiffering,
                                                             compare, m_take, m_differences})
        bar->addWidget(widget);
    bar->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_view, 1);
    layout->addWidget(legend);
    layout->addWidget(m_message);
    centreOnScreenWhenShown(this);

    const auto addCommand = [this](const QKeySequence &keys, auto handler) {
        auto *action = new QAction(this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
    };
    addCommand(QKeySequence::Copy, [this] { QGuiApplication::clipboard()->setText(selectionText()); });
    addCommand(QKeySequence::Paste, [this] { tell(pasteText(QGuiApplication::clipboard()->text())); });
    addCommand(QKeySequence::Undo, [this, &document] { if (m_beforeChange()) document.undoStack().undo(); });
    addCommand(QKeySequence::Redo, [this, &document] { if (m_beforeChange()) document.undoStack().redo(); });

    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex &current) {
        if (current.isValid())
            emit seasonChosen(m_model->keyAt(m_filter->mapToSource(current).row()));
    });
    connect(m_model, &QAbstractItemModel::dataChanged, this, &TWorldTable::refreshComparison);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TWorldTable::refreshComparison);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TWorldTable::refreshComparison);
    refreshComparison();
}

// As wide as every column needs, where the screen has room for it.
void TWorldTable::showEvent(QShowEvent *event)
{
    if (!m_sized) {
        m_sized = true;
        m_view->horizontalHeader()->setResizeContentsPrecision(12); // the first rows tell the widths well enough
        m_view->resizeColumnsToContents();
        m_view->setColumnWidth(WorldTableModel::ShapeColumn, 4 * m_view->fontMetrics().averageCharWidth() * 4);
        m_region->setFocus(); // type a region's name, Tab into the table
        const int wanted = m_view->horizontalHeader()->length() + m_view->verticalScrollBar()->sizeHint().width()
                           + 2 * m_view->frameWidth() + layout()->contentsMargins().left() + layout()->contentsMargins().right();
        const QRect room = screen()->availableGeometry();
        resize(std::min(wanted, room.width() - 40), std::min(640, room.height() - 80));
    }
    QWidget::showEvent(event);
}

void TWorldTable::setBeforeChange(const std::function<bool()> &ask)
{
    m_beforeChange = ask;
    m_model->setBeforeChange(ask);
}

// Back in the table (from Tab, or from a cell's editor), a screen reader hears the cell.
bool TWorldTable::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view && event->type() == QEvent::FocusIn)
        tellCurrentItemAfterFocus(m_view);
    return QWidget::eventFilter(watched, event);
}

// Under the table, and said to a screen reader as it appears.
void TWorldTable::tell(const QString &message)
{
    m_message->setText(message);
    if (!message.isEmpty())
        m_notice->say(message);
}

QString TWorldTable::selectionText() const
{
    std::map<int, std::map<int, QString>> cells; // view row, column
    for (const QModelIndex &index : m_view->selectionModel()->selectedIndexes()) {
        if (index.column() == WorldTableModel::ShapeColumn)
            continue;
        const QVariant value = index.data(isValueColumn(index.column()) ? Qt::EditRole : Qt::DisplayRole);
        cells[index.row()][index.column()] = value.toString();
    }
    QStringList lines;
    for (const auto &[row, columns] : cells) {
        QStringList fields;
        for (const auto &[column, text] : columns)
            fields << text;
        lines << fields.join(u'\t');
    }
    return lines.isEmpty() ? QString() : lines.join(u'\n') + u'\n';
}

QString TWorldTable::pasteText(const QString &text)
{
    QStringList lines = text.split(u'\n');
    for (QString &line : lines)
        line.remove(u'\r');
    while (!lines.isEmpty() && lines.constLast().trimmed().isEmpty())
        lines.removeLast();
    if (lines.isEmpty())
        return QStringLiteral("The clipboard holds no numbers to paste.");
    const QChar separator = lines.constFirst().contains(u'\t') ? u'\t' : u',';
    std::vector<std::vector<int>> block;
    for (int r = 0; r < lines.size(); ++r) {
        std::vector<int> row;
        QStringList fields = lines[r].split(separator);
        while (fields.size() > 1 && fields.constLast().trimmed().isEmpty()) // a separator after the last column
            fields.removeLast();
        for (int c = 0; c < fields.size(); ++c) {
            const std::optional<int> number = climate::ReadTableNumber(fields[c]);
            if (!number)
                return QStringLiteral("Nothing pasted: '%1' (row %2, column %3 of the clipboard) is not a whole number.")
                    .arg(fields[c].trimmed()).arg(r + 1).arg(c + 1);
            row.push_back(*number);
        }
        block.push_back(row);
    }
    const QModelIndexList selected = m_view->selectionModel()->selectedIndexes();
    const QModelIndex start = selected.isEmpty() ? m_view->currentIndex()
                                                 : *std::min_element(selected.begin(), selected.end(), [](const QModelIndex &a, const QModelIndex &b) {
                                                       return std::pair(a.row(), a.column()) < std::pair(b.row(), b.column());
                                                   });
    if (!start.isValid())
        return QStringLiteral("Nothing pasted: choose the cell where the block is to start.");
    std::vector<WorldTableModel::CellNumber> cells;
    const auto put = [&](const QModelIndex &at, int number) {
        cells.push_back({m_filter->mapToSource(at).row(), at.column(), number});
    };
    if (block.size() == 1 && block[0].size() == 1 && selected.size() > 1) { // one number into every selected level
        for (const QModelIndex &index : selected) {
            if (isValueColumn(index.column()))
                put(index, block[0][0]);
        }
    } else {
        for (std::size_t r = 0; r < block.size(); ++r) {
            for (std::size_t c = 0; c < block[r].size(); ++c) {
                const int row = start.row() + int(r), column = start.column() + int(c);
                if (row >= m_filter->rowCount() || !isValueColumn(column))
                    return QStringLiteral("Nothing pasted: a block of %1 rows and %2 columns does not fit from the cell "
                                          "chosen (it must fall on levels and seasons shown).")
                        .arg(block.size()).arg(std::max_element(block.begin(), block.end(), [](const auto &a, const auto &b) {
                                                   return a.size() < b.size();
                                               })->size());
                put(m_filter->index(row, column), block[r][c]);
            }
        }
    }
    const int changed = m_model->setNumbers(cells, QStringLiteral("Paste"));
    return QStringLiteral("Pasted %1 value%2: %3 season%4 changed.")
        .arg(cells.size()).arg(cells.size() == 1 ? "" : "s").arg(changed).arg(changed == 1 ? "" : "s");
}

QString TWorldTable::compareWith(const QString &gameFolder)
{
    if (gameFolder.isEmpty()) {
        m_model->compareWith(nullptr);
        refreshComparison();
        return {};
    }
    const std::optional<QString> game = GameFolderOf(gameFolder);
    ClimateDocument other(nullptr, ClimateDocument::Recovery::None);
    if (!game || !other.setGameFolder(*game))
        return QStringLiteral("'%1' holds no %2.").arg(QDir::toNativeSeparators(gameFolder), QDir::toNativeSeparators(QStringLiteral("data/weather.cfg")));
    QString notice; // what reading it did to it on the user's behalf (a torn save put right)
    try {
        notice = other.open();
    } catch (const EUserError &error) {
        return error.message();
    }
    m_model->compareWith(std::make_unique<TRegionTable>(other.table()));
    m_differences->setToolTip(QDir::toNativeSeparators(*game));
    refreshComparison();
    tell(QStringLiteral("Compared with %1: %2.%3")
             .arg(QDir::toNativeSeparators(gameFolder), m_differences->text(), notice.isEmpty() ? QString() : u' ' + notice));
    return {};
}

void TWorldTable::chooseOther()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Compare with the game in"));
    if (folder.isEmpty())
        return;
    if (const QString refusal = compareWith(folder); !refusal.isEmpty())
        tell(refusal);
}

void TWorldTable::takeTheirs()
{
    QModelIndexList cells;
    for (const QModelIndex &index : m_view->selectionModel()->selectedIndexes())
        cells << m_filter->mapToSource(index);
    const int changed = m_model->takeTheirs(cells);
    tell(QStringLiteral("Took theirs: %1 season%2 changed.").arg(changed).arg(changed == 1 ? "" : "s"));
}

void TWorldTable::refreshComparison()
{
    const bool comparing = m_model->isComparing();
    m_onlyDiffering->setEnabled(comparing);
    m_take->setEnabled(comparing && m_view->selectionModel()->hasSelection());
    const int differing = comparing ? m_model->differingRows() : 0;
    m_differences->setText(!comparing      ? QString()
                           : differing == 1 ? QStringLiteral("1 season differs")
                                            : QStringLiteral("%1 seasons differ").arg(differing));
    if (comparing && m_onlyDiffering->isChecked())
        static_cast<WorldFilter *>(m_filter)->setOnlyDiffering(true);
}
