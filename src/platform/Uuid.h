#pragma once

#include <QString>

#include <functional>

/// UUIDs in the upper-case 36-character form (8-4-4-4-12 hexadecimal digits).
namespace Uuid
{
QString create();
/// Replaces the generator (tests make UIDs deterministic); an empty function restores the random one.
void setGenerator(std::function<QString()> generator);
} // namespace Uuid
