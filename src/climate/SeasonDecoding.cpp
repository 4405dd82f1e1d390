#include "SeasonDecoding.h"

#include <algorithm>
#include <array>

namespace climate {
namespace {

qsizetype indexOf(QByteArrayView text, char c);

QByteArrayView stripLabelView(QByteArrayView text)
{
    const qsizetype space = indexOf(text, ' ');
    return space < 0 ? text : text.sliced(space + 1);
}

// Everything after the first space is field 2, after the second field 3, and so on; a line
// with fewer spaces repeats its last field. Keeping the first spaces' places lets all
// eighteen fields of a line be found in one pass.
class FieldIndex
{
public:
    static constexpr std::size_t kMaxSpaces = 18;

    explicit FieldIndex(QByteArrayView text)
        : m_text(text)
    {
        for (qsizetype i = 0; i < text.size() && m_count < kMaxSpaces; ++i) {
            if (text[i] == ' ')
                m_spaces[m_count++] = i;
        }
    }

    QByteArrayView field(std::uint8_t n) const
    {
        const std::size_t dropped = std::min<std::size_t>(n > 1 ? n - 1u : 0u, m_count);
        return dropped == 0 ? m_text : m_text.sliced(m_spaces[dropped - 1] + 1);
    }

private:
    QByteArrayView m_text;
    std::array<qsizetype, kMaxSpaces> m_spaces{};
    std::size_t m_count = 0;
};

// Loops rather than indexOf(): the texts are a few bytes long, and decoding a whole file
// calls these thousands of times.
qsizetype indexOf(QByteArrayView text, char c)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == c)
            return i;
    }
    return -1;
}

QByteArrayView fieldBeforeComma(QByteArrayView field)
{
    const qsizetype comma = indexOf(field, ',');
    if (comma < 0)
        return field;
    return comma <= 1 ? QByteArrayView() : field.sliced(1, comma - 1);
}

QByteArrayView stripPrefixLetterView(QByteArrayView text)
{
    for (char letter : {'H', 'P', 'W'}) {
        if (indexOf(text, letter) >= 0)
            text = text.sliced(1);
    }
    return text;
}

// Copies text into out with its first two double spaces made single; returns the length.
// Once a pair lost its second space, the space that stays may pair with the next one.
template <std::size_t N>
qsizetype collapseDoubleSpacesInto(QByteArrayView text, std::array<char, N> &out, qsizetype at)
{
    qsizetype n = at;
    int passesLeft = 2;
    for (qsizetype i = 0; i < text.size(); ++i) {
        out[std::size_t(n++)] = text[i];
        while (passesLeft > 0 && text[i] == ' ' && i + 1 < text.size() && text[i + 1] == ' ') {
            --passesLeft;
            ++i;
        }
    }
    return n;
}

} // namespace

QByteArray StripLabel(QByteArrayView text)
{
    return stripLabelView(text).toByteArray();
}

QByteArray CollapseDoubleSpaces(QByteArrayView text)
{
    QByteArray out = text.toByteArray();
    for (int pass = 0; pass < 2; ++pass) {
        const qsizetype p = out.indexOf("  ");
        if (p >= 0)
            out.remove(p + 1, 1);
    }
    return out;
}

QByteArray ExtractField(QByteArrayView text, std::uint8_t n)
{
    return fieldBeforeComma(FieldIndex(text).field(n)).toByteArray();
}

QByteArray StripPrefixLetter(QByteArrayView text)
{
    return stripPrefixLetterView(text).toByteArray();
}

void DecodeTable(TRegionTable &table)
{
    for (TRegionRecord &region : table) {
        region.Name = stripLabelView(region.NameLine);
        region.NameLine.clear();

        for (TSeasonRecord &season : region.Season) {
            // A normalized line is a space followed by the collapsed rest of the line.
            std::array<char, TRawLine::capacity + 1> normalized;
            normalized[0] = ' ';
            const qsizetype length = collapseDoubleSpacesInto(stripLabelView(season.Line), normalized, 1);
            season.Line = QByteArrayView(normalized.data(), length);
        }

        for (TSeasonRecord &season : region.Season) {
            const FieldIndex fields(season.Line);
            season.Values[0] = fieldBeforeComma(fields.field(1));
            for (int k = 1; k < kValueCount; ++k)
                season.Values[std::size_t(k)] = stripPrefixLetterView(fieldBeforeComma(fields.field(std::uint8_t(k + 2))));
        }
    }
}

} // namespace climate
