#include "app/tw_gui_status.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>

TTWStatusPanel::TTWStatusPanel(QWidget* Parent) : QFrame(Parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  // Its own background, painted in one pass: no flicker at thousands of texts a second.
  setAutoFillBackground(true);
  setAttribute(Qt::WA_OpaquePaintEvent, true);
}

void TTWStatusPanel::SetText(const std::string& Text) {
  ++FUpdates;
  if (Text == FText) return;
  FText = Text;
  update();
  if (QAccessible::isActive()) {
    QAccessibleEvent ev(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&ev);
  }
}

void TTWStatusPanel::paintEvent(QPaintEvent* Event) {
  {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
  }
  QFrame::paintEvent(Event);
  QPainter p(this);
  const QRect r = contentsRect().adjusted(1, 0, -1, 0);
  p.setPen(palette().color(QPalette::WindowText));
  // Long paths keep their end, which tells most.
  p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
             fontMetrics().elidedText(text(), Qt::ElideMiddle, r.width()));
}

namespace {

class TAccessibleStatusPanel : public QAccessibleWidget {
 public:
  explicit TAccessibleStatusPanel(QWidget* W) : QAccessibleWidget(W, QAccessible::StatusBar) {}
  QString text(QAccessible::Text T) const override {
    if (T == QAccessible::Name || T == QAccessible::Value)
      return static_cast<TTWStatusPanel*>(widget())->text().trimmed();
    return QAccessibleWidget::text(T);
  }
};

QAccessibleInterface* StatusPanelFactory(const QString& ClassName, QObject* Object) {
  if (ClassName == QLatin1String("TTWStatusPanel") && Object && Object->isWidgetType())
    return new TAccessibleStatusPanel(static_cast<QWidget*>(Object));
  return nullptr;
}

}  // namespace

void InstallStatusPanelAccessibility() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QAccessible::installFactory(StatusPanelFactory);
}
