#pragma once

#include "ClimateValues.h"
#include "RegionTable.h"
#include "ValueRules.h"

#include <QString>

#include <array>
#include <functional>
#include <optional>

class QLabel;
class QWidget;
class TSpinEdit;

// The eighteen editors of the shown season, laid out in their three groups and the start day
// below them, and what was typed into them since the season was shown.
class SeasonEditors
{
public:
    // Builds them in parent (the season tabs); typingChanged is called whenever what they hold
    // may have changed, except while set() changes all eighteen (once after that).
    SeasonEditors(QWidget *parent, std::function<void()> typingChanged);

    TSpinEdit *at(int valueIndex) const { return m_editors[std::size_t(valueIndex)]; }
    QLabel *startDayLabel() const { return m_startDayLabel; }
    // Enabled levels first and the start day last, the order Tab takes them in too.
    static const std::array<int, kValueCount> &order();
    void enable();

    SeasonNumbers numbers() const; // as the editors read them
    // Changes all eighteen as one change, told once after (unless quietly: the caller tells).
    void set(const std::function<void(TSpinEdit *editor, int valueIndex)> &change, bool quietly = false);
    void set(const SeasonNumbers &numbers);
    // Shows a season's value texts, told by the caller; one that is no number fails with the
    // text as stored, after those before it are shown.
    void show(const std::array<TValueText, kValueCount> &values);

    // What they show now is the season as shown; what is typed from now on is typing.
    void noteShown();
    bool typed() const;
    // The typing an Undo drops is kept for Redo, until the next season is shown.
    using Texts = std::array<QString, kValueCount>;
    Texts texts() const;
    void keepForRedo(const Texts &typing) { m_undone = typing; }
    bool redoTyping();

private:
    std::array<TSpinEdit *, kValueCount> m_editors{};
    Texts m_shown;
    std::optional<Texts> m_undone;
    QLabel *m_startDayLabel = nullptr;
    std::function<void()> m_typingChanged;
    bool m_settling = false;
};
