#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

// A text of one-byte characters with a fixed capacity. Every store keeps at most the first
// Capacity bytes and never fails; the storage is inline, so a table of these is one block.
template <std::size_t Capacity>
class ShortText
{
    static_assert(Capacity > 0 && Capacity < 65536);

public:
    static constexpr std::size_t capacity = Capacity;

    ShortText() = default;
    ShortText(QByteArrayView text) { assign(text); } // NOLINT: storing cuts, as assignment does

    ShortText &operator=(QByteArrayView text)
    {
        assign(text);
        return *this;
    }

    void assign(QByteArrayView text)
    {
        m_size = static_cast<std::uint16_t>(std::min<std::size_t>(std::size_t(text.size()), Capacity));
        if (m_size)
            std::memcpy(m_data.data(), text.data(), m_size);
    }

    // Appends as much of text as still fits; returns false once the text was cut.
    bool append(QByteArrayView text)
    {
        const std::size_t room = Capacity - m_size;
        const std::size_t n = std::min<std::size_t>(std::size_t(text.size()), room);
        if (n)
            std::memcpy(m_data.data() + m_size, text.data(), n);
        m_size = static_cast<std::uint16_t>(m_size + n);
        return n == std::size_t(text.size());
    }

    void clear() { m_size = 0; }
    bool isEmpty() const { return m_size == 0; }
    bool isFull() const { return m_size == Capacity; }
    qsizetype size() const { return m_size; }

    QByteArrayView view() const { return QByteArrayView(m_data.data(), m_size); }
    QByteArray toByteArray() const { return QByteArray(m_data.data(), m_size); }
    operator QByteArrayView() const { return view(); } // NOLINT: a short text is a byte view

    friend bool operator==(const ShortText &a, const ShortText &b) { return a.view() == b.view(); }
    friend bool operator==(const ShortText &a, QByteArrayView b) { return a.view() == b; }

private:
    std::array<char, Capacity> m_data{};
    std::uint16_t m_size = 0;
};
