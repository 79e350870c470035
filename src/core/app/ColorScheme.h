#pragma once

// Light or dark window background: the user's appearance choice and the palette's actual look.
enum class ColorScheme { light, dark };
