#include "dialogs/tw_frm_properties.h"

#include <QDateTime>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/globals.h"
#include "app/tw_gui_translate.h"
#include "dialogs/tw_file_model.h"
#include "platform/tw_platform.h"
#include "search/tw_helper.h"

namespace {

QString AttributeText(uint32_t A) {
  struct {
    uint32_t Bit;
    const char* Name;
  } const kNames[] = {{FILE_ATTRIBUTE_READONLY, N_("Read-only")},
                      {FILE_ATTRIBUTE_HIDDEN, N_("Hidden")},
                      {FILE_ATTRIBUTE_SYSTEM, N_("System")},
                      {FILE_ATTRIBUTE_ARCHIVE, N_("Archive")},
                      {FILE_ATTRIBUTE_DIRECTORY, N_("Directory")},
                      {FILE_ATTRIBUTE_REPARSE_POINT, N_("Link or mount point")}};
  QStringList Out;
  for (const auto& N : kNames)
    if (A & N.Bit) Out << UiText(N.Name);
  return Out.isEmpty() ? UiText("None") : Out.join(QStringLiteral(", "));
}

std::string LastComponent(const std::string& Path) {
  const size_t Cut = Path.find_last_of("\\:");
  return Cut == std::string::npos ? Path : Path.substr(Cut + 1);
}

}  // namespace

TFrmProperties::TFrmProperties(QWidget* Parent, const std::string& Path) : QDialog(Parent) {
  setObjectName(QStringLiteral("FrmProperties"));
  auto* Form = new QFormLayout;
  auto* Outer = new QVBoxLayout(this);
  Outer->addLayout(Form);

  TTWFindData D;
  const bool Found = Platform().FindOne(Path, D);
  std::string Host;
  const bool HaveHost = Found && Platform().GetHostPath(Path, Host);
  const std::string Name = Found ? D.Name : LastComponent(Path);
  // Created for each use, so every text is looked up as it is set.
  setWindowTitle(TWDisplayText(Name) + QStringLiteral(" - ") + UiText("Properties"));

  auto Row = [&](const char* Object, const char* Caption, const QString& Text) {
    auto* Value = new QLabel(Text, this);
    Value->setObjectName(QString::fromLatin1(Object));
    Value->setTextFormat(Qt::PlainText);
    Value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    auto* Label = new QLabel(UiText(Caption), this);
    Label->setTextFormat(Qt::PlainText);
    Label->setBuddy(Value);
    Form->addRow(Label, Value);
  };
  Row("lblName", N_("Name:"), TWDisplayText(Name));
  Row("lblPath", N_("Path:"), TWDisplayText(Path));
  if (!Found) {
    Row("lblState", N_("State:"), UiText("Not found: it was removed or cannot be reached."));
  } else {
    const bool Link = D.Attributes & FILE_ATTRIBUTE_REPARSE_POINT;
    const bool Dir = D.Attributes & FILE_ATTRIBUTE_DIRECTORY;
    Row("lblHostPath", N_("Host path:"), HaveHost ? TWDisplayText(Host) : QString());
    Row("lblKind", N_("Type:"),
        QString::fromStdString(
            Helper->GetKindName(Dir && !Link ? TW_KIND_DIRECTORY : TW_KIND_FILE)) +
            (Link ? QStringLiteral(" (") + UiText("Link or mount point") + QLatin1Char(')')
                  : QString()));
    Row("lblFileSize", N_("Size:"),
        QString::fromStdString(
            FormatText(Translate("%s KB (%s bytes)"),
                       {Helper->SizeToKB(static_cast<int64_t>(D.Size)), std::to_string(D.Size)})));
    int64_t Modified = 0;
    Row("lblModified", N_("Modified:"),
        Platform().GetLastWriteTime(Path, Modified)
            ? QLocale().toString(QDateTime::fromSecsSinceEpoch(Modified), QLocale::LongFormat)
            : UiText("Unknown"));
    Row("lblAttributes", N_("Attributes:"), AttributeText(D.Attributes));
  }

  auto* Close =
      new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), UiText("&Close"), this);
  Close->setObjectName(QStringLiteral("bbtnClose"));
  Close->setDefault(true);
  connect(Close, &QPushButton::clicked, this, &QDialog::close);
  Outer->addWidget(Close, 0, Qt::AlignRight);
  setMinimumWidth(420);
}

TFrmProperties* TFrmProperties::ShowFor(QWidget* Parent, const std::string& Path) {
  auto* W = new TFrmProperties(Parent, Path);
  W->setAttribute(Qt::WA_DeleteOnClose);
  W->show();
  return W;
}
