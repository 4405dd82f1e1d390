#include "TextConversion.h"

#include <algorithm>
#include <array>

namespace climate {

namespace {

// Where the code page differs from Latin-1; unassigned bytes keep their Latin-1 meaning.
constexpr std::array<char16_t, 32> k80to9F{
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

QString FromWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text[i] = QChar(byte >= 0x80 && byte <= 0x9F ? k80to9F[byte - 0x80] : char16_t(byte));
    }
    return text;
}

std::optional<QByteArray> ToWindows1252(QStringView text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        const auto found = std::find(k80to9F.begin(), k80to9F.end(), u);
        if (found != k80to9F.end())
            bytes[i] = char(0x80 + (found - k80to9F.begin()));
        else if (u <= 0xFF && (u < 0x80 || u > 0x9F))
            bytes[i] = char(u);
        else
            return std::nullopt;
    }
    return bytes;
}

bool FitsWindows1252(QStringView text)
{
    return ToWindows1252(text).has_value();
}

} // namespace climate
