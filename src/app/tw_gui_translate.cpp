#include "app/tw_gui_translate.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMetaProperty>
#include <QPersistentModelIndex>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QStyle>
#include <QTabBar>
#include <QTableWidget>
#include <QTextEdit>
#include <QTranslator>
#include <QTreeWidget>
#include <QWidget>
#include <iterator>

#include "app/tw_i18n.h"

namespace {

// The lookup gives line breaks as CR LF; Qt breaks a line at the LF alone.
QString ForQt(const std::string& Text) {
  QString Out = QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size()));
  Out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return Out;
}

}  // namespace

namespace {

QSet<QByteArray>& ExemptClasses() {
  static QSet<QByteArray> s;
  return s;
}

// Properties that never hold an interface text, or only one derived from another.
bool IsDeniedName(const QByteArray& Name) {
  static const QSet<QByteArray> kDenied = {
      "objectName",      // the component's name
      "styleSheet",      // style, not text
      "inputMask",       // a pattern
      "displayFormat",   // a date/time pattern
      "windowFilePath",  // a path
      "accessibleIdentifier",
      "accessibleName",  // follows the caption; each window derives it after translating
      "html",            // the same document as plainText
      "markdown",
      "currentText",  // the current item of a combo box; its items are recorded
      "searchPaths",  // file paths
  };
  return kDenied.contains(Name) || Name.toLower().contains("font");
}

// Qt's own derivation of an action's icon text and tool tip from its caption.
QString StrippedText(QString S) {
  S.remove(QStringLiteral("..."));
  for (qsizetype I = 0; I < S.size(); ++I)
    if (S.at(I) == QLatin1Char('&')) S.remove(I, 1);
  return S.trimmed();
}

// The contents of a field the user edits are data, not interface text.
bool IsUserContent(const QObject* Object, const QByteArray& Name) {
  if (const auto* E = qobject_cast<const QLineEdit*>(Object))
    return Name == "text" && !E->isReadOnly();
  if (const auto* E = qobject_cast<const QPlainTextEdit*>(Object))
    return Name == "plainText" && !E->isReadOnly();
  if (const auto* E = qobject_cast<const QTextEdit*>(Object))
    return Name == "plainText" && !E->isReadOnly();
  return false;
}

QVariant LookUp(const QVariant& English) {
  if (English.metaType().id() == QMetaType::QStringList) {
    QStringList Lines = English.toStringList();
    for (QString& L : Lines)
      if (!L.isEmpty()) L = UiText(L);
    return Lines;
  }
  return UiText(English.toString());
}

bool HasText(const QVariant& Value) {
  if (Value.metaType().id() == QMetaType::QStringList) {
    for (const QString& L : Value.toStringList())
      if (!L.isEmpty()) return true;
    return false;
  }
  return !Value.toString().isEmpty();
}

// Qt's own texts (standard buttons, context menus) are looked up in the same catalog.
class TTWCatalogTranslator : public QTranslator {
 public:
  using QTranslator::QTranslator;
  bool isEmpty() const override { return false; }
  QString translate(const char* /*Context*/, const char* SourceText, const char* /*Disambiguation*/,
                    int /*N*/) const override {
    if (!SourceText || !*SourceText) return QString();
    const std::string Text = ::Translate(SourceText);
    if (Text == SourceText) return QString();
    return ForQt(Text);
  }
};

}  // namespace

QString UiText(const char* English) {
  return ForQt(Translate(English ? std::string(English) : std::string()));
}

QString UiText(const QString& English) {
  const QByteArray Bytes = English.toUtf8();
  return ForQt(Translate(std::string(Bytes.constData(), static_cast<size_t>(Bytes.size()))));
}

void ExemptClassFromTranslation(const char* TypeOrClassName) {
  ExemptClasses().insert(QByteArray(TypeOrClassName));
}

void InstallCatalogTranslator() {
  static TTWCatalogTranslator* Installed = nullptr;
  if (Installed || !QCoreApplication::instance()) return;
  Installed = new TTWCatalogTranslator(QCoreApplication::instance());
  QCoreApplication::installTranslator(Installed);
}

void TTWFormTranslator::ExemptProperty(const QObject* Object, const char* Property) {
  FExemptProperties[Object].insert(QByteArray(Property));
}

void TTWFormTranslator::ExemptObject(const QObject* Object) {
  FExemptObjects.insert(Object);
}

void TTWFormTranslator::ExemptItems(const QObject* Collection) {
  FExemptItems.insert(Collection);
}

bool TTWFormTranslator::PropertyExempt(const QObject* Object, const char* Name) const {
  const QByteArray N(Name);
  if (IsDeniedName(N) || IsUserContent(Object, N)) return true;
  auto It = FExemptProperties.find(Object);
  return It != FExemptProperties.end() && It->contains(N);
}

void TTWFormTranslator::Record(QObject* Owner, const QVariant& English,
                               std::function<void(const QVariant&)> Set) {
  const QVariant Translated = LookUp(English);
  if (Translated != English) Set(Translated);
  FRecords.push_back({QPointer<QObject>(Owner), English, std::move(Set)});
}

void TTWFormTranslator::VisitProperties(QObject* Object) {
  const QMetaObject* Meta = Object->metaObject();
  for (int I = 0; I < Meta->propertyCount(); ++I) {
    const QMetaProperty P = Meta->property(I);
    if (!P.isReadable() || PropertyExempt(Object, P.name())) continue;
    const QMetaType Type = P.metaType();
    if (ExemptClasses().contains(QByteArray(Type.name()))) continue;
    if (Type.flags() & QMetaType::PointerToQObject) {
      if (QObject* Sub = P.read(Object).value<QObject*>()) Visit(Sub);
      continue;
    }
    const int Id = Type.id();
    if ((Id != QMetaType::QString && Id != QMetaType::QStringList) || !P.isWritable()) continue;
    const QVariant Value = P.read(Object);
    if (!HasText(Value)) continue;
    if (const auto* A = qobject_cast<const QAction*>(Object)) {
      const QByteArray N(P.name());
      if ((N == "iconText" || N == "toolTip") && Value.toString() == StrippedText(A->text()))
        continue;
    }
    QPointer<QObject> Target(Object);
    Record(Object, Value, [Target, P](const QVariant& V) {
      if (Target) P.write(Target, V);
    });
  }
}

void TTWFormTranslator::VisitItems(QObject* Object) {
  if (FExemptItems.contains(Object)) return;
  if (auto* Bar = qobject_cast<QTabBar*>(Object)) {
    QPointer<QTabBar> Target(Bar);
    for (int I = 0; I < Bar->count(); ++I) {
      const QString Text = Bar->tabText(I);
      if (!Text.isEmpty())
        Record(Bar, Text, [Target, I](const QVariant& V) {
          if (Target && I < Target->count()) Target->setTabText(I, V.toString());
        });
      const QString Tip = Bar->tabToolTip(I);
      if (!Tip.isEmpty())
        Record(Bar, Tip, [Target, I](const QVariant& V) {
          if (Target && I < Target->count()) Target->setTabToolTip(I, V.toString());
        });
    }
    return;
  }
  // The item widgets keep their items in a model of their own that takes new texts.
  QAbstractItemModel* Model = nullptr;
  if (auto* L = qobject_cast<QListWidget*>(Object)) Model = L->model();
  if (auto* T = qobject_cast<QTreeWidget*>(Object)) Model = T->model();
  if (auto* T = qobject_cast<QTableWidget*>(Object)) Model = T->model();
  if (auto* C = qobject_cast<QComboBox*>(Object)) Model = C->model();
  if (!Model || FVisited.contains(Model)) return;
  FVisited.insert(Model);
  QPointer<QAbstractItemModel> Target(Model);
  static const int kRoles[] = {Qt::DisplayRole, Qt::ToolTipRole, Qt::StatusTipRole,
                               Qt::WhatsThisRole};
  for (Qt::Orientation O : {Qt::Horizontal, Qt::Vertical}) {
    const int Sections = O == Qt::Horizontal ? Model->columnCount() : Model->rowCount();
    if (!qobject_cast<QTreeWidget*>(Object) && !qobject_cast<QTableWidget*>(Object)) break;
    for (int S = 0; S < Sections; ++S) {
      const QVariant H = Model->headerData(S, O, Qt::DisplayRole);
      if (H.metaType().id() != QMetaType::QString || H.toString().isEmpty()) continue;
      // A table without labels numbers its rows: those are not texts.
      if (H.toString() == QString::number(S + 1)) continue;
      Record(Object, H, [Target, S, O](const QVariant& V) {
        if (Target) Target->setHeaderData(S, O, V, Qt::DisplayRole);
      });
    }
  }
  std::function<void(const QModelIndex&)> Walk = [&](const QModelIndex& Parent) {
    for (int R = 0; R < Model->rowCount(Parent); ++R) {
      for (int C = 0; C < Model->columnCount(Parent); ++C) {
        const QModelIndex Index = Model->index(R, C, Parent);
        for (int Role : kRoles) {
          const QVariant V = Model->data(Index, Role);
          if (V.metaType().id() != QMetaType::QString || V.toString().isEmpty()) continue;
          QPersistentModelIndex Kept(Index);
          Record(Object, V, [Target, Kept, Role](const QVariant& T) {
            if (Target && Kept.isValid()) Target->setData(Kept, T, Role);
          });
        }
        if (C == 0 && Model->hasChildren(Index)) Walk(Index);
      }
    }
  };
  Walk(QModelIndex());
}

void TTWFormTranslator::Visit(QObject* Object) {
  if (!Object || FVisited.contains(Object) || FExemptObjects.contains(Object)) return;
  FVisited.insert(Object);
  for (const QMetaObject* M = Object->metaObject(); M; M = M->superClass())
    if (ExemptClasses().contains(QByteArray(M->className()))) return;
  VisitProperties(Object);
  VisitItems(Object);
  for (QObject* Child : Object->children()) Visit(Child);
}

QStringList TTWFormTranslator::RecordedTexts() const {
  QStringList Out;
  for (const TRecord& R : FRecords) {
    if (R.English.metaType().id() == QMetaType::QStringList) {
      for (const QString& L : R.English.toStringList())
        if (!L.isEmpty()) Out << L;
    } else {
      Out << R.English.toString();
    }
  }
  return Out;
}

bool TTWFormTranslator::Translate(QObject* Window, bool Retranslate) {
  const std::string Language = CurrentLanguage();
  if (!Retranslate) {
    // Translated once: the records are the English texts of the window as created.
    if (FTranslated) return false;
    FRecords.clear();
    FVisited.clear();
    Visit(Window);
    FVisited.clear();
    FTranslated = true;
    FLanguage = Language;
    return true;
  }
  if (!FTranslated || Language == FLanguage) return false;
  for (const TRecord& R : FRecords)
    if (R.Owner) R.Set(LookUp(R.English));
  FLanguage = Language;
  return true;
}

namespace {

// Qt's texts that reach the screen in this program: the button of its message boxes and
// the context menus of the text fields (the input box, the licence, the properties
// values), and the system's reasons shown in the open error.
const char* const kQtShownTexts[] = {
    N_("OK"),
    N_("&Undo"),
    N_("&Redo"),
    N_("Cu&t"),
    N_("&Copy"),
    N_("&Paste"),
    N_("Delete"),
    N_("Select All"),
    N_("Copy &Link Location"),
    N_("No such file or directory"),
    N_("Permission denied"),
    N_("Is a directory"),
    N_("Not a regular file"),
    N_("File too large"),
};

}  // namespace

const char* const* QtShownTexts(int& Count) {
  Count = static_cast<int>(std::size(kQtShownTexts));
  return kQtShownTexts;
}

namespace {

constexpr char kDesignFont[] = "twDesignFont";
constexpr qreal kSmallestPointSize = 6.5;
constexpr int kSmallestPixelSize = 9;

QString WithoutMarker(QString Caption) {
  Caption.replace(QLatin1String("&&"), QString(QChar(0x1)));
  Caption.remove(QLatin1Char('&'));
  Caption.replace(QChar(0x1), QLatin1String("&"));
  return Caption;
}

// The width the caption of C takes with C's current font; 0 for controls without one.
int CaptionWidth(QWidget* C) {
  if (auto* G = qobject_cast<QGroupBox*>(C))
    return G->title().isEmpty()
               ? 0
               : G->fontMetrics().horizontalAdvance(WithoutMarker(G->title())) + 12;
  if (qobject_cast<QCheckBox*>(C) || qobject_cast<QRadioButton*>(C))
    return static_cast<QAbstractButton*>(C)->text().isEmpty() ? 0 : C->sizeHint().width();
  if (auto* B = qobject_cast<QPushButton*>(C)) {
    if (B->text().isEmpty()) return 0;
    // Not sizeHint(): the style's minimum button width is not room the caption needs.
    const QStyle* S = B->style();
    int W = B->fontMetrics().horizontalAdvance(WithoutMarker(B->text())) +
            2 * S->pixelMetric(QStyle::PM_ButtonMargin, nullptr, B) +
            2 * S->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, B);
    if (!B->icon().isNull()) W += B->iconSize().width() + 4;
    return W;
  }
  return 0;
}

}  // namespace

void FitCaptions(QWidget* Window) {
  // Polished first: polishing later may put the inherited font back.
  Window->ensurePolished();
  for (QWidget* C : Window->findChildren<QWidget*>()) {
    if (C->window() != Window) continue;  // another window that this one owns
    C->ensurePolished();
    const QVariant Design = C->property(kDesignFont);
    if (Design.isValid()) C->setFont(Design.value<QFont>());
    if (CaptionWidth(C) <= C->width()) continue;
    if (!Design.isValid()) C->setProperty(kDesignFont, C->font());
    if (qobject_cast<QGroupBox*>(C)) {
      // Only the title gets smaller: what the box holds keeps its own size.
      for (QObject* O : C->children())
        if (auto* W = qobject_cast<QWidget*>(O); W && !W->testAttribute(Qt::WA_SetFont))
          W->setFont(W->font());
    }
    QFont F = C->font();
    if (F.pointSizeF() <= 0) {
      // A font given in pixels (some platforms' default).
      while (F.pixelSize() > kSmallestPixelSize && CaptionWidth(C) > C->width()) {
        F.setPixelSize(F.pixelSize() - 1);
        C->setFont(F);
      }
      continue;
    }
    while (F.pointSizeF() > kSmallestPointSize && CaptionWidth(C) > C->width()) {
      F.setPointSizeF(F.pointSizeF() - 0.5);
      C->setFont(F);
    }
  }
}
