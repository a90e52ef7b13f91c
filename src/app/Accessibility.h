#pragma once

/// What assistive technology reads where Qt's own descriptions fall short on this platform:
///   - a pop-up button (QComboBox) with an accessible name set is announced by that name, its
///     label, rather than by the item it shows (which stays its value);
///   - a menu item's description is its tooltip.
/// Installed once per process; harmless when no assistive technology listens.
namespace Accessibility
{
void install();
} // namespace Accessibility
