#pragma once

// The application's style: Fusion, with what it draws too faintly for a dark window made to show.
// Disabled texts are never etched (a light copy under them made them look brighter and bolder than
// enabled ones in the dark); the edge of a check box or radio button and the fill of a chosen segment (a
// checked push button) keep 3:1 against what lies around them; a menu taller than the screen scrolls.
// Installs itself once for the application.
namespace AppStyle {

void install();

} // namespace AppStyle
