#pragma once

#include <QDateTime>

/// The one source of "now" for the core. Tests pin it so that winter and summer offsets
/// are deterministic.
namespace Clock
{
/// The current moment (UTC). Returns the pinned moment while one is set.
QDateTime now();
/// Pins now() to @p moment until reset() (a null moment resets).
void setFixed(const QDateTime& moment);
void reset();
} // namespace Clock
