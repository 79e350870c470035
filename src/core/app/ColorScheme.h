#pragma once

// Light or dark window background; shared by the core's appearance setting and the theme colours.
enum class ColorScheme { light, dark };
