#pragma once

// Menus, spin boxes and sliders take the wheel only once they have the focus from a click or a key:
// a page scrolled under the pointer never changes what it scrolls past. Installs itself once for the
// whole application. Scroll bars are no such controls: the wheel over a list or a page scrolls it.
namespace WheelGuard {

void install();

} // namespace WheelGuard
