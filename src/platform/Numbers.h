#pragma once

#include <QStringView>

/// Small number helpers shared by the readers and writers.
namespace Numbers
{
/// Floor division (rounds toward minus infinity), for day and month arithmetic on negative values.
inline qint64 floorDiv(qint64 a, qint64 b)
{
    qint64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

/// The remainder of floorDiv: between 0 and @p b - 1 for a positive @p b.
inline qint64 floorMod(qint64 a, qint64 b)
{
    return a - floorDiv(a, b) * b;
}

/// Leading decimal integer of @p text (an optional sign, then digits); 0 when there is none.
/// Clamped to about 10^9 so that numbers from files cannot overflow date arithmetic.
inline qint64 leadingInt(QStringView text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    qint64 value = 0;
    while (i < text.size() && text.at(i).unicode() >= '0' && text.at(i).unicode() <= '9') {
        if (value < 100000000)
            value = value * 10 + (text.at(i).unicode() - '0');
        ++i;
    }
    return negative ? -value : value;
}
} // namespace Numbers
