// The translation layer: the interface language of the process and the lookup of
// interface texts in GNU gettext catalogs (.mo) of the text domain "default", kept in
// "<program dir>/locale/<code>/LC_MESSAGES/default.mo".
//
// Catalogs are read through the platform (Platform().ReadWholeFile), so the layer needs
// no libintl and behaves the same on every host and under a test double.
#pragma once

#include <functional>
#include <string>

// The environment's language as a code such as "de_DE": LANG, else the user's locale
// ("no" becomes "nb"), else "C". Anything from the first "." or "@" on is dropped.
std::string DetectEnvironmentLanguage();

// The language in effect; detected from the environment on first use.
std::string CurrentLanguage();

// Sets the language in effect; an empty code detects the environment's language again.
// The catalog is opened on the first lookup after the change.
void UseLanguage(const std::string& Code);

// The translation of an English interface text in the current catalog, or the text
// itself when there is no catalog or no translation.
std::string Translate(const std::string& EnglishText);

// Told once, with a title and a text, when a catalog cannot be used because it is not
// UTF-8; translations stay off for the rest of the process. The GUI shows a message box.
using TTWLocalisationProblemHandler =
    std::function<void(const std::string& Title, const std::string& Text)>;
void SetLocalisationProblemHandler(TTWLocalisationProblemHandler Handler);

// The catalog path for a language code (the full code, not the two-letter fallback).
std::string CatalogFileName(const std::string& Code);

// Back to the state at process start: no language chosen yet, no catalog, translations
// on. For tests, which run many start-ups in one process.
void ResetTranslationLayer();
