#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

class aCalendar;

namespace fuzz
{
/// Pins the zone, the clock and a throw-away settings store once per process.
void setUp();
/// The input as text, decoded the way files are (UTF-8, else Mac OS Roman).
QString text(const uint8_t* data, size_t size);
/// A fresh document with US settings.
aCalendar& freshDocument();
} // namespace fuzz
