#pragma once

// What screen readers read of a menu entry: its title without the mnemonic marker and without the keys
// that menus show after a tab; those keys are its accelerator. Installed once for the application.
namespace MenuAccessibility {
void install();
} // namespace MenuAccessibility
