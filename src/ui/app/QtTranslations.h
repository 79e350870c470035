#pragma once

class Settings;

// Qt's own texts (file chooser, the menus of text fields, standard buttons) in the interface language, from
// the translation files the system ships; a language without one keeps Qt's English.
namespace QtTranslations {
// Loads the current language's files now and again whenever the language setting changes.
void follow(Settings *settings);
// Whether Qt's texts are translated into the current language now.
bool loaded();
} // namespace QtTranslations
