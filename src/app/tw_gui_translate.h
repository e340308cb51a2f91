// Translation of a whole window through Qt's meta-object system.
//
// The first pass walks the window, every object it owns, every object held in one of
// their properties and the items of their collections (list, tree, table and combo box
// items, tab texts, the header labels of our own models), each once. Every writable text
// property that is not empty is recorded with its English value and set to its lookup;
// a string list is recorded whole and looked up line by line. A later pass, after a
// change of language, sets every recorded text again from its English value.
//
// Never recorded: objectName, font properties, properties that hold no interface text
// (style sheets, input masks, file paths, identifiers, the derived texts of actions and
// accessible names, the contents of editable fields) and what the window exempts.
#pragma once

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <string>
#include <vector>

#include "app/tw_i18n.h"

class QObject;
class QWidget;

// A text looked up in the current catalog, as the GUI shows it.
QString UiText(const char* English);
QString UiText(const QString& English);

// Objects of this class, and properties of this type, are never translated in any window
// (the font objects, registered once at start-up).
void ExemptClassFromTranslation(const char* TypeOrClassName);

// Qt's own texts that the program shows (standard buttons, the context menus of text
// fields) are looked up in the program's catalog from now on.
void InstallCatalogTranslator();

// Those texts, as Qt writes them; listed so that they are extracted into the template.
const char* const* QtShownTexts(int& Count);

// After a translation: every push button, tick or option box and group box title of
// Window whose caption no longer fits its fixed design size gets a smaller font (down to
// a floor) rather than losing the end of its text; a caption that fits again gets the
// design size back. The layout of the window stays as designed.
void FitCaptions(QWidget* Window);

class TTWFormTranslator {
 public:
  // Declared before the first pass.
  void ExemptProperty(const QObject* Object, const char* Property);
  void ExemptObject(const QObject* Object);  // the object, what it owns and its items
  void ExemptItems(const QObject* Collection);

  // First pass (Retranslate false) or a later one; a later pass before any first one, or
  // in the language of the last pass, does nothing. Returns whether texts were set.
  bool Translate(QObject* Window, bool Retranslate);

  bool Translated() const { return FTranslated; }
  const std::string& Language() const { return FLanguage; }
  int RecordCount() const { return static_cast<int>(FRecords.size()); }
  // The English texts recorded by the first pass (each line of a string list).
  QStringList RecordedTexts() const;

 private:
  struct TRecord {
    QPointer<QObject> Owner;
    QVariant English;  // QString, or QStringList looked up line by line
    std::function<void(const QVariant&)> Set;
  };

  void Visit(QObject* Object);
  void VisitProperties(QObject* Object);
  void VisitItems(QObject* Object);
  void Record(QObject* Owner, const QVariant& English, std::function<void(const QVariant&)> Set);
  bool PropertyExempt(const QObject* Object, const char* Name) const;

  QSet<const QObject*> FExemptObjects;
  QSet<const QObject*> FExemptItems;
  QHash<const QObject*, QSet<QByteArray>> FExemptProperties;
  QSet<const QObject*> FVisited;
  std::vector<TRecord> FRecords;
  bool FTranslated = false;
  std::string FLanguage;
};
