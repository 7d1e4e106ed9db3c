#include "Unit1/StatusBar.h"

#include <QMouseEvent>

TStatusBar::TStatusBar(int firstPanelWidth, QWidget* parent)
    : QWidget(parent), FFirstWidth(firstPanelWidth) {
  for (QLabel*& panel : FPanels) {
    panel = new QLabel(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setTextFormat(Qt::PlainText);
    // Clicks on a panel belong to the bar.
    panel->setAttribute(Qt::WA_TransparentForMouseEvents);
  }
}

void TStatusBar::SetPanelText(int index, const QString& text) {
  if (index >= 0 && index < static_cast<int>(FPanels.size())) FPanels[index]->setText(text);
}

QString TStatusBar::PanelText(int index) const {
  if (index < 0 || index >= static_cast<int>(FPanels.size())) return {};
  return FPanels[index]->text();
}

void TStatusBar::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
    emit clicked();
}

void TStatusBar::resizeEvent(QResizeEvent*) {
  const int h = height();
  FPanels[0]->setGeometry(0, 2, FFirstWidth, h - 2);
  FPanels[1]->setGeometry(FFirstWidth + 2, 2, std::max(0, width() - FFirstWidth - 2), h - 2);
}
