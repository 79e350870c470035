#pragma once

// Menus, spin boxes and sliders take the wheel only once they have the focus from a click or a key:
// a page scrolled under the pointer never changes what it scrolls past. Installs itself once for the
// whole application.
namespace WheelGuard {

void install();

} // namespace WheelGuard
