#include "SeasonEditors.h"

#include "ClimateErrors.h"
#include "Layout.h"
#include "TGroupBox.h"
#include "TSpinEdit.h"
#include "TextConversion.h"

#include <QLabel>
#include <QLineEdit>
#include <QScopedValueRollback>

#include <algorithm>

namespace {

struct GroupLayout
{
    ValueGroup group;
    const char *name;
    const char *title;
    QRect bounds;
    int labelWidth;
    int editorLeft;
};

constexpr std::array<GroupLayout, 3> kGroups{{
    {ValueGroup::Wind, "GroupBox1", "Wind", {8, 32, 121, 145}, 56, 64},
    {ValueGroup::Precipitation, "GroupBox2", "Precipitation", {136, 32, 141, 145}, 76, 84},
    {ValueGroup::Warmth, "GroupBox3", "Warmth", {284, 32, 133, 193}, 68, 76},
}};

constexpr std::array<int, kValueCount> kLevelsThenStartDay = [] {
    std::array<int, kValueCount> order{};
    for (int i = 0; i + 1 < kValueCount; ++i)
        order[std::size_t(i)] = i + 1;
    return order; // the last entry stays 0, the start day
}();

} // namespace

SeasonEditors::SeasonEditors(QWidget *parent, std::function<void()> typingChanged)
    : m_typingChanged(std::move(typingChanged))
{
    std::array<TGroupBox *, kGroups.size()> boxes{};
    for (std::size_t g = 0; g < kGroups.size(); ++g)
        boxes[g] = placed(new TGroupBox(QLatin1String(kGroups[g].title), parent), kGroups[g].name, kGroups[g].bounds);

    for (const ClimateValue &value : kClimateValues) {
        const bool startDay = value.group == ValueGroup::StartDay;
        QWidget *box = parent;
        QRect labelBounds{8, 221, 0, 13};
        QRect editorBounds{224, 216, 49, 22};
        if (!startDay) {
            const auto g = std::size_t(std::find_if(kGroups.begin(), kGroups.end(),
                                                    [&](const GroupLayout &group) { return group.group == value.group; })
                                       - kGroups.begin());
            box = boxes[g];
            labelBounds = {8, 21 + 24 * value.row, kGroups[g].labelWidth, 13};
            editorBounds = {kGroups[g].editorLeft, 16 + 24 * value.row, 48, 22};
        }
        // The level labels are fixed in size; the start-day label sizes itself to its wording.
        QLabel *label = startDay ? makeAutoSizeLabel(box, value.labelName.data(), QString(), labelBounds.topLeft())
                                 : makeLabel(box, value.labelName.data(), climate::LevelName(value.index) + QStringLiteral(" : "), labelBounds);
        if (!startDay)
            label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        else
            m_startDayLabel = label;

        auto *spin = placed(new TSpinEdit(climate::ReadEditorNumber, box), value.editorName.data(), editorBounds);
        spin->setBounds(value.minValue, value.maxValue);
        spin->setMaxLength(3);
        spin->setEnabled(false);
        // A screen reader names the field that takes the focus, not the editor around it.
        spin->setAccessibleName(climate::LevelName(value.index));
        spin->lineEdit()->setAccessibleName(spin->accessibleName());
        label->setBuddy(spin);
        QObject::connect(spin->lineEdit(), &QLineEdit::textChanged, spin, [this] {
            if (!m_settling)
                m_typingChanged();
        });
        m_editors[std::size_t(value.index)] = spin;
    }
}

const std::array<int, kValueCount> &SeasonEditors::order()
{
    return kLevelsThenStartDay;
}

void SeasonEditors::enable()
{
    for (int v : kLevelsThenStartDay)
        at(v)->setEnabled(true);
}

SeasonNumbers SeasonEditors::numbers() const
{
    SeasonNumbers values{};
    for (int v = 0; v < kValueCount; ++v)
        values[std::size_t(v)] = at(v)->Value();
    return values;
}

void SeasonEditors::set(const std::function<void(TSpinEdit *editor, int valueIndex)> &change, bool quietly)
{
    {
        const QScopedValueRollback settling(m_settling, true);
        for (int v = 0; v < kValueCount; ++v)
            change(at(v), v);
    }
    if (!quietly)
        m_typingChanged();
}

void SeasonEditors::set(const SeasonNumbers &numbers)
{
    set([&](TSpinEdit *editor, int v) { editor->setValue(numbers[std::size_t(v)]); });
}

void SeasonEditors::show(const std::array<TValueText, kValueCount> &values)
{
    set([&](TSpinEdit *editor, int v) {
        const QByteArrayView text = values[std::size_t(v)];
        const std::optional<int> value = climate::ReadValueText(text);
        if (!value)
            throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(climate::FromWindows1252(text)));
        editor->setValue(*value);
    }, true);
}

SeasonEditors::Texts SeasonEditors::texts() const
{
    Texts texts;
    for (int v = 0; v < kValueCount; ++v)
        texts[std::size_t(v)] = at(v)->text();
    return texts;
}

void SeasonEditors::noteShown()
{
    m_shown = texts();
    m_undone.reset();
}

bool SeasonEditors::typed() const
{
    return texts() != m_shown;
}

bool SeasonEditors::redoTyping()
{
    const auto typing = std::exchange(m_undone, std::nullopt);
    if (!typing)
        return false;
    set([&](TSpinEdit *editor, int v) { editor->lineEdit()->setText((*typing)[std::size_t(v)]); });
    return true;
}
