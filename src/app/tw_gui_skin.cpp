#include "app/tw_gui_skin.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

#include "app/globals.h"

namespace {

struct TSkin {
  const char* Name;
  QColor Window, Base, AlternateBase, Text, Button, Highlight, HighlightedText, Accent;
};

const TSkin kSkins[] = {
    {TW_DEFAULT_SKIN_NAME, QColor(246, 236, 222), QColor(255, 251, 245), QColor(249, 240, 228),
     QColor(52, 36, 22), QColor(236, 214, 186), QColor(196, 98, 32), QColor(255, 255, 255),
     QColor(150, 70, 20)},
    {"Harbour (internal)", QColor(228, 234, 242), QColor(252, 253, 255), QColor(238, 242, 248),
     QColor(24, 34, 52), QColor(206, 218, 234), QColor(42, 96, 170), QColor(255, 255, 255),
     QColor(30, 70, 130)},
    {"Slate (internal)", QColor(58, 62, 70), QColor(40, 43, 49), QColor(48, 52, 59),
     QColor(228, 230, 235), QColor(72, 77, 87), QColor(90, 150, 220), QColor(255, 255, 255),
     QColor(150, 190, 240)},
};

std::string g_current;

}  // namespace

std::vector<std::string> InternalSkinNames() {
  std::vector<std::string> out;
  for (const TSkin& s : kSkins) out.emplace_back(s.Name);
  return out;
}

std::string ApplySkin(const std::string& Name) {
  const TSkin* skin = &kSkins[0];
  for (const TSkin& s : kSkins) {
    if (Name == s.Name) skin = &s;
  }
  // Fusion draws every control from the palette, the same on every desktop.
  if (QStyle* style = QStyleFactory::create("Fusion")) QApplication::setStyle(style);
  QPalette pal;
  pal.setColor(QPalette::Window, skin->Window);
  pal.setColor(QPalette::WindowText, skin->Text);
  pal.setColor(QPalette::Base, skin->Base);
  pal.setColor(QPalette::AlternateBase, skin->AlternateBase);
  pal.setColor(QPalette::Text, skin->Text);
  pal.setColor(QPalette::Button, skin->Button);
  pal.setColor(QPalette::ButtonText, skin->Text);
  pal.setColor(QPalette::Highlight, skin->Highlight);
  pal.setColor(QPalette::HighlightedText, skin->HighlightedText);
  pal.setColor(QPalette::ToolTipBase, skin->Base);
  pal.setColor(QPalette::ToolTipText, skin->Text);
  pal.setColor(QPalette::Link, skin->Accent);
  // Disabled texts halfway between the text and the window colour.
  const QColor dim((skin->Text.red() + skin->Window.red()) / 2,
                   (skin->Text.green() + skin->Window.green()) / 2,
                   (skin->Text.blue() + skin->Window.blue()) / 2);
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
    pal.setColor(QPalette::Disabled, role, dim);
  QApplication::setPalette(pal);
  // Colours only: nothing here sets a size, a margin or a font.
  qApp->setStyleSheet(QString("QToolTip { color: %1; background-color: %2; border: 1px solid %3; }")
                          .arg(skin->Text.name(), skin->Base.name(), skin->Accent.name()));
  g_current = skin->Name;
  return g_current;
}

std::string CurrentSkinName() {
  return g_current;
}

QFont DesignFont() {
  QFont F(QStringLiteral("Tahoma"), 8);
  F.setStyleHint(QFont::SansSerif);
  return F;
}
