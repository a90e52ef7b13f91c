#pragma once

#include <QString>

#include <array>
#include <bit>
#include <cstdint>
#include <vector>

/// A record of up to 32 text fields of which an entry usually sets only a few. A field never set
/// reads as its default; the fields set are kept in field order, found by counting the set bits
/// below them. The first @p Inline of them live in the record itself, so the usual entry costs
/// one allocation and a fraction of one QString per field.
template <int Inline>
class SparseTexts
{
public:
    /// The field's text, or nullptr when it was never set.
    const QString* find(int field) const
    {
        return isSet(field) ? &at(slot(field)) : nullptr;
    }
    bool isSet(int field) const { return m_present & (std::uint32_t(1) << field); }
    /// The field's text to change in place; a field not yet set starts from @p fallback.
    /// Inserting a field moves the ones after it: no reference to another field survives it.
    QString& edit(int field, const QString& fallback)
    {
        const int at_ = slot(field);
        if (isSet(field))
            return at(at_);
        const int count = std::popcount(m_present);
        if (count >= Inline)
            m_more.emplace_back();
        for (int i = count; i > at_; --i)
            at(i).swap(at(i - 1));
        m_present |= std::uint32_t(1) << field;
        return at(at_) = fallback;
    }

private:
    int slot(int field) const { return std::popcount(m_present & ((std::uint32_t(1) << field) - 1)); }
    QString& at(int i) { return i < Inline ? m_inline[std::size_t(i)] : m_more[std::size_t(i - Inline)]; }
    const QString& at(int i) const
    {
        return i < Inline ? m_inline[std::size_t(i)] : m_more[std::size_t(i - Inline)];
    }

    std::uint32_t m_present = 0;
    std::array<QString, Inline> m_inline;
    std::vector<QString> m_more;
};
