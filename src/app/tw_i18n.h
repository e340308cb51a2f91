// The translation layer: the interface language of the process and the lookup of
// interface texts in GNU gettext catalogs (.mo) of the text domain "default", kept in
// "<program dir>/locale/<code>/LC_MESSAGES/default.mo".
//
// Catalogs are read through the platform (Platform().ReadWholeFile), so the layer needs
// no libintl and behaves the same on every host and under a test double.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>

// Marks an English text for extraction where it is written; it is looked up when used.
#define N_(Text) Text

// The environment's language as a code such as "de_DE": LANG, else the user's locale
// ("no" becomes "nb"), else "C". Anything from the first "." or "@" on is dropped.
std::string DetectEnvironmentLanguage();

// The language in effect; detected from the environment on first use.
std::string CurrentLanguage();

// Sets the language in effect; an empty code detects the environment's language again.
// The catalog is opened on the first lookup after the change.
void UseLanguage(const std::string& Code);

// The translation of an English interface text in the current catalog, or the text
// itself when there is no catalog or no translation. Every CR is dropped before the
// lookup and every lone LF of a translation gets a CR before it; a translation comes in
// the program's 8-bit text (Platform().Utf8ToSystemText).
std::string Translate(const std::string& EnglishText);

// Told once, with a title and a text, when a catalog cannot be used because it is not
// UTF-8; translations stay off for the rest of the process. The GUI shows a message box.
using TTWLocalisationProblemHandler =
    std::function<void(const std::string& Title, const std::string& Text)>;
void SetLocalisationProblemHandler(TTWLocalisationProblemHandler Handler);

// The catalog path for a language code (the full code, not the two-letter fallback).
std::string CatalogFileName(const std::string& Code);

// The folder that holds the "<code>/LC_MESSAGES/default.mo" catalogs: "locale" in the
// program's folder unless set (tests point it at catalogs of their own; empty resets).
// Takes effect at the next change of language.
void SetCatalogDirectory(const std::string& HostDir);

// Back to the state at process start: no language chosen yet, no catalog, translations
// on. For tests, which run many start-ups in one process.
void ResetTranslationLayer();

// The entries of a .mo file (message id to its first translation; the header, the
// entry with the empty id, goes to Header). False when Data is no .mo file; a damaged
// table yields the entries that can be read. Never reads outside Data.
using TTWCatalog = std::unordered_map<std::string, std::string>;
bool ReadMoCatalog(const std::string& Data, TTWCatalog& Entries, std::string& Header);
